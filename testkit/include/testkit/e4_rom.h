// E4 boot-agent (MBA) images: PCI expansion-ROM chains of a PCI 3.0 legacy image, optional CLP and
// FCODE images, and an EFI driver image whose payload is a minimal PE32+ file, compressed with
// the kit's own compressor or stored as is. All fields little-endian.
//
// EFI image header: 0xAA55, size in 512-byte units at 2, 0x0EF1 at 4, subsystem at 8, machine
// type at 0x0A, compression type at 0x0C, offset of the EFI image at 0x16, of the PCI data
// structure at 0x18.
#pragma once

#include "testkit/bytes.h"

#include <optional>
#include <string_view>

namespace testkit::e4 {

struct EfiDriver {
  uint16_t machine = 0x8664;
  uint16_t major = 0, minor = 0;  // the PE optional header's image version
  bool compressed = true;
  uint16_t code_revision = 0;     // of its PCI data structure
};

struct RomDef {
  uint16_t vendor = 0x1077, device = 0x1634;
  uint16_t legacy_revision = 0x0709;      // PCI 3.0 legacy image without CLP entry; 0: none
  std::optional<uint16_t> clp_revision;   // a PCI 3.0 legacy image with a CLP entry
  std::optional<uint16_t> fcode_revision;  // an FCODE image
  std::optional<EfiDriver> efi;
};

// "a.b.c" as the legacy image's code revision (a, b below 16, c below 256), and an EFI x64 driver
// of version a.b (compressed).
RomDef mba_stock(std::string_view version);
Bytes mba_rom(const RomDef& def);

// A minimal PE32+ file: DOS header with e_lfanew 0x40, "PE\0\0", a COFF header of the machine,
// an optional header (magic 0x20B) with the image version at bytes 44 and 46; `size` bytes in all.
Bytes pe32plus(uint16_t machine, uint16_t major, uint16_t minor, size_t size = 0x200);

}  // namespace testkit::e4
