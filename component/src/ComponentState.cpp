// The component's install state and version status: the console tool's version check decides
// whether the adapters' firmware is older, the same or newer than the component's.
#include "CComponent.h"
#include "ComponentText.h"
#include "HostSwitches.h"
#include "UpdateTools.h"
#include "installer_common/CFileVersion.h"
#include "installer_common/Log.h"
#include "platform/utf16.h"
#include "platform/win_handle.h"
#include "platform/win_process.h"

namespace {

constexpr const char16_t* kSource = u"component.cpp";
// The version check runs without a console: its output goes nowhere.
constexpr win::DWORD kNoConsole = win::DETACHED_PROCESS;

bool KeyFileNames(const CStr& keyFile, std::u16string_view tool)
{
    return platform::u16_view(keyFile.c_str()).find(tool) != std::u16string_view::npos;
}

}  // namespace

int CComponent::GetInstallState(void* out, int size, const char16_t* lang)
{
    UseLog();
    int result = CBaseComponent::GetInstallState(out, size, lang);
    if (!result) return result;  // the record was too small: nothing may be written
    auto* record = static_cast<PelarisInstallState*>(out);
    const char16_t* line = win::GetCommandLineW();
    bool quenta = KeyFileNames(m_keyFile, u"ZKNVMUpdate.exe");
    unsigned text = 0;
    if (IsSwitchPresent(line, UpgradeSwitches)) {
        record->state = 2;
        text = kStrStateUpdate;
        LogVerbose(g_pLogContext, kSource, __LINE__, u"InstallState: ReadXML.\r\n");
    } else if (IsSwitchPresent(line, DiscoverSwitches)) {
        record->state = 2;
        text = kStrStateDiscovery;
        LogVerbose(g_pLogContext, kSource, __LINE__, u"InstallState: DiscoverXML.\r\n");
    } else if (record->state == 1) {
        if (quenta && IsSwitchPresent(line, RewriteSwitches)) record->state = 2;
        text = kStrStateSame;
    } else if (record->state == 2) {
        text = kStrStateOlder;
    } else if (record->state == 3) {
        if (quenta && IsSwitchPresent(line, DowngradeSwitches)) record->state = 2;
        text = kStrStateNewer;
    }
    if (text) {
        // Appended after the base's text, cut so that the whole stays within the record.
        char16_t local[1024] = {};
        LoadStringW(text, local, 1024);
        size_t used = platform::u16_length(record->text);
        platform::copy_utf16(platform::u16_view(local), record->text + used, std::size(record->text) - used);
    }
    return result;
}

int CComponent::GetVersionStatus()
{
    UseLog();
    std::u16string keyFile(platform::u16_view(m_keyFile.c_str()));
    const char16_t* line = win::GetCommandLineW();
    if (IsSwitchPresent(line, DiscoverSwitches) || IsSwitchPresent(line, UpgradeSwitches)) {
        LogVerbose(g_pLogContext, kSource, __LINE__, u"Reporting older.\r\n");
        return 0;
    }
    const UpdateTool* tool = GetUpdateToolName(keyFile.c_str());
    std::u16string command = std::u16string(tool ? tool->program : u"") + u" " + u"/N" + u" ";
    win::DWORD code = 0;
    win::STARTUPINFOW si{sizeof(win::STARTUPINFOW), nullptr};
    win::PROCESS_INFORMATION pi{};
    if (tool && win::CreateProcessW(nullptr, command.data(), nullptr, nullptr, win::FALSE, kNoConsole, nullptr, nullptr,
                                    &si, &pi)) {
        if (win::WaitForSingleObject(pi.hProcess, win::INFINITE) == win::WAIT_OBJECT_0) {
            win::GetExitCodeProcess(pi.hProcess, &code);
            if (code < 4 || code > 6) code = 5;
        }
        win::CloseHandle(pi.hProcess);
        win::CloseHandle(pi.hThread);
    }
    static constexpr struct {
        win::DWORD code;
        int status;
    } kStatus[] = {{4, 0}, {5, 1}, {6, 2}};
    for (const auto& s : kStatus) {
        if (s.code != code) continue;
        LogVerbose(g_pLogContext, kSource, __LINE__, u"VersionStatus for %s: %d.\r\n", keyFile.c_str(), s.status);
        return s.status;
    }
    LogVerbose(g_pLogContext, kSource, __LINE__, u"VersionStatus returned %x for %s, returning %d.\r\n", code,
               keyFile.c_str(), 1);
    return 1;
}

int CComponent::IsInstalled() { return IsHardwarePresent(); }

int CComponent::GetCurrentVersion(char16_t* out, int cch)
{
    static constexpr std::u16string_view kText = u"See Information below.\r\n";
    if (!out || cch <= 0 || size_t(cch) <= kText.size()) return 0;
    platform::copy_utf16(kText, out, size_t(cch));
    return 1;
}

int CComponent::GetFileVersion(const char16_t* path, win::DWORD* mostSignificant, win::DWORD* leastSignificant)
{
    CFileVersion version(path);
    if (!version.Read() || !version.IsValid()) return 1;
    if (mostSignificant) *mostSignificant = version.GetFileVersionMS();
    if (leastSignificant) *leastSignificant = version.GetFileVersionLS();
    return 0;
}
