// Text of the directory and CRC listings, built to any length and printed whole.
#pragma once

#include <cstdint>
#include <string>

namespace fwupg::nvm {

// printf-style formatting appended to `out`, without a length limit.
void appendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Processor name of a directory entry's processor code (bits 24-27 of its flags).
const char* processor_name(uint32_t processor_bits);
// Version text of the image of `name` at an NVRAM offset ("" when it cannot be read).
std::string nvram_image_version(uint32_t nvm_offset, const char* name);
// The lines common_nvm_mba_version_lines writes.
std::string mba_version_lines(const char* version);

}  // namespace fwupg::nvm

extern "C" {
// The lines of an MBA version text: each piece that ends in ";" (at most 8), then the rest; the
// first as "%20s\n", the others as "%74s\n". Returns the characters written (at most size - 1).
int common_nvm_mba_version_lines(const char* version, char* out, uint32_t size);
}
