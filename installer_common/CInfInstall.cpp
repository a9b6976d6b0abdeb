// The installing side of CInf beyond the file lists: section installs with their registry work,
// services and software settings, the device node of the INF's service, start-menu items, and
// the whole-INF and one-section installs.
#include <cctype>
#include <vector>

#include "installer_common/CInf.h"
#include "platform/utf16.h"
#include "platform/win_com.h"
#include "platform/win_error.h"
#include "platform/win_newdev.h"
#include "platform/win_setupapi_install.h"
#include "platform/win_sysinfo.h"

using namespace win;

namespace {

constexpr DWORD kServiceNameChars = 254;
constexpr DWORD kSoftwareServiceChars = 2048;
constexpr DWORD kHardwareIdBytes = 512;
constexpr UINT kSectionInstallFlags = SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG |
                                      SPINST_PROFILEITEMS;
constexpr REGSAM kReadWrite = 0x2001F;
// The shell's link object and its wide interface.
constexpr GUID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

CStr Upper(const char16_t* text)
{
    CStr s(text);
    for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    return s;
}

}  // namespace

int CInf::InstallFromSection(const char16_t* section, HKEY root)
{
    if (!section || !root) return 0;
    ResetMediaRequests();
    if (!ProcessCopyFiles(section) || !ProcessDelFiles(section) || !ProcessRenFiles(section)) return 0;
    return SetupInstallFromInfSectionW(nullptr, m_inf, section, kSectionInstallFlags, root, m_folder.c_str(), 0,
                                       nullptr, this, nullptr, nullptr)
               ? 1
               : 0;
}

int CInf::InstallServices(const char16_t* section)
{
    if (!section) return 0;
    if (SetupInstallServicesFromInfSectionW(m_inf, section, 0)) return 1;
    const DWORD error = GetLastError();
    return error == ERROR_SERVICE_EXISTS || error == ERROR_DUPLICATE_SERVICE_NAME;
}

int CInf::InstallSoftwareSettings(const char16_t* section)
{
    if (!section) return 0;
    std::vector<char16_t> service(kSoftwareServiceChars);
    if (!GetServiceName(nullptr, service.data(), kSoftwareServiceChars)) return 0;
    const CStr path = CStr(u"System\\CurrentControlSet\\Services\\") + service.data() + u"\\Device0";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 0;
    const BOOL ok = SetupInstallFromInfSectionW(nullptr, m_inf, section, SPINST_REGISTRY, key, nullptr, 0, nullptr,
                                                nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return ok ? 1 : 0;
}

int CInf::CreateRootDevice(HDEVINFO* set, SP_DEVINFO_DATA* device, const char16_t* deviceName)
{
    if (!set || !device) return 0;
    GUID classGuid{};
    DWORD count = 0;
    if (!SetupDiClassGuidsFromNameW(m_class.c_str(), &classGuid, 1, &count) || count == 0) return 0;
    *set = SetupDiCreateDeviceInfoList(&classGuid, nullptr);
    if (*set == INVALID_HANDLE_VALUE) return 0;
    device->cbSize = sizeof(SP_DEVINFO_DATA);
    if (!SetupDiCreateDeviceInfoW(*set, deviceName, &classGuid, nullptr, nullptr,
                                  DICD_GENERATE_ID | DICD_INHERIT_CLASSDRVS, device) ||
        !SetupDiRegisterDeviceInfo(*set, device, SPRDI_FIND_DUPS, nullptr, nullptr, nullptr))
        return 0;
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!SetupDiGetDeviceInstallParamsW(*set, device, &params)) return 0;
    platform::copy_utf16(m_path, params.DriverPath, MAX_PATH);
    params.Flags |= DI_ENUMSINGLEINF | DI_DONOTCALLCONFIGMG | DI_NOFILECOPY;
    if (!SetupDiSetDeviceInstallParamsW(*set, device, &params)) return 0;
    if (!SetupDiBuildDriverInfoList(*set, device, SPDIT_CLASSDRIVER)) return 0;
    // Every class driver is selected in turn, so the last one stays selected.
    SP_DRVINFO_DATA_V2_W driver{};
    driver.cbSize = sizeof driver;
    for (DWORD i = 0; SetupDiEnumDriverInfoW(*set, device, SPDIT_CLASSDRIVER, i, &driver); ++i)
        if (!SetupDiSetSelectedDriverW(*set, device, &driver)) return 0;
    return GetLastError() == ERROR_NO_MORE_ITEMS ? 1 : 0;
}

