// The NVRAM backup of an upgrade: reading and fingerprinting the backup file, the CRC check after
// an upgrade, and the restore from the backup.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fwupg/selected_nic.h"
#include "fwupg/sha256.h"
#include "fwupg/shell_commands.h"
#include "backup_registry.h"
#include "platform/safe_file.h"
#include "shell_internal.h"

namespace fwupg::shell {

bool RemoveFileIfPresent(const std::string& path)
{
    return platform::remove_regular_file(path);
}

// Something other than a regular file (a link included: it is not followed), or a short read is
// a failed read: a partial buffer would give a fingerprint of other bytes than the backup holds.
bool ReadFileToBuffer(const std::string& path, std::string* bytes)
{
    return platform::read_regular_file(path, bytes);
}

bool FingerprintFile(const std::string& path, std::string* hex)
{
    std::string bytes;
    if (!ReadFileToBuffer(path, &bytes)) return false;
    *hex = Sha256HexDigest(bytes);
    return true;
}

std::string FingerprintPath(const std::string& backup)
{
    return backup + ".sha256";
}

namespace {

std::string SideFingerprintPath(const std::string& backup)
{
    return FingerprintPath(backup) + ".new";
}

// The fingerprint file's text: the dump's SHA-256 and the adapter it was taken of.
std::string FingerprintText(const std::string& key)
{
    return key + '\n' + SelectedAdapterIdentity() + '\n';
}

bool FailedWith(int error)
{
    errno = error;
    return false;
}

}  // namespace

bool PutBackupInPlace(const std::string& backup, const std::string& dump, const std::string& key, bool replace)
{
    const std::string side = SideFingerprintPath(backup);
    const std::string text = FingerprintText(key);
    if (!platform::remove_regular_file(side)) return FailedWith(EEXIST);
    if (!platform::write_new_file(side, text.data(), text.size(), 0600, platform::Flush::Yes)) return false;
    const bool moved = platform::sync_file(dump) && (replace ? std::rename(dump.c_str(), backup.c_str()) == 0
                                                             : platform::rename_no_replace(dump, backup));
    if (!moved) {
        const int error = errno;
        platform::remove_regular_file(side);
        return FailedWith(error);
    }
    // From here the backup's name holds the new dump; its fingerprint is under the side name until
    // the next rename, which a run cut in between finishes (FinishBackupSwitch).
    if (std::rename(side.c_str(), FingerprintPath(backup).c_str()) != 0) return false;
    platform::sync_folder_of(backup);
    return true;
}

void FinishBackupSwitch(const std::string& backup)
{
    std::string text, bytes;
    if (!ReadFileToBuffer(SideFingerprintPath(backup), &text) || !ReadFileToBuffer(backup, &bytes)) return;
    if (text.compare(0, text.find('\n'), Sha256HexDigest(bytes)) != 0) return;  // an old pair is whole
    if (std::rename(SideFingerprintPath(backup).c_str(), FingerprintPath(backup).c_str()) == 0)
        LogDebugMsg(DBG_DEBUG, "FinishBackupSwitch(): the NVRAM backup %s gets the fingerprint written beside it by a "
                    "run that ended before it switched the two.", backup.c_str());
}

bool BackupBelongsHere(const std::string& backup)
{
    std::string bytes;
    if (!ReadFileToBuffer(backup, &bytes)) return false;
    const std::string expected = FingerprintText(Sha256HexDigest(bytes));
    auto names = [&](const std::string& print) {
        std::string text;
        return ReadFileToBuffer(print, &text) && text == expected;
    };
    // The fingerprint in place, or the one a run cut between its two renames left beside it: the
    // pair is whole either way. Judged without renaming anything, so that a reader that holds no
    // name (discovery) comes to the verdict a change comes to after FinishBackupSwitch.
    return (names(FingerprintPath(backup)) || names(SideFingerprintPath(backup))) &&
           BackupCarriesSelectedAdapter(bytes);
}

bool RemoveBackupFiles(const std::string& backup)
{
    const std::vector<std::string> names = BackupFileNames(backup);
    bool freed = true;
    for (auto name = names.rbegin(); name != names.rend(); ++name) freed = RemoveFileIfPresent(*name) && freed;
    if (freed) UnregisterBackup(backup);
    return freed;
}

int CheckCRConMBIUprgade(Tcl_Interp* interp)
{
    LogDebugMsg(DBG_DEBUG, "%s():Checking CRC ...", "CheckCRConMBIUprgade");
    return GuardCommand("CheckCRConMBIUprgade", [&] { return EvalWords(interp, {"crc", "-no_print"}); });
}

namespace {
bool g_programmingBackup = false;
}  // namespace

bool ProgrammingBackup()
{
    return g_programmingBackup;
}

int ProgramBackup(Tcl_Interp* interp, const char* caller, const std::string& backup)
{
    // "-raw": everything comes from the backup. Without it the engines carry the board's MAC
    // addresses, boot configurations and partition blocks over from the NVRAM being replaced,
    // which after a cut that erased them puts the erased bytes into the restored NVRAM; the backup
    // is this adapter's own, so it holds the right ones.
    const std::vector<std::string> words{"_prg", "-raw", "0", backup};
    const std::string line = MergeWords(words);
    Tcl_ResetResult(interp);
    LogDebugMsg(DBG_DEBUG, "%s() calling [%s].\n", caller, line.c_str());
    struct Marked {
        Marked() { g_programmingBackup = true; }
        ~Marked() { g_programmingBackup = false; }
    } marked;
    int rc = EvalWords(interp, words);
    LogDebugMsg(DBG_DEBUG, "%s() [%s] returned %d.\n", caller, line.c_str(), rc);
    return rc;
}

int DoRestoreWithDumpFile(Tcl_Interp* interp, const std::string& backup)
{
    static const char* const kName = "DoRestoreWithDumpFile";
    if (uint32_t code = g_pImageCheck(interp, ImageUse::Restore, backup.c_str(), 6, nullptr)) {
        g_uUpgRetCode = code;
        LogDebugMsg(DBG_DEBUG, "%s(): Invalid Dump File !!!", kName);
        return TCL_ERROR;
    }
    return ProgramBackup(interp, kName, backup);
}

// The dump goes to "<backup>.part" (created exclusively and written whole by the engine), and only
// then is it put at the backup's name together with its fingerprint, never over another file
// (PutBackupInPlace). So a file at a backup's name is always a whole dump with its fingerprint
// beside it; a failure at any step leaves neither and refuses the change before its first NVRAM
// write.
int TakeBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, std::string* key)
{
    const std::string part = backup + ".part";
    const std::vector<std::string> dump{"_dump", part};
    const std::string dumpLine = MergeWords(dump);
    if (!RemoveFileIfPresent(part))
        return Refuse(interp, CMD_WORK_FILE_UNSAFE,
                      std::string(caller) + "(): " + part + " cannot be removed; this change is refused.");
    Tcl_ResetResult(interp);
    LogDebugMsg(DBG_DEBUG, "%s() calling [%s].\n", caller, dumpLine.c_str());
    platform::clear_new_file_error();
    int rc = EvalWords(interp, dump);
    LogDebugMsg(DBG_DEBUG, "%s() [%s] returned %d.\n", caller, dumpLine.c_str(), rc);
    if (rc != TCL_OK) {
        RemoveFileIfPresent(part);
        if (const int error = platform::last_new_file_error())  // the NVRAM was read, the file not written
            return Refuse(interp, CMD_WORK_FILES_FAILED,
                          std::string(caller) + "(): the NVRAM backup " + backup + " cannot be written (" +
                              std::strerror(error) + "); this change is refused and nothing is written.");
        LogDebugMsg(DBG_DEBUG, "%s(): the NVRAM backup %s could not be taken; nothing is changed.", caller,
                    backup.c_str());
        if (g_uUpgRetCode == CMD_OK) g_uUpgRetCode = CMD_FAILED;
        return TCL_ERROR;
    }
    if (!FingerprintFile(part, key)) {
        RemoveFileIfPresent(part);
        return Fail(13);
    }
    if (!PutBackupInPlace(backup, part, *key, false /*replace*/)) {
        const int error = errno;
        const std::string why = std::strerror(error);
        RemoveFileIfPresent(part);
        // What stood at the backup's name before this call (the rename found it there) is not ours
        // to remove; a dump this call moved there without its fingerprint is.
        if (error != EEXIST) RemoveBackupFiles(backup);
        return Refuse(interp, CMD_WORK_FILES_FAILED,
                      std::string(caller) + "(): the NVRAM backup " + backup + " or its fingerprint cannot be written (" +
                          why + "); this change is refused and nothing is written.");
    }
    RegisterBackup(backup);  // so that a run in another folder finds it if this one is cut short
    LogDebugMsg(DBG_DEBUG, "%s():LINE= %d, NVM dump has been created successfully befor upgarde.", caller, __LINE__);
    LogDebugMsg(DBG_DEBUG, "%s():LINE= %d, SHA Hash Key (SHA256_Key1=%s.)", caller, __LINE__, key->c_str());
    return TCL_OK;
}

int RestoreBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, const std::string& key,
                  int lineResult)
{
    std::string secondKey;
    const bool readable = FingerprintFile(backup, &secondKey);
    LogDebugMsg(DBG_DEBUG, "%s():LINE= %d, SHA Hash Key (SHA256_Key2=%s.)", caller, __LINE__, secondKey.c_str());
    int result = lineResult;
    if (!readable || secondKey != key) {
        LogDebugMsg(DBG_DEBUG, "%s():SHA256 authentication failed against nvm dump before restoring back to normal "
                    "state!!! ", caller);
        g_uUpgRetCode = CMD_BACKUP_MISMATCH;
    } else {
        result = DoRestoreWithDumpFile(interp, backup);
        if (result != TCL_OK) {
            LogDebugMsg(DBG_DEBUG, "%s():Failed to restore the NIC back to normal state", caller);
            g_uUpgRetCode = CMD_RESTORE_FAILED;
        } else {
            LogDebugMsg(DBG_DEBUG, "%s():NIC restored back to normal state", caller);
            g_uUpgRetCode = CMD_RESTORED;
        }
    }
    g_bResetRequested = 1;
    return result;
}

}  // namespace fwupg::shell
