// The NVRAM read cache: the first 1,024 bytes of one adapter's NVRAM, tied to its API handle.
// Invalidated by every NVRAM write and by every management-library call after which the cached
// bytes may no longer be what the adapter holds (initialise, shut down, claim, reset, PHY write).
#pragma once

#include <cstdint>

struct NvmReadCache {
    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;
    static constexpr uint32_t kDwords = 256;

    uint32_t data[kDwords] = {};
    bool valid = false;
    uint32_t handle = kNoHandle;

    void Invalidate();
    bool HoldsHandle(uint32_t h) const { return valid && handle == h; }
};

extern NvmReadCache g_NvmReadCache;
