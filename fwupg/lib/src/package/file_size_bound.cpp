// The largest firmware file an adapter can take (see file_size_bound.h).
#include "fwupg/file_size_bound.h"

#include <algorithm>

namespace fwupg {

namespace {

struct FamilyPart {
    uint32_t family;
    uint64_t largestNvram;
};

// Legacy (4), 57710-class E1-E3 (5), E4 (6).
constexpr FamilyPart kFamilies[] = {
    {4, kLargestNvram},
    {5, kLargestNvram},
    {6, kLargestNvram},
};

constexpr uint32_t kFullNvram = 6;

}  // namespace

uint64_t LargestNvramOfFamily(uint32_t family)
{
    for (const FamilyPart& row : kFamilies)
        if (row.family == family) return row.largestNvram;
    return 0;
}

uint64_t LargestImageFile(uint32_t family, uint32_t nvramSize, uint32_t imageType)
{
    const uint64_t part = LargestNvramOfFamily(family) ? LargestNvramOfFamily(family) : kLargestNvram;
    // A board whose NVRAM is larger than the table knows still takes files of its own size.
    const uint64_t largest = std::max<uint64_t>(part, nvramSize);
    // The whole NVRAM in 264-byte pages: 8 spare bytes after every 256.
    return imageType == kFullNvram ? largest + largest / 32 : largest;
}

}  // namespace fwupg
