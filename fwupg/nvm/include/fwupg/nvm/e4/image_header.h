// The E4 image header (32 bytes of little-endian words) and the bundle that carries many headed
// images: a 16-byte bundle header starting with 0xBDBDBDBD, then header + data, one after
// another, to the end of the buffer.
#pragma once

#include <cstdint>
#include <functional>

extern "C" {

struct e4_image_header {
    uint32_t magic;  // 0x669955AA
    uint32_t version;  // 3; versions 1 and 2 keep the type in bits 21-31 of `type`
    uint32_t type;
    uint32_t chip_group;  // 0x400000, or 0x200000 on group-B chips
    uint32_t reserved4;
    uint32_t reserved5;
    uint32_t length;  // data bytes, rounded up to a multiple of 4
    uint32_t reserved7;
};
static_assert(sizeof(e4_image_header) == 32);

}  // extern "C"

namespace fwupg::nvm::e4 {

inline constexpr uint32_t kImageMagic = 0x669955AA;
inline constexpr uint32_t kBundleMagic = 0xBDBDBDBD;
inline constexpr uint32_t kBundleHeaderBytes = 16;
inline constexpr uint32_t kChipGroupA = 0x400000;
inline constexpr uint32_t kChipGroupB = 0x200000;

// Why a bundle walk stopped.
enum class BundleStop {
    End,          // every item read, the last one ending exactly at or before the buffer's end
    BadMagic,     // the buffer does not start with the bundle magic
    Truncated,    // an item's header or data runs past the buffer
    Stopped,      // the visitor asked to stop
};

// A version 3 header for data of `length` bytes (rounded up to a word) of the image table's row
// `row`, which must be in the table.
e4_image_header e4_image_header_for_row(uint32_t row, uint32_t length);

// Visits each item of a bundle in place; the visitor gets the header (which it may change) and
// its data, and returns false to stop.
BundleStop walk_bundle(uint8_t* bundle, uint32_t length,
                       const std::function<bool(e4_image_header& header, uint8_t* data)>& visit);

inline uint32_t round_up4(uint32_t n) { return (n + 3u) & ~3u; }

}  // namespace fwupg::nvm::e4
