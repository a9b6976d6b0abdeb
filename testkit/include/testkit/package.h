// "KRVT" firmware packages: a 32-byte header, 32-byte directory entries and a PCI-id table that
// says which entries each board takes. All numbers little-endian. Every field can be overridden
// to make malformed packages.
#pragma once

#include "testkit/bytes.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace testkit {

struct PackageEntry {
  uint32_t tag = 0;                       // tag_of("mfw1"), tag_of(std::string("\0mba", 4)), ...
  Bytes data;
  std::optional<uint32_t> offset;         // override of the data offset field
  std::optional<uint32_t> length;         // override of the length field
};

struct PackageRow {
  uint16_t vid = 0, did = 0, svid = 0, ssid = 0;
  uint32_t mask = 0;  // bit i: the board takes entry i
};

struct PackageDef {
  std::array<char, 4> magic{'K', 'R', 'V', 'T'};
  uint16_t format_version = 1;
  std::optional<uint16_t> header_length;  // default 32 + 32·entries + 8 + 16·rows
  std::optional<uint16_t> entry_count;    // default the number of entries
  uint8_t byte12 = 1;
  uint8_t major = 1, minor = 0, build = 0;
  uint8_t date1 = 1, date2 = 1;           // bytes 18 and 19
  uint16_t year = 2024;
  std::vector<PackageEntry> entries;
  std::vector<PackageRow> rows;
};

// The package tags by entry name: "MBA", "MFW", "L2T", "CCM", "IBOOT", "FBOOT", "PHY",
// "INIT_HW", "META", "NVM_CFG", "PK". Throws std::invalid_argument for another name.
uint32_t package_tag(std::string_view name);

// The file. Entry data follow the PCI table, each at a 4-aligned offset.
Bytes package(const PackageDef& desc);

}  // namespace testkit
