// Leftover backups: what a run cut short (a power loss, a kill) left of its NVRAM backups, found
// in the run's own folder under the change's backup name and, through the machine-wide list, in
// any other folder a run worked in. Before a change of an E1-E3 or legacy adapter:
//
// - a leftover that is this adapter's whole NVRAM (BackupBelongsHere) is programmed back first
//   when the NVRAM fails its check, and then removed; when the NVRAM passes, the leftover is
//   removed only if the board holds the MAC addresses and PCI ids its configuration blocks hold,
//   and otherwise kept aside: it may be the only copy of them;
// - a leftover that cannot be validated is never programmed back nor removed: it is kept aside;
// - a board whose NVRAM still fails its check is never written: the change is refused with
//   CMD_RESTORE_FAILED and a message that names the reason and the files kept.
//
// Every verdict here reads only. Kept aside means renamed to "<backup>.unverified-<n>" (its
// fingerprint beside it), n the first free number, in the backup's own folder.
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "backup_registry.h"
#include "fwupg/session_state.h"
#include "platform/safe_file.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

// Renames a leftover that must be kept to "<backup>.unverified-<n>" (its fingerprint file, when
// there is one, beside it with ".sha256"), taking the first n at which nothing stands: it is kept,
// never overwritten. Empty when it cannot be moved.
std::string SetAside(const std::string& backup)
{
    for (int n = 1; n < 1000; ++n) {
        const std::string aside = backup + ".unverified-" + std::to_string(n);
        if (platform::name_state(aside) != platform::NameState::Free ||
            platform::name_state(FingerprintPath(aside)) != platform::NameState::Free)
            continue;
        if (!platform::rename_no_replace(backup, aside)) {
            if (errno == EEXIST) continue;
            return {};
        }
        if (platform::name_state(FingerprintPath(backup)) == platform::NameState::Regular)
            platform::rename_no_replace(FingerprintPath(backup), FingerprintPath(aside));
        // The kept file stays named in the machine-wide list, under its new name: the console tool
        // names every kept file there in its log, whatever folder it was kept in.
        UnregisterBackup(backup);
        RegisterBackup(aside);
        return aside;
    }
    return {};
}

// What became of the leftovers a change looked at.
struct LeftoverOutcome {
    bool repaired = false;           // one was programmed back
    std::vector<std::string> kept;   // the names of those kept aside
    std::optional<bool> fails;       // the board check's verdict, once it has been read
};

