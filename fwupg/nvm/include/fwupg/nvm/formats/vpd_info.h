// The fixed VPD record and the 128-byte VPD image of the configuration area (at NVRAM 0x540 of
// E1-E3 boards whose VPD is not a separate image).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct vpd_info {
    char product_name[49];
    char pn[17];
    char ec[11];
    char sn[17];
    char mn[5];
    char ya[17];
    char v0[17];
    char v1[17];
    uint8_t yb[128];
    uint8_t yb_len;
};
static_assert(sizeof(vpd_info) == 279);
static_assert(offsetof(vpd_info, pn) == 49 && offsetof(vpd_info, sn) == 77 && offsetof(vpd_info, yb_len) == 278);

// Applies the default values of the 57710 template to the fields whose bit is in the mask.
void vpd_set_defaults_57710(vpd_info* info, uint32_t mask);
// Parses a 128-byte image: 0 parsed, 1 no VPD header (fields empty), 2 fell back to defaults
// (bad checksum). Keywords it does not keep are skipped by their length.
int vpd_parse_image_57710(vpd_info* info, const uint8_t* image, int verbose);
// Builds the 128-byte image (in a cleared 256-byte buffer): 0, or -1 when the fields do not fit.
int vpd_build_image_57710(const vpd_info* info, uint8_t out[256]);

// The VPD forwarders of the access layer.
int common_nvm_vpd_parse(vpd_info* info, const uint8_t* image, int verbose);
int common_nvm_vpd_build(const vpd_info* info, uint8_t out[256]);
void common_nvm_vpd_defaults(vpd_info* info, uint32_t mask);

}  // extern "C"

namespace fwupg::nvm {
// True when a 128-byte VPD copy parses cleanly and rebuilds to the same bytes, so that rebuilding
// it from its record loses nothing (a blank copy, unknown keywords or a bad checksum do not).
bool vpd_copy_round_trips(const uint8_t* image);
}  // namespace fwupg::nvm
