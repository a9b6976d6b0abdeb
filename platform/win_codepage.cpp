#include "platform/win_codepage.h"

#include <cerrno>
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
