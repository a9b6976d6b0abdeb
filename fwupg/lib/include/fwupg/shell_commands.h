// The command shell: the 13 commands the library's interpreter knows. "upgrade", "cfg", "phy",
// "crc" and "update_cfg" check their arguments and the selected adapter and then run the engine
// forms (the commands whose names begin with "_") or the engine facade; "q" closes every line.
// A command reports an error by setting g_uUpgRetCode and returning TCL_ERROR. No C++ exception
// leaves a command procedure.
#pragma once

#include <tcl.h>

#include <cstdint>
#include <string>
#include <vector>

struct ShellCommandRow {
    const char* name;
    Tcl_ObjCmdProc* proc;
    const char* help;
};

// The 13 rows in registration order, then a row with a null name.
extern const ShellCommandRow FrontEndCommandTable[14];

// RegisterShellCommands (frame_work.h) registers the table in an interpreter, in this order.

// Image-type code of an upgrade option, compared without case: 0-23 (23 for anything unknown).
uint32_t GetImageTypeFromOption(const char* option);

extern "C" {
int FWUPG_NvmCfg_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Upgrade_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Nvm_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Quit_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Reset_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Phy_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Crc_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Update_Cfg_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
int FWUPG_Nvm_Update_Cfg_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]);
}

namespace fwupg::shell {

// Joins words into one Tcl list text (each word quoted as a list element as needed).
std::string MergeWords(const std::vector<std::string>& words);
// Evaluates the words as one command, without substitution of any word.
int EvalWords(Tcl_Interp* interp, const std::vector<std::string>& words);

// The image-file checks the shell asks for. Each answers 0 when the file suits the selected
// adapter, else the code to report.
enum class ImageUse {
    Upgrade,  // the per-type check of "upgrade" for `type`
    Phy,      // a PHY image for this adapter; its bytes are returned in `bytes`
    Restore,  // a full NVRAM image (an NVRAM backup) for this adapter
};
using ImageCheckFn = uint32_t (*)(Tcl_Interp* interp, ImageUse use, const char* path, uint32_t type,
                                  std::vector<uint8_t>* bytes);
// The checks in use: the image-file checks of the library; tests may point it at a double.
extern ImageCheckFn g_pImageCheck;
uint32_t LibraryImageCheck(Tcl_Interp* interp, ImageUse use, const char* path, uint32_t type,
                           std::vector<uint8_t>* bytes);

}  // namespace fwupg::shell
