// Helpers of the prg command that other legacy commands may use.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

// Asks the front end to select another device of the adapter ("device N -no_display" in the
// record's interpreter); the outcome is not looked at.
void toe_nvm_select_device(HostOps ops, uint32_t device);
