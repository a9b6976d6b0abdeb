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

namespace {

// The condition of a field: 3 bits at the field's bit position in `type`.
BYTE condition_of(uint64_t mask, DWORD field)
{
    int index = __builtin_ctz(field);
    return BYTE((mask >> (3 * index)) & 7);
}

bool compare(DWORD machine, DWORD wanted, BYTE condition)
{
    switch (condition) {
    case VER_EQUAL: return machine == wanted;
    case VER_GREATER: return machine > wanted;
    case VER_GREATER_EQUAL: return machine >= wanted;
    case VER_LESS: return machine < wanted;
    case VER_LESS_EQUAL: return machine <= wanted;
    default: return false;
    }
}

}  // namespace

uint64_t VerSetConditionMask(uint64_t mask, DWORD type, BYTE condition)
{
    if (!type || (condition & ~7)) return mask;
    for (DWORD bit = 1; bit && bit <= VER_SUITENAME; bit <<= 1)
        if (type & bit) {
            int index = __builtin_ctz(bit);
            mask = (mask & ~(uint64_t(7) << (3 * index))) | (uint64_t(condition) << (3 * index));
        }
    return mask;
}

BOOL VerifyVersionInfoA(OSVERSIONINFOEXA* info, DWORD type, uint64_t condition_mask)
{
    constexpr DWORD kKnown = VER_MINORVERSION | VER_MAJORVERSION | VER_BUILDNUMBER | VER_PLATFORMID | VER_SUITENAME;
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA) || !type || (type & ~kKnown))
        return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    OSVERSIONINFOW machine{};
    machine.dwOSVersionInfoSize = sizeof machine;
    GetVersionExW(&machine);
    struct Field {
        DWORD type;
        DWORD machine;
        DWORD wanted;
    };
    const Field fields[] = {{VER_MINORVERSION, machine.dwMinorVersion, info->dwMinorVersion},
                            {VER_MAJORVERSION, machine.dwMajorVersion, info->dwMajorVersion},
                            {VER_BUILDNUMBER, machine.dwBuildNumber, info->dwBuildNumber},
                            {VER_PLATFORMID, machine.dwPlatformId, info->dwPlatformId}};
    for (const Field& f : fields)
        if ((type & f.type) && !compare(f.machine, f.wanted, condition_of(condition_mask, f.type)))
            return fail_with<BOOL>(ERROR_OLD_WIN_VERSION, FALSE);
    if (type & VER_SUITENAME) {
        const WORD suites = WORD(platform::system_conf_number("OsSuiteMask", VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS));
        const BYTE condition = condition_of(condition_mask, VER_SUITENAME);
        bool ok = condition == VER_AND ? (suites & info->wSuiteMask) == info->wSuiteMask
                  : condition == VER_OR ? (suites & info->wSuiteMask) != 0
                                        : false;
        if (condition != VER_AND && condition != VER_OR) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
        if (!ok) return fail_with<BOOL>(ERROR_OLD_WIN_VERSION, FALSE);
    }
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
