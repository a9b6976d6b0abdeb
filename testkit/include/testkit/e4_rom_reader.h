// Reads E4 boot-agent (MBA) images: the PCI expansion-ROM chain with the version of each
// component, and the UEFI version of an EFI driver taken from the (possibly compressed) PE image
// inside it. Written from the format description; every field is bounds-checked, and whatever
// keeps a component from being read is reported in words.
//
// Components (slots, in this order): "legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
// "EFI x86", "EFI IPF", "EFI EBC", "EFI x64". A version word below 0x10000 reads as
// ((v & 0xFF000) >> 12).((v & 0xF00) >> 8).(v & 0xFF), any other as
// ((v & 0xF0000) >> 16).((v & 0xF000) >> 12).((v & 0xF00) >> 8).(v & 0xFF).
#pragma once

#include "testkit/bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace testkit::e4 {

struct RomComponent {
  unsigned slot = 0;
  std::string name;
  uint32_t version = 0;
};

struct RomReading {
  std::vector<RomComponent> components;  // the slots with a non-zero version, in slot order
  std::vector<std::string> errors;       // why the chain or a component cannot be read
};

// Walks at most 8 ROM images from byte 0 of `n` bytes; each x86 image (code type 0) must sum to 0
// over the size its header gives. An EFI driver's version is `uefi_override`
// when that is non-zero (the UEFI version an adapter keeps in NVM_CFG1), else the driver's own
// image version, else the code revision of its ROM image. The driver is read and checked in every
// case, so a broken driver is reported even when the override hides it.
RomReading read_rom(const uint8_t* p, size_t n, uint32_t uefi_override = 0);

// "<slot> <version>" of each component joined by ";" (no ";" after the last).
std::string rom_version_text(const RomReading& r);

// The version word as text (three or four parts, above).
std::string component_version(uint32_t v);

// The UEFI version (major << 16 | minor of the PE optional header) of the EFI ROM image at byte
// `at` whose image is `len` bytes long; nothing, and the reason in *why, when it cannot be read.
std::optional<uint32_t> efi_driver_version(const uint8_t* p, size_t n, size_t at, size_t len, std::string* why);

}  // namespace testkit::e4
