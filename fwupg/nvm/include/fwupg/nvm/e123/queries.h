// Small questions the front end asks about an E1-E3 adapter: image presence compared with a
// whole-image file, per-port configuration words, external PHY types.
#pragma once

#include <cstdint>

#include "fwupg/engine_procs.h"
#include "fwupg/host_ops.h"

// The facade's procedures (presence, port words, PHY types) are declared with the facade's
// engine interface; this one the facade reaches through common_nvm_image_matches_file.
extern "C" int common_nvm_ccm_matches_file(HostOps host, const uint8_t* file_image);
// 1 when both MFW images are listed in the extended directory.
extern "C" int common_nvm_mfw_pair_present();

namespace fwupg::nvm {
// The configuration word of a selector for the current function, from NVRAM or from a whole
// image of `image_size` bytes: 0 or -1.
int port_cfg_word(uint32_t selector, const uint8_t* file_image, uint32_t image_size, uint32_t* value);
}  // namespace fwupg::nvm
