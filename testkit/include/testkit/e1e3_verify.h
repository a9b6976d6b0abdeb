// Verifier of E1-E3 NVRAM images: every CRC, every pointer and length, and that no two images
// overlap. Engine tests call it after every write.
#pragma once

#include "testkit/e1e3_nvram.h"

#include <string>
#include <vector>

namespace testkit::e1e3 {

struct FoundImage {
  std::string where;  // "bootstrap", "dir[3]", "ext[5]", "ext-dir"
  std::string name;   // kind name, or "?" for a type the kind table does not know
  uint32_t dir_type;
  uint32_t offset;
  uint32_t length;
};

struct Report {
  std::vector<std::string> errors;
  std::vector<FoundImage> images;
  bool ok() const { return errors.empty(); }
  // One line per image found, then one line per error.
  std::string text() const;
};

// Checks: bootstrap magic and CRC and its image's CRC; directory CRC; configuration and feature
// CRCs of each path (one path on E1); every port part of each path naming the board's device id
// and a MAC address that is not erased (function 0's, port 0 of path 0, not zero either); each
// directory entry's bounds, alignment and trailing CRC;
// entry 15's extended directory: length 780, CRC, count at most 64, unused slots zero, byte count
// equal to the sum of the entry lengths, and each entry as above; no two images overlapping each
// other or the fixed area. Never throws on bad input.
Report verify(const Bytes& nvram, Chip chip);

}  // namespace testkit::e1e3
