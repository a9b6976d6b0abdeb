// Helpers shared by the shell's command procedures.
#pragma once

#include <tcl.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "fwupg/host_ops.h"
#include "fwupg/session_state.h"

namespace fwupg::shell {

// Sets the last error and returns TCL_ERROR.
inline int Fail(uint32_t code)
{
    g_uUpgRetCode = code;
    return TCL_ERROR;
}

// The words of a command as narrow texts.
std::vector<std::string> Words(int objc, Tcl_Obj* const objv[]);

// The host record a command hands to the facade.
HostOps CommandHostOps(Tcl_Interp* interp, ClientData clientData);

// Runs a command body so that no exception leaves the command procedure: an ExceptionClass sets
// its code, anything else the generic failure code, and the command returns TCL_ERROR.
template <class Body>
int GuardCommand(const char* name, Body&& body) noexcept
{
    try {
        return body();
    } catch (const ExceptionClass& e) {
        LogDebugString("%s() caught exception [%u].\n", name, e.code);
        g_uUpgRetCode = e.code ? e.code : CMD_FAILED;
    } catch (const std::exception& e) {
        LogDebugString("%s() caught exception [%s].\n", name, e.what());
        g_uUpgRetCode = CMD_FAILED;
    } catch (...) {
        LogDebugString("%s() caught an unknown exception.\n", name);
        g_uUpgRetCode = CMD_FAILED;
    }
    return TCL_ERROR;
}

// Logs the message, leaves it as the command's result and fails with `code`.
int Refuse(Tcl_Interp* interp, uint32_t code, const std::string& message);

// Files of the NVRAM backup taken before an upgrade.
// Removes a regular file (never through a link, never changing a mode); false when something
// still stands at the name afterwards.
bool RemoveFileIfPresent(const std::string& path);
// The whole regular file (not through a link), or false when it cannot be read completely.
bool ReadFileToBuffer(const std::string& path, std::string* bytes);
// SHA-256 of the whole file as lower-case hex text; false when the file cannot be read whole.
bool FingerprintFile(const std::string& path, std::string* hex);
// The backup's fingerprint file (the backup's name and ".sha256"), written once the backup is
// complete: a later run trusts a backup left behind only when the two agree.
// It holds the fingerprint and the adapter's MAC address and device id.
std::string FingerprintPath(const std::string& backup);
// Puts the whole dump `dump` at the backup's name with the fingerprint `key` (of the selected
// adapter), so that the name never holds a whole dump without a fingerprint naming it: the new
// fingerprint is written beside the old one ("<fingerprint>.new"), the dump renamed to the backup's
// name (over the old backup when `replace`, else never over a file), then the fingerprint renamed
// over the old one. Both files and the folder entries that name them are flushed to the disk. A
// run cut between the two renames leaves the new pair whole; the next run finishes the switch
// (FinishBackupSwitch). False with errno set; the dump then stays where it was, unless only the
// last rename failed: then the backup's name holds it, its fingerprint still under the side name.
bool PutBackupInPlace(const std::string& backup, const std::string& dump, const std::string& key, bool replace);
// A backup whose fingerprint written beside the old one names its bytes gets it in place: the run
// that wrote the pair ended between the two renames.
void FinishBackupSwitch(const std::string& backup);
// The names of a backup's files: the backup, its fingerprint and their scratch names.
std::vector<std::string> BackupFileNames(const std::string& backup);
// The backup is a whole NVRAM of the selected adapter: its fingerprint file agrees with it (and
// names the adapter), it is as large as the adapter's NVRAM, and its configuration carries the
// adapter's MAC address and device id. The one check of a backup left behind by another run. A
// fingerprint still under its side name counts when it names the backup's bytes (a switch cut
// between its two renames); the check reads only.
bool BackupBelongsHere(const std::string& backup);
// The size and configuration part of that check, on the backup's bytes.
bool BackupCarriesSelectedAdapter(const std::string& bytes);
// Removes the backup, its fingerprint file and their scratch files; false when one of them
// still stands afterwards.
bool RemoveBackupFiles(const std::string& backup);

// Claims a backup's names for this run: locks "<backup>.lock" (held elsewhere: CMD_BACKUP_BUSY)
// and refuses a link or other non-regular file at any of the names (CMD_WORK_FILE_UNSAFE) or a
// folder that cannot take the lock file (CMD_WORK_FILES_FAILED). TCL_OK when held (also when this
// run holds it already), else TCL_ERROR with the code and a message in the result.
int ClaimBackupName(Tcl_Interp* interp, const char* caller, const std::string& backup);
bool HoldsBackupName(const std::string& backup);
// Lets the name go (the lock file is removed).
void ReleaseBackupName(const std::string& backup);
void ReleaseAllBackupNames();
// Programs the backup back as it is ("_prg -raw 0 <file>").
int ProgramBackup(Tcl_Interp* interp, const char* caller, const std::string& backup);
// Whether a backup is being programmed back: that "_prg" is the repair itself and runs bare.
bool ProgrammingBackup();
// Checks the backup against the adapter and programs it back.
int DoRestoreWithDumpFile(Tcl_Interp* interp, const std::string& backup);
// Takes the NVRAM backup of a change: "_dump <file>.part", the fingerprint into `key` and the
// fingerprint file, then the dump renamed to `backup`. TCL_OK when both are there; a failed dump
// leaves its code, an unreadable dump gives 13, a fingerprint or backup that cannot be written
// CMD_WORK_FILES_FAILED; nothing stays at the names then.
int TakeBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, std::string* key);
// Fingerprints the backup again and, when it is unchanged, programs it back: 138 restored,
// 139 fingerprint changed (nothing restored), 140 restore failed. A reset is asked for in each
// case. Returns the restore's Tcl result, or `lineResult` when nothing was programmed.
int RestoreBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, const std::string& key,
                  int lineResult);

