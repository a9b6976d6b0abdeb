#include "platform/wide_ctype.h"

#include <clocale>
#include <cwctype>
#include <wctype.h>

namespace platform {
namespace {
bool is_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }
}

bool wide_isspace(char16_t c) { return !is_surrogate(c) && std::iswspace(static_cast<wint_t>(c)); }

char16_t wide_tolower(char16_t c)
{
    if (is_surrogate(c)) return c;
    wint_t r = std::towlower(static_cast<wint_t>(c));
    return r <= 0xFFFF ? static_cast<char16_t>(r) : c;
}

char16_t wide_toupper(char16_t c)
{
    if (is_surrogate(c)) return c;
    wint_t r = std::towupper(static_cast<wint_t>(c));
    return r <= 0xFFFF ? static_cast<char16_t>(r) : c;
}

int wide_nicmp(const char16_t* a, const char16_t* b, size_t count)
{
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    for (size_t i = 0; i < count; ++i) {
        int ca = wide_tolower(a[i]);
        int cb = wide_tolower(b[i]);
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

int wide_icmp(const char16_t* a, const char16_t* b) { return wide_nicmp(a, b, static_cast<size_t>(-1)); }

char16_t system_upcase(char16_t c)
{
    if (c < 0x80) return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
    if (is_surrogate(c)) return c;
    // The C library's Unicode tables, through a locale of their own so that whatever the process
    // set with setlocale does not change how names compare. C.UTF-8 comes with the C library.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    const wint_t r = unicode ? towupper_l(static_cast<wint_t>(c), unicode) : std::towupper(static_cast<wint_t>(c));
    return r <= 0xFFFF ? static_cast<char16_t>(r) : c;
}

bool same_ignoring_case(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && system_upcase(a[i]) != system_upcase(b[i])) return false;
    return true;
}

}  // namespace platform
