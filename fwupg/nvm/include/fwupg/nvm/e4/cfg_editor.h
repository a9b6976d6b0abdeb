// The E4 configuration editor: numbered options of NVM_CFG1 (global fields, fields of each port
// block and of each function block), the "cfg" requests, the configuration display and the MBI
// downgrade guard. Results are 0 for success and -1 for failure unless said otherwise.
#pragma once

#include <tcl.h>

#include <cstdint>

#include "fwupg/cfg_request.h"
#include "fwupg/host_ops.h"

namespace fwupg {
class FwPackage;
}

extern "C" {

// Gets or sets one numbered option in an NVM_CFG1 buffer of at least 4240 bytes. A port field is
// handled for the current port, or with `all` for every port; a function field for the current
// function's block, or with `all` (setting only) for all 16 blocks. A get stores the field in
// *value and prints "Option #%d: value = 0x%x".
int e4_cfg_option(uint8_t* buffer, uint32_t option, uint32_t* value, int set, int all);
// True when the value may be set into the option; a refused value prints its message (severity 1).
bool e4_cfg_option_valid(uint32_t option, uint32_t value);
// True when low <= value <= high, else the range message and false.
bool e4_cfg_value_in_range(uint32_t value, uint32_t low, uint32_t high);

// Carries out `count` requests on the adapter's NVM_CFG1 and writes it once, only when every
// request succeeded: 0, -1, or the failing step's result.
int set_nvm_cfg_e4(HostOps ops, cfg_request* requests, uint32_t count, uint32_t all);
// Prints what the request's selector (its value field) names; 0 once NVM_CFG1 was loaded, else -1.
int show_nvm_cfg_e4(HostOps ops, cfg_request* request);

}  // extern "C"

// True when an MBI package must not go on an adapter of this subsystem id because its
// configuration would drop the storage protocols that NVRAM option 117 enables.
bool e4_mbi_downgrade_blocked(Tcl_Interp* interp, fwupg::FwPackage& package, uint32_t ssid);

namespace fwupg::nvm::e4 {

// A field of a configuration image (32-bit little-endian words) at a bit position; a field never
// spans two words. A field past the image's end reads as 0 and is not written.
uint32_t cfg_field_get(const uint8_t* image, uint32_t length, uint32_t bit, uint32_t width);
void cfg_field_set(uint8_t* image, uint32_t length, uint32_t bit, uint32_t width, uint32_t value);

// Word offsets of the port and function blocks.
inline constexpr uint32_t kPortBlockWords = 150, kFuncBlockWords = 20, kPorts = 4, kFuncBlocks = 16;

}  // namespace fwupg::nvm::e4
