// The SFP+ module list and the register script (HW_SET): their text files and the images they
// stand for, in NVRAM byte order and in the host-order form an engine builds before programming.
#pragma once

#include "testkit/bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// One approved module; "*" in a field means any value. `oui` is "xx-xx-xx" (hexadecimal) or "*".
struct SfpModule {
  std::string name;         // at most 16 characters
  std::string oui;
  std::string part_number;  // at most 16 characters, no blanks
};

// The text file: a comment line, "revision = <revision>", then "<name> , <oui> , <part number>"
// per module (the OUI in lower-case two-digit form).
std::string sfp_module_text(const std::vector<SfpModule>& modules, unsigned revision = 1);
// The list image: u32 revision 1, u32 count, 40-byte entries {u32 flags (bit 0 name, bit 1 OUI,
// bit 2 part number given), name[16] space-padded, oui[3] (0 for "*"), 0, part_number[16]}.
// NVRAM form: the header and flags words big-endian, the texts in reading order.
Bytes sfp_module_nvram_image(const std::vector<SfpModule>& modules);
// Host form: the same with the header and flags words little-endian.
Bytes sfp_module_host_image(const std::vector<SfpModule>& modules);

struct HwSetEntry {
  std::string reg_type;  // GRC, PHY, PCI
  uint32_t bank = 0;
  uint32_t pf = 0;
  uint32_t address = 0;
  uint32_t data = 0;
  uint32_t reset_type = 0;
  std::string operation;  // R, W, RMW_SET, RMW_CLR
};

// The text file: a comment line, then "<type>, <bank>, <pf>, 0x<address>, 0x<data>, 0x<reset>,
// <operation>" per entry (hexadecimal in lower case).
std::string hw_set_text(const std::vector<HwSetEntry>& entries);
// The image: u32 version 1, u32 count, 28-byte entries {type (GRC 1, PHY 2, PCI 4), bank, PF,
// operation (R 1, W 2, RMW_SET 3, RMW_CLR 4), address, data, reset type}; every word
// big-endian in the NVRAM form, little-endian in the host form.
Bytes hw_set_nvram_image(const std::vector<HwSetEntry>& entries);
Bytes hw_set_host_image(const std::vector<HwSetEntry>& entries);

}  // namespace testkit
