#include "installer_common/CStr.h"

#include <algorithm>

#include "platform/utf16.h"
#include "platform/wide_ctype.h"

CStr::CStr() = default;

CStr::CStr(const char16_t* text) : std::u16string(platform::u16_view(text)) {}

CStr::CStr(std::u16string_view text) : std::u16string(text) {}
CStr::CStr(const std::u16string& text) : std::u16string(text) {}

CStr::CStr(const CStr& other) : std::u16string(other) {}

CStr& CStr::operator=(const CStr& other)
{
    if (this != &other) std::u16string::operator=(other);
    return *this;
}

CStr::~CStr() { FreeBuffer(); }

void CStr::FreeBuffer()
{
    delete[] m_buffer;
    m_buffer = nullptr;
    m_capacity = 0;
}

CStr CStr::Mid(size_t start, size_t count) const { return CStr(std::u16string_view(substr(start, count))); }

void CStr::TrimLeft()
{
    size_t n = 0;
    while (n < size() && platform::wide_isspace((*this)[n])) ++n;
    erase(0, n);
}

void CStr::TrimRight()
{
    size_t n = size();
    while (n > 0 && platform::wide_isspace((*this)[n - 1])) --n;
    erase(n);
}

char16_t* CStr::GetBuffer(size_t size)
{
    FreeBuffer();
    size_t cap = size ? size : length() + 1;
    m_buffer = new char16_t[cap]();
    m_capacity = cap;
    size_t n = std::min(length(), cap - 1);
    std::copy_n(data(), n, m_buffer);
    m_buffer[n] = 0;
    return m_buffer;
}

void CStr::ReleaseBuffer(size_t count)
{
    if (!m_buffer) return;
    size_t n;
    if (count > 0) {
        n = std::min(count, m_capacity);
    } else {
        n = 0;
        while (n < m_capacity && m_buffer[n] != 0) ++n;
        if (n == m_capacity) n = m_capacity - 1;  // no NUL within the buffer
    }
    assign(m_buffer, n);
    FreeBuffer();
}

void CStr::MakeUpper()
{
    char16_t* b = GetBuffer(0);
    for (char16_t* p = b; *p; ++p) *p = platform::wide_toupper(*p);
    ReleaseBuffer(0);
}

void CStr::MakeLower()
{
    char16_t* b = GetBuffer(0);
    for (char16_t* p = b; *p; ++p) *p = platform::wide_tolower(*p);
    ReleaseBuffer(0);
}

int CStr::Compare(const char16_t* text) const
{
    if (!text) return 1;
    return platform::wide_icmp(c_str(), text);
}

int CStr::FindNoCase(const char16_t* text) const
{
    CStr self(*this), part(text);
    self.MakeLower();
    part.MakeLower();
    size_t pos = self.find(part);
    return pos == npos ? -1 : int(pos);
}
