// The NVRAM read cache: what this process has read of one adapter's NVRAM while it holds the
// adapter's claim. Another process cannot write the flash while the claim is held (the library
// refuses its writes), so within one claim a byte read once is still what the adapter holds, unless
// this process wrote it. Between two claims anybody may have written, so the cache lives from a
// successful claim to the release (or anything else after which the claim may be gone: shutdown,
// initialise, reset); outside a claim every read goes to the library.
//
// Within the claim:
// - an NVRAM write of this process drops the dwords it touches, through whatever handle it went
//   (functions of one board share one flash), whether it succeeded or not (a failed write may have
//   changed some of its bytes). The write's read-back therefore reads the flash, never the cache,
//   so a write the flash did not keep is still found; what it read is then what the cache holds;
// - a call after which the library may have written where it chose (write mode change, PHY write)
//   drops every byte, but the claim goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class NvmReadCache {
public:
    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;

    // Reads `dwords` dwords at byte offset `offset` of the adapter's NVRAM from the library.
    using Fetch = std::function<uint32_t(uint32_t offset, uint32_t* buf, uint32_t dwords)>;

    // A claim of `handle` succeeded: the cache starts empty for it.
    void Begin(uint32_t handle);
    // The claim ended (or may have): nothing is cached and nothing is served until the next Begin.
    void End();
    // Forgets every cached byte; the claim goes on.
    void DropAll();
    // Drops the dwords [offset, offset + bytes) touches.
    void Written(uint32_t offset, uint64_t bytes);

    // Reads through the cache while `handle` is the claimed adapter: the dwords not yet cached come
    // from `fetch` (one call per run of missing dwords) and are kept once every run has been read.
    // Other handles, unaligned offsets and reads outside a claim go to `fetch` whole. The status
    // of the first failing fetch, or 0.
    uint32_t Read(uint32_t handle, uint32_t offset, uint32_t* buf, uint32_t dwords, const Fetch& fetch);

    bool Active() const { return handle_ != kNoHandle; }
    uint32_t Handle() const { return handle_; }
    // Bytes held (for tests).
    uint64_t CachedBytes() const;

private:
    uint32_t handle_ = kNoHandle;
    std::vector<uint32_t> data_;  // NVRAM dword i at index i, as the library returned it
    std::vector<bool> have_;      // have_[i]: data_[i] is what the NVRAM holds
};

extern NvmReadCache g_NvmReadCache;
