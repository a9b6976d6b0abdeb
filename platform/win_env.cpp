#include "platform/win_env.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/utf16.h"
#include "platform/win_error.h"

namespace platform {
namespace {

struct Default {
    const char* name;
    const char16_t* value;
};

constexpr Default kDefaults[] = {
    {"SystemDrive", u"C:"},
    {"SystemRoot", u"C:\\Windows"},
    {"windir", u"C:\\Windows"},
    {"ProgramFiles", u"C:\\Program Files"},
    {"ALLUSERSPROFILE", u"C:\\ProgramData"},
    {"TEMP", u"C:\\Windows\\Temp"},
    {"TMP", u"C:\\Windows\\Temp"},
};

}  // namespace

std::optional<std::u16string> environment_value(std::u16string_view name)
{
    if (name.empty()) return std::nullopt;
    std::string n = to_utf8(name);
    if (const char* v = std::getenv(n.c_str())) return to_utf16(v);
    for (char** e = environ; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq && iequals(std::string_view(*e, size_t(eq - *e)), n)) return to_utf16(eq + 1);
    }
    for (const auto& d : kDefaults)
        if (iequals(d.name, n)) return std::u16string(d.value);
    return std::nullopt;
}

std::u16string expand_environment(std::u16string_view text)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t open = text.find(u'%', i);
        if (open == std::u16string_view::npos) break;
        size_t close = text.find(u'%', open + 1);
        if (close == std::u16string_view::npos) break;
        out.append(text.substr(i, open - i));
        auto value = environment_value(text.substr(open + 1, close - open - 1));
        if (value)
            out += *value;
        else
            out.append(text.substr(open, close - open + 1));  // unknown names stay as written
        i = close + 1;
    }
    out.append(text.substr(i < text.size() ? i : text.size()));
    return out;
}

}  // namespace platform

namespace win {

DWORD GetEnvironmentVariableW(const WCHAR* name, WCHAR* buffer, DWORD size)
{
    auto value = platform::environment_value(platform::u16_view(name));
    if (!value) {
        SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
        return 0;
    }
    if (!buffer || value->size() + 1 > size) return DWORD(value->size() + 1);
    std::memcpy(buffer, value->c_str(), (value->size() + 1) * sizeof(WCHAR));
    return DWORD(value->size());
}

DWORD ExpandEnvironmentStringsW(const WCHAR* source, WCHAR* dest, DWORD size)
{
    std::u16string out = platform::expand_environment(platform::u16_view(source));
    DWORD needed = DWORD(out.size() + 1);
    if (dest && needed <= size) std::memcpy(dest, out.c_str(), needed * sizeof(WCHAR));
    return needed;
}

}  // namespace win
