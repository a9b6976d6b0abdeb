#include "platform/win_sysinfo.h"

#include <unistd.h>

#include "platform/system_conf.h"
#include "platform/win_error.h"

namespace win {

BOOL GetVersionExW(OSVERSIONINFOW* info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = DWORD(platform::system_conf_number("OsMajorVersion", 10));
    info->dwMinorVersion = DWORD(platform::system_conf_number("OsMinorVersion", 0));
    info->dwBuildNumber = DWORD(platform::system_conf_number("OsBuildNumber", 14393));
    info->dwPlatformId = DWORD(platform::system_conf_number("OsPlatformId", VER_PLATFORM_WIN32_NT));
    info->szCSDVersion[0] = 0;
    return TRUE;
}

void GetNativeSystemInfo(SYSTEM_INFO* info)
{
    if (!info) return;
    info->wProcessorArchitecture = WORD(platform::system_conf_number("ProcessorArchitecture", PROCESSOR_ARCHITECTURE_AMD64));
    info->wReserved = 0;
    info->dwPageSize = DWORD(sysconf(_SC_PAGESIZE));
    info->dwNumberOfProcessors = DWORD(sysconf(_SC_NPROCESSORS_ONLN));
}

void GetSystemInfo(SYSTEM_INFO* info) { GetNativeSystemInfo(info); }

}  // namespace win
