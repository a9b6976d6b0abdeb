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
// The version record of the version checks, narrow form; wSuiteMask comes from "OsSuiteMask" of
// system.conf (0x110, terminal services in single-user mode, when missing).
struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
static_assert(sizeof(OSVERSIONINFOEXA) == 156);

constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_MINORVERSION = 0x1;
constexpr DWORD VER_MAJORVERSION = 0x2;
constexpr DWORD VER_BUILDNUMBER = 0x4;
constexpr DWORD VER_PLATFORMID = 0x8;
constexpr DWORD VER_SUITENAME = 0x40;
constexpr BYTE VER_EQUAL = 1;
constexpr BYTE VER_GREATER = 2;
constexpr BYTE VER_GREATER_EQUAL = 3;
constexpr BYTE VER_LESS = 4;
constexpr BYTE VER_LESS_EQUAL = 5;
constexpr BYTE VER_AND = 6;
constexpr BYTE VER_OR = 7;
constexpr WORD VER_SUITE_TERMINAL = 0x10;
constexpr WORD VER_SUITE_SINGLEUSERTS = 0x100;
constexpr DWORD ERROR_OLD_WIN_VERSION = 1150;

// Adds the condition of one field (3 bits per field, in the order of the type bits above).
uint64_t VerSetConditionMask(uint64_t mask, DWORD type, BYTE condition);
// Compares the machine with the record for each field named in `type`, each by its condition
// (suite: VER_AND all of the record's bits, VER_OR any of them). FALSE with 1150 when a field
// does not match; 87 for a bad record size, no field, or a field this machine cannot compare.
BOOL VerifyVersionInfoA(OSVERSIONINFOEXA* info, DWORD type, uint64_t condition_mask);

// The machine's architecture; this process runs natively, so both calls agree.
void GetNativeSystemInfo(SYSTEM_INFO* info);
void GetSystemInfo(SYSTEM_INFO* info);

}  // namespace win
