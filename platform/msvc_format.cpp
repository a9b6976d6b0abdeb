#include "platform/msvc_format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/types.h>

#include "platform/utf16.h"

namespace platform {
namespace {

constexpr int kMaxField = 65535;

enum class Len { none, hh, h, l32, ll, size, ld };

// Number of code points in UTF-8 text (continuation bytes are not counted).
size_t code_points(const std::string& s)
{
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

void pad_append(std::string& out, const std::string& text, int width, bool left)
{
    size_t len = code_points(text);
    size_t pad = width > 0 && size_t(width) > len ? size_t(width) - len : 0;
    if (!left) out.append(pad, ' ');
    out += text;
    if (left) out.append(pad, ' ');
}

// Wide text cut to `precision` UTF-16 units (never inside a surrogate pair), as UTF-8.
std::string wide_arg(const char16_t* s, int precision)
{
    if (!s) return "(null)";
    std::u16string_view v = u16_view(s);
    if (precision >= 0 && size_t(precision) < v.size()) {
        size_t n = size_t(precision);
        if (n > 0 && v[n - 1] >= 0xD800 && v[n - 1] <= 0xDBFF) --n;
        v = v.substr(0, n);
    }
    return to_utf8(v);
}

// Narrow text cut to `precision` bytes (never inside a UTF-8 sequence).
std::string narrow_arg(const char* s, int precision)
{
    if (!s) return "(null)";
    size_t n = precision >= 0 ? strnlen(s, size_t(precision)) : std::strlen(s);
    if (precision >= 0 && n == size_t(precision) && s[n] != 0)
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return std::string(s, n);
}

std::string number(const std::string& desc, Len len, char conv, va_list& ap)
{
    char buf[128];
    std::string fmt = desc;
    bool is_signed = conv == 'd' || conv == 'i';
    bool is_float = std::strchr("eEfFgGaA", conv) != nullptr;
    auto print = [&](auto value) -> std::string {
        int n = std::snprintf(buf, sizeof buf, fmt.c_str(), value);
        if (n < 0) return {};
        if (size_t(n) < sizeof buf) return std::string(buf, size_t(n));
        std::string big(size_t(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), fmt.c_str(), value);
        big.resize(size_t(n));
        return big;
    };
    if (is_float) {
        if (len == Len::ld) {
            fmt += 'L';
            fmt += conv;
            return print(va_arg(ap, long double));
        }
        fmt += conv;
        return print(va_arg(ap, double));
    }
    if (conv == 'p') {
        fmt += 'p';
        return print(va_arg(ap, void*));
    }
    switch (len) {
    case Len::ll:
        fmt += "ll";
        fmt += conv;
        return is_signed ? print(va_arg(ap, long long)) : print(va_arg(ap, unsigned long long));
    case Len::size:
        fmt += 'z';
        fmt += conv;
        return is_signed ? print(static_cast<ssize_t>(va_arg(ap, ssize_t))) : print(va_arg(ap, size_t));
    case Len::hh:
        fmt += "hh";
        break;
    case Len::h:
        fmt += 'h';
        break;
    default:
        break;
    }
    fmt += conv;
    return is_signed ? print(va_arg(ap, int)) : print(va_arg(ap, unsigned int));
}

std::string format_core(const std::string& f, bool wide_format, va_list& ap)
{
    std::string out;
    size_t i = 0;
    while (i < f.size()) {
        char c = f[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        size_t start = i - 1;
        if (i < f.size() && f[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::string flags;
        while (i < f.size() && std::strchr("-+ #0", f[i])) flags += f[i++];
        int width = -1;
        if (i < f.size() && f[i] == '*') {
            width = va_arg(ap, int);
            if (width < 0) {
                flags += '-';
                width = width == INT32_MIN ? kMaxField : -width;
            }
            ++i;
        } else {
            while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
                width = (width < 0 ? 0 : width) * 10 + (f[i++] - '0');
                if (width > kMaxField) width = kMaxField;
            }
        }
        int precision = -1;
        if (i < f.size() && f[i] == '.') {
            ++i;
            precision = 0;
            if (i < f.size() && f[i] == '*') {
                precision = va_arg(ap, int);
                if (precision < 0) precision = -1;  // a negative precision counts as none
                ++i;
            } else {
                while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
                    precision = precision * 10 + (f[i++] - '0');
                    if (precision > kMaxField) precision = kMaxField;
                }
            }
            if (precision > kMaxField) precision = kMaxField;
        }
        if (width > kMaxField) width = kMaxField;
        Len len = Len::none;
        int text_width = 0;  // 1 narrow, 2 wide, 0 by conversion letter
        if (f.compare(i, 3, "I64") == 0) { len = Len::ll; i += 3; }
        else if (f.compare(i, 3, "I32") == 0) { len = Len::l32; i += 3; }
        else if (f.compare(i, 2, "hh") == 0) { len = Len::hh; i += 2; }
        else if (f.compare(i, 2, "ll") == 0) { len = Len::ll; i += 2; }
        else if (i < f.size()) {
            switch (f[i]) {
            case 'h': len = Len::h; text_width = 1; ++i; break;
            case 'l': len = Len::l32; text_width = 2; ++i; break;
            case 'w': text_width = 2; ++i; break;
            case 'I': case 'z': case 'j': case 't': len = Len::size; ++i; break;
            case 'L': len = Len::ld; ++i; break;
            default: break;
            }
        }
        if (i >= f.size()) {
            out.append(f, start, std::string::npos);
            break;
        }
        char conv = f[i++];
        bool left = flags.find('-') != std::string::npos;
        switch (conv) {
        case 's':
        case 'S': {
            bool wide = text_width ? text_width == 2 : ((conv == 's') == wide_format);
            std::string text = wide ? wide_arg(va_arg(ap, const char16_t*), precision)
                                    : narrow_arg(va_arg(ap, const char*), precision);
            pad_append(out, text, width, left);
            break;
        }
        case 'c':
        case 'C': {
            bool wide = text_width ? text_width == 2 : ((conv == 'c') == wide_format);
            int v = va_arg(ap, int);
            std::string text;
            if (wide) {
                char16_t ch = static_cast<char16_t>(v);
                text = to_utf8(std::u16string_view(&ch, 1));
            } else {
                text.assign(1, static_cast<char>(v));
            }
            pad_append(out, text, width, left);
            break;
        }
        case 'n':
            (void)va_arg(ap, void*);
            break;
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o':
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': case 'p': {
            std::string desc = "%" + flags;
            if (width >= 0) desc += std::to_string(width);
            if (precision >= 0) desc += "." + std::to_string(precision);
            out += number(desc, len, conv, ap);
            break;
        }
        default:
            // Not a conversion: keep the text as written.
            out.append(f, start, i - start);
            break;
        }
    }
    return out;
}

}  // namespace

std::u16string vformat_msvc(const char16_t* format, va_list args)
{
    if (!format) return {};
    va_list ap;
    va_copy(ap, args);
    std::string text = format_core(to_utf8(u16_view(format)), true, ap);
    va_end(ap);
    return to_utf16(text);
}

std::u16string format_msvc(const char16_t* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::u16string s = vformat_msvc(format, ap);
    va_end(ap);
    return s;
}

std::string vformat_msvc(const char* format, va_list args)
{
    if (!format) return {};
    va_list ap;
    va_copy(ap, args);
    std::string text = format_core(format, false, ap);
    va_end(ap);
    return text;
}

std::string format_msvc(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::string s = vformat_msvc(format, ap);
    va_end(ap);
    return s;
}

}  // namespace platform
