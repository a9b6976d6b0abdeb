#include "fwupg/nvm_write_log.h"

namespace fwupg {

namespace {

bool g_on = false;
std::vector<NvmWriteRange> g_ranges;

}  // namespace

void StartNvmWriteLog()
{
    g_ranges.clear();
    g_on = true;
}

void StopNvmWriteLog()
{
    g_on = false;
    g_ranges.clear();
    g_ranges.shrink_to_fit();
}

bool NvmWriteLogOn()
{
    return g_on;
}

void LogNvmWrite(uint32_t handle, uint32_t offset, uint32_t bytes)
{
    if (!g_on || bytes == 0) return;
    if (!g_ranges.empty()) {
        NvmWriteRange& last = g_ranges.back();
        if (last.handle == handle && uint64_t{last.offset} + last.bytes == offset &&
            uint64_t{last.bytes} + bytes <= UINT32_MAX) {
            last.bytes += bytes;
            return;
        }
    }
    g_ranges.push_back({handle, offset, bytes});
}

size_t NvmWriteLogMark()
{
    return g_ranges.size();
}

std::vector<NvmWriteRange> NvmWritesSince(size_t mark)
{
    const size_t from = mark > 0 ? mark - 1 : 0;
    if (from >= g_ranges.size()) return {};
    return std::vector<NvmWriteRange>(g_ranges.begin() + static_cast<std::ptrdiff_t>(from), g_ranges.end());
}

}  // namespace fwupg
