// Further facts of the simulated machine's operating system, from system.conf: the packed version
// number, the product type ("ProductType", 7: a standard server), the system metrics
// ("SystemMetric<index>", 0 when missing; index 89 tells an R2 release) and the kernel's version
// numbers (those of GetVersionExW).
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr int SM_SERVERR2 = 89;

// Major version in the low byte, minor in the next, the build number in the high word.
DWORD GetVersion();
// The product type of the running system; FALSE with 87 without an output.
BOOL GetProductInfo(DWORD major, DWORD minor, DWORD spMajor, DWORD spMinor, DWORD* productType);
int GetSystemMetrics(int index);
// Major, minor and build number of the kernel (any may be NULL).
void RtlGetNtVersionNumbers(DWORD* major, DWORD* minor, DWORD* build);

}  // namespace win
