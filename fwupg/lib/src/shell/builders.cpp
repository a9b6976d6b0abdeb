// The command builders: each writes one line into the command buffer, runs it with
// ProcessCommand and maps the last error to a ReturnCode.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/bkv9_helper.h"
#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "fwupg/event_log.h"
#include "fwupg/oem_interface.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/shell_commands.h"
#include "fwupg/stop_signals.h"
#include "platform/safe_file.h"

namespace fwupg::command {

namespace {

constexpr char kUpgradeSuccessEvent[] =
    "Firmware Update Information:\n - The MBI upgrade is successful on this NIC. Reboot is required for "
    "effective changes!!!\n\n";
constexpr char kPhySuccessEvent[] =
    "The PHY upgrade is successful on this NIC. Reboot is required for effective changes!!!";

// Writes the words into the command buffer as one Tcl list. A line that does not fit is refused
// (buffer left empty, last error 2): a cut line would name another file or option.
bool WriteCommandBuffer(const char* builder, const std::vector<std::string>& words)
{
    std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
    const std::string line = shell::MergeWords(words);
    if (line.size() >= sizeof g_CommandBuffer) {
        LogDebugMsg(DBG_DEBUG, "%s(): command line of %zu bytes does not fit; not run.\n", builder, line.size());
        g_uUpgRetCode = CMD_BAD_ARGUMENTS;
        return false;
    }
    std::memcpy(g_CommandBuffer, line.data(), line.size());
    return true;
}

// Runs the buffer; returns the last error left by the line and "q".
uint32_t Run(const char* builder)
{
    g_uUpgRetCode = CMD_OK;
    LogDebugMsg(DBG_DEBUG, "%s(): calling ProcessCommand(%s).\n", builder, g_CommandBuffer);
    LogDebugString("%s(): calling ProcessCommand(%s).\n", builder, g_CommandBuffer);
    ProcessCommand();
    return g_uUpgRetCode;
}

void ReportSuccessEvent(const char* text)
{
    AppendEventText(std::string_view(text));
    if (g_bLogEvents) LogSystemEventMsg(kEventTypeSuccess);
}

// A stop signal is pending: no new change of an adapter starts (stop_signals.h).
bool Stopped(const char* builder)
{
    if (!StopRequested()) return false;
    LogDebugMsg(DBG_DEBUG, "%s(): the run was stopped (signal %d); this command is not started.\n", builder,
                StopSignalNumber());
    return true;
}

bool DriverAllowsUpgrade(const char* builder)
{
    if (_CanUpgradeFW(g_CurPhyNic)) return true;
    LogDebugMsg(DBG_DEBUG, "%s() _CanUpgradeFW() returned false.\n", builder);
    return false;
}

}  // namespace

uint32_t MapSuccessCode(uint32_t code, uint32_t success)
{
    return code == CMD_OK || code == CMD_REBOOT_PENDING ? success : RET_OPERATION_FAILED;
}

uint32_t MapUpgradeCode(uint32_t code)
{
    switch (code) {
    case CMD_OK:
    case CMD_REBOOT_PENDING: return RET_REBOOT_REQUIRED;
    case CMD_RESTORED: return RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED;
    case CMD_ALREADY_INSTALLED: return RET_FW_ALREADY_INSTALLED;
    case CMD_INVALID_MBI: return RET_FW_IMAGE_INVALID;
    case CMD_RESTORE_FAILED: return RET_RESTORE_FAILED;
    case CMD_BACKUP_MISMATCH: return RET_SHA256_AUTH_FAILED_ON_NVM_DUMP;
    case CMD_MBI_DOWNGRADE_BLOCKED: return RET_FWUPG_SKIPPED_MISC;
    case CMD_WORK_FILES_FAILED:
    case CMD_WORK_FILE_UNSAFE: return RET_FW_FILE_ACCESS_FAILED;
    case CMD_BACKUP_BUSY: return RET_DEVICE_ACCESS_FAILED;
    default: return RET_OPERATION_FAILED;
    }
}

std::string UpgradeBackupPath()
{
    return "NVMDump#_" + std::string(g_CurPhyNic.get(yxmapi::phy::kMac)) + ".BIN";
}

uint32_t FwUpgKv9(bool force, const char* option, const char* imagePath)
{
    static const char* const kName = "FwUpgKv9";
    if (Stopped(kName)) return RET_FWUPG_CANCELLED;
    if (!DriverAllowsUpgrade(kName)) return RET_DEVICE_NOT_SUPPORTED;
    if (!g_TclInterp) return RET_INITIALIZE_FAILED;

    std::vector<std::string> words{"upgrade"};
    if (force) words.emplace_back("-F");
    // An empty option is no word at all (it would be taken for the image file).
    if (option && *option) words.emplace_back(option);
    words.emplace_back(imagePath ? imagePath : "");
    if (SelectedFamily() != yxmapi::kFamilyE4)
        words.push_back(UpgradeBackupPath());
    if (!WriteCommandBuffer(kName, words)) return RET_OPERATION_FAILED;

    const uint32_t code = Run(kName);
    const uint32_t result = MapUpgradeCode(code);
    switch (code) {
    case CMD_OK:
    case CMD_REBOOT_PENDING:
        LogDebugMsg(DBG_DEBUG, "%s(): MBI Upgrade successful on this NIC. Reboot required! g_uUpgRetCode = (%u).\n",
                    kName, code);
        ReportSuccessEvent(kUpgradeSuccessEvent);
        break;
    case CMD_RESTORED:
        LogDebugMsg(DBG_DEBUG,
                    "%s(): MBI Upgrade Failed on this NIC !!! Restored the card back to normal state !!! "
                    "g_uUpgRetCode = (%u).\n",
                    kName, code);
        break;
    case CMD_ALREADY_INSTALLED:
        LogDebugMsg(DBG_DEBUG,
                    "%s(): The firmware version to be installed matches the version already installede !!! "
                    "g_uUpgRetCode = (%u).\n",
                    kName, code);
        break;
    case CMD_INVALID_MBI:
        LogDebugMsg(DBG_DEBUG, "%s(): Invalid MBI File !!! g_uUpgRetCode = (%u).\n", kName, code);
        break;
    case CMD_RESTORE_FAILED:
        LogDebugMsg(DBG_DEBUG, "%s():MBI Upgrade Failed on this NIC !!! Restore failed !!! g_uUpgRetCode = (%u).\n",
                    kName, code);
        break;
    case CMD_BACKUP_MISMATCH:
        LogDebugMsg(DBG_DEBUG,
                    "%s(): SHA256 authentication failed against nvm dump before restoring back to normal state!!! "
                    "!!! g_uUpgRetCode = (%u).\n",
                    kName, code);
        break;
    case CMD_MBI_DOWNGRADE_BLOCKED:
        LogDebugMsg(DBG_DEBUG,
                    "%s(): Blocked MBI downgrade from CNA (ZK12.10) to NIC (ZK12.00) for ZK KESP adapters!!! !!! "
                    "g_uUpgRetCode = (%u).\n",
                    kName, code);
        break;
    case CMD_WORK_FILES_FAILED:
    case CMD_WORK_FILE_UNSAFE:
        LogDebugMsg(DBG_DEBUG, "%s(): Upgrade refused on this NIC: its work files cannot be written safely !!! "
                    "g_uUpgRetCode = (%u).\n", kName, code);
        break;
    case CMD_BACKUP_BUSY:
        LogDebugMsg(DBG_DEBUG, "%s(): Upgrade refused on this NIC: another run holds its NVRAM backup !!! "
                    "g_uUpgRetCode = (%u).\n", kName, code);
        break;
    default:
        LogDebugMsg(DBG_DEBUG, "%s(): MBI Upgrade Failed on this NIC !!! g_uUpgRetCode = (%u).\n", kName, code);
        break;
    }
    return result;
}

uint32_t FwCfgKv9(int32_t option, int32_t value)
{
    static const char* const kName = "FwCfgKv9";
    if (Stopped(kName)) return RET_FWUPG_CANCELLED;
    if (!g_TclInterp) return RET_INITIALIZE_FAILED;
    char assignment[32];
    std::snprintf(assignment, sizeof assignment, "%d=%d", option, value);
    if (!WriteCommandBuffer(kName, {"cfg", assignment})) return RET_OPERATION_FAILED;
    return MapSuccessCode(Run(kName), RET_REBOOT_REQUIRED);
}

uint32_t FwPhyUpgKv9(const char* option, const char* filePath)
{
    static const char* const kName = "FwPhyUpgKv9";
    if (Stopped(kName)) return RET_FWUPG_CANCELLED;
    if (!DriverAllowsUpgrade(kName)) return RET_DEVICE_NOT_SUPPORTED;
    if (!g_TclInterp) return RET_INITIALIZE_FAILED;
    if (!WriteCommandBuffer(kName, {"phy", option ? option : "", filePath ? filePath : ""}))
        return RET_OPERATION_FAILED;
    const uint32_t code = Run(kName);
    const uint32_t result = MapSuccessCode(code, RET_REBOOT_REQUIRED);
    if (result == RET_REBOOT_REQUIRED)
        ReportSuccessEvent(kPhySuccessEvent);
    else
        LogDebugMsg(DBG_DEBUG, "%s(): PHY Upgrade Failed on this NIC !!! g_uUpgRetCode = (%u).\n", kName, code);
    return result;
}

uint32_t FwDumpKv9(const char* filePath)
{
    static const char* const kName = "FwDumpKv9";
    if (Stopped(kName)) return RET_FWUPG_CANCELLED;
    if (!g_TclInterp) return RET_INITIALIZE_FAILED;
    const char* const path = filePath ? filePath : "";
    if (!WriteCommandBuffer(kName, {"_dump", path})) return RET_OPERATION_FAILED;
    const uint32_t code = Run(kName);
    uint32_t result = MapSuccessCode(code, RET_SUCCESSFUL);
    // The caller keeps the dump (the engine writes it whole but does not flush it): it goes to the
    // disk before the call reports it written. A dump whose bytes cannot be flushed is not one the
    // caller may rely on: it is removed (the engine made it, exclusively, in this call) and the
    // dump fails. The folder entry is flushed too, where the folder can be opened for it.
    if (result == RET_SUCCESSFUL && !platform::sync_file(path)) {
        LogDebugMsg(DBG_DEBUG, "%s(): %s could not be flushed to the disk (%s); it is removed.\n", kName, path,
                    std::strerror(errno));
        platform::remove_regular_file(path);
        result = RET_OPERATION_FAILED;
    } else if (result == RET_SUCCESSFUL && !platform::sync_folder_of(path)) {
        LogDebugMsg(DBG_DEBUG, "%s(): the folder entry of %s could not be flushed to the disk.\n", kName, path);
    }
    if (result == RET_SUCCESSFUL)
        LogDebugMsg(DBG_DEBUG, "%s(): Dump successful on this NIC. g_uUpgRetCode = (%u).\n", kName, code);
    else
        LogDebugMsg(DBG_DEBUG, "%s(): Dump Failed on this NIC !!! g_uUpgRetCode = (%u).\n", kName, code);
    return result;
}

}  // namespace fwupg::command
