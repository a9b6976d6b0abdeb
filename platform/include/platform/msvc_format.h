// printf-style formatting with the conventions of the system's own format texts, so that those
// texts can be used verbatim on Linux:
// - in a wide format, "%s" and "%c" take UTF-16 text (const char16_t*, char16_t) and "%S"/"%C"
//   narrow text; in a narrow format the other way round;
// - "%hs"/"%hc" are always narrow, "%ls"/"%lc"/"%ws"/"%wc" always wide;
// - "l" on an integer conversion is 32-bit (as "long" is there), "ll" and "I64" 64-bit, "I32"
//   32-bit, "I", "z", "t", "j" pointer-sized;
// - "%n" writes nothing (its argument is skipped).
// Narrow text is UTF-8. A NULL string argument prints "(null)". Widths and precisions are capped
// at 65535, so a result is always bounded by the format and its arguments.
#pragma once

#include <cstdarg>
#include <string>

namespace platform {

std::u16string vformat_msvc(const char16_t* format, va_list args);
std::u16string format_msvc(const char16_t* format, ...);
std::string vformat_msvc(const char* format, va_list args);
std::string format_msvc(const char* format, ...);

}  // namespace platform
