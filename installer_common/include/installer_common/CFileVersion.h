// The version facts of one file: fixed file and product versions, company and internal names
// (US English block), size and last-write time, and comparison by file version.
#pragma once

#include <cstdint>

#include "installer_common/CStr.h"

class CFileVersion : public CStr {
public:
    CFileVersion();
    // A path that is neither "X:..." nor a Linux absolute path is taken from the plug-in's folder.
    explicit CFileVersion(const char16_t* path);
    CFileVersion(uint32_t product_ms, uint32_t product_ls, uint32_t file_ms, uint32_t file_ls, uint32_t time_high,
                 uint32_t time_low, const char16_t* company, uint32_t spare, uint32_t file_size);
    ~CFileVersion() override;

    void Reset();
    void SetPath(const char16_t* path);
    // 1 once the file has a version resource; size and time are filled whenever the file opens.
    int Read();
    int IsValid() const;

    CStr GetProductVersionString() const;
    CStr GetFileVersionString() const;
    const CStr& GetCompanyName() const { return m_company; }
    const CStr& GetInternalName() const { return m_internal; }
    const CStr& GetDateString() const { return m_date; }
    const CStr& GetTimeString() const { return m_time; }
    uint32_t GetSpareWord() const { return m_spare; }
    uint32_t GetFileSize() const { return m_fileSize; }
    uint32_t GetFileVersionMS() const { return m_fileMS; }
    uint32_t GetFileVersionLS() const { return m_fileLS; }

    bool operator==(const CFileVersion& other) const;
    bool operator>(const CFileVersion& other) const;
    bool operator<(const CFileVersion& other) const;

private:
    void Format();

    CStr m_productText;
    CStr m_fileText;
    CStr m_company;
    CStr m_internal;
    CStr m_date;
    CStr m_time;
    uint32_t m_fileMS = 0;
    uint32_t m_fileLS = 0;
    uint32_t m_productMS = 0;
    uint32_t m_productLS = 0;
    uint32_t m_timeHigh = 0;
    uint32_t m_timeLow = 0;
    uint32_t m_spare = 0;
    uint32_t m_fileSize = 0;
};
