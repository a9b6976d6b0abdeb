// Conversion of wide text to the machine's code pages. CP_ACP is the system's ANSI code page:
// system.conf "AnsiCodePage" (1252 when missing). Characters the code page lacks become '?'.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace win {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// `source_len` -1 converts up to and including the NUL. Returns the bytes written (or needed when
// `dest_size` is 0); 0 with error 122 when they do not fit, 87 for an unknown code page.
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* source, int source_len, char* dest,
                        int dest_size, const char* default_char, BOOL* used_default);

UINT GetACP();

}  // namespace win

namespace platform {
// The text in the code page (CP_ACP resolved as above); false for an unknown code page.
bool to_code_page(std::u16string_view text, win::UINT code_page, std::string& out);

// Text of one code page (CP_ACP resolved as above) read and written back without loss: a byte
// that is no character of the code page (undefined there, or a broken multi-byte sequence) reads
// as U+DC00 + byte, which writes back as that byte, so bytes nobody changed come out as they went
// in. An unknown code page reads ASCII and carries every other byte that way.
class CodePageText {
public:
    explicit CodePageText(win::UINT code_page);
    ~CodePageText();
    CodePageText(const CodePageText&) = delete;
    CodePageText& operator=(const CodePageText&) = delete;

    std::u16string decode(std::string_view bytes);
    // False, `out` unspecified, when the text holds a character the code page cannot hold
    // (nothing is replaced by '?').
    bool encode(std::u16string_view text, std::string& out);

private:
    void* to_wide_;    // iconv descriptors, (void*)-1 for an unknown code page
    void* from_wide_;
};
}  // namespace platform
