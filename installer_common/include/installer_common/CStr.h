// The plug-in's string: a wide (UTF-16) standard string with a side buffer through which C-style
// code can write into it (GetBuffer / ReleaseBuffer), trims, case changes and case-insensitive
// search and comparison.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CStr : public std::u16string {
public:
    CStr();
    CStr(const char16_t* text);  // NULL gives an empty text
    CStr(std::u16string_view text);
    CStr(const std::u16string& text);
    CStr(const CStr& other);
    CStr& operator=(const CStr& other);
    virtual ~CStr();

    CStr Mid(size_t start, size_t count = npos) const;
    void TrimLeft();
    void TrimRight();
    // A side buffer of `size` characters (0: the length plus 1) holding a copy of the text.
    char16_t* GetBuffer(size_t size = 0);
    // count > 0: the text becomes the buffer's first `count` characters; 0: the buffer up to its
    // NUL, or its first capacity - 1 characters when it holds none. Frees the buffer.
    void ReleaseBuffer(size_t count = 0);
    void MakeUpper();
    void MakeLower();
    // 0 when equal ignoring case, else non-zero; 1 for NULL.
    int Compare(const char16_t* text) const;
    // Position of the first occurrence ignoring case, or -1.
    int FindNoCase(const char16_t* text) const;

private:
    void FreeBuffer();

    char16_t* m_buffer = nullptr;
    size_t m_capacity = 0;
};
