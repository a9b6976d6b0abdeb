// One INF file, opened through the device installer: its Version keys, the sections that copy
// files, add services or carry software settings, and the name and start type of the service it
// installs. Results are 1 for success and 0 for failure.
#pragma once

#include <cstddef>
#include <vector>

#include "installer_common/CStr.h"
#include "platform/win_setupapi_inf.h"

class CInf {
public:
    // Makes the path absolute, opens the file (WIN4 style) and reads its Version section and
    // section lists. A file that does not open leaves an object whose IsOpen is 0.
    explicit CInf(const char16_t* path);
    virtual ~CInf();
    CInf(const CInf&) = delete;
    CInf& operator=(const CInf&) = delete;

    virtual int IsOpen();
    // The Version texts, or null when empty.
    virtual const char16_t* GetSignature();
    virtual const char16_t* GetClass();
    virtual const char16_t* GetClassGuid();
    // Field 1 of the first "AddService" line of the section (null: the first AddService section).
    virtual int GetServiceName(const char16_t* section, char16_t* buffer, size_t size);
    // "StartType" of the service-install section that field 3 of that line names.
    virtual int GetServiceStartType(const char16_t* section, int* startType);
    virtual int ReadVersion();
    virtual int FindCopyFilesSections();
    virtual int FindAddServiceSections();
    virtual int FindSoftwareSettingsSections();

    const std::vector<CStr>& GetCopyFilesSections() const { return m_copyFiles; }
    const std::vector<CStr>& GetAddServiceSections() const { return m_addService; }
    const std::vector<CStr>& GetSoftwareSettingsSections() const { return m_softwareSettings; }
    const CStr& GetPath() const { return m_path; }
    const CStr& GetFolder() const { return m_folder; }

    // 1: the INF's device node is root-enumerated under the service name; 0: "LEGACY_" + name.
    int m_rootDevice = 0;

protected:
    // Every section name of the file, in file order.
    std::vector<CStr> SectionNames() const;
    // The sections that have a line with `key`, in file order.
    std::vector<CStr> SectionsWithKey(const char16_t* key) const;
    // The AddService line of a section (null: the first AddService section).
    int FindAddServiceLine(const char16_t* section, win::INFCONTEXT* context);

    win::HINF m_inf = win::INVALID_HANDLE_VALUE;
    int m_reboot = 0;
    CStr m_signature;
    CStr m_class;
    CStr m_classGuid;
    CStr m_path;
    CStr m_folder;
    std::vector<CStr> m_copyFiles;
    std::vector<CStr> m_addService;
    std::vector<CStr> m_softwareSettings;
};
