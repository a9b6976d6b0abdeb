// Space allocation in E1-E3 NVRAM: first fit with compaction.
#pragma once

#include <cstdint>

extern "C" {

// Finds room for `length` bytes plus a CRC word for an image of `type`. The range
// [keep_offset, keep_offset + keep_length) is treated as occupied (an image programmed but not yet
// listed). Images of the same type are avoided when room exists elsewhere and only then reused.
// 0 with the offset, -1 no room or a failed move, -2 no memory.
int common_nvm_alloc_space(uint32_t type, uint32_t length, uint32_t keep_offset, uint32_t keep_length,
                           uint32_t* out);

// Number of images the allocator moved in this process (a caller that holds a copy of the
// extended directory re-reads it when this changes).
uint32_t common_nvm_alloc_moves();

// 1 when `length` bytes plus a CRC word fit now without moving anything, beside every listed
// image, the images of a held extended directory and the kept range; else 0.
int common_nvm_alloc_room_now(uint32_t length, uint32_t keep_offset, uint32_t keep_length);

}  // extern "C"
