// Conversion between UTF-16 text (char16_t) and UTF-8 text (char), the one place where the
// system's wide and narrow texts meet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Result of a bounded conversion into a fixed buffer.
struct ConvertResult {
    size_t written = 0;     // units written, without the terminator
    bool truncated = false; // the input did not fit and was cut at a character boundary
    bool invalid = false;   // the input held invalid sequences (each replaced by U+FFFD)
};

// Whole-string conversions. Invalid input (lone surrogates, bad UTF-8) becomes U+FFFD.
std::string to_utf8(std::u16string_view text);
std::u16string to_utf16(std::string_view text);

// UTF-16LE bytes as text, unit by unit (an odd last byte is left out), and text as UTF-16LE
// bytes. Nothing is checked or replaced: every unit, a lone surrogate too, goes through as it is.
std::u16string from_utf16le(std::string_view bytes);
std::string to_utf16le(std::u16string_view text);

// Length of a NUL-terminated UTF-16 string; null counts as empty.
size_t u16_length(const char16_t* text);
// A NUL-terminated UTF-16 string as a view (null gives an empty view).
std::u16string_view u16_view(const char16_t* text);

// Bounded conversions into a destination of `capacity` units (bytes for UTF-8, char16_t units
// for UTF-16). The destination is always terminated when capacity > 0; a character that does not
// fit whole is left out and `truncated` is set.
ConvertResult to_utf8(std::u16string_view text, char* dest, size_t capacity);
ConvertResult to_utf16(std::string_view text, char16_t* dest, size_t capacity);
// Copies wide text into a fixed wide array, cut at capacity-1 units (never in a surrogate pair).
ConvertResult copy_utf16(std::u16string_view text, char16_t* dest, size_t capacity);

}  // namespace platform