// Whether the board fails its check and no leftover has repaired it yet. The check reads the whole
// NVRAM, and nothing before a repair writes to it (keeping files aside, comparing and removing
// them touch files only), so one reading serves every leftover and the final verdict.
bool StillFails(Tcl_Interp* interp, LeftoverOutcome* outcome)
{
    if (outcome->repaired) return false;
    if (!outcome->fails) outcome->fails = BoardFailsCheck(interp);
    return *outcome->fails;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// One leftover at `path`, whose name the caller holds. TCL_ERROR (with the code and message set)
// when the change must not go on.
int HandleLeftover(Tcl_Interp* interp, const char* caller, const std::string& path, LeftoverOutcome* outcome)
{
    auto keep = [&](const char* why) {
        const std::string aside = SetAside(path);
        if (aside.empty())
            return Refuse(interp, CMD_WORK_FILES_FAILED,
                          std::string(caller) + "(): the NVRAM backup " + path + " left by an earlier run " + why +
                              " and cannot be moved aside; this change is refused and nothing is written.");
        LogDebugMsg(DBG_DEBUG, "%s(): the NVRAM backup %s left by an earlier run %s; it is kept as %s.", caller,
                    path.c_str(), why, aside.c_str());
        outcome->kept.push_back(aside);
        return TCL_OK;
    };
    // A leftover that cannot be shown to be this adapter's whole NVRAM (fingerprint missing,
    // unreadable or not matching; another size; another board's MAC address or device id) may
    // still be the only copy of a board's contents.
    FinishBackupSwitch(path);  // a run that ended between putting the dump and its fingerprint in place
    if (!BackupBelongsHere(path)) return keep("cannot be validated for this adapter");
    if (StillFails(interp, outcome)) {
        // The restore's image check is not asked here: it compares the backup with what the
        // damaged NVRAM still lists (images present, PHY settings), which is what the backup
        // replaces. The fingerprint file and the backup's own configuration tie the complete
        // backup to this adapter instead.
        LogDebugMsg(DBG_DEBUG, "%s(): the NVRAM fails its check and an interrupted run left its backup %s: "
                    "programming it back first.", caller, path.c_str());
        if (ProgramBackup(interp, caller, path) != TCL_OK) {
            // The leftover is the only copy of the board's contents from before the cut: it
            // stays, with its fingerprint, and nothing more is written to the damaged board.
            return Refuse(interp, CMD_RESTORE_FAILED,
                          std::string(caller) + "(): programming back the NVRAM backup " + path +
                              " failed; it is kept and this change is refused.");
        }
        LogDebugMsg(DBG_DEBUG, "%s(): programming back %s succeeded.", caller, path.c_str());
        outcome->repaired = true;
        RemoveBackupFiles(path);
        return TCL_OK;
    }
    std::string bytes;
    if (!ReadFileToBuffer(path, &bytes) || !BoardMatchesBackup(interp, bytes, path + ".part"))
        return keep("holds other MAC addresses or PCI ids than the board");
    RemoveBackupFiles(path);
    return TCL_OK;
}

// Tries to hold the name of a leftover in another folder: false (nothing held, the last error and
// the result as they were) when another run holds it - it is that run's live backup, not a
// leftover - or it cannot be locked there, or a link stands at one of its names (never followed).
bool HoldForeignName(Tcl_Interp* interp, const char* caller, const std::string& path)
{
    const uint32_t code = g_uUpgRetCode;
    const bool held = ClaimBackupName(interp, caller, path) == TCL_OK;
    g_uUpgRetCode = code;
    Tcl_ResetResult(interp);
    return held;
}

}  // namespace

int RepairFromLeftoverBackup(Tcl_Interp* interp, const char* caller, const std::string& path, DamagedBoard damaged)
{
    if (IsKeptBackup(path)) return TCL_OK;
    const uint32_t code = g_uUpgRetCode;
    LeftoverOutcome outcome;
    if (platform::name_state(path) == platform::NameState::Free) {
        RemoveBackupFiles(path);  // what an interrupted run left beside no backup
    } else if (HandleLeftover(interp, caller, path, &outcome) != TCL_OK) {
        return TCL_ERROR;
    }
    const std::string own = BackupFullPath(path);
    for (const std::string& other : RegisteredBackupsOfSelectedAdapter()) {
        if (other == own || IsKeptBackup(other) || HoldsBackupName(other)) continue;
        if (!HoldForeignName(interp, caller, other)) {
            LogDebugMsg(DBG_DEBUG, "%s(): the NVRAM backup %s cannot be held (another run holds it, or a link or "
                        "other non-regular file stands at one of its names); it is left as it is.", caller,
                        other.c_str());
            continue;
        }
        BackupNameHold hold{other};
        if (platform::name_state(other) == platform::NameState::Free) continue;  // gone meanwhile
        if (HandleLeftover(interp, caller, other, &outcome) != TCL_OK) return TCL_ERROR;
    }
    if (damaged == DamagedBoard::Refuse && StillFails(interp, &outcome)) {
        const std::string kept =
            outcome.kept.empty() ? std::string("no backup left by an earlier run was found for it")
                                 : "the backup left by an earlier run cannot be validated for it (kept as " +
                                       Joined(outcome.kept) + ")";
        return Refuse(interp, CMD_RESTORE_FAILED,
                      std::string(caller) + "(): the NVRAM of this adapter fails its check and " + kept +
                          "; this change is refused and nothing is written.");
    }
    g_uUpgRetCode = code;
    Tcl_ResetResult(interp);
    return TCL_OK;
}

}  // namespace fwupg::shell