// The backup a change restores when it fails: its file and fingerprint.
struct BackupUse {
    std::string path, key;
};
// The backup of the selected adapter for a change: within an exported call the adapter's kept
// backup brought up to date, otherwise a new dump into `path` (kept for the rest of the call when
// the call keeps backups). TCL_OK, or TCL_ERROR with the code of the failed dump (50 when an old
// file at `path` cannot be removed).
int ObtainBackup(Tcl_Interp* interp, const char* caller, const std::string& path, BackupUse* use);
// Whether the call keeps the backup at `path` for its later changes.
bool IsKeptBackup(const std::string& path);
// Removes the backup at `path` unless the call keeps it.
void ReleaseBackup(const std::string& path);
// Whether a change may go on when the board's NVRAM fails its check and no leftover backup
// repaired it: never, unless the change brings every byte itself (programming a whole file with
// "-raw", the way a kept backup is programmed by hand) and so builds on nothing the NVRAM holds.
enum class DamagedBoard { Refuse, Allow };
// Leftover backups of the selected adapter (see leftover_repair.cpp): the one at `path` in this
// folder and those the machine-wide list names in other folders. One that belongs here
// (BackupBelongsHere) is programmed back before the change when the NVRAM fails the board check
// and is removed then, or when the board holds its configuration blocks; otherwise it is kept,
// renamed to "<backup>.unverified-<n>", and never programmed back; so is a leftover that does
// not belong here. Programming one back that fails keeps it: TCL_ERROR with CMD_RESTORE_FAILED.
// A board that still fails its check refuses the change the same way (with `damaged` Refuse),
// with a message naming the kept files. Otherwise TCL_OK with the last error and the result as
// they were. The caller holds the name `path`.
int RepairFromLeftoverBackup(Tcl_Interp* interp, const char* caller, const std::string& path,
                             DamagedBoard damaged = DamagedBoard::Refuse);
// Removes the backup file on every way out of a command, unless the call keeps it.
struct BackupCleanup {
    std::string path;
    ~BackupCleanup()
    {
        if (!path.empty()) ReleaseBackup(path);
    }
};
// Lets a claimed backup name go on every way out of a command, unless the call keeps the backup.
struct BackupNameHold {
    std::string path;
    ~BackupNameHold()
    {
        if (!path.empty() && !IsKeptBackup(path)) ReleaseBackupName(path);
    }
};
// The backup file of a change run through ChangeWithBackup ("NVMCfgDump#_" and the MAC text).
std::string ChangeBackupPath();
// Runs `change` (0 on success) as a backed-up NVRAM change of the selected adapter: a leftover
// backup at ChangeBackupPath() is programmed back first where the NVRAM fails its check (a failed
// repair returns TCL_ERROR with CMD_RESTORE_FAILED, nothing changed); then the backup is taken, or
// the change goes on without one where the dump fails; a change that fails after it wrote (or
// tried to) gets the backup programmed back (its code 138, 139 or 140 replaces the change's).
// Returns the change's result; a change that throws fails with TCL_ERROR and the code the
// command's guard would give it, and its exception does not leave.
int ChangeWithBackup(Tcl_Interp* interp, const char* caller, const std::function<int()>& change,
                     DamagedBoard damaged = DamagedBoard::Refuse);
// Evaluates "crc -no_print" (which also gives a blank VPD area the default VPD).
int CheckCRConMBIUprgade(Tcl_Interp* interp);

// The selected adapter's identity as a fingerprint file names it: MAC text and device id.
std::string SelectedAdapterIdentity();
// Reads NVRAM [begin, end) with the engine's own dump through the scratch file, so that the bytes
// come in the backup's format. False when the dump or the file fails.
bool DumpNvmRange(Tcl_Interp* interp, const std::string& scratch, uint32_t begin, uint32_t end, std::string* bytes);
// The board check: true when the selected E1-E3 or legacy adapter's NVRAM fails the engine's CRC
// check (a piece that cannot be read counts as failing). It reads only, whatever the NVRAM holds:
// a blank VPD area is neither damage nor filled. Other families: false. The last error and the
// interpreter's result stay as they were.
bool BoardFailsCheck(Tcl_Interp* interp);
// Whether the NVRAM holds what the backup's bytes hold where the board names itself in its
// configuration blocks: every port's or function's PCI ids and MAC addresses. `scratch` is a file
// name the caller holds.
bool BoardMatchesBackup(Tcl_Interp* interp, const std::string& backupBytes, const std::string& scratch);

}  // namespace fwupg::shell
