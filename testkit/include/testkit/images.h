// Image contents and image files: raw images of each kind with their version texts, PCI
// option-ROM chains, wrapped image files (20-byte record headers), NCSI bundles.
//
// Images are built in host view: the bytes as the engine holds them and as image files carry
// them. Programmed into NVRAM each 4-byte group is reversed, so a version text that reads
// naturally in NVRAM stands word-reversed here (put_nvram_text).
#pragma once

#include "testkit/bytes.h"
#include "testkit/e1e3_types.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

// The little-endian value of four file bytes, e.g. tag_of("mfw1"), tag_of(std::string("\0bc1", 4)).
uint32_t tag_of(std::string_view four_bytes);

// An image of `size` bytes (a multiple of 4, at least 32) filled with a pattern, with `text`
// (at most 16 characters) at byte 16.
Bytes text_image(std::string_view text, size_t size, uint32_t seed);

// One sub-image of a PCI option-ROM chain.
struct RomImage {
  uint8_t code_type = 0;     // 0 x86 (boot agent), 1 FCODE, 3 EFI
  uint8_t pcir_revision = 3; // 0 legacy, 3 PCI 3.0
  uint16_t vendor = 0x14E4;
  uint16_t device = 0x168E;
  uint16_t code_revision = 0;  // major bits 12-15, minor 8-11, revision 0-7
  uint16_t units = 2;          // length in 512-byte units
  uint16_t efi_machine = 0x8664;
  uint16_t clp_entry = 0;      // PCI 3.0 word at data-structure byte 26
};

// A boot-agent ROM: the chain plus the descriptor of its first image (at the offset held in the
// 16-bit word at byte 8): byte 0 chip-family bits (bit 4 E2, bit 5 E3), byte 1 bit 0 restriction
// flag, u16 at 32 the PF number, big-endian u16 at 34 an offset.
struct MbaDef {
  std::vector<RomImage> images;
  uint8_t family_bits = 0;
  uint8_t restrict_flag = 0;
  uint16_t descriptor_offset = 0x40;
};

// Code revision of "a.b.c" (a, b below 16, c below 256).
uint16_t mba_code_revision(const std::vector<unsigned>& v);
// A legacy-BIOS PCI 3.0 image and an EFI x64 image of one version for one device.
MbaDef mba_stock(uint16_t device, std::string_view version);
// The chain bytes. Images of code type 0 get the checksum that makes their bytes sum to 0.
Bytes mba_rom(const MbaDef& desc);

// A stock image of a kind, carrying `version` ("a.b.c" or "a.b.c.d") where the engine reads it:
//   text kinds (BC1, BC2, IPMI, MFW*, SWIM*, NCSI_*, ISCSI_B, I_B_CPRG, FCOE_B, USR_BLK):
//     "<NAME> a.b.c" at byte 16 ("NCSIc"/"NCSIe" for the NCSI kinds, "va.b.c" for the boot
//     images); SWIM images carry the MFW word (a<<24|b<<16|c<<8|d) at byte 32;
//   L2T/C/X/U: bytes 0, 1, u16 LE at 2 (a, b, c); boot-configuration blocks (I_B_CFG*,
//   FEB_CFG*, FEB_CPRG): word 0 = a<<24|b<<16, I_B_CFG* with the signature 0x6269 and their
//   fixed size; NIC_PRTION/NIV: word 0 = a; MODULES_PN/HW_SET: word 0 = a; VPD: a directory VPD
//   image with revision 1; CCM: words 4-6 = a, b, c; MDUMP/OCNVM: word 1 = a<<24|b<<16|c<<8|d;
//   MBA: mba_stock(device, version); kinds without a version get a pattern.
// `size` 0 takes the kind's usual size. Throws std::invalid_argument for an unknown kind or a
// malformed version.
Bytes stock_image(std::string_view kind, std::string_view version, size_t size = 0, uint16_t device = 0x168E);

// One record of a wrapped image file.
struct WrappedRecord {
  uint32_t tag = 0;
  Bytes data;                   // host view; padded to a multiple of 4 when written
  uint32_t version = 1;         // 1 or 2
  uint32_t compat = 0;          // v2: chip mask bits 16-23, media mask bits 8-15 (0x100, 0x200)
  uint32_t magic = 0x669955AA;
  std::optional<uint32_t> length;  // overrides the length field (malformed files)
};

// A record of the kind's tag carrying stock_image(kind, version).
WrappedRecord stock_record(std::string_view kind, std::string_view version, size_t size = 0);

// The file: each record as five little-endian words {magic, version, tag, compat, length}, then
// its data.
Bytes wrapped_file(const std::vector<WrappedRecord>& records);

// An NCSI bundle: an "nccm" record and, as asked, "ncle" and "nclx" records, each with
// "NCSIc|NCSIe|NCSIx a.b.c" at byte 16. The file also carries "NCSI a.b.c" at file offset 124
// (12 bytes, each word stored big-endian) and the version word a<<24|b<<16|c<<8 at offset 140
// when a >= 6, else at 136.
Bytes ncsi_bundle(std::string_view version, bool with_elib = true, bool with_xlib = false, uint32_t chip_mask = 0);

}  // namespace testkit
