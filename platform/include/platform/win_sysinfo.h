// The operating system's version and processor facts of the simulated machine, from
// system.conf: "OsMajorVersion" (10), "OsMinorVersion" (0), "OsBuildNumber" (14393),
// "OsPlatformId" (2, the NT family) and "ProcessorArchitecture" (9, x64); the defaults in
// brackets stand for a current 64-bit server.
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_IA64 = 6;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_IA32_ON_WIN64 = 10;

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    DWORD dwNumberOfProcessors;
};

// FALSE with 87 unless dwOSVersionInfoSize is sizeof(OSVERSIONINFOW).
BOOL GetVersionExW(OSVERSIONINFOW* info);
// The machine's architecture; this process runs natively, so both calls agree.
void GetNativeSystemInfo(SYSTEM_INFO* info);
void GetSystemInfo(SYSTEM_INFO* info);

}  // namespace win
