// The vendor and device ids of an option-ROM chain.
#pragma once

#include <cstdint>

extern "C" {

// Gives every image of an option-ROM chain in buffer[0, length) the vendor and device id.
// 0 or -1; a chain that leaves the buffer or does not advance is refused.
int common_nvm_patch_rom_ids(uint8_t* image, uint32_t length, uint16_t vendor_id, uint16_t device_id);

}  // extern "C"
