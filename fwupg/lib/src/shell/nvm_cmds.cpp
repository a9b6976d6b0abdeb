// The engine-level commands ("_upgrade", "_prg", "_dump", "_crc", "dir", "_update_cfg",
// "_reset") and the checked forms "crc", "phy" and "update_cfg".
#include <strings.h>
#include <unistd.h>

#include <cstring>

#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "fwupg/shell_commands.h"
#include "fwupg/yxmapi_client.h"
#include "shell_internal.h"

namespace {

using namespace fwupg;
using FacadeCommand = int (IFwUpgKv9::*)(HostOps, int, Tcl_Obj* const[]);

struct EngineCommand {
    const char* name;
    FacadeCommand legacy;  // family 4
    FacadeCommand current; // families 5 and 6
};

constexpr EngineCommand kEngineCommands[] = {
    {"_upgrade", &IFwUpgKv9::nvm_upgrade, &IFwUpgKv9::nvm_upgrade_57710},
    {"_prg", &IFwUpgKv9::nvm_prg, &IFwUpgKv9::nvm_prg_57710},
    {"_dump", &IFwUpgKv9::nvm_dump, &IFwUpgKv9::nvm_dump_57710},
    {"_crc", &IFwUpgKv9::nvm_crc, &IFwUpgKv9::nvm_crc_57710},
    {"dir", &IFwUpgKv9::nvm_dir, &IFwUpgKv9::nvm_dir_57710},
};

bool IsCurrentFamily(uint32_t family)
{
    return family == yxmapi::kFamily57710 || family == yxmapi::kFamilyE4;
}

int NvmCmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc < 1) return TCL_ERROR;
    const char* name = Tcl_GetString(objv[0]);
    const uint32_t family = SelectedFamily();
    const EngineCommand* command = nullptr;
    for (const EngineCommand& row : kEngineCommands)
        if (std::strcmp(name, row.name) == 0) command = &row;
    if (!command) return TCL_ERROR;

    HostOps ops = shell::CommandHostOps(interp, cd);
    if (family != yxmapi::kFamilyLegacy && !IsCurrentFamily(family)) return TCL_ERROR;
    // Programming a user's file replaces the NVRAM in many writes: it runs with the board's
    // backup, so that a power loss on the way (with erasing flash, one that also takes the MAC
    // addresses and boot configurations the programming keeps) is repaired by the next change.
    // Programming back a backup is that repair and runs as it is. E4 images are not programmed so.
    if (command->legacy == &IFwUpgKv9::nvm_prg && family != yxmapi::kFamilyE4 && !shell::ProgrammingBackup()) {
        const FacadeCommand prg = family == yxmapi::kFamilyLegacy ? command->legacy : command->current;
        // With "-raw" every byte comes from the file, none from the NVRAM: a damaged board may
        // be programmed so (it is how a kept backup is programmed back by hand).
        bool raw = false;
        for (int i = 1; i < objc; ++i) raw = raw || std::strcmp(Tcl_GetString(objv[i]), "-raw") == 0;
        return shell::ChangeWithBackup(
            interp, "FWUPG_Nvm_Cmd", [&] { return (gpIFwUpgKv9->*prg)(ops, objc, objv) ? TCL_ERROR : TCL_OK; },
            raw ? shell::DamagedBoard::Allow : shell::DamagedBoard::Refuse);
    }
    if (family == yxmapi::kFamilyLegacy) return (gpIFwUpgKv9->*command->legacy)(ops, objc, objv) ? TCL_ERROR : TCL_OK;

    FacadeCommand slot = command->current;
    bool noted = false;
    if (command->current == &IFwUpgKv9::nvm_upgrade_57710) {
        for (int i = 1; i < objc; ++i) {
            const char* word = Tcl_GetString(objv[i]);
            if (std::strcmp(word, "-mbi") == 0) {
                slot = &IFwUpgKv9::nvm_upgrade_mbi;
                break;
            }
            // The next NVRAM write of an E4 adapter starts the MFW write mode.
            if (std::strcmp(word, "-mfw") == 0 && family == yxmapi::kFamilyE4) {
                SetPendingMfwNote(u"-mfw");
                noted = true;
            }
        }
    }
    // The note belongs to this command's first write: a command that wrote nothing (a refusal, or
    // an exception) must not hand it to the next command's first write.
    struct NoteScope {
        bool active;
        ~NoteScope()
        {
            if (active) ClearPendingMfwNote();
        }
    } note_scope{noted};
    return (gpIFwUpgKv9->*slot)(ops, objc, objv) ? TCL_ERROR : TCL_OK;
}

