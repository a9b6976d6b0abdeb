// Conversions of a port's iSCSI boot configuration block between its two layouts, used when an
// iSCSI boot image of the other layout is installed so that the user's settings survive.
//
// Both layouts are held as the engine holds them after an NVRAM read with the word swap on
// (host view, little-endian values); texts are zero-terminated byte strings.
//
// Common head (both layouts):
//   0x000 u16 signature 0x6269        0x002 u16 layout version: 0x0100 (layout 1), 0x0200 (layout 2)
//   0x004 u32 flags; bit 8 set = the address fields hold IPv6 addresses (layout 2 only)
//   0x008 text, 33 bytes              0x029 byte      0x02a byte
//   0x080 40-byte block, copied whole
//
// Initiator fields           layout 1 (1,024 bytes)   layout 2 (2,048 bytes)
//   address 1..3             0x0a8/0x0ac/0x0b0, 4     0x0a8/0x0b8/0x0c8, 16
//   address 4, 5             0x167/0x16b, 4           0x0d8/0x0e8, 16
//   text A                   0x0b4, 129               0x0f8, 129
//   text B                   0x135, 33                0x179, 129
//   text C                   0x156, 17                0x1fa, 198 (to the first target block)
//
// Two target blocks: layout 1 at 0x1a8 and 0x2a8 (0x100 apart), layout 2 at 0x2c0 and 0x500
// (0x240 apart). Within a target block:
//   words 1 and 2            +0x00, 2 + 2             +0x00, 2 + 2
//   target address           +0x04, 4                 +0x04, 16
//   word 3                   +0x08, 2                 +0x14, 2
//   text D                   +0x0a, 33                +0x16, 129
//   text E                   +0x2b, 17                +0x97, 17
//   text F                   +0x3c, 196 (to the end)  +0xa8, 408 (to the end)
//
// An IPv4 address in a 16-byte layout-2 field occupies its first 4 bytes. Fields not named here
// are zero after a conversion. A text copied into a narrower field is cut so that it ends with its
// terminator inside the field. Layout 1 is programmed as 1,020 bytes, layout 2 as 2,044.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kIscsiCfgV1Bytes = 1024;
constexpr size_t kIscsiCfgV2Bytes = 2048;
constexpr uint32_t kIscsiCfgV1ProgBytes = 1020;
constexpr uint32_t kIscsiCfgV2ProgBytes = 2044;
constexpr uint16_t kIscsiCfgSignature = 0x6269;
constexpr uint16_t kIscsiCfgLayout1 = 0x0100;
constexpr uint16_t kIscsiCfgLayout2 = 0x0200;
constexpr uint32_t kIscsiCfgIpv6Flag = 0x100;

// The layout version of a block (its u16 at byte 2) when the signature is right, else 0.
// `length` bytes are readable at `block`; fewer than 4 give 0.
uint16_t iscsi_boot_cfg_layout(const uint8_t* block, size_t length);

// Layout 2 to layout 1: flags with bit 8 cleared; addresses carried over only when the source
// holds IPv4 addresses. 0, or -1 (destination untouched) when the source is not a layout-2 block.
int iscsi_boot_cfg_to_v1(const uint8_t (&src)[kIscsiCfgV2Bytes], uint8_t (&dst)[kIscsiCfgV1Bytes]);

// Layout 1 to layout 2. With `ipv6` non-zero: flag bit 8 set, no address copied and 0x40 in the
// first byte of address 2; otherwise the IPv4 addresses are carried over and bit 8 is clear.
// 0, or -1 (destination untouched) when the source is not a layout-1 block.
int iscsi_boot_cfg_to_v2(const uint8_t (&src)[kIscsiCfgV1Bytes], uint8_t (&dst)[kIscsiCfgV2Bytes], int ipv6);

// Resets a layout-2 block in place to IPv4 (`ipv4` non-zero: bit 8 cleared) or IPv6 (bit 8 set,
// 0x40 in the first byte of address 2); every initiator and target address is cleared, the rest
// kept. 0, or -1 (block untouched) when it is not a layout-2 block.
int iscsi_boot_cfg_reset_ip(uint8_t (&block)[kIscsiCfgV2Bytes], int ipv4);
