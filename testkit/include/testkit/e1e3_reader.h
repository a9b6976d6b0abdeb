// Reader of E1-E3 NVRAM images: the images that the bootstrap, the directory and the extended
// directory list, with the version texts a device reports for them. The simulated management
// library derives its firmware information from this.
#pragma once

#include "testkit/e1e3_nvram.h"

#include <optional>
#include <string>
#include <vector>

namespace testkit::e1e3 {

struct ImageVersion {
  std::string name;   // kind name; "?" when the type is unknown
  uint32_t dir_type;
  Home home;
  int index;          // directory or extended entry; -1 for the bootstrap
  uint32_t offset;
  uint32_t length;
  std::string version;  // "" when the image cannot be read
};

// Images in listing order: the bootcode named by the bootstrap (unless it is the MFW1 image of
// the extended directory), the directory entries 0-15, then the extended entries. Entries that
// lie outside the NVRAM are listed with an empty version. Never throws on bad input.
std::vector<ImageVersion> list_images(const Bytes& nvram);

// The first listed image of a kind.
std::optional<ImageVersion> find_image(const Bytes& nvram, const std::string& name);

// The version text of an image of a kind, read from its bytes in NVRAM:
//   MBA: "<kind> a.b.c;" per boot-agent slot present ("FCODE %04x;" for FCODE);
//   boot-configuration blocks: "va.b" from word 0 bits 24-31, 16-23; NIC_PRTION, NIV: "Rev%d";
//   NIVPROFILES, BOOT_CFG_SHADOW, BDN, E3_*, CFG_SHARED: "N/A"; MDUMP: "va.b.c.d" from word 1;
//   L2*: "<name> a.b.c[ opt]"; MODULES_PN, HW_SET: "Rev %d"; VPD: "VPD %d"; OCNVM: "OCNVM a.b.c"
//   from word 1; CCM: "va.b.c" from words 4-6; every other kind: the text at byte 16.
std::string version_text(const std::string& name, const Bytes& nvram, uint32_t offset, uint32_t length);

// A word of a listed image (the host-order value of the big-endian NVRAM word at byte `at` of
// the image); nothing when it lies outside the image or the NVRAM.
std::optional<uint32_t> image_word(const Bytes& nvram, const ImageVersion& image, uint32_t at);

// A word of the configuration block of a path (the host-order value of the big-endian NVRAM word
// at byte `at` of the block: bytes 4-43 are the shared part, 44 + 400·port the port parts), and
// the same of the feature block (byte 0 the shared feature word, 4 + 116·port the port parts).
// Nothing for a path the chip does not have, an unaligned or outside byte, or a short NVRAM.
std::optional<uint32_t> config_word(const Bytes& nvram, Chip chip, unsigned path, uint32_t at);
std::optional<uint32_t> feature_word(const Bytes& nvram, Chip chip, unsigned path, uint32_t at);

// True when the directory's CRC is right, so the listing reflects a written directory rather
// than erased or foreign flash.
bool directory_valid(const Bytes& nvram);

// The boot-agent slots of a ROM chain in host view: {slot name, code revision}, in slot order
// ("legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE", "EFI x86", "EFI IPF", "EFI EBC",
// "EFI x64"); absent slots are left out.
std::vector<std::pair<std::string, uint16_t>> mba_slots(const Bytes& rom);

}  // namespace testkit::e1e3
