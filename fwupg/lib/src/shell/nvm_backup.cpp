// The NVRAM backup of an upgrade: reading and fingerprinting the backup file, the CRC check after
// an upgrade, and the restore from the backup.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>

#include "fwupg/selected_nic.h"
#include "fwupg/sha256.h"
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

namespace fwupg::shell {

bool RemoveFileIfPresent(const std::string& path)
{
    if (access(path.c_str(), F_OK) != 0) return true;
    chmod(path.c_str(), 0755);
    std::remove(path.c_str());
    return access(path.c_str(), F_OK) != 0;
}

// Something other than a regular file, a size that cannot be taken or a short read is a failed
// read: a partial buffer would give a fingerprint of other bytes than the backup holds.
bool ReadFileToBuffer(const std::string& path, std::string* bytes)
{
    bytes->clear();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return false;
    long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
    try {
        bytes->resize(static_cast<size_t>(size));
    } catch (const std::exception&) {
        return false;
    }
    if (size > 0 && std::fread(bytes->data(), 1, bytes->size(), file.get()) != bytes->size()) {
        bytes->clear();
        return false;
    }
    return true;
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

// The adapter a backup belongs to: MAC address and device id.
std::string AdapterIdentity()
{
    char did[16];
    std::snprintf(did, sizeof did, " %04X", static_cast<unsigned>(g_CurPhyNic.get(yxmapi::phy::kDid)));
    return std::string(g_CurPhyNic.get(yxmapi::phy::kMac)) + did;
}

}  // namespace

bool WriteFingerprintFile(const std::string& backup, const std::string& key)
{
    const std::string path = FingerprintPath(backup);
    const std::string next = path + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out << key << '\n' << AdapterIdentity() << '\n';
        if (!out.good()) return false;
    }
    return std::rename(next.c_str(), path.c_str()) == 0;
}

bool BackupBelongsHere(const std::string& backup)
{
    std::string text, now;
    if (!ReadFileToBuffer(FingerprintPath(backup), &text) || !FingerprintFile(backup, &now)) return false;
    return text == now + '\n' + AdapterIdentity() + '\n';
}

bool RemoveBackupFiles(const std::string& backup)
{
    RemoveFileIfPresent(FingerprintPath(backup));
    return RemoveFileIfPresent(backup);
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

int TakeBackup(Tcl_Interp* interp, const char* caller, const std::string& backup, std::string* key)
{
    const std::vector<std::string> dump{"_dump", backup};
    const std::string dumpLine = MergeWords(dump);
    Tcl_ResetResult(interp);
    LogDebugMsg(DBG_DEBUG, "%s() calling [%s].\n", caller, dumpLine.c_str());
    int rc = EvalWords(interp, dump);
    LogDebugMsg(DBG_DEBUG, "%s() [%s] returned %d.\n", caller, dumpLine.c_str(), rc);
    if (rc != TCL_OK) return TCL_ERROR;
    if (!FingerprintFile(backup, key)) return Fail(13);
    if (!WriteFingerprintFile(backup, *key))
        LogDebugMsg(DBG_DEBUG, "%s(): the fingerprint file of %s could not be written.", caller, backup.c_str());
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

int RepairFromLeftoverBackup(Tcl_Interp* interp, const char* caller, const std::string& path)
{
    if (IsKeptBackup(path) || access(path.c_str(), F_OK) != 0) return TCL_OK;
    if (BackupBelongsHere(path)) {
        const uint32_t code = g_uUpgRetCode;
        if (CheckCRConMBIUprgade(interp) != TCL_OK) {
            // The restore's image check is not asked here: it compares the backup with what the
            // damaged NVRAM still lists (images present, PHY settings), which is what the backup
            // replaces. The fingerprint file ties the complete backup to this adapter instead.
            LogDebugMsg(DBG_DEBUG, "%s(): the NVRAM fails its check and an interrupted run left its backup %s: "
                        "programming it back first.", caller, path.c_str());
            if (ProgramBackup(interp, caller, path) != TCL_OK) {
                // The leftover is the only copy of the board's contents from before the cut: it
                // stays, with its fingerprint, and nothing more is written to the damaged board.
                LogDebugMsg(DBG_DEBUG, "%s(): programming back %s failed; it is kept.", caller, path.c_str());
                return Fail(CMD_RESTORE_FAILED);
            }
            LogDebugMsg(DBG_DEBUG, "%s(): programming back %s succeeded.", caller, path.c_str());
        }
        g_uUpgRetCode = code;
        Tcl_ResetResult(interp);
    }
    RemoveBackupFiles(path);
    return TCL_OK;
}

}  // namespace fwupg::shell
