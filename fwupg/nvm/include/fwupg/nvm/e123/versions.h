// Version texts of E1-E3 images and the upgrade checks that compare them.
#pragma once

#include <cstdint>

extern "C" {

// Writes the version text of an image (NUL-terminated, at most out_size bytes). With
// `is_buffer` the source is a host buffer of `source_size` bytes, else an NVRAM offset.
// 0 or -1 (a read failed or left the buffer).
int common_nvm_image_version_str(uintptr_t source, uint32_t source_size, const char* name, char* out,
                                 uint32_t out_size, int is_buffer);
// 0 allowed, -1 refused (with its messages).
int common_nvm_check_image_version(const char* name, const char* nvram_text, const char* file_text);
// 0 allowed, -1 refused.
int common_nvm_check_mba_version(uint32_t nvram_offset, const uint8_t* file_image, uint32_t file_size);
// Slots of the eight kinds of sub-image of an MBA ROM chain. 0 or -1.
int common_nvm_parse_mba_rom(int is_buffer, uintptr_t source, uint32_t source_size, uint32_t slots[8],
                             const char* kinds[8]);

// Packs major.minor.revision.build for comparison.
uint32_t common_nvm_pack_version(int major, int minor, int revision, int build);

}  // extern "C"

namespace fwupg::nvm {
extern const char* const kMbaKinds[8];
}
