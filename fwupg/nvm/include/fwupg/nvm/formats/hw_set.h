// The register script (HW_SET image): register reads, writes and read-modify-writes the adapter
// applies at given resets. Its text file is turned into the image the upgrade programs, and an
// image read from NVRAM back into a text file.
//
// Image as the parser returns it (32-bit words in host order): u32 version 1, u32 entry count,
// then 28-byte entries {register type (GRC 1, PHY 2, PCI 4), bank, PF, operation (R 1, W 2,
// RMW_SET 3, RMW_CLR 4), address, data, reset type}. In NVRAM every word is big-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {

// A new image (common_nvm_free) and its size, or null with the reason printed.
uint8_t* hw_set_parse(const char* path, uint32_t* size);
// Writes the text form of an image in NVRAM byte order (`length` bytes) into a new or empty file.
// 0, or 1.
int hw_set_dump(const char* path, const uint8_t* image, uint32_t length);

}  // extern "C"

namespace fwupg::nvm {

constexpr uint32_t kHwSetEntryBytes = 28;

struct hw_set_line {
    std::string reg_type;
    uint32_t bank = 0;
    uint32_t pf = 0;
    uint32_t address = 0;
    uint32_t data = 0;
    uint32_t reset_type = 0;
    std::string operation;
};

// Reads one upper-cased register line. 0, or 1 (with a message for the refusals that have one).
int hw_set_parse_line(const std::string& upper_line, hw_set_line& out);
// The parser on text held in memory: 0 with the image, or -1 with the reason printed.
int hw_set_text_to_image(const std::string& text, std::vector<uint8_t>& image);
// The text of an image in NVRAM byte order: 0, or -1 with the reason printed.
int hw_set_image_to_text(const uint8_t* image, uint32_t length, std::string& text);

}  // namespace fwupg::nvm
