// How large a firmware file can sensibly be: no larger than the largest NVRAM its kind can go to.
// A file above the bound is refused before it is read whole, so a stray or hostile file in the
// firmware folder cannot make an update hold hundreds of megabytes.
#pragma once

#include <cstdint>

namespace fwupg {

// The largest NVRAM part any board of the supported families carries (16 MiB: the most the
// engines' directory lengths and boot-agent size codes can describe); also the bound of a package
// read without an adapter in mind.
inline constexpr uint64_t kLargestNvram = uint64_t(16) << 20;

// The largest file of an image-type code that can go to an adapter whose NVRAM holds `nvramSize`
// bytes (0 when not known): the largest part, or the adapter's NVRAM where that is larger; a full
// NVRAM image (6) may come in 264-byte pages, 8 spare bytes after every 256.
// A package is bounded alike: its images for several boards share what one part can hold.
uint64_t LargestImageFile(uint32_t nvramSize, uint32_t imageType);

}  // namespace fwupg
