// The component that runs an adapter family's console update tool: the host's install call,
// launching the tool while the live-log window receives its lines, and the host-version check.
#pragma once

#include <string>

#include "CBaseComponent.h"
#include "platform/win_types.h"

class CComponent : public CBaseComponent {
public:
    CComponent();
    ~CComponent() override;

    int Install(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang) override;
    // The base state, then the host's switches and the version status text appended.
    int GetInstallState(void* out, int size, const char16_t* lang) override;
    // The tool's version check ("/N"): 0 older, 1 same (also when it cannot run), 2 newer.
    int GetVersionStatus() override;
    // Installed wherever its hardware is present.
    int IsInstalled() override;
    // "See Information below.\r\n": the versions are the tool's to tell.
    int GetCurrentVersion(char16_t* out, int cch) override;
    // 0 with the file's version words, 1 when it has no version resource.
    int GetFileVersion(const char16_t* path, win::DWORD* mostSignificant, win::DWORD* leastSignificant);

    // Runs `command` (the tool's command line) and waits for it while the live-log window takes
    // its lines; the tool's 32-bit exit code, or 15 when it could not be started.
    virtual win::DWORD do_command(const std::u16string& command, bool detached);
    // 1 when the host's version variable KESTRA_VERSION is set to a non-empty value.
    int ConfirmKESTRAVersion();

protected:
    // Points the process's log context at the current logger before the operation logs.
    void UseLog();
};

// The tool's result when it could not be started.
constexpr win::DWORD kToolNotStarted = 15;
