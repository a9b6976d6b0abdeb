// An NVRAM change of the selected adapter run with its backup: the leftover of an interrupted run
// is programmed back first where the NVRAM fails its check, a backup is taken (or the call's kept
// one brought up to date) before the first write, and the backup is programmed back when the
// change fails after it began writing.
#include "fwupg/selected_nic.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

// Watches whether NVRAM was written (or a write tried and failed) while it lives. The marks are
// process-wide, so they are watched from clear and their earlier state is put back at the end.
class WriteWatch {
public:
    WriteWatch() : written_(g_bNvmWritten), failed_(g_bCommandError) { g_bNvmWritten = g_bCommandError = 0; }
    ~WriteWatch()
    {
        g_bNvmWritten |= written_;
        g_bCommandError |= failed_;
    }
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;
    bool touched() const { return g_bNvmWritten || g_bCommandError; }

private:
    uint8_t written_, failed_;
};

}  // namespace

std::string ChangeBackupPath()
{
    return "NVMCfgDump#_" + std::string(g_CurPhyNic.get(yxmapi::phy::kMac)) + ".BIN";
}

int ChangeWithBackup(Tcl_Interp* interp, const char* caller, const std::function<int()>& change,
                     DamagedBoard damaged)
{
    const std::string path = ChangeBackupPath();
    if (ClaimBackupName(interp, caller, path) != TCL_OK) return TCL_ERROR;
    BackupNameHold hold{path};
    if (RepairFromLeftoverBackup(interp, caller, path, damaged) != TCL_OK) return TCL_ERROR;
    if (!IsKeptBackup(path) && !RemoveBackupFiles(path)) return Fail(50);
    BackupCleanup cleanup{path};
    BackupUse backup;
    const uint32_t code = g_uUpgRetCode;
    const bool backedUp = ObtainBackup(interp, caller, path, &backup) == TCL_OK;
    // A backup that cannot be written where it belongs refuses the change; one the NVRAM cannot
    // be read for lets the change go on without it.
    if (!backedUp && (g_uUpgRetCode == CMD_WORK_FILES_FAILED || g_uUpgRetCode == CMD_WORK_FILE_UNSAFE ||
                      g_uUpgRetCode == CMD_BACKUP_BUSY))
        return TCL_ERROR;
    if (!backedUp) LogDebugMsg(DBG_DEBUG, "%s(): no NVRAM backup for this change.", caller);
    g_uUpgRetCode = code;
    Tcl_ResetResult(interp);
    WriteWatch watch;
    // A change that throws fails here as it would in the command's own guard (logged, its code
    // set), so that the restore below is the last to set the code: the caller sees 138, 139 or
    // 140 whichever way the change failed.
    const int result = GuardCommand(caller, change);
    if (result != 0 && backedUp && watch.touched()) RestoreBackup(interp, caller, backup.path, backup.key, TCL_ERROR);
    return result;
}

}  // namespace fwupg::shell
