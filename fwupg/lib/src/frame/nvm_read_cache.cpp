#include "fwupg/nvm_read_cache.h"

#include <cstring>

NvmReadCache g_NvmReadCache;

void NvmReadCache::Invalidate()
{
    valid = false;
    handle = kNoHandle;
    pieces = 0;
    std::memset(data, 0, sizeof data);
}

uint32_t NvmReadCache::PiecesOf(uint32_t offset, uint64_t bytes)
{
    const uint32_t first = offset / kPieceBytes;
    const uint32_t last = static_cast<uint32_t>((uint64_t{offset} + bytes - 1) / kPieceBytes);
    uint32_t mask = 0;
    for (uint32_t i = first; i <= last && i < kPieces; ++i) mask |= 1u << i;
    return mask;
}

void NvmReadCache::Written(uint32_t offset, uint64_t bytes)
{
    if (!valid || bytes == 0 || offset >= kDwords * 4) return;
    pieces &= ~PiecesOf(offset, bytes);
}
