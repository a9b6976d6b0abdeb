// Helpers shared by the upgrade commands of the E1-E3 engine.
#pragma once

#include <tcl.h>

namespace fwupg::nvm {

// The refusal of the upgrade commands for chips of no family this engine knows, which are
// refused rather than handled with another family's layout.
int unknown_chip(Tcl_Interp* interp);

}  // namespace fwupg::nvm
