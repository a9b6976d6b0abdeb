// The NVRAM read cache: the first 1,024 bytes of one adapter's NVRAM, tied to its API handle, kept
// in 64-byte pieces. Dropped whole by every management-library call after which the cached bytes
// may no longer be what the adapter holds (initialise, shut down, claim, reset, PHY write, write
// mode change: another process may have written in between, or the library writes where it
// chooses). An NVRAM write of this process drops only the pieces it touched, whatever handle it
// went through (functions of one board share one flash); a failed write drops them too, since it
// may have changed some of its bytes.
#pragma once

#include <cstdint>

struct NvmReadCache {
    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;
    static constexpr uint32_t kDwords = 256;
    static constexpr uint32_t kPieceBytes = 64;
    static constexpr uint32_t kPieces = kDwords * 4 / kPieceBytes;

    uint32_t data[kDwords] = {};
    bool valid = false;  // filled once for handle (some pieces may have been dropped since)
    uint32_t handle = kNoHandle;
    uint32_t pieces = 0;  // bit i: bytes [64 i, 64 i + 64) hold what the NVRAM holds

    void Invalidate();
    // Drops the pieces that [offset, offset + bytes) touches.
    void Written(uint32_t offset, uint64_t bytes);
    bool HoldsHandle(uint32_t h) const { return valid && handle == h; }
    // Bit mask of the pieces [offset, offset + bytes) needs (bytes > 0, range inside the cache).
    static uint32_t PiecesOf(uint32_t offset, uint64_t bytes);
};

extern NvmReadCache g_NvmReadCache;
