// Programming E4 images. A single image is written as its 32-byte header and then its data, both
// at NVRAM offset 0; a bundle as one write at offset 0. Placing the image and rewriting the
// directory is the adapter firmware's work (the write mode tells it which kind of write comes).
#pragma once

#include <cstdint>

#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_header.h"

namespace fwupg::nvm::e4 {

// The header to program with: null without a buffer or length; the buffer itself for a bundle
// (single false) or for a single image that carries a header (a version 1 or 2 header is made
// version 3 in place); `out` filled for a single image without one (null when `out` is null or
// the headed buffer is shorter than its header).
e4_image_header* e4_image_header_prepare(uint8_t* buffer, uint32_t length, uint32_t row, bool single,
                                         e4_image_header* out);

// Single: checks, then writes the header and `length` data bytes, unless the NVRAM's image of
// that type holds those bytes already. The data are padded with zeros
// up to the header's length when that is their length rounded up to 4; a longer header length
// is refused. Bundle (header = data = the bundle): rewrites each item's type for the bank that
// is not running, checks each item (a refused LIM is passed over), writes the bundle whole, then
// updates the MBA fields of NVM_CFG1. 0, or -1 on any refusal or failure.
int e4_nvm_program_image(e4_image_header* header, uint8_t* data, uint32_t length, bool single, bool check);

// 0 to go on, -1 to refuse, with the version messages.
int e4_image_upgrade_check(const e4_image_header& header, const uint8_t* data, const e4_nvm_dir* dir, bool check);

// The VPD image (row "-vpd") as a single image without version check; -1 when the row is missing.
int e4_nvm_program_vpd(const uint8_t* buffer, uint32_t length);
// NVM_CFG1, DEFAULT_CFG or META as a single image without version check; other types -1. While a
// configuration batch is open (cfg_batch.h) the image goes to the batch instead of the NVRAM.
int e4_nvm_program_cfg_image(uint32_t type, const uint8_t* buffer, uint32_t length);
// NVM_CFG1, DEFAULT_CFG or META data (a whole number of words, no header of their own) written to
// the NVRAM now, whether a batch is open or not.
int e4_nvm_write_cfg_image(uint32_t type, const uint8_t* data, uint32_t length);

// After an MBA image: NVM_CFG1 gets the MBA size code (byte 88, bits 0-3) and the UEFI version
// of the programmed data (byte 148). Other types: 0. -1 when there is nothing to update (no
// NVM_CFG1, or an MBA above 16 MiB, which has no size code); -2 when the write of NVM_CFG1
// fails, which fails the upgrade: the boot agent would be started with a stale size code.
int e4_mba_update_cfg(const e4_image_header& header);

}  // namespace fwupg::nvm::e4
