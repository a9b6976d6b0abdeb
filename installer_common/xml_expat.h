// The one place that includes expat: its wide-character build (libexpatw), whose characters are
// 2-byte UTF-16 units. XML_UNICODE must be defined before every inclusion, or the structures and
// calls would silently disagree with the library.
#pragma once

#define XML_UNICODE
#include <expat.h>

#include <cstddef>
#include <string>

static_assert(sizeof(XML_Char) == 2, "the reader needs expat's UTF-16 build");

namespace xmlw {

// True when the linked expat library itself works with 2-byte characters (checked once).
bool LibraryIsWide();

inline std::u16string ToU16(const XML_Char* s, size_t n)
{
    std::u16string out(n, u'\0');
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(s[i]);
    return out;
}

inline std::u16string ToU16(const XML_Char* s)
{
    size_t n = 0;
    while (s && s[n]) ++n;
    return ToU16(s, n);
}

}  // namespace xmlw
