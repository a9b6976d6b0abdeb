// Helpers shared by the upgrade commands of the E1-E3 engine.
#pragma once

#include <tcl.h>

namespace fwupg::nvm {

enum class UpgradePath { Older, E4, Unknown };

// Older-chip path for every E1-E3 device (including the 57712-class parts), the E4 path only for
// E4 devices; anything else is refused rather than handled with another family's layout.
UpgradePath upgrade_path();
int e4_not_supported(Tcl_Interp* interp);
int unknown_chip(Tcl_Interp* interp);

}  // namespace fwupg::nvm
