#include "platform/utf16.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-16; advances i. Sets bad on a lone surrogate.
char32_t next_u16(std::u16string_view s, size_t& i, bool& bad)
{
    char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            char32_t lo = s[i++];
            return 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        }
        bad = true;
        return kReplacement;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        bad = true;
        return kReplacement;
    }
    return c;
}

// Decodes one code point from UTF-8; advances i. Sets bad on a malformed sequence.
char32_t next_u8(std::string_view s, size_t& i, bool& bad)
{
    unsigned char b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80) return b0;
    int extra;
    char32_t c;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) { extra = 1; c = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { extra = 2; c = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { extra = 3; c = b0 & 0x07; min = 0x10000; }
    else { bad = true; return kReplacement; }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            bad = true;
            return kReplacement;
        }
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        bad = true;
        return kReplacement;
    }
    return c;
}

size_t encode_u8(char32_t c, char out[4])
{
    if (c < 0x80) { out[0] = static_cast<char>(c); return 1; }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

size_t encode_u16(char32_t c, char16_t out[2])
{
    if (c < 0x10000) { out[0] = static_cast<char16_t>(c); return 1; }
    c -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (c >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    return 2;
}

}  // namespace

std::string to_utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool bad = false;
    for (size_t i = 0; i < text.size();) {
        char buf[4];
        out.append(buf, encode_u8(next_u16(text, i, bad), buf));
    }
    return out;
}

std::u16string to_utf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    bool bad = false;
    for (size_t i = 0; i < text.size();) {
        char16_t buf[2];
        out.append(buf, encode_u16(next_u8(text, i, bad), buf));
    }
    return out;
}

std::u16string from_utf16le(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
    return out;
}

std::string to_utf16le(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

size_t u16_length(const char16_t* text)
{
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

std::u16string_view u16_view(const char16_t* text)
{
    return text ? std::u16string_view(text, u16_length(text)) : std::u16string_view();
}

ConvertResult to_utf8(std::u16string_view text, char* dest, size_t capacity)
{
    ConvertResult r;
    if (capacity == 0) {
        r.truncated = !text.empty();
        return r;
    }
    for (size_t i = 0; i < text.size();) {
        char buf[4];
        size_t n = encode_u8(next_u16(text, i, r.invalid), buf);
        if (r.written + n > capacity - 1) {
            r.truncated = true;
            break;
        }
        for (size_t k = 0; k < n; ++k) dest[r.written++] = buf[k];
    }
    dest[r.written] = '\0';
    return r;
}

ConvertResult to_utf16(std::string_view text, char16_t* dest, size_t capacity)
{
    ConvertResult r;
    if (capacity == 0) {
        r.truncated = !text.empty();
        return r;
    }
    for (size_t i = 0; i < text.size();) {
        char16_t buf[2];
        size_t n = encode_u16(next_u8(text, i, r.invalid), buf);
        if (r.written + n > capacity - 1) {
            r.truncated = true;
            break;
        }
        for (size_t k = 0; k < n; ++k) dest[r.written++] = buf[k];
    }
    dest[r.written] = u'\0';
    return r;
}

ConvertResult copy_utf16(std::u16string_view text, char16_t* dest, size_t capacity)
{
    ConvertResult r;
    if (capacity == 0) {
        r.truncated = !text.empty();
        return r;
    }
    size_t n = text.size();
    if (n > capacity - 1) {
        n = capacity - 1;
        r.truncated = true;
        // Never leave half of a surrogate pair at the end.
        if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    }
    for (size_t k = 0; k < n; ++k) dest[k] = text[k];
    dest[n] = u'\0';
    r.written = n;
    return r;
}

}  // namespace platform