int NvmUpdateCfg(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc < 3) return shell::Fail(CMD_BAD_ARGUMENTS);
    if (SelectedFamily() != yxmapi::kFamilyE4) return shell::Fail(60);
    return gpIFwUpgKv9->nvm_update_cfg_e4(shell::CommandHostOps(interp, cd), objc, objv) ? TCL_ERROR : TCL_OK;
}

int Crc(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc > 2 || (objc == 2 && strcasecmp(Tcl_GetString(objv[1]), "-no_print") != 0))
        return shell::Fail(CMD_BAD_ARGUMENTS);
    const uint32_t family = SelectedFamily();
    HostOps ops = shell::CommandHostOps(interp, cd);
    if (family == yxmapi::kFamilyLegacy) return gpIFwUpgKv9->nvm_crc(ops, objc, objv) ? TCL_ERROR : TCL_OK;
    if (IsCurrentFamily(family)) return gpIFwUpgKv9->nvm_crc_57710(ops, objc, objv) ? TCL_ERROR : TCL_OK;
    return TCL_ERROR;
}

int Phy(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc < 2) return shell::Fail(CMD_BAD_ARGUMENTS);
    if (SelectedFamily() != yxmapi::kFamily57710) return shell::Fail(3);
    if (objc != 3 || std::strcmp(Tcl_GetString(objv[1]), "-upg") != 0) return shell::Fail(CMD_BAD_ARGUMENTS);
    const char* file = Tcl_GetString(objv[2]);
    if (access(file, F_OK) != 0) return shell::Fail(63);

    std::vector<uint8_t> image;
    if (uint32_t code = shell::g_pImageCheck(interp, shell::ImageUse::Phy, file, 7, &image)) return shell::Fail(code);
    if (image.empty()) return shell::Fail(3);
    if (yx::WritePhyFirmware(SelectedApiHandle(), image.data(), static_cast<uint32_t>(image.size())) != 0)
        return shell::Fail(106);
    return TCL_OK;
}

int UpdateCfg(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    static const char* const kName = "FWUPG_Update_Cfg_Cmd";
    if (objc < 3) return shell::Fail(CMD_BAD_ARGUMENTS);
    g_bNoReset = 0;
    if (SelectedFamily() != yxmapi::kFamilyE4) return shell::Fail(60);

    std::vector<std::string> words{"_update_cfg"};
    bool force = false;
    std::vector<std::string> files;
    std::vector<std::string> args = shell::Words(objc, objv);
    for (size_t i = 1; i < args.size(); ++i) {
        if (strcasecmp(args[i].c_str(), "-F") == 0) {
            force = true;
        } else if (!args[i].empty()) {
            if (access(args[i].c_str(), F_OK) != 0) return shell::Fail(63);
            files.push_back(args[i]);
        }
    }
    if (force) words.emplace_back("-F");
    words.insert(words.end(), files.begin(), files.end());

    const std::string line = shell::MergeWords(words);
    LogDebugMsg(DBG_DEBUG, "%s(): <%d> before Tcl_Eval call---- szCmd=%s, uRet=%d\r\n", kName, __LINE__,
                line.c_str(), static_cast<int>(g_uUpgRetCode));
    Tcl_ResetResult(interp);
    int rc = shell::EvalWords(interp, words);
    LogDebugMsg(DBG_DEBUG, "%s(): <%d> After Tcl_Eval  call---- szCmd=%s, uRet=%d\r\n", kName, __LINE__,
                line.c_str(), static_cast<int>(g_uUpgRetCode));
    return rc;
}

}  // namespace

int FWUPG_Nvm_Cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand("FWUPG_Nvm_Cmd", [&] { return NvmCmd(cd, interp, objc, objv); });
}

int FWUPG_Nvm_Update_Cfg_Cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand("FWUPG_Nvm_Update_Cfg_Cmd", [&] { return NvmUpdateCfg(cd, interp, objc, objv); });
}

// The reset itself happens in "q".
int FWUPG_Reset_Cmd(ClientData, Tcl_Interp*, int, Tcl_Obj* const*)
{
    g_bResetRequested = 1;
    return TCL_OK;
}

int FWUPG_Crc_Cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand("FWUPG_Crc_Cmd", [&] { return Crc(cd, interp, objc, objv); });
}

int FWUPG_Phy_Cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand("FWUPG_Phy_Cmd", [&] { return Phy(interp, objc, objv); });
}

int FWUPG_Update_Cfg_Cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return shell::GuardCommand("FWUPG_Update_Cfg_Cmd", [&] { return UpdateCfg(interp, objc, objv); });
}
