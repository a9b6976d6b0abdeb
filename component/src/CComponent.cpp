#include "CComponent.h"

#include <new>
#include <vector>

#include "ComponentText.h"
#include "HostSwitches.h"
#include "UpdateTools.h"
#include "installer_common/Log.h"
#include "platform/utf16.h"
#include "platform/win_env.h"
#include "platform/win_error.h"
#include "platform/win_process.h"

namespace {

constexpr const char16_t* kSource = u"component.cpp";

#define MAIN_LOG(...) LogMessage(g_pLogContext, kSource, __LINE__, __VA_ARGS__)
#define VERBOSE_LOG(...) LogVerbose(g_pLogContext, kSource, __LINE__, __VA_ARGS__)
#define TRACE_LOG(...) LogTrace(g_pLogContext, kSource, __LINE__, __VA_ARGS__)
#define BOTH_LOGS(...) (MAIN_LOG(__VA_ARGS__), VERBOSE_LOG(__VA_ARGS__))

bool LineHas(const char16_t* line, std::u16string_view text)
{
    return platform::u16_view(line).find(text) != std::u16string_view::npos;
}

// What the exit code of one run means for the host.
struct Outcome {
    int result;
    unsigned message;
};

}  // namespace

CComponent::CComponent()
{
    delete g_pLogContext;
    g_pLogContext = new LogContext;
    g_pLogContext->Set(m_log, u"");
}

CComponent::~CComponent()
{
    // The logger goes with the component; the context must not keep naming it.
    if (g_pLogContext && g_pLogContext->log == m_log) g_pLogContext->log = nullptr;
}

void CComponent::UseLog()
{
    if (g_pLogContext) g_pLogContext->Set(m_log, kLogPrefix);
}

