#include "fwupg/nvm_read_cache.h"

#include <cstring>

NvmReadCache g_NvmReadCache;

void NvmReadCache::Invalidate()
{
    valid = false;
    handle = kNoHandle;
    std::memset(data, 0, sizeof data);
}
