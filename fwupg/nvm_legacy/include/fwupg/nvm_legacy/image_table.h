// Image types of the legacy chip family and the wrapped image-file format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwupg/host_ops.h"
#include "fwupg/wrapped_record.h"  // kWrappedMagic, the magic of a wrapped image header

// One row of the image-type table. The row index is the image-type number used throughout the
// engine. `tag` holds the four tag bytes in file order.
struct toe_image_row {
    const char* name;
    const char* option;      // "" when no command option selects the type
    uint32_t processor;      // bits 24-27: the processor that runs the image
    uint32_t dir_type;       // directory type bits (flags & 0xF0000001)
    uint8_t tag[4];
};

constexpr int TOE_IMAGE_ROWS = 21;
extern const toe_image_row g_toe_image_table[TOE_IMAGE_ROWS];

// Row numbers the engine refers to by name.
enum toe_image_index : int {
    TOE_IMG_BC1 = 0, TOE_IMG_BC2 = 1, TOE_IMG_MBA = 2, TOE_IMG_L2_RXP = 3, TOE_IMG_ISCSI_B = 4,
    TOE_IMG_ISB_CFG = 5, TOE_IMG_ISB_CFG2 = 6, TOE_IMG_ISB_CPRG = 7, TOE_IMG_IPMI_CFG = 8,
    TOE_IMG_IPMI_INIT = 9, TOE_IMG_IPMI_SERV = 10, TOE_IMG_UMP = 11, TOE_IMG_NCSI_CMN = 12,
    TOE_IMG_NCSI_XLIB = 13, TOE_IMG_NCSI_ELIB = 14, TOE_IMG_USR_BLK = 15, TOE_IMG_FCOE_B = 16,
    TOE_IMG_FEB_CFG = 17, TOE_IMG_FEB_CFG2 = 18, TOE_IMG_FEB_CPRG = 19, TOE_IMG_CCM = 20,
};

constexpr uint32_t TOE_DIR_TYPE_BC1 = 0xF0000000u;

// A tag as one 32-bit word: the four file bytes read in host (little-endian) order.
constexpr uint32_t toe_tag_word(const uint8_t t[4])
{
    return uint32_t(t[0]) | uint32_t(t[1]) << 8 | uint32_t(t[2]) << 16 | uint32_t(t[3]) << 24;
}
constexpr uint32_t toe_tag_word(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

// Lookups; each returns the row index or -1.
int toe_image_by_option(const char* option);
int toe_image_by_tag(uint32_t tag);        // first row with the tag
int toe_image_by_dir_type(uint32_t dir_type);
int toe_image_by_name(const char* name);   // exact name

// Header of one record of a wrapped image file, decoded. Version 1 headers (16 bytes) carry no
// compatibility word; it reads as 0 then.
struct wrapped_image_header {
    uint32_t magic;
    uint32_t version;
    uint32_t tag;
    uint32_t compat;
    uint32_t length;
};

// Decodes the record header at `pos` of a file buffer. Returns the header size (16 or 20), 0 when
// the bytes there do not start with the magic, or -1 when the header is cut off or its version is
// neither 1 nor 2 (`out->version` then tells which). A returned header guarantees nothing about the
// data length: the caller checks `pos + size + length` against the buffer.
int toe_wrapped_header_at(const uint8_t* buf, size_t len, size_t pos, wrapped_image_header* out);

// Row of a wrapped record by the table's rules: version-1 records by exact tag, version-2 records
// with the IPv6 and config aliases and the second-port rule. Returns the row, -1 when no row is known,
// or -2 when the record is one of the tags that travel in files but are never programmed.
int toe_wrapped_record_row(const HostOps& ops, const wrapped_image_header& hdr);

// Compatibility of a version-2 record with the adapter: 1 skip (tag in the zero-terminated skip
// list), 0 accept, -1 refused (text in the Tcl result, last error 16 or 22 or 48).
int toe_check_image_compat(const HostOps& ops, const wrapped_image_header& hdr, const uint32_t* skip_list);
