// Record tags of image files, each the little-endian u32 of its four file bytes.
#pragma once

#include <cstdint>

namespace fwupg {

constexpr uint32_t ImageTag(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24;
}

inline constexpr uint32_t kTagBc1 = ImageTag(0, 'b', 'c', '1');
inline constexpr uint32_t kTagBc2 = ImageTag(0, 'b', 'c', '2');
inline constexpr uint32_t kTagL2rx = ImageTag('l', '2', 'r', 'x');
inline constexpr uint32_t kTagL2t = ImageTag(0, 'l', '2', 't');
inline constexpr uint32_t kTagMfw1 = ImageTag('m', 'f', 'w', '1');
inline constexpr uint32_t kTagMfw2 = ImageTag('m', 'f', 'w', '2');
inline constexpr uint32_t kTagNccm = ImageTag('n', 'c', 'c', 'm');
inline constexpr uint32_t kTagNclx = ImageTag('n', 'c', 'l', 'x');
inline constexpr uint32_t kTagNcle = ImageTag('n', 'c', 'l', 'e');

}  // namespace fwupg
