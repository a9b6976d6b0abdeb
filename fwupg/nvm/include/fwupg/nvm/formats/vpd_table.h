// The VPD field table: the form of a VPD image that stands in a directory (and of the VPD text
// file), with its size, its builders and its parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {

struct vpd_field {
    char keyword[3];
    uint8_t length;
    uint8_t data[251];  // text NUL-terminated, YB raw bytes
};
static_assert(sizeof(vpd_field) == 255);

struct vpd_field_table {
    char product_name[82];
    uint16_t name_length;
    uint32_t count;
    uint8_t reserved[2];
    vpd_field fields[20];
    uint8_t tail[2];
};
static_assert(sizeof(vpd_field_table) == 5192);
static_assert(offsetof(vpd_field_table, name_length) == 82 && offsetof(vpd_field_table, count) == 84 &&
              offsetof(vpd_field_table, fields) == 90);

// Bytes the resources of the table need: name + 6, each field's data + 3, and 6 more.
uint32_t vpd_table_size(const vpd_field_table* table);
// A new buffer (common_nvm_free) of size + 4 bytes: the header word, then the resources laid
// out in `size` bytes; null (with the message printed) when they do not fit. The _ext form is
// the one the text file uses.
uint8_t* vpd_table_build_image(const vpd_field_table* table, uint32_t size, uint32_t header);
uint8_t* vpd_table_build_image_ext(const vpd_field_table* table, uint32_t size, uint32_t header);

// Upper-cases the name in place; 1 when it names a VPD field the commands know.
int vpd_field_name_valid(char* name);

}  // extern "C"

namespace fwupg::nvm {

constexpr uint32_t kVpdMaxFields = 20;
constexpr uint32_t kVpdMaxData = 250;
constexpr uint32_t kVpdNameRoom = 81;

// Parses the resources of a directory VPD image (host view, header word first) into a cleared
// table. 0, or -1 with the reason in `error`. Never reads outside the `length` bytes.
int vpd_table_from_image(const uint8_t* image, uint32_t length, vpd_field_table* table, std::string* error);

// The field of the keyword, or null.
vpd_field* vpd_table_find(vpd_field_table* table, const char* keyword);
// Replaces the data of the keyword's field or adds a field; false when the data is too long or
// the table is full. `added` tells which happened.
bool vpd_table_set(vpd_field_table* table, const char* keyword, const uint8_t* data, uint32_t length,
                   bool* added = nullptr);
// Sets the product name; false when it is too long.
bool vpd_table_set_name(vpd_field_table* table, const char* name, uint32_t length);

}  // namespace fwupg::nvm
