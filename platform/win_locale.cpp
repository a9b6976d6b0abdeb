#include "platform/win_locale.h"

#include <cstring>
#include <string_view>

#include "platform/system_conf.h"
#include "platform/win_error.h"

namespace win {

LCID GetSystemDefaultLCID() { return LCID(platform::system_conf_number("SystemLocale", 1033)); }

int GetLocaleInfoW(LCID locale, DWORD type, WCHAR* out, int size)
{
    if (locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_USER_DEFAULT) locale = GetSystemDefaultLCID();
    std::u16string_view name;
    switch (locale & 0x3FF) {  // the primary language
    case 0x09: name = u"English"; break;
    case 0x0C: name = u"French"; break;
    case 0x0A: name = u"Spanish"; break;
    case 0x07: name = u"German"; break;
    case 0x10: name = u"Italian"; break;
    case 0x11: name = u"Japanese"; break;
    default: break;
    }
    if (type != LOCALE_SENGLANGUAGE || name.empty() || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int needed = int(name.size() + 1);
    if (size == 0) return needed;
    if (!out || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, name.data(), name.size() * sizeof(WCHAR));
    out[name.size()] = 0;
    return needed;
}

}  // namespace win
