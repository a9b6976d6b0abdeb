// iSCSI boot configuration blocks (I_B_CFG* images) in their two layouts, built from a set of
// settings and read back into one, so that a test can compare what a conversion kept.
//
// Blocks are in host view (little-endian values); texts are zero-terminated byte strings.
//   head (both layouts): u16 0x6269 at 0, u16 layout version at 2 (0x0100 or 0x0200), u32 flags at
//     4 (bit 8: the addresses are IPv6, layout 2 only), text 33 at 8, bytes at 0x29 and 0x2a,
//     a 40-byte block at 0x80.
//   layout 1 (1,020 bytes programmed): addresses (4 bytes) at 0xa8, 0xac, 0xb0, 0x167, 0x16b;
//     texts A 129 at 0xb4, B 33 at 0x135, C 17 at 0x156; targets at 0x1a8 and 0x2a8, each with
//     words 1-2 at +0, address (4) at +4, word 3 at +8, texts D 33 at +0xa, E 17 at +0x2b and
//     F at +0x3c up to the target's end (+0x100).
//   layout 2 (2,044 bytes programmed): addresses (16 bytes) at 0xa8, 0xb8, 0xc8, 0xd8, 0xe8;
//     texts A 129 at 0xf8, B 129 at 0x179, C at 0x1fa up to 0x2c0; targets at 0x2c0 and 0x500,
//     each with words 1-2 at +0, address (16) at +4, word 3 at +0x14, texts D 129 at +0x16,
//     E 17 at +0x97 and F at +0xa8 up to the target's end (+0x240).
#pragma once

#include "testkit/bytes.h"

#include <array>
#include <optional>
#include <ostream>
#include <string>

namespace testkit {

using IscsiAddress = std::array<uint8_t, 16>;  // an IPv4 address is the first 4 bytes

struct IscsiTarget {
  uint16_t word1 = 0, word2 = 0, word3 = 0;
  IscsiAddress address{};
  std::string text_d, text_e, text_f;
  bool operator==(const IscsiTarget&) const = default;
};

struct IscsiBootCfg {
  uint32_t flags = 0;
  std::string head_text;
  uint8_t byte_29 = 0, byte_2a = 0;
  std::array<uint8_t, 40> block{};
  std::array<IscsiAddress, 5> address{};
  std::string text_a, text_b, text_c;
  std::array<IscsiTarget, 2> target{};
  bool operator==(const IscsiBootCfg&) const = default;
};

// Field-by-field text of the settings, for test failure messages.
std::ostream& operator<<(std::ostream& os, const IscsiBootCfg& cfg);

// The usual settings of a configured port: IPv4 addresses, texts and target words all set.
IscsiBootCfg iscsi_sample_settings();

// The settings with every initiator and target address cleared (what an address reset leaves).
IscsiBootCfg iscsi_without_addresses(IscsiBootCfg cfg);

// The block of `layout` (1 or 2), 1,020 or 2,044 bytes. Throws std::invalid_argument for another
// layout, a text that does not fit its field with its terminator, or an address wider than
// 4 bytes in layout 1.
Bytes iscsi_boot_cfg_block(const IscsiBootCfg& cfg, int layout);

// The settings of a block and its layout; nothing when the signature or version is not one of the
// two or the block is too short for its layout.
struct IscsiBlockRead {
  int layout = 0;
  IscsiBootCfg cfg;
};
std::optional<IscsiBlockRead> read_iscsi_boot_cfg(const Bytes& block);

}  // namespace testkit
