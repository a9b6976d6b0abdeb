// The VPD image of an E4 adapter (type 7): resources in natural byte order behind a header word,
// with the image's trailing CRC after them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fwupg/nvm/formats/vpd_table.h"

extern "C" {

// Reads the VPD image into the table: 0, or -1 with the reason printed.
int get_vpd_info_from_image(vpd_field_table* table);
// Replaces or adds one text field and programs the image again (not when the field holds the
// text already): 0, -1 when the image can't be read, 1 when it can't be built or programmed.
int common_nvm_e4_set_vpd_field(const char* keyword, const char* text);

}  // extern "C"

namespace fwupg::nvm::e4 {

// The VPD image as it stands in NVRAM (header word, resources, CRC): 0, or -1 with the reason
// printed.
int read_vpd_image(std::vector<uint8_t>& image);

// Replaces or adds text fields (keyword, text) and programs the image once; when every field
// holds its text already nothing is written. 0, -1 when the image can't be read, 1 when it can't
// be built or programmed.
int set_vpd_fields(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace fwupg::nvm::e4
