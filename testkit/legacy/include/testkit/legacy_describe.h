// Short text description of a legacy-family NVRAM image for fwgen ("nvram --legacy"): "key=value"
// lines, '#' starts a comment line. Errors throw std::invalid_argument naming the line.
//
//   board=5706|5708|5709|5716|57728      size=0x40000       buffered=1      untranslated=1
//   ids=VID DID SVID SSID
//   mac=MAC0 [MAC1]   iscsi_mac=MAC0 [MAC1]   backup_mac=MAC0 [MAC1] | backup_mac=unset
//                                          (each MAC as 12 hexadecimal digits)
//   smbus=A [B]       spare=TEXT       feature_bits=N       forced_l1=1
//   vpd.name= vpd.pn= vpd.ec= vpd.sn= vpd.mn=
//   image=KIND VERSION [size=N] [at=N] [did=N] [ip=4|6|4n6]   a stock image of the kind
//   image=KIND file=PATH [at=N]       an image from a file as image files carry it (every
//                                     4-byte group reversed against NVRAM)
//   corrupt=OFFSET                    flips the low bit of that byte once every CRC is written
// Images are placed from 0x600 in the order given (BC1 is named by the bootstrap record, the
// others go into the directory); `at` places one at a given offset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/legacy_image.h"

namespace testkit::legacy {

struct description {
    adapter a;
    std::vector<uint32_t> corrupt;
};

// Relative file names are taken from `base_dir`.
description parse_description(std::string_view text, const std::string& base_dir = ".");
// The NVRAM image of a description, with its corruptions applied.
bytes build_described(const description& d);

}  // namespace testkit::legacy
