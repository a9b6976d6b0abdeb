// Small questions the front end asks about an E1-E3 adapter: image presence compared with a
// whole-image file, per-port configuration words, external PHY types.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

extern "C" {

int common_nvm_ext_image_present(HostOps host, uint32_t type, int32_t* k);
// The file image is a whole NVRAM image in host-order words of ::toe(NVM_SIZE) bytes.
int common_nvm_mba_matches_file(HostOps host, const uint8_t* file_image);
int common_nvm_ncsi_matches_file(HostOps host, const uint8_t* file_image);
int common_nvm_feb_matches_file(HostOps host, const uint8_t* file_image);
int common_nvm_ccm_matches_file(HostOps host, const uint8_t* file_image);
int common_nvm_image_matches_file(HostOps host, const uint8_t* file_image, uint32_t type);
int common_nvm_get_port_cfg_word(HostOps host, uint32_t selector, const uint8_t* file_image, uint32_t* value);
int common_nvm_port_cfg_word_offset(HostOps host, uint32_t selector, uint32_t* offset);
int common_nvm_ext_phy_type(HostOps host, uint32_t port, uint32_t* type);
int common_nvm_ext_phy2_type(HostOps host, uint32_t port, uint32_t wanted);

}  // extern "C"

namespace fwupg::nvm {
// The configuration word of a selector for the current function, from NVRAM or from a whole
// image of `image_size` bytes: 0 or -1.
int port_cfg_word(uint32_t selector, const uint8_t* file_image, uint32_t image_size, uint32_t* value);
}  // namespace fwupg::nvm
