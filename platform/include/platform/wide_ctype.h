// Character tests, case mapping and case-insensitive comparison of UTF-16 text, with the C
// runtime's rules of the current locale (ASCII only until a locale is set with setlocale).
#pragma once

#include <cstddef>

namespace platform {

bool wide_isspace(char16_t c);
char16_t wide_tolower(char16_t c);
char16_t wide_toupper(char16_t c);

// Compares lower-cased characters: <0, 0 or >0. NULL sorts before any text.
int wide_icmp(const char16_t* a, const char16_t* b);
// As wide_icmp, over at most `count` characters.
int wide_nicmp(const char16_t* a, const char16_t* b, size_t count);

}  // namespace platform
