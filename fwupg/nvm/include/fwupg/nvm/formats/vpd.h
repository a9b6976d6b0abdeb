// PCI Vital Product Data in the fixed record form with the older template of the legacy family:
// defaults, parsing a 128-byte image and building one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwupg/nvm/formats/vpd_info.h"

// Mask bits of vpd_set_defaults, one per text field.
enum vpd_default_bit : uint32_t {
    VPD_DEF_NAME = 0x1, VPD_DEF_PN = 0x2, VPD_DEF_EC = 0x4, VPD_DEF_SN = 0x8,
    VPD_DEF_MN = 0x10, VPD_DEF_YA = 0x20, VPD_DEF_V0 = 0x40, VPD_DEF_V1 = 0x80,
};

// Writes the default text into each field whose bit is in `mask`.
void vpd_set_defaults(vpd_info* info, uint32_t mask);

// Parses the first 128 bytes of a VPD image (natural byte order) into a cleared record. Faults in
// the image are printed when `verbose` is set; a bad read-only area falls back to the defaults
// of PN, EC, SN, MN and V0.
void vpd_parse_image(vpd_info* info, const uint8_t* image, int verbose);

// Builds the 128-byte VPD image of the record into a cleared 256-byte area. 0, or -1 (area
// cleared) when the fields do not fit.
int vpd_build_image(const vpd_info* info, uint8_t* out);
