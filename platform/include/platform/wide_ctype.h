// Character tests, case mapping and case-insensitive comparison of UTF-16 text, with the C
// runtime's rules of the current locale (ASCII only until a locale is set with setlocale).
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

bool wide_isspace(char16_t c);
char16_t wide_tolower(char16_t c);
char16_t wide_toupper(char16_t c);

// Compares lower-cased characters: <0, 0 or >0. NULL sorts before any text.
int wide_icmp(const char16_t* a, const char16_t* b);
// As wide_icmp, over at most `count` characters.
int wide_nicmp(const char16_t* a, const char16_t* b, size_t count);

// The machine's own case mapping, which no C runtime locale changes: the simple Unicode upper
// case of a character ('\u00e9' gives '\u00c9', '\u0444' gives '\u0424'); surrogates and characters
// without an upper case stay as they are. Names the system compares without case (INI sections
// and keys) compare through it.
char16_t system_upcase(char16_t c);
// True when the texts are equal after system_upcase of every character.
bool same_ignoring_case(std::u16string_view a, std::u16string_view b);

}  // namespace platform
