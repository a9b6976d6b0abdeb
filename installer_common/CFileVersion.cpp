#include "installer_common/CFileVersion.h"

#include <vector>

#include "installer_common/SystemUtils.h"
#include "platform/msvc_format.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "platform/win_time.h"
#include "platform/win_version.h"

using namespace win;

namespace {
CStr VersionText(uint32_t ms, uint32_t ls)
{
    return CStr(platform::format_msvc(u"%d.%d.%d.%d", int(ms >> 16), int(ms & 0xFFFF), int(ls >> 16), int(ls & 0xFFFF)));
}

CStr StringValue(const std::vector<uint8_t>& data, const char16_t* query)
{
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), query, &value, &length) || !value) return CStr();
    return CStr(static_cast<const char16_t*>(value));
}
}  // namespace

CFileVersion::CFileVersion() { Reset(); }

CFileVersion::CFileVersion(const char16_t* path)
{
    Reset();
    SetPath(path);
    if (!empty() && (*this)[0] != u'/' && (size() < 2 || (*this)[1] != u':')) {
        char16_t folder[MAX_PATH] = {};
        GetModuleFolder(folder, MAX_PATH);
        assign(std::u16string(folder) + u"\\" + std::u16string(*this));
    }
    Read();
}

CFileVersion::CFileVersion(uint32_t product_ms, uint32_t product_ls, uint32_t file_ms, uint32_t file_ls,
                           uint32_t time_high, uint32_t time_low, const char16_t* company, uint32_t spare,
                           uint32_t file_size)
    : m_company(company), m_fileMS(file_ms), m_fileLS(file_ls), m_productMS(product_ms), m_productLS(product_ls),
      m_timeHigh(time_high), m_timeLow(time_low), m_spare(spare), m_fileSize(file_size)
{
}

CFileVersion::~CFileVersion() = default;

void CFileVersion::Reset()
{
    clear();
    m_productText.clear();
    m_fileText.clear();
    m_company.clear();
    m_internal.clear();
    m_date.clear();
    m_time.clear();
    m_fileMS = m_fileLS = m_productMS = m_productLS = 0;
    m_timeHigh = m_timeLow = m_spare = m_fileSize = 0;
}

void CFileVersion::SetPath(const char16_t* path) { assign(CStr(path)); }

int CFileVersion::Read()
{
    if (empty()) return 0;
    HANDLE file = CreateFileW(c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0x80, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        m_fileSize = ::win::GetFileSize(file, nullptr);
        FILETIME written{}, local{};
        if (GetFileTime(file, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local)) {
            m_timeHigh = local.dwHighDateTime;
            m_timeLow = local.dwLowDateTime;
        }
        CloseHandle(file);
    }
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(c_str(), &handle);
    if (size == 0) return 0;
    std::vector<uint8_t> data(size);
    if (GetFileVersionInfoW(c_str(), handle, size, data.data())) {
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueW(data.data(), u"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
            const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
            m_fileMS = fixed->dwFileVersionMS;
            m_fileLS = fixed->dwFileVersionLS;
            m_productMS = fixed->dwProductVersionMS;
            m_productLS = fixed->dwProductVersionLS;
        }
        m_company = StringValue(data, u"\\StringFileInfo\\040904B0\\CompanyName");
        m_internal = StringValue(data, u"\\StringFileInfo\\040904B0\\InternalName");
        Format();
    }
    return 1;
}

void CFileVersion::Format()
{
    m_productText = VersionText(m_productMS, m_productLS);
    m_fileText = VersionText(m_fileMS, m_fileLS);
    FILETIME t{m_timeLow, m_timeHigh};
    SYSTEMTIME st{};
    char16_t buf[255];
    if (FileTimeToSystemTime(&t, &st)) {
        if (GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, 255) > 0) m_date = CStr(buf);
        if (GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, TIME_NOSECONDS, &st, nullptr, buf, 255) > 0) m_time = CStr(buf);
    }
}

int CFileVersion::IsValid() const
{
    return (m_fileMS || m_fileLS || m_productMS || m_productLS || m_timeHigh || m_timeLow) ? 1 : 0;
}

CStr CFileVersion::GetProductVersionString() const { return IsValid() ? m_productText : CStr(); }

CStr CFileVersion::GetFileVersionString() const { return IsValid() ? m_fileText : CStr(); }

bool CFileVersion::operator==(const CFileVersion& other) const
{
    return m_fileMS == other.m_fileMS && m_fileLS == other.m_fileLS;
}

bool CFileVersion::operator>(const CFileVersion& other) const
{
    return m_fileMS != other.m_fileMS ? m_fileMS > other.m_fileMS : m_fileLS > other.m_fileLS;
}

bool CFileVersion::operator<(const CFileVersion& other) const { return other > *this; }
