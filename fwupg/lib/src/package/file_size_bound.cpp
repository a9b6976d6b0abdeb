// The largest firmware file an adapter can take (see file_size_bound.h).
#include "fwupg/file_size_bound.h"

#include <algorithm>

namespace fwupg {

namespace {

constexpr uint32_t kFullNvram = 6;

}  // namespace

uint64_t LargestImageFile(uint32_t nvramSize, uint32_t imageType)
{
    // A board whose NVRAM is larger than the largest part still takes files of its own size.
    const uint64_t largest = std::max<uint64_t>(kLargestNvram, nvramSize);
    // The whole NVRAM in 264-byte pages: 8 spare bytes after every 256.
    return imageType == kFullNvram ? largest + largest / 32 : largest;
}

}  // namespace fwupg
