// Clock and time formatting. Local time follows the process's time zone (TZ); the date and time
// formats are the fixed en-US ones: short date "M/d/yyyy", long date "dddd, MMMM d, yyyy", time
// "h:mm:ss tt", or "HH:mm:ss" with TIME_FORCE24HOURFORMAT.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/win_types.h"

namespace win {

constexpr DWORD DATE_SHORTDATE = 0x1;
constexpr DWORD DATE_LONGDATE = 0x2;
constexpr DWORD TIME_NOMINUTESORSECONDS = 0x1;
constexpr DWORD TIME_NOSECONDS = 0x2;
constexpr DWORD TIME_NOTIMEMARKER = 0x4;
constexpr DWORD TIME_FORCE24HOURFORMAT = 0x8;

void GetLocalTime(SYSTEMTIME* out);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out);
// `time` NULL means now. Only the built-in formats are offered: a picture `format` fails with 87.
// Returns characters written with the NUL (or needed, for size 0); 0 with 122 when too small.
int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* time, const WCHAR* format, WCHAR* out, int size);
int GetTimeFormatW(LCID locale, DWORD flags, const SYSTEMTIME* time, const WCHAR* format, WCHAR* out, int size);

// Waits `ms` milliseconds, or calls the sleep hook instead when one is set.
void Sleep(DWORD ms);

}  // namespace win

namespace platform {
// Replaces every Sleep of the process by `hook` (an empty function restores real waits), so that
// tests run retry loops on a clock of their own. Returns the hook that was set before.
std::function<void(win::DWORD)> set_sleep_hook(std::function<void(win::DWORD)> hook);

inline uint64_t filetime_to_u64(const win::FILETIME& t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
inline win::FILETIME filetime_from_u64(uint64_t v)
{
    return win::FILETIME{win::DWORD(v & 0xFFFFFFFF), win::DWORD(v >> 32)};
}
}  // namespace platform
