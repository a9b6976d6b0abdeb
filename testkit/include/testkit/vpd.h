// PCI Vital Product Data images: the 128-byte image of the configuration-area copy and the
// image of the extended directory's VPD entry.
#pragma once

#include "testkit/bytes.h"

#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct VpdFields {
  std::string name = "Test Ethernet Adapter";  // at most 48
  std::string pn = "TK57000A0";                // at most 16
  std::string ec = "EC-001";                   // at most 10
  std::string sn = "SN0000000001";             // at most 16
  std::string mn = "14e4";                     // at most 4
  std::string v0;                              // at most 16; written only when not empty
  Bytes yb;                                    // written only when not empty
};

// The 128-byte image: 0x82 ID string (name and its NUL), 0x90 read-only area ending at byte 126
// with PN, EC, SN, MN, [V0], [YB] and "RV" whose checksum byte makes bytes 0..checksum sum to 0;
// byte 127 is the end tag 0x78. Lengths of the resource tags are little-endian u16. Throws
// std::invalid_argument when a field is too long or the fields do not fit.
Bytes vpd_image_128(const VpdFields& f);

// The image of a VPD directory entry, in host view: u32 header word (revision), then 0x82 with the
// name, 0x90 whose area ends 2 bytes before the end, the fields in order, "RV" with its checksum,
// and 0x78 as the last byte. `area` is the size of the resource part (a multiple of 4); the image
// is area + 4 bytes. Extra fields beyond the fixed ones may be given as {keyword, text}.
Bytes vpd_directory_image(const VpdFields& f, uint32_t area = 128, uint32_t revision = 1,
                          const std::vector<std::pair<std::string, std::string>>& extra = {});

// The VPD text file the upgrade's "-vpd" option reads: revision, "[REGION=VPD-R, <size>]" and one
// "<name>=Text,\"<data>\"" line per field.
std::string vpd_text_file(const VpdFields& f, uint32_t region_size = 128, unsigned revision = 1);

}  // namespace testkit
