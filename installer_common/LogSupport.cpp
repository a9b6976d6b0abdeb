#include "installer_common/LogSupport.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/msvc_format.h"
#include "platform/utf16.h"
#include "platform/win_fs.h"
#include "platform/win_module.h"
#include "platform/win_time.h"
#include "platform/win_version.h"

using namespace win;

unsigned TempLogNumber(unsigned seed)
{
    std::srand(seed);
    return unsigned(std::rand()) & 0x7FFF;
}

void MakeTempLogName(const char16_t* prefix, char16_t* out, size_t size)
{
    if (!out || size == 0) return;
    char16_t full[MAX_PATH];
    if (GetTempFileNameW(u".", prefix, TempLogNumber(unsigned(std::time(nullptr))), full) == 0) return;
    platform::copy_utf16(platform::u16_view(FileTitleOf(full)), out, size);
}

bool PathExists(const char16_t* path)
{
    return path && *path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void CreateDirectoryPath(const char16_t* path)
{
    if (!path || !*path) return;
    std::u16string_view p(path);
    std::u16string current;
    size_t pos = 0;
    if (p.size() >= 2 && p[1] == u':') {
        current.assign(p.substr(0, 2));
        pos = 2;
    }
    size_t last_sep = p.find_last_of(u"\\/");
    if (last_sep == std::u16string_view::npos || last_sep < pos) return;
    // A relative folder part stays relative; one that begins with a separator starts at the root.
    bool relative = current.empty() && p[pos] != u'\\' && p[pos] != u'/';
    while (pos < last_sep) {
        size_t next = p.find_first_of(u"\\/", pos);
        if (next == std::u16string_view::npos || next > last_sep) next = last_sep;
        std::u16string_view comp = p.substr(pos, next - pos);
        pos = next + 1;
        if (comp.empty()) continue;
        if (!(relative && current.empty())) current += u'\\';
        current += comp;
        if (current.size() >= MAX_PATH) return;
        CreateDirectoryW(current.c_str(), nullptr);
    }
}

void GetTimeString(char16_t* out, size_t size)
{
    if (!out || size == 0) return;
    if (GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER, nullptr, nullptr, out,
                       int(size)) == 0)
        out[0] = 0;
}

void GetDateString(char16_t* out, size_t size)
{
    if (!out || size == 0) return;
    if (GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, out, int(size)) == 0) out[0] = 0;
}

void GetDateTimeString(char16_t* out, size_t size)
{
    if (!out || size == 0) return;
    char16_t date[64], time[64];
    GetDateString(date, 64);
    GetTimeString(time, 64);
    platform::copy_utf16(platform::format_msvc(u"%s %s", date, time), out, size);
}

const char16_t* FileTitleOf(const char16_t* path)
{
    if (!path) return u"";
    const char16_t* title = path;
    for (const char16_t* p = path; *p; ++p)
        if (*p == u'\\' || *p == u'/' || (*p == u':' && p == path + 1)) title = p + 1;
    return title;
}

void GetModuleFileTitle(char16_t* out)
{
    if (!out) return;
    char16_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    platform::copy_utf16(platform::u16_view(FileTitleOf(path)), out, MAX_PATH);
}

int GetModuleVersionString(char16_t* out, size_t size)
{
    if (!out || size < 10) return 0;
    char16_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return 0;
    DWORD handle = 0;
    DWORD bytes = GetFileVersionInfoSizeW(path, &handle);
    if (bytes == 0) return 0;
    std::string data(bytes, '\0');
    if (!GetFileVersionInfoW(path, handle, bytes, data.data())) return 0;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), u"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    platform::copy_utf16(platform::format_msvc(u"%d.%d.%d.%d", int(fixed->dwFileVersionMS >> 16),
                                               int(fixed->dwFileVersionMS & 0xFFFF), int(fixed->dwFileVersionLS >> 16),
                                               int(fixed->dwFileVersionLS & 0xFFFF)),
                         out, size);
    return 1;
}
