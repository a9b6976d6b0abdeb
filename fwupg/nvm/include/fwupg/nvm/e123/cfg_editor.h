// The option editor of the E1-E3 configuration set: single options and numbered parameters are
// changed by a read-modify-write of the whole set, and shown one at a time.
#pragma once

#include <cstdint>

#include "fwupg/cfg_request.h"
#include "fwupg/host_ops.h"

extern "C" {

// Changes the one option the request names by a read-modify-write of the configuration set: 0
// done, 1 refused (last error and message set), or the failure of the read. `mode` is the
// caller's multi-function form (1: virtual connect).
int common_nvm_cfg_57710_set(HostOps ops, cfg_request* request, uint32_t mode);

// Numbered parameters: 1 when the value is accepted for the index (prints the reason when not);
// the setter stores an accepted value in the configuration record (0, or 1 when refused); the
// display prints one parameter of the record (0, or 1 for an unknown index).
int common_nvm_cfg_param_valid(uint32_t index, uint32_t value);
int common_nvm_cfg_set_param(uint8_t* record, uint32_t index, uint32_t value);
int common_nvm_cfg_show_param(const uint8_t* record, uint32_t index);

// Virtual functions still free for the current function, from the function entries of the
// partition block (same-parity functions share a budget of 64).
uint32_t common_nvm_vf_available(const uint8_t* nic_prtion);

}  // extern "C"
