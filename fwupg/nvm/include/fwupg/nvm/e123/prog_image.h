// Programming one image through the primary directory (or the bootstrap record for BC1).
#pragma once

#include <cstdint>

extern "C" {

// 0 success, -1 failure (last error 35 when the version check refuses).
int common_nvm_prog_image_by_idx(const uint8_t* image, uint32_t length, uint32_t row, int check_version);

// Load (SRAM) address the programmer gives an image of this directory type and processor code.
uint32_t common_nvm_load_address(uint32_t type, uint32_t processor);

}  // extern "C"
