// PCI expansion-ROM chains, as boot-agent files and package entries carry them: a chain of images,
// each beginning with 0x55 0xAA, its size in 512-byte units at byte 2 and the offset of its PCI
// data structure at 0x18; the structure gives the image's length in 512-byte units (at 0x10),
// its code type (at 0x14) and, in bit 7 of byte 0x15, whether it is the last image of the chain.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fwupg {

// Whether `data` holds a whole chain whose x86 images (code type 0) carry their own check: the
// image's bytes (its size byte × 512 of them) sum to 0 modulo 256. False when an image header or
// data structure lies outside the data, when the chain goes on past the data or with an image
// length of 0, or when an x86 image is empty, leaves the data or does not sum to 0.
bool RomChainSumsHold(const uint8_t* data, size_t size);

}  // namespace fwupg
