// Helpers shared by the upgrade commands of the E1-E3 engine.
#pragma once

#include <tcl.h>

namespace fwupg::nvm {

// The refusals of the upgrade commands: E4 adapters (not yet), and chips of no family this
// engine knows, which are refused rather than handled with another family's layout.
int e4_not_supported(Tcl_Interp* interp);
int unknown_chip(Tcl_Interp* interp);

}  // namespace fwupg::nvm
