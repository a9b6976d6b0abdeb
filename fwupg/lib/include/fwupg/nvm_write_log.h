// The log of NVRAM writes: every range the adapter access helper writes while the log is on, in
// the order written. The front end's backup of an adapter is kept for a whole exported call; this
// log tells which of its bytes must be read again after later lines wrote the NVRAM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fwupg {

struct NvmWriteRange {
    uint32_t handle;  // the API handle the write went through
    uint32_t offset;  // bytes
    uint32_t bytes;
};

// Starts the log empty (Start) or ends it and drops its ranges (Stop).
void StartNvmWriteLog();
void StopNvmWriteLog();
bool NvmWriteLogOn();
// Appends a written range when the log is on; a write right behind the last one through the same
// handle extends it.
void LogNvmWrite(uint32_t handle, uint32_t offset, uint32_t bytes);
// The number of ranges logged so far: a mark to ask for the ranges written after it.
size_t NvmWriteLogMark();
// The ranges logged from `mark` on (the last one may have grown since the mark was taken, so the
// range at mark - 1 is included as well).
std::vector<NvmWriteRange> NvmWritesSince(size_t mark);

}  // namespace fwupg