int CComponent::Install(int silent, void*, char16_t* message, int cch, const char16_t*)
{
    UseLog();
    const char16_t* line = win::GetCommandLineW();
    const UpdateTool* tool = GetUpdateToolName(m_keyFile.c_str());
    std::u16string program = tool ? tool->program : u"";
    unsigned offset = tool ? tool->stringOffset : 0;
    VERBOSE_LOG(u"Key file for TIRN: %s\r\n", program.c_str());

    bool force = IsSwitchPresent(line, ForceSwitches) || IsSwitchPresent(line, RewriteSwitches) ||
                 IsSwitchPresent(line, DowngradeSwitches);
    bool rewrite = LineHas(line, u" /rewrite");
    bool downgrade = LineHas(line, u" /downgrade");
    char16_t file[kSwitchFileChars + 1] = {};

    if (IsSwitchPresent(line, DiscoverSwitches)) {
        VERBOSE_LOG(u"Discovery process.\r\n");
        GetSwitchFileName(line, DiscoverSwitches, file);
        if (!*file) {
            BOTH_LOGS(u"Pelar::Install -- XML file name should follow /d option.\r\n");
            LoadStringW(kStrNoDiscoveryFile, message, cch);
            VERBOSE_LOG(u"No XML file.\r\n");
            return 0;
        }
        if (!AreDependenciesMet(message, cch, u"en")) {
            VERBOSE_LOG(u"Dependencies failed.\r\n");
            return 0;
        }
        int code = int(do_command(program + u" " + u" /d" + u" " + file, true));
        if (code == 1 || code == 3) {
            LoadStringW(kStrDiscoveryDone, message, cch);
            BOTH_LOGS(u"%s", message ? message : u"");
            VERBOSE_LOG(u"Discovery Complete.\r\n");
            return 3;
        }
        LoadStringW(kStrBlockDiscoveryError + offset, message, cch);
        BOTH_LOGS(u"An error occured during hardware discovery. See log for more information.\r\n");
        return 0;
    }

    if (IsSwitchPresent(line, UpgradeSwitches)) {
        GetSwitchFileName(line, UpgradeSwitches, file);
        if (!*file) {
            LoadStringW(kStrNoUpdateFile, message, cch);
            BOTH_LOGS(u"Pelar::Install -- XML file name should follow /u option. \r\n");
            VERBOSE_LOG(u"Install: NO XML.\r\n");
            return 0;
        }
        if (NeedsHostVersionCheck(m_keyFile.c_str()) && !ConfirmKESTRAVersion()) {
            LoadStringW(kStrUnsupportedHost, message, cch);
            return 3;
        }
        int code = int(do_command(program + u" " + u" /u" + u" " + file + u" ", true));
        if (code == 1 || code == 2) {
            LoadStringW(kStrUpdateFromFileDone, message, cch);
            BOTH_LOGS(u"Read the XML file and completed upgrade successfully.\r\n");
            return 2;
        }
        if (code == 3) {
            LoadStringW(kStrBlockUpToDate + offset, message, cch);
            BOTH_LOGS(u"All firmware is up to date. No updates were performed. See log for more information.\r\n");
            return 3;
        }
        if (code == 1026) {
            LoadStringW(kStrEepromRebootNeeded, message, cch);
            VERBOSE_LOG(u"All EEPROM updates from discovery XML were successful.  A reboot is required to be able to "
                        u"update the flash rom. See log for more information.");
            return 2;
        }
        LoadStringW(kStrUpdateFileError, message, cch);
        BOTH_LOGS(u"Error reading XML file.\r\n");
        return 0;
    }

    if (IsSwitchPresent(line, VersionSwitches) && !IsSwitchPresent(line, VerboseLogSwitches)) {
        if (!AreDependenciesMet(message, cch, u"en")) {
            VERBOSE_LOG(u"Pelar::Install -- Dependencies failed during version report.\r\n");
            return 0;
        }
        // " /v" alone, as every family's tool takes it: this system's tool answers it with its
        // version report (exit code 1); a tool that cannot run answers 0 or is not started (15).
        int code = int(do_command(program + u" " + u" /v" + u" ", true));
        if (code == 1 || code == 3) {
            LoadStringW(kStrVersionReportDone, message, cch);
            VERBOSE_LOG(u"Pelar::Install -- Version report completed successfully.\r\n");
            return 1;
        }
        LoadStringW(kStrBlockDiscoveryError + offset, message, cch);
        VERBOSE_LOG(u"Pelar::Install -- Version reporting failed.\r\n");
        return 0;
    }

    // The normal run. This system's tool refuses " /e" and " /g" beside " /f" (and force already
    // takes every change), so for it force goes alone; the blanks stay where the switches were.
    bool alone = tool && tool->forceGoesAlone && force;
    std::u16string command = program + u" " + (silent ? u"/s" : u"") + u" " + (force ? u" /f" : u"") + u" " +
                             (rewrite && !alone ? u" /e" : u"") + u" " + (downgrade && !alone ? u" /g" : u"") + u" ";
    int code = int(do_command(command, silent != 0));
    int result;
    if (code == 1 || code == 2) {
        LoadStringW(kStrBlockInstallDone + offset, message, cch);
        BOTH_LOGS(u"All firmware installations were successful.  A reboot is required. See log for more information.");
        result = 2;
    } else if (code == 3) {
        LoadStringW(kStrBlockUpToDate + offset, message, cch);
        BOTH_LOGS(u"All firmware is up to date. No updates were performed. See log for more information.");
        result = 3;
    } else {
        LoadStringW(kStrBlockInstallError + offset, message, cch);
        BOTH_LOGS(u"An error occured during the firmware installation or update process. See log for more "
                  u"information.");
        result = 0;
    }
    TRACE_LOG(u"Exiting Pelar::Install function.\r\n");
    return result;
}

int CComponent::ConfirmKESTRAVersion()
{
    UseLog();
    std::vector<char16_t> buffer(4096);
    win::SetLastError(0);
    win::DWORD n = win::GetEnvironmentVariableW(u"KESTRA_VERSION", buffer.data(), win::DWORD(buffer.size()));
    if (n == 0) {
        if (win::GetLastError() == 203) VERBOSE_LOG(u"Pelar::ConfirmKESTRAVersion Environment variable does not exist.\r\n");
        return 0;  // missing, or set to nothing
    }
    if (n > buffer.size()) {
        try {
            buffer.resize(n);
        } catch (const std::bad_alloc&) {
            BOTH_LOGS(u"Pelar::ConfirmKESTRAVersion unable to allocate memory.\r\n");
            return 0;
        }
        win::DWORD again = win::GetEnvironmentVariableW(u"KESTRA_VERSION", buffer.data(), win::DWORD(buffer.size()));
        if (again == 0 || again >= buffer.size()) {
            BOTH_LOGS(u"[Pelar::ConfirmKESTRAVersion] GetEnvironmentVariable failed: %d\r\n", int(win::GetLastError()));
            return 0;
        }
    }
    return 1;
}
