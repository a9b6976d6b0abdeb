// The NVRAM image of E1-E3 adapters: its fixed map and a builder that writes a whole image from a
// short description.
//
// Map (byte offsets; words stand big-endian in NVRAM):
//   0x000  bootstrap: magic, SRAM load address, dword count (CRC included), NVM offset, CRC
//   0x014  16 directory entries {SRAM, flags = type|processor|length, offset}; 0x0E8 a 20-char
//          text; CRC of 0x14-0xFB at 0x0FC
//   0x100  configuration, path 0 (848 bytes, CRC last)     0x7E8 configuration, path 1
//   0x450  features, path 0 (240 bytes, CRC last)          0xB38 features, path 1
//   0x540  VPD copy (256 bytes, no CRC)
//   0xC28  images (0x7E8 on E1, which has one path only)
// Every CRC is zlib's CRC-32 of the region without its last 4 bytes, stored little-endian in them.
#pragma once

#include "testkit/bytes.h"
#include "testkit/e1e3_types.h"
#include "testkit/vpd.h"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testkit::e1e3 {

enum class Chip { E1, E2, E3 };

namespace layout {
inline constexpr uint32_t kBootstrap = 0x000;
inline constexpr uint32_t kBootstrapMagic = 0x669955AA;
inline constexpr uint32_t kDir = 0x014;
inline constexpr uint32_t kDirEntries = 16;
inline constexpr uint32_t kDirRegionLen = 0xEC;  // 0x14..0xFF, CRC at 0xFC
inline constexpr uint32_t kText20 = 0x0E8;
inline constexpr uint32_t kCfgLen = 848;
inline constexpr uint32_t kFeatLen = 240;
inline constexpr uint32_t kVpd = 0x540;
inline constexpr uint32_t kVpdLen = 256;
inline constexpr uint32_t kCfgFirstWord = 0x41000000;
inline constexpr uint32_t kExtDirLen = 780;  // 776 bytes and the CRC
inline constexpr uint32_t kExtDirMax = 64;
inline constexpr uint32_t kExtDirFlags = 0xE0000000 | 0x01000000;

constexpr uint32_t cfg(unsigned path) { return path ? 2024 : 256; }
constexpr uint32_t feat(unsigned path) { return path ? 2872 : 1104; }
constexpr uint32_t port_part(unsigned path, unsigned port) { return cfg(path) + 44 + 400 * port; }
constexpr uint32_t port_features(unsigned path, unsigned port) { return feat(path) + 4 + 116 * port; }
constexpr uint32_t image_start(Chip c) { return c == Chip::E1 ? 2024 : 3112; }
constexpr unsigned paths(Chip c) { return c == Chip::E1 ? 1 : 2; }
constexpr uint32_t dir_entry(unsigned i) { return kDir + 12 * i; }
}  // namespace layout

// One port's part of a configuration block (400 bytes at port_part(path, port)).
struct PortConfig {
  uint16_t vid = 0x14E4;
  uint16_t did = 0;
  uint16_t svid = 0x14E4;
  uint16_t ssid = 0;
  uint64_t mac = 0;        // 48 bits; at +16/+20 and the backup copy at +392/+396
  uint64_t iscsi_mac = 0;  // +24/+28
  uint64_t fcoe_mac = 0;   // +32/+36
  uint32_t selector4 = 0;  // +52
  // Further words of the port part, by offset from its start (host-order values).
  std::vector<std::pair<uint32_t, uint32_t>> words;
};

// An image to place. `data` is the image in host view, without its trailing CRC.
struct ImageDef {
  std::string kind;               // a name of the kind table
  Bytes data;
  std::optional<uint32_t> sram;   // default: the programmer's load address for the kind
  std::optional<uint32_t> processor;  // default: the kind's
  uint32_t gap_before = 0;        // free bytes left before the image (rounded up to 4)
};

struct NvramDef {
  Chip chip = Chip::E3;
  uint32_t size = 0x40000;
  uint8_t fill = 0xFF;
  std::string text20;            // the 20-character text at 0xE8 (host view)
  std::string part_number;       // 16 characters at 260 / 2028 (host view)
  // Port parts by [path][port]; path 1 is ignored on E1.
  std::array<std::array<PortConfig, 2>, 2> ports{};
  VpdFields vpd;
  std::optional<Bytes> vpd_raw;  // replaces the built VPD copy (at most 256 bytes, host view)
  std::vector<ImageDef> images;
  bool ext_dir_always = false;   // write an extended directory even with no extended image
  // Words at absolute NVRAM offsets (host-order values) in the fixed area, applied before the
  // bootstrap, directory and configuration CRCs are computed.
  std::vector<std::pair<uint32_t, uint32_t>> words;
};

// Where a placed image is listed.
struct Placed {
  std::string kind;
  Home home;
  int index;        // directory entry (main) or extended entry; -1 for the bootstrap
  uint32_t offset;
  uint32_t length;  // including the trailing CRC
};

struct Built {
  Bytes nvram;
  std::vector<Placed> placed;
  std::optional<uint32_t> ext_dir_offset;
};

// Fills the port parts of a board: function f has MAC base_mac + f. E1 boards put function f on
// path 0, port f & 1; E2/E3 on path f & 1, port (f >> 1) & 1 in four-port mode, else port 0.
// Every port part of every path gets the ids, so any function reads a valid configuration.
void set_board(NvramDef& desc, uint16_t vid, uint16_t did, uint16_t svid, uint16_t ssid,
               uint64_t base_mac, unsigned functions, bool four_port = false);

// Builds the image. Throws std::invalid_argument when the description cannot be laid out (unknown
// kind, too many entries, images beyond the size, two bootstrap images).
Built build(const NvramDef& desc);

// Full-NVRAM file in paged form: 8 spare bytes 10 57 10 57 10 57 10 57 after every 256 bytes
// (`family_byte` 0x09 gives the legacy family's 09 57 09 57 09 57 09 57).
Bytes paged(const Bytes& nvram, uint8_t family_byte = 0x10);

// Recomputes the CRC of a region (tests use it to corrupt a pointer while keeping its CRC right).
inline void fix_crc(Bytes& nvram, uint32_t off, uint32_t len) { store_region_crc(nvram, off, len); }

}  // namespace testkit::e1e3
