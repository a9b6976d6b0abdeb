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
