// The legacy family's image kinds and stock images of each kind, for fixtures, fwgen and the demo.
//
// Images here are memory images in NVRAM byte order (structure words big-endian, byte data
// dword-reversed), without their CRC word. Image files carry every 4-byte group reversed
// (`dword_reversed`): a raw MBA file is then the plain ROM bytes, and the version text at memory
// bytes 16-27 stands word-reversed in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "testkit/legacy_image.h"

namespace testkit::legacy {

// One image kind of the family: its name, the processor that runs it, its directory type and the
// four tag bytes under which it travels in wrapped files.
struct kind {
    const char* name;
    uint32_t processor;
    uint32_t dir_type;
    char tag[4];
};

// The 21 kinds in the family's table order.
std::span<const kind> kinds();
// By name, or by directory type (the first kind of that type); null when there is none.
const kind* kind_named(std::string_view name);
const kind* kind_of_dir_type(uint32_t dir_type);
// The tag as the little-endian word of its four file bytes.
uint32_t tag_word(const kind& k);

struct stock_options {
    size_t size = 0;            // 0: the kind's usual size
    uint16_t device = 0x1639;   // MBA: the PCI device id its ROM images answer to
    std::string ip;             // ISCSI_B: "" or "4" layout 1, "6" IPv6, "4n6" IPv4 and IPv6 (layout 2)
};

// A stock image of a kind carrying `version` ("a.b.c", each part below 256) where the adapter's
// firmware keeps it:
//   BC1, BC2, UMP, L2_RXP, NCSI_*, IPMI_INIT, IPMI_SERV: a NUL-ended text at bytes 16-27 ("bc a.b.c",
//     "UMP a.b.c", "RXP a.b.c", "NCSI a.b.c", "IPMI a.b.c") and a<<24|b<<16|c<<8 in word 28;
//   ISCSI_B, ISB_CPRG, FCOE_B, FEB_CPRG, CCM: word 4 points at "va.b.c"; ISCSI_B's word 12 marks the
//     IP layout (0x0800, 0x86DD, 0xC0B0);
//   ISB_CFG, ISB_CFG2: word 0 = a<<24|b<<16|0x6269, 1024 bytes for a = 1, 2048 for a = 2;
//   FEB_CFG, FEB_CFG2: word 0 = a<<24|b<<16, 1024 bytes;
//   IPMI_CFG: the 552-byte configuration (header 0x06000000, settings byte 214 = c, CRC word at 548);
//   MBA: a PCI 3.0 boot image and an EFI x64 image of the version, dword-reversed;
//   USR_BLK: a pattern (the version is not used).
// Throws std::invalid_argument for an unknown kind, a malformed version or a text that does not fit.
bytes stock_image(std::string_view kind_name, std::string_view version, const stock_options& o = {});

// The image as the directory files it: the kind's directory type and processor, and its SRAM
// address (0 for host images, 0xFFFFFFFF for the user block, 0x08000000 for on-chip firmware).
image placed(std::string_view kind_name, bytes data, uint32_t at = 0);

// A whole-NVRAM dump or program file in paged form: 09 57 09 57 09 57 09 57 after every 256 bytes.
bytes paged(const bytes& nvram);

}  // namespace testkit::legacy
