#include "platform/win_time.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <chrono>
#include <thread>

#include "platform/utf16.h"
#include "platform/win_error.h"

namespace win {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601-01-01 to 1970-01-01

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

int put(const std::string& text, WCHAR* out, int size)
{
    std::u16string w = platform::to_utf16(text);
    int needed = int(w.size() + 1);
    if (size == 0) return needed;
    if (!out || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, w.c_str(), size_t(needed) * sizeof(WCHAR));
    return needed;
}

SYSTEMTIME now_local()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t;
}

bool valid(const SYSTEMTIME& t)
{
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wDayOfWeek <= 6 && t.wHour < 24 &&
           t.wMinute < 60 && t.wSecond < 60;
}

// The time a format call shows (NULL: now); false with 87 for a picture format or a bad time.
bool time_to_format(const SYSTEMTIME* time, const WCHAR* format, int size, SYSTEMTIME& t)
{
    t = time ? *time : now_local();
    if (format || size < 0 || !valid(t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace

void GetLocalTime(SYSTEMTIME* out)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    out->wYear = WORD(tm.tm_year + 1900);
    out->wMonth = WORD(tm.tm_mon + 1);
    out->wDayOfWeek = WORD(tm.tm_wday);
    out->wDay = WORD(tm.tm_mday);
    out->wHour = WORD(tm.tm_hour);
    out->wMinute = WORD(tm.tm_min);
    out->wSecond = WORD(tm.tm_sec);
    out->wMilliseconds = WORD(ts.tv_nsec / 1000000);
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local)
{
    if (!utc || !local) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t v = platform::filetime_to_u64(*utc);
    time_t secs = time_t(int64_t(v / kTicksPerSecond) - kEpochDifference);
    struct tm tm;
    if (!localtime_r(&secs, &tm)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local = platform::filetime_from_u64(uint64_t(int64_t(v) + int64_t(tm.tm_gmtoff) * int64_t(kTicksPerSecond)));
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out)
{
    if (!time || !out || (time->dwHighDateTime & 0x80000000)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t v = platform::filetime_to_u64(*time);
    time_t secs = time_t(int64_t(v / kTicksPerSecond) - kEpochDifference);
    struct tm tm;
    if (!gmtime_r(&secs, &tm)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    out->wYear = WORD(tm.tm_year + 1900);
    out->wMonth = WORD(tm.tm_mon + 1);
    out->wDayOfWeek = WORD(tm.tm_wday);
    out->wDay = WORD(tm.tm_mday);
    out->wHour = WORD(tm.tm_hour);
    out->wMinute = WORD(tm.tm_min);
    out->wSecond = WORD(tm.tm_sec);
    out->wMilliseconds = WORD((v % kTicksPerSecond) / 10000);
    return TRUE;
}

int GetDateFormatW(LCID, DWORD flags, const SYSTEMTIME* time, const WCHAR* format, WCHAR* out, int size)
{
    SYSTEMTIME t;
    if (!time_to_format(time, format, size, t)) return 0;
    char buf[96];
    if (flags & DATE_LONGDATE)
        std::snprintf(buf, sizeof buf, "%s, %s %u, %u", kDays[t.wDayOfWeek], kMonths[t.wMonth - 1], t.wDay, t.wYear);
    else
        std::snprintf(buf, sizeof buf, "%u/%u/%u", t.wMonth, t.wDay, t.wYear);
    return put(buf, out, size);
}

int GetTimeFormatW(LCID, DWORD flags, const SYSTEMTIME* time, const WCHAR* format, WCHAR* out, int size)
{
    SYSTEMTIME t;
    if (!time_to_format(time, format, size, t)) return 0;
    bool h24 = flags & TIME_FORCE24HOURFORMAT;
    unsigned hour = h24 ? t.wHour : (t.wHour % 12 == 0 ? 12 : t.wHour % 12);
    std::string text;
    char buf[32];
    std::snprintf(buf, sizeof buf, h24 ? "%02u" : "%u", hour);
    text = buf;
    if (!(flags & TIME_NOMINUTESORSECONDS)) {
        std::snprintf(buf, sizeof buf, ":%02u", t.wMinute);
        text += buf;
        if (!(flags & TIME_NOSECONDS)) {
            std::snprintf(buf, sizeof buf, ":%02u", t.wSecond);
            text += buf;
        }
    }
    if (!h24 && !(flags & TIME_NOTIMEMARKER)) text += t.wHour < 12 ? " AM" : " PM";
    return put(text, out, size);
}

}  // namespace win

namespace platform {
namespace {
std::function<void(win::DWORD)>& sleep_hook()
{
    static std::function<void(win::DWORD)> hook;
    return hook;
}
}  // namespace

std::function<void(win::DWORD)> set_sleep_hook(std::function<void(win::DWORD)> hook)
{
    std::swap(sleep_hook(), hook);
    return hook;
}
}  // namespace platform

void win::Sleep(DWORD ms)
{
    if (auto& hook = platform::sleep_hook()) {
        hook(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
