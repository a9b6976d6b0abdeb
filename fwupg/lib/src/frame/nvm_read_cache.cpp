#include "fwupg/nvm_read_cache.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

NvmReadCache g_NvmReadCache;

void NvmReadCache::Begin(uint32_t handle)
{
    End();
    handle_ = handle;
}

void NvmReadCache::End()
{
    handle_ = kNoHandle;
    DropAll();
}

void NvmReadCache::DropAll()
{
    data_.clear();
    data_.shrink_to_fit();
    have_.clear();
    have_.shrink_to_fit();
}

void NvmReadCache::Written(uint32_t offset, uint64_t bytes)
{
    if (bytes == 0 || offset / 4 >= have_.size()) return;
    const uint64_t end = std::min<uint64_t>((uint64_t{offset} + bytes + 3) / 4, have_.size());
    std::fill(have_.begin() + offset / 4, have_.begin() + static_cast<std::ptrdiff_t>(end), false);
}

uint64_t NvmReadCache::CachedBytes() const
{
    return 4 * static_cast<uint64_t>(std::count(have_.begin(), have_.end(), true));
}

uint32_t NvmReadCache::Read(uint32_t handle, uint32_t offset, uint32_t* buf, uint32_t dwords, const Fetch& fetch)
{
    if (handle != handle_ || offset % 4 != 0 || dwords == 0) return fetch(offset, buf, dwords);
    const uint64_t first = offset / 4;
    const uint64_t end = first + dwords;
    auto cached = [&](uint64_t i) { return i < have_.size() && have_[i]; };

    // Missing runs go into the caller's buffer first; the cache grows only over ranges the library
    // has read, so a refused range past the end of the NVRAM never makes it allocate.
    for (uint64_t i = first; i < end;) {
        if (cached(i)) {
            buf[i - first] = data_[i];
            ++i;
            continue;
        }
        uint64_t run = i;
        while (run < end && !cached(run)) ++run;
        if (const uint32_t status = fetch(static_cast<uint32_t>(4 * i), buf + (i - first), static_cast<uint32_t>(run - i)))
            return status;
        i = run;
    }
    if (have_.size() < end) {
        data_.resize(end);
        have_.resize(end, false);
    }
    std::memcpy(data_.data() + first, buf, size_t{dwords} * 4);
    std::fill(have_.begin() + static_cast<std::ptrdiff_t>(first), have_.begin() + static_cast<std::ptrdiff_t>(end), true);
    return 0;
}
