#include "platform/win_osinfo.h"

#include <string>

#include "platform/system_conf.h"
#include "platform/win_error.h"
#include "platform/win_sysinfo.h"

namespace win {

namespace {

OSVERSIONINFOW Version()
{
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExW(&v);
    return v;
}

}  // namespace

DWORD GetVersion()
{
    OSVERSIONINFOW v = Version();
    return (v.dwMajorVersion & 0xFF) | (v.dwMinorVersion & 0xFF) << 8 | (v.dwBuildNumber & 0xFFFF) << 16;
}

BOOL GetProductInfo(DWORD, DWORD, DWORD, DWORD, DWORD* productType)
{
    if (!productType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *productType = DWORD(platform::system_conf_number("ProductType", 7));
    return TRUE;
}

int GetSystemMetrics(int index)
{
    return int(platform::system_conf_number("SystemMetric" + std::to_string(index), 0));
}

void RtlGetNtVersionNumbers(DWORD* major, DWORD* minor, DWORD* build)
{
    OSVERSIONINFOW v = Version();
    if (major) *major = v.dwMajorVersion;
    if (minor) *minor = v.dwMinorVersion;
    if (build) *build = v.dwBuildNumber;
}

}  // namespace win
