// Option fixes that particular boards need after an MFW upgrade or a whole-image programming, and
// the configuration setter they go through.
#pragma once

#include <tcl.h>

#include <cstdint>

#include "fwupg/cfg_request.h"

extern "C" {
// Board fix-ups after a whole image was programmed; provided by the upgrade code when it is
// linked in (the program command calls it only when present).
void common_nvm_board_fixups_after_prg(Tcl_Interp* interp) __attribute__((weak));
}

namespace fwupg::nvm {

// The setter the board fix-ups and the MBI version store use; the configuration editor by
// default. Tests replace it to see the requests.
using CfgSetter = int (*)(cfg_request* request);
void set_cfg_setter(CfgSetter setter);
int apply_cfg(cfg_request* request);

// The six SSID-keyed option fixes after an MFW upgrade, in their order; `arg` is the value of the
// fourth (the option-248 step).
void board_fixups_after_mfw(uint16_t ssid, uint64_t arg);

}  // namespace fwupg::nvm
