// The VPD text file: read into a directory VPD image, and a VPD image dumped into one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {

// The image (header word and resources; common_nvm_free) and its size, or null with the reason
// printed.
uint8_t* vpd_text_file_to_image(const char* path, uint32_t* size);
// Writes the text form of an image (NVRAM byte order, CRC word last) into a new or empty file.
// 0, or 1.
int vpd_image_to_text_file(const char* path, const uint8_t* image, uint32_t length);

}  // extern "C"

namespace fwupg::nvm {
// The parser of vpd_text_file_to_image on text held in memory: 0 with the image, or -1.
int vpd_text_to_image(const std::string& text, std::vector<uint8_t>& image);
// The text vpd_image_to_text_file writes for an image in host view (header word first): 0, or
// -1 with the reason printed.
int vpd_image_to_text(const uint8_t* image, uint32_t length, std::string& text);
}  // namespace fwupg::nvm
