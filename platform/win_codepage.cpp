#include "platform/win_codepage.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>

#include "platform/system_conf.h"
#include "platform/utf16.h"
#include "platform/win_error.h"

namespace win {

UINT GetACP() { return UINT(platform::system_conf_number("AnsiCodePage", 1252)); }

int WideCharToMultiByte(UINT code_page, DWORD, const WCHAR* source, int source_len, char* dest, int dest_size,
                        const char*, BOOL* used_default)
{
    if (!source || source_len < -1 || dest_size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = source_len == -1 ? platform::u16_length(source) + 1 : size_t(source_len);
    std::string out;
    if (!platform::to_code_page(std::u16string_view(source, n), code_page, out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (used_default) *used_default = FALSE;
    if (dest_size == 0) return int(out.size());
    if (out.size() > size_t(dest_size)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dest, out.data(), out.size());
    return int(out.size());
}

}  // namespace win

namespace platform {

bool to_code_page(std::u16string_view text, win::UINT code_page, std::string& out)
{
    if (code_page == win::CP_ACP) code_page = win::GetACP();
    std::string utf8 = to_utf8(text);
    if (code_page == win::CP_UTF8) {
        out = std::move(utf8);
        return true;
    }
    std::string name = "CP" + std::to_string(code_page);
    iconv_t cd = iconv_open(name.c_str(), "UTF-8");
    if (cd == iconv_t(-1)) return false;
    out.clear();
    char* in = utf8.data();
    size_t in_left = utf8.size();
    char buf[256];
    while (in_left > 0) {
        char* o = buf;
        size_t o_left = sizeof buf;
        size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buf, size_t(o - buf));
        if (r == size_t(-1) && errno == EILSEQ) {
            // A character the code page lacks: '?' in its place, then go on after it.
            out += '?';
            size_t skip = 1;
            while (skip < in_left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
            in += skip;
            in_left -= skip;
        } else if (r == size_t(-1) && errno != E2BIG) {
            break;  // truncated input: cannot happen for text produced by to_utf8
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace platform

namespace platform {
namespace {

const iconv_t kNoConverter = iconv_t(-1);

std::string iconv_name(win::UINT code_page)
{
    if (code_page == win::CP_ACP) code_page = win::GetACP();
    return code_page == win::CP_UTF8 ? "UTF-8" : "CP" + std::to_string(code_page);
}

// U+DC00 + byte: a byte the code page does not read as a character.
constexpr char16_t kByteEscape = 0xDC00;
bool escaped_byte(char16_t c) { return (c & 0xFF00) == kByteEscape; }

// Converts `in` from its start for as long as the converter reads it, appending to `out`. Returns
// how many bytes were left unread: 0, or the bytes from the first one it could not convert.
size_t convert(iconv_t cd, std::string_view in, std::string& out)
{
    char* at = const_cast<char*>(in.data());
    size_t left = in.size();
    char buf[512];
    while (left > 0) {
        char* o = buf;
        size_t o_left = sizeof buf;
        const size_t r = iconv(cd, &at, &left, &o, &o_left);
        out.append(buf, size_t(o - buf));
        if (r == size_t(-1) && errno != E2BIG) break;
    }
    return left;
}

}  // namespace

CodePageText::CodePageText(win::UINT code_page)
{
    const std::string name = iconv_name(code_page);
    to_wide_ = iconv_open("UTF-16LE", name.c_str());
    from_wide_ = iconv_open(name.c_str(), "UTF-16LE");
    if (to_wide_ == kNoConverter || from_wide_ == kNoConverter) {
        if (to_wide_ != kNoConverter) iconv_close(iconv_t(to_wide_));
        if (from_wide_ != kNoConverter) iconv_close(iconv_t(from_wide_));
        to_wide_ = from_wide_ = kNoConverter;
    }
}

CodePageText::~CodePageText()
{
    if (to_wide_ != kNoConverter) iconv_close(iconv_t(to_wide_));
    if (from_wide_ != kNoConverter) iconv_close(iconv_t(from_wide_));
}

std::u16string CodePageText::decode(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        size_t left = bytes.size();
        if (to_wide_ != kNoConverter) {
            std::string wide;
            iconv(iconv_t(to_wide_), nullptr, nullptr, nullptr, nullptr);
            left = convert(iconv_t(to_wide_), bytes, wide);
            out += from_utf16le(wide);
        } else {
            while (left > 0 && uint8_t(bytes[bytes.size() - left]) < 0x80) out += char16_t(bytes[bytes.size() - left--]);
        }
        if (left == 0) break;
        // The byte starts no character here: carry it, and read on after it.
        bytes.remove_prefix(bytes.size() - left);
        out += char16_t(kByteEscape | uint8_t(bytes[0]));
        bytes.remove_prefix(1);
    }
    return out;
}

bool CodePageText::encode(std::u16string_view text, std::string& out)
{
    out.clear();
    const iconv_t cd = iconv_t(from_wide_);
    size_t at = 0;
    while (at < text.size()) {
        if (escaped_byte(text[at])) {
            out += char(text[at++] & 0xFF);
            continue;
        }
        size_t end = at;
        while (end < text.size() && !escaped_byte(text[end])) ++end;
        if (cd == kNoConverter) {
            for (; at < end; ++at) {
                if (text[at] >= 0x80) return false;
                out += char(text[at]);
            }
            continue;
        }
        const std::string wide = to_utf16le(text.substr(at, end - at));
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (convert(cd, wide, out) != 0) return false;  // a character the code page lacks
        // The shift state back to its start, for the stateful code pages.
        char buf[64];
        char* o = buf;
        size_t o_left = sizeof buf;
        iconv(cd, nullptr, nullptr, &o, &o_left);
        out.append(buf, size_t(o - buf));
        at = end;
    }
    return true;
}

}  // namespace platform
