// "upgrade": checks the options, the adapter and the image file, takes an NVRAM backup with its
// SHA-256 fingerprint, runs the engine's "_upgrade" line, and restores the backup when the upgrade
// fails or the NVRAM CRCs are bad after it.
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

namespace {

using namespace fwupg;

constexpr const char* kName = "FWUPG_Upgrade_Cmd";
constexpr uint32_t kFebExtDirType = 0x40000001;
constexpr uint32_t kCrcFailures = 21;

constexpr const char* kTypeOptions[] = {
    "-bc",  "-mba",     "-ipmi", "-ump",    "-ncsi",     "-ib",        "-ib_ipv6", "-ib_ipv4n6",
    "-feb", "-l2t",     "-mfw1", "-mfw",    "-ccm",      "-vpd",       "-mbi",     "-init_hw",
    "-iscsi_cfg", "-fcoe_cfg", "-pk", "-recovery", "-meta", "-fixmac",
};

bool IsTypeOption(const std::string& word)
{
    for (const char* option : kTypeOptions)
        if (word == option) return true;
    return false;
}

struct UpgradeRequest {
    std::vector<std::string> line{"_upgrade"};
    bool typeGiven = false;
    uint32_t type = 23;
    bool c = false, p = false;
    int files = 0;
    std::string image, backup;
};

void ParseWords(const std::vector<std::string>& args, UpgradeRequest* r)
{
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& w = args[i];
        if (w == "-F") {
            r->line.push_back(w);
        } else if (w == "-noreset") {
            g_bNoReset = 1;
        } else if (w == "-c" || w == "-p" || w == "-cp") {
            r->c = r->c || w != "-p";
            r->p = r->p || w != "-c";
        } else if (IsTypeOption(w)) {
            r->line.push_back(w);
            r->typeGiven = true;
            r->type = w == "-bc" ? 0 : GetImageTypeFromOption(w.c_str());
        } else if (r->files == 0) {
            r->image = w;
            ++r->files;
        } else if (r->files == 1) {
            r->backup = w;
            ++r->files;
        }
    }
}

bool ResultIsEmpty(Tcl_Interp* interp)
{
    int length = 0;
    Tcl_GetStringFromObj(Tcl_GetObjResult(interp), &length);
    return length == 0;
}

int Upgrade(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    UpgradeRequest r;
    ParseWords(shell::Words(objc, objv), &r);
    const uint32_t family = SelectedFamily();

    if (((r.type == 2 || r.type == 3) && family == yxmapi::kFamily57710) ||
        (r.type == 8 && family != yxmapi::kFamily57710))
        return shell::Fail(60);
    if ((r.c || r.p) && r.type != 5 && r.type != 11) return shell::Fail(CMD_BAD_ARGUMENTS);
    if (!r.typeGiven || r.files == 0) return shell::Fail(CMD_BAD_ARGUMENTS);
    if (access(r.image.c_str(), F_OK) != 0) return shell::Fail(63);
    const bool backupNamed = r.files > 1;
    const bool takeBackup = backupNamed && family != yxmapi::kFamilyE4;
    // The backup's names are this run's until the command ends (or the call, which keeps it).
    shell::BackupNameHold hold;
    if (backupNamed) {
        if (shell::ClaimBackupName(interp, kName, r.backup) != TCL_OK) return TCL_ERROR;
        hold.path = r.backup;
    }
    if (takeBackup && shell::RepairFromLeftoverBackup(interp, kName, r.backup) != TCL_OK) return TCL_ERROR;
    if (backupNamed && !shell::IsKeptBackup(r.backup) && !shell::RemoveBackupFiles(r.backup)) return shell::Fail(50);
    // From here on the backup file is removed on every way out (unless the call keeps it).
    shell::BackupCleanup cleanup{backupNamed ? r.backup : std::string()};

    if (uint32_t code = shell::g_pImageCheck(interp, shell::ImageUse::Upgrade, r.image.c_str(), r.type, nullptr))
        return shell::Fail(code);

    if (r.type == 11) {
        int32_t present = 0;
        if (r.p && gpIFwUpgKv9->has_ext_dir_image(shell::CommandHostOps(interp, cd), kFebExtDirType, &present) == 0)
            r.p = false;
        if (r.c)
            r.line.emplace_back(r.p ? "-cp" : "-c");
        else if (r.p)
            r.line.emplace_back("-p");
    }
    r.line.push_back(r.image);

    // The backup: an NVRAM dump and its fingerprint, taken before anything is written.
    bool backupTaken = false;
    shell::BackupUse backup;
    if (takeBackup) {
        LogDebugMsg(DBG_DEBUG, "%s():LINE= %d, szCmdStr = _dump %s, Nic Type = %u ", kName, __LINE__,
                    r.backup.c_str(), family);
        if (shell::ObtainBackup(interp, kName, r.backup, &backup) != TCL_OK) return TCL_ERROR;
        backupTaken = true;
    }
    // A failed dump leaves its message in the result: no upgrade without a good backup.
    if (!ResultIsEmpty(interp)) return TCL_ERROR;

    const std::string line = shell::MergeWords(r.line);
    Tcl_ResetResult(interp);
    LogDebugMsg(DBG_DEBUG, "%s(): <%d> Before Tcl_Eval call ---- szCmd=%s, uRet=%u\r\n", kName, __LINE__,
                line.c_str(), g_uUpgRetCode);
    int result = shell::EvalWords(interp, r.line);
    LogDebugMsg(DBG_DEBUG, "%s(): <%d> After Tcl_Eval call ---- szCmd=%s, uRet=%u\r\n", kName, __LINE__,
                line.c_str(), g_uUpgRetCode);

    if (backupTaken) {
        if (result != TCL_OK) {
            // Images that could not be unpacked stop the upgrade before its first write.
            if (g_uUpgRetCode != CMD_ALREADY_INSTALLED && g_uUpgRetCode != CMD_WORK_FILES_FAILED)
                result = shell::RestoreBackup(interp, kName, backup.path, backup.key, result);
        } else {
            LogDebugMsg(DBG_DEBUG, "%s():The MBI upgrade has successful", kName);
            if (shell::CheckCRConMBIUprgade(interp) == TCL_ERROR && g_uUpgRetCode == kCrcFailures) {
                LogDebugMsg(DBG_DEBUG, "%s():CRC failures found after MBI upgrade !!! ", kName);
                result = shell::RestoreBackup(interp, kName, backup.path, backup.key, result);
            }
        }
    }
    return result;
}

}  // namespace

int FWUPG_Upgrade_Cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand(kName, [&] { return Upgrade(cd, interp, objc, objv); });
}
