// The E4 branches of the engine's commands: each takes the command's interpreter and words (the
// command word first) with the adapter's record current, and answers as its command does.
#pragma once

#include <tcl.h>

namespace fwupg::nvm::e4 {

// "_upgrade [-F] -<image_type> <filename>": one image, or a bundle with "-mfw"; "-mbi" does
// nothing here. 0, or -1 on a usage error, an unknown type, a missing file or a failed upgrade.
int upgrade_cmd(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

// "dir" without arguments: the directory listing with its bank marks. 0, or 1.
int dir_listing();

// "crc", "crc -no_print", "crc <image>" and "crc -fix <image>". 0, 1 on a mismatch, or -1.
int crc_cmd(int objc, Tcl_Obj* const objv[]);

}  // namespace fwupg::nvm::e4