int CInf::CreateDeviceNode(int* reboot)
{
    char16_t service[kServiceNameChars] = {};
    if (!GetServiceName(nullptr, service, kServiceNameChars) || !service[0]) return 0;
    const CStr name = m_rootDevice ? Upper(service) : CStr(u"LEGACY_") + Upper(service);
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device{};
    int result = CreateRootDevice(&set, &device, name.c_str());
    if (result) result = SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &device) ? 1 : 0;
    if (result && m_rootDevice) {
        BYTE ids[kHardwareIdBytes] = {};
        SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, ids, kHardwareIdBytes, nullptr);
        result = UpdateDriverForPlugAndPlayDevicesW(nullptr, reinterpret_cast<const WCHAR*>(ids), m_path.c_str(), 0,
                                                    nullptr)
                     ? 1
                     : 0;
    }
    if (reboot) {
        *reboot = 0;
        SP_DEVINSTALL_PARAMS_W params{};
        params.cbSize = sizeof params;
        if (set != INVALID_HANDLE_VALUE && SetupDiGetDeviceInstallParamsW(set, &device, &params) &&
            (params.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)))
            *reboot = 1;
    }
    // The set is not the caller's here: it goes with the node made.
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    return result;
}

int CInf::InstallStartMenuItems()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version) || version.dwMajorVersion != 4) return 1;
    // Shortcuts exist only on the oldest systems; this machine's shell offers no link object, so
    // every item fails at its creation and is skipped, as a failing item is.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INFCONTEXT context;
    if (!m_copyFiles.empty() && SetupFindFirstLineW(m_inf, m_copyFiles.front().c_str(), u"TvnStartMenuItems", &context)) {
        const DWORD count = SetupGetFieldCount(&context);
        for (DWORD i = 1; i <= count; ++i) {
            void* link = nullptr;
            if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, &link)) || !link)
                continue;
            static_cast<IUnknown*>(link)->Release();
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return 1;
}

bool CInf::DeviceNodeExists(bool legacy)
{
    char16_t service[kServiceNameChars] = {};
    GetServiceName(nullptr, service, kServiceNameChars);
    const CStr path = CStr(u"System\\CurrentControlSet\\Enum\\Root\\") + (legacy ? u"LEGACY_" : u"") + Upper(service) +
                      u"\\0000";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

int CInf::FinishInstall(int result, int* reboot)
{
    if (!InstallStartMenuItems()) result = 0;
    if (GetFileErrorFlag()) result = 0;
    if (result && m_reboot && reboot) *reboot = 1;
    return result;
}

int CInf::Install(int* reboot)
{
    if (!IsOpen()) return 0;
    if (reboot) *reboot = 0;
    ClearFileErrors();
    int result = 1;
    for (const CStr& section : m_copyFiles)
        if (!InstallFromSection(section.c_str(), HKEY_LOCAL_MACHINE)) result = 0;
    if (!DeviceNodeExists(!m_rootDevice) && GetClass() && GetClassGuid() && !CreateDeviceNode(nullptr)) result = 0;
    for (const CStr& section : m_addService)
        if (!InstallServices(section.c_str())) result = 0;
    for (const CStr& section : m_softwareSettings)
        if (!InstallSoftwareSettings(section.c_str())) result = 0;
    return FinishInstall(result, reboot);
}

int CInf::InstallSection(const char16_t* section, int* reboot, int ignoreDeleteErrors)
{
    if (!IsOpen() || !section) return 0;
    SetIgnoreDeleteErrors(ignoreDeleteErrors);
    if (reboot) *reboot = 0;
    ClearFileErrors();
    int result = InstallFromSection(section, HKEY_LOCAL_MACHINE);
    if (!DeviceNodeExists(true) && GetClass() && GetClassGuid() && !CreateDeviceNode(nullptr)) result = 0;

    const CStr services = CStr(section) + u".Services";
    for (const CStr& name : SectionNames()) {
        INFCONTEXT context;
        const bool serviceLines = SetupFindFirstLineW(m_inf, name.c_str(), u"AddService", &context) ||
                                  SetupFindFirstLineW(m_inf, name.c_str(), u"DelService", &context);
        if (serviceLines && name.Compare(services.c_str()) == 0) {
            if (!InstallServices(services.c_str())) result = 0;
            break;
        }
    }
    const CStr settings = CStr(section) + u".SoftwareSettings";
    for (const CStr& name : m_softwareSettings)
        if (name.FindNoCase(settings.c_str()) >= 0) {
            if (!InstallSoftwareSettings(settings.c_str())) result = 0;
            break;
        }
    return FinishInstall(result, reboot);
}
