// The list of approved SFP+ optical modules: its text file turned into the list image the
// upgrade programs, and a list image read from NVRAM turned back into a text file.
//
// Image as the parser returns it (32-bit words in host order): u32 revision (1), u32 entry count,
// then 40-byte entries {u32 flags; char name[16]; u8 oui[3]; u8 pad; char part_number[16]}, texts
// space-padded and not terminated. Flags: bit 0 name given, bit 1 OUI given, bit 2 part number
// given; a wildcard is stored as "*" (00-00-00 for the OUI). In NVRAM the header and flags words
// are big-endian and the texts in reading order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {

// A new image (common_nvm_free) and its size, or null with the reason printed.
uint8_t* sfp_module_list_parse(const char* path, uint32_t* size);
// Writes the text form of a list image in NVRAM byte order (`length` bytes) into a new or empty
// file. 0, or 1.
int sfp_module_list_dump(const char* path, const uint8_t* image, uint32_t length);

}  // extern "C"

namespace fwupg::nvm {

constexpr uint32_t kSfpMaxModules = 32;
constexpr uint32_t kSfpEntryBytes = 40;
constexpr uint32_t kSfpTextBytes = 16;

// Splits a module line into name, OUI and part number. False when a field is missing.
bool sfp_module_line_split(const std::string& line, std::string& name, std::string& oui, std::string& part_number);
// The parser on text held in memory: 0 with the image, or -1 with the reason printed.
int sfp_module_text_to_image(const std::string& text, std::vector<uint8_t>& image);
// The text of a list image in NVRAM byte order: 0, or -1 with the reason printed.
int sfp_module_image_to_text(const uint8_t* image, uint32_t length, std::string& text);
// Swaps words 1-9 of every entry of a host-order image so that programming (which stores every
// word big-endian) leaves the texts in reading order.
void sfp_module_image_to_nvram_texts(uint8_t* image, uint32_t size);

}  // namespace fwupg::nvm
