// The base component's own answers to the installed, version-status and current-version questions,
// from the package INF's driver service and the key file's version resource, and two system
// queries of its install paths.
#include <cstdio>
#include <string>

#include "CBaseComponent.h"
#include "installer_common/CFileVersion.h"
#include "installer_common/CInf.h"
#include "installer_common/CRegistryKey.h"
#include "installer_common/CService.h"
#include "installer_common/SystemUtils.h"
#include "platform/utf16.h"
#include "platform/win_sysinfo.h"

namespace {

constexpr const char16_t* kSource = u"basecomp.cpp";

// Up to four dot-separated decimal numbers; missing ones are 0.
CFileVersion PackageFileVersion(const char16_t* text)
{
    uint32_t parts[4] = {};
    std::u16string_view v(text);
    for (int i = 0; i < 4 && !v.empty(); ++i) {
        size_t dot = v.find(u'.');
        std::u16string_view part = v.substr(0, dot);
        uint32_t n = 0;
        for (char16_t c : part) {
            if (c < u'0' || c > u'9') break;
            n = n * 10 + uint32_t(c - u'0');
        }
        parts[i] = n & 0xFFFF;
        v = dot == v.npos ? std::u16string_view() : v.substr(dot + 1);
    }
    return CFileVersion(0, 0, parts[0] << 16 | parts[1], parts[2] << 16 | parts[3], 0, 0, nullptr, 0, 0);
}

}  // namespace

int CBaseComponent::IsInstalled()
{
    CInf inf(m_infFile.c_str());
    char16_t service[260] = {};
    if (inf.IsOpen()) {
        if (!m_serviceName.empty())
            platform::copy_utf16(platform::u16_view(m_serviceName.c_str()), service, 260);
        else
            inf.GetServiceName(nullptr, service, 260);
    }
    if (!*service) return FileExists(m_keyFile.c_str()) ? 1 : 0;

    CService s(service);
    int installed = s.Exists() && !s.IsDisabled() && !s.IsMarkedForDeletion() ? 1 : 0;
    win::OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    win::GetVersionExW(&version);
    if (installed && version.dwMajorVersion > 4 && inf.GetClass() && inf.GetClassGuid() && m_installType == kInstallPnP)
        return CountServiceDevices(service);
    return installed;
}

int CBaseComponent::CountServiceDevices(const char16_t* service)
{
    if (m_devices.empty()) return 1;
    std::u16string path = u"SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(platform::u16_view(service)) + u"\\Enum";
    CRegistryKey key(path.c_str());
    win::DWORD count = 0;
    if (!key.Open() || !key.QueryDWORD(u"Count", &count)) return 0;
    CStr first;
    if (count == 1 && key.QueryString(u"0", first) &&
        platform::u16_view(first.c_str()).find(u"LEGACY_") != std::u16string_view::npos)
        return 0;  // only a legacy root device
    win::DWORD present = 0;
    for (const CStr& id : m_devices)
        if (FindDevice(id.c_str())) ++present;
    return count >= present ? 1 : 0;
}

int CBaseComponent::GetVersionStatus()
{
    CFileVersion installed(m_keyFile.c_str());
    installed.Read();
    if (!installed.IsValid()) return 0;
    char16_t text[256] = {};
    if (!GetPackageVersion(text, 255)) return 0;
    CFileVersion package = PackageFileVersion(text);
    if (installed == package) return 1;
    if (installed > package) return 2;
    return 0;
}

int CBaseComponent::GetCurrentVersion(char16_t* out, int cch)
{
    CFileVersion version(m_keyFile.c_str());
    version.Read();
    CStr text = version.GetFileVersionString();
    if (!out || text.empty() || cch <= 0 || text.size() >= size_t(cch)) return 0;
    platform::copy_utf16(platform::u16_view(text.c_str()), out, size_t(cch));
    return 1;
}

int CBaseComponent::GetRegOSEdition(int* edition)
{
    CRegistryKey key(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Server\\ServerLevels");
    key.SetAccess(win::KEY_READ);
    win::DWORD value = 0;
    if (!key.Open() || !key.QueryDWORD(u"ServerCore", &value)) {
        m_log->Write(1, 0, kSource, __LINE__, u"GetRegOSEdition: NO Registry Key for ServerCore...NANO...Not Supported\r\n");
        if (edition) *edition = -1;
        return 0;
    }
    m_log->Write(1, 0, kSource, __LINE__, u"GetRegOSEdition: ServerCore Key detected...\r\n");
    // The value is a number: it is used as one, not read back from its bytes as text.
    if (edition) *edition = int(value);
    m_log->Write(1, 0, kSource, __LINE__, u"GetRegOSEdition: Registry key ServerCore is: [%X]\r\n", unsigned(value));
    return 1;
}
