// The VPD commands ("vpd read", "vpd write") on the configuration-area copy at 0x540 or on the
// VPD image of the extended directory (the board's VPD itself is kept by e123/board_vpd.h).
#pragma once

#include <tcl.h>

namespace fwupg::nvm {

// Whether the read and write commands work on the directory image (::toe(IS_VPD_IMAGE), or the
// directory itself when that is not set).
bool vpd_uses_image(Tcl_Interp* interp);

}  // namespace fwupg::nvm
