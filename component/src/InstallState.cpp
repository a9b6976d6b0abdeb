// The base component's install-state checks: operating system, disk space, hardware present,
// marked for removal and system model, and the decision of the state the host is given.
#include <algorithm>
#include <cstring>

#include "CBaseComponent.h"
#include "PackageFiles.h"
#include "installer_common/CInf.h"
#include "installer_common/CService.h"
#include "installer_common/CWmiQuery.h"
#include "installer_common/SystemUtils.h"
#include "platform/utf16.h"
#include "platform/win_fs.h"
#include "platform/win_osinfo.h"
#include "platform/win_sysinfo.h"

namespace {

constexpr const char16_t* kSource = u"basecomp.cpp";

// Indexed by LangIndex: English, French, Italian, German, Spanish, Japanese.
constexpr LanguageTable kOsNotSupported = {
    u"The OS is not supported.\r\n",
    u"Le système d'exploitation n'est pas pris en charge\r\n",
    u"The OS is not supported.\r\n",
    u"Das Betriebssystem wird nicht unterstützt\r\n",
    u"El sistema operativo no es compatible.\r\n",
    u"このOSはサポートされていません。\r\n",
};
constexpr LanguageTable kNoDiskSpace = {
    u"There is not enough disk space to install this component.\r\n",
    u"Espace disque insuffisant pour l'installation du composant.\r\n",
    u"There is not enough disk space to install this component.\r\n",
    u"Für die Installation dieser Komponente steht nicht genügend freier Festplattenspeicherplatz zur Verfügung.\r\n",
    u"No dispone de suficiente espacio en el disco para instalar este componente.\r\n",
    u"このコンポーネントをインストールするために必要なディスク容量がありません。\r\n",
};
constexpr LanguageTable kMarkedForRemoval = {
    u"The component is marked for removal upon the next reboot.  Install can not continue.\r\n",
    u"Le composant sera supprimé au prochain démarrage.  L'installation ne peut pas continuer.\r\n",
    u"The component is marked for removal upon the next reboot.  Install can not continue.\r\n",
    u"Die markierte Komponente wird beim nächsten Neustart des Systems entfernt.  Die Installation kann nicht "
    u"fortgesetzt werden.\r\n",
    u"El componente está marcado para eliminarlo la próxima vez que reinicie.  La instalación no puede continuar.\r\n",
    u"このコンポーネントは次回のリブート時に削除されるようにマークされています。インストールを続行できません。\r\n",
};

constexpr size_t kRecordChars = std::size(PelarisInstallState{}.text);
constexpr int kMessageChars = 4096;

const char16_t* ByLanguage(const LanguageTable& table, const char16_t* lang) { return table[LangIndex(lang)]; }

// Replaces the record's text, cut to fit.
void SetText(PelarisInstallState* record, const char16_t* text)
{
    platform::copy_utf16(platform::u16_view(text), record->text, kRecordChars);
}

const char16_t* YesNo(bool value) { return value ? u"TRUE" : u"FALSE"; }

}  // namespace

// Announcements go to both logs with time, source and line; outcomes follow on their line.
#define STEP(...) m_log->Write(3, 0, kSource, __LINE__, __VA_ARGS__)
#define RESULT(...) m_log->Write(4, 0, kSource, __LINE__, __VA_ARGS__)
#define OSLOG(...) m_log->Write(1, 0, kSource, __LINE__, u"\r\nIsOSSupported: " __VA_ARGS__)

int CBaseComponent::GetInstallState(void* out, int size, const char16_t* lang)
{
    if (!out || size < int(sizeof(PelarisInstallState))) return 0;
    auto* record = static_cast<PelarisInstallState*>(out);
    record->text[0] = 0;

    // The two checks that end the decision at once: the component cannot be installed here.
    const struct {
        int (CBaseComponent::*passes)();
        const char16_t* step;
        const char16_t* passed;
        const char16_t* failed;
        const LanguageTable& text;
    } kGates[] = {
        {&CBaseComponent::IsOSSupported, u"    - Is operating system supported...\r\n ",
         u"Operating System IS Supported\r\n", u"Operating System NOT Supported...\r\n\r\n", kOsNotSupported},
        {&CBaseComponent::IsSystemDiskSpaceAvailable, u"    - Is necessary disk space available... \r\n",
         u"Necessary disk space IS available\r\n", u"Necessary disk space available - No\r\n\r\n", kNoDiskSpace},
    };
    for (const auto& gate : kGates) {
        STEP(u"%s", gate.step);
        if ((this->*gate.passes)()) {
            RESULT(u"%s", gate.passed);
            continue;
        }
        RESULT(u"%s", gate.failed);
        record->state = 7;
        SetText(record, ByLanguage(gate.text, lang));
        return 1;
    }

    STEP(u"    - Is hardware present... \r\n");
    bool present = IsHardwarePresent() != 0;
    RESULT(present ? u"Hardware IS present\r\n" : u"Hardware NOT present\r\n");

    STEP(u"    - Is component already installed... ");
    bool installed = IsInstalled() != 0;
    RESULT(installed ? u"Component IS already installed\r\n" : u"Component NOT already installed\r\n");

    STEP(u"    - Is component marked for removal... ");
    bool removal = IsMarkedForRemoval() != 0;
    RESULT(removal ? u"Component IS marked for removal\r\n" : u"Component NOT marked for removal\r\n");

    STEP(u"    - Installed component version status... ");
    int status = GetVersionStatus();
    static constexpr const char16_t* kStatusLines[] = {u"Component version is Older\r\n",
                                                       u"Component version is Same\r\n",
                                                       u"Component version is Newer\r\n"};
    if (status >= 0 && status <= 2) RESULT(u"%s", kStatusLines[status]);

    std::vector<char16_t> dependencyMessage(kMessageChars, 0);
    bool dependencies = AreDependenciesMet(dependencyMessage.data(), kMessageChars, lang);

    STEP(u"    - Checking dependency list... ");
    std::vector<char16_t> modelMessage(kMessageChars, 0);
    bool model = CheckSystemModel(modelMessage.data(), kMessageChars, lang) != 0;
    RESULT(model ? u"Done.\r\n\r\n" : u"Failed!\r\n\r\n");

    int state = 8;
    if (present) {
        if (!dependencies && dependencyMessage[0]) SetText(record, dependencyMessage.data());
        if (!dependencies || removal) {
            state = 7;
            if (removal) SetText(record, ByLanguage(kMarkedForRemoval, lang));
        } else if (installed) {
            static constexpr int kByStatus[] = {2, 1, 3};
            if (status >= 0 && status <= 2) state = kByStatus[status];
        } else {
            state = 5;
        }
    } else {
        state = installed ? 4 : 6;
    }
    if (!model) {
        state = 6;
        if (modelMessage[0]) SetText(record, modelMessage.data());
    }
    record->state = state;
    return 1;
}

void CBaseComponent::GetOSVersionNumbers()
{
    win::DWORD major = 0, minor = 0;
    win::RtlGetNtVersionNumbers(&major, &minor, nullptr);
    m_osMajor = int(major);
    m_osMinor = int(minor);
}

int CBaseComponent::IsOSSupported()
{
    if (m_osList.empty()) {
        OSLOG(u"Yes (empty)...\r\n");
        return 1;
    }
    OSLOG(u"Calling TVN_OSVersion\r\n");
    GetOSVersionNumbers();
    OSLOG(u"TVN_OSVersion returns: Major: (0x%X) - Minor: (0x%X)\r\n", m_osMajor, m_osMinor);
    OSLOG(u"Setting Control Values");
    const int servicePack = 0;  // the running service pack is not read

    OSLOG(u"Calling GetSystemDirectory\r\n");
    char16_t system[win::MAX_PATH] = {};
    win::GetSystemDirectoryW(system, win::MAX_PATH);
    std::u16string kernel = std::u16string(system) + u"\\kernel32.dll";
    OSLOG(u"Path and Name: %s\r\n", kernel.c_str());
    OSLOG(u"GetSystemDirectory call complete\r\n");
    OSLOG(u"Loading Library: kernel32.dll\r\n");
    // The system's own functions are part of this process: the library is always there.
    OSLOG(u"Loading Library Call for kernel32.dll - complete\r\n");
    OSLOG(u"LoadLibrary Call for kernel32.dll - succeeds\r\n");
    OSLOG(u"Making call to GetNativeSystemInfo via GetProcAddress in Kernel32.dll\r\n");
    OSLOG(u"Making call to GetVersionEx\r\n");
    win::OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    win::GetVersionExW(&version);
    OSLOG(u"Setting Control Values");
    OSLOG(u"Making call to GetVersionEx complete\r\n");

    const char16_t* name = u"";
    if (version.dwPlatformId == win::VER_PLATFORM_WIN32_NT) {
        OSLOG(u"dwPlatformId is (0x%X) \r\n", version.dwPlatformId);
        win::SYSTEM_INFO info{};
        win::GetNativeSystemInfo(&info);
        switch (info.wProcessorArchitecture) {
        case win::PROCESSOR_ARCHITECTURE_INTEL:
            name = u"nt";
            OSLOG(u"sysinfo.wProcessorArchitecture: (nt) PROCESSOR_ARCHITECTURE_INTEL\r\n");
            break;
        case win::PROCESSOR_ARCHITECTURE_IA64:
            name = u"nt64";
            OSLOG(u"sysinfo.wProcessorArchitecture: (nt64) PROCESSOR_ARCHITECTURE_IA64\r\n");
            break;
        case win::PROCESSOR_ARCHITECTURE_AMD64:
            name = u"nt_x86-64";
            OSLOG(u"sysinfo.wProcessorArchitecture: (nt_x86-64) PROCESSOR_ARCHITECTURE_AMD64\r\n");
            break;
        case win::PROCESSOR_ARCHITECTURE_IA32_ON_WIN64:
            OSLOG(u"sysinfo.wProcessorArchitecture: (NULL) PROCESSOR_ARCHITECTURE_IA32_ON_WIN64\r\n");
            break;
        default:
            OSLOG(u"sysinfo.wProcessorArchitecture: (NULL) DEFAULT\r\n");
            break;
        }
    } else {
        OSLOG(u"sysinfo.wProcessorArchitecture (NULL)\r\n");
    }

    win::DWORD productType = 0;
    if (m_osMajor >= 6) {
        OSLOG(u"Retrieving GetProductInfo Address\r\n");
        OSLOG(u"GetProductInfo Address complete\r\n");
        OSLOG(u"GetProductInfo appears valid\r\n");
        win::GetProductInfo(win::DWORD(m_osMajor), win::DWORD(m_osMinor), 0, 0, &productType);
        OSLOG(u"GetProductInfo call complete\r\n");
    }
    OSLOG(u"dwEdition is (0x%X)\r\n", productType);
    uint16_t edition = CurrentEditionCode(productType, win::GetSystemMetrics(win::SM_SERVERR2) != 0);
    OSLOG(u"Current.nEdition is (0x%X)\r\n", unsigned(edition));

    bool match = false;
    for (size_t i = 0; i < m_osList.size(); ++i) {
        const SupportedOsEntry& entry = m_osList[i];
        match = false;
        OSLOG(u"ulIndex is (0x%X)\r\n", unsigned(i));
        OSLOG(u"ulIndex - bMatch is %s\r\n", YesNo(match));
        OSLOG(u"ulIndex - SupportOS set\r\n");
        if (CStr(entry.platform).Compare(name) != 0) continue;
        match = true;
        OSLOG(u"Check OS Name succeeds - bMatch is %s\r\n", YesNo(match));
        OSLOG(u"Check OS Name succeeds - SupportedOS.szOSName is %s\r\n", entry.platform);
        OSLOG(u"Check OS Name succeeds - CurrentOS.szOSName is %s\r\n", name);
        if (entry.major != -1 && entry.major != m_osMajor) {
            match = false;
            for (int n = 0; n < 3; ++n) OSLOG(u"Minor OS Version Check fails - bMatch is %s\r\n", YesNo(match));
            continue;
        }
        OSLOG(u"(loop) else - bMatch is %s\r\n", YesNo(match));
        if (entry.minor != -1 && entry.minor != m_osMinor) {
            match = false;
            OSLOG(u"Minor OS Version Check fails - bMatch is %s\r\n", YesNo(match));
            OSLOG(u"Minor OS Version Check fails - SupportedOS.nMinor is (0x%X)\r\n", entry.minor);
            OSLOG(u"Minor OS Version Check fails - CurrentOS.nMinor is (0x%X)\r\n", m_osMinor);
        }
        if (entry.sr != -1 && entry.sr > servicePack) {
            match = false;
            OSLOG(u"Service Pack Check fails - bMatch is %s\r\n", YesNo(match));
            OSLOG(u"Service Pack Check fails - SupportedOS.nServicePack is (0x%X)\r\n", entry.sr);
            OSLOG(u"Service Pack Check fails - CurrentOS.nServicePack is (0x%X)\r\n", servicePack);
        }
        if (uint16_t(entry.edition & edition) != edition) {
            match = false;
            OSLOG(u"Edition Check fails - bMatch is %s\r\n", YesNo(match));
        }
        if (match) {
            OSLOG(u"Breaking out of loop - bMatch is %s\r\n", YesNo(match));
            break;
        }
    }
    OSLOG(u"FreeLibrary Call for Kernel32.dll\r\n");
    OSLOG(u"Leaving IsOSSupported - bMatch is %s\r\n", YesNo(match));
    return match ? 1 : 0;
}

int CBaseComponent::IsDiskSpaceAvailable(const char16_t* folder)
{
    if (m_requiredDiskSpace == 0) return 1;
    // Kilobytes as a 64-bit number: more than 2 TiB free must not read as too little.
    uint64_t kilobytes = GetFreeDiskSpace(folder) / 1024;
    return m_requiredDiskSpace < 0 || kilobytes >= uint64_t(m_requiredDiskSpace) ? 1 : 0;
}

int CBaseComponent::IsSystemDiskSpaceAvailable() { return IsDiskSpaceAvailable(nullptr); }

int CBaseComponent::IsHardwarePresent()
{
    if (m_devices.empty()) return 1;
    for (const CStr& id : m_devices)
        if (FindDevice(id.c_str())) return 1;
    return 0;
}

int CBaseComponent::FindDevice(const char16_t* id, PnpDeviceEntry** entry)
{
    if (!id) return 0;
    if (m_pnpDevices.empty()) BuildPnPDeviceList(0);
    for (PnpDeviceEntry& e : m_pnpDevices) {
        if (e.hardwareId.Compare(id) != 0) continue;
        if (entry) *entry = &e;
        return 1;
    }
    return 0;
}

int CBaseComponent::BuildPnPDeviceList(int firstIdOnly)
{
    constexpr win::DWORD kIdBytes = 2048;
    m_pnpDevices.clear();
    CWin2000DeviceList list;
    list.Build(1);
    for (size_t i = 0; i < list.GetCount(); ++i) {
        // Two characters more than the size given, so that the walk always ends at a NUL.
        char16_t ids[kIdBytes / sizeof(char16_t) + 2] = {};
        win::DWORD bytes = kIdBytes;
        if (!list.GetHardwareIds(i, reinterpret_cast<win::BYTE*>(ids), &bytes)) continue;
        const W2KDEVINST& device = *list.GetDevice(i);
        for (const char16_t* p = ids; *p; p += platform::u16_length(p) + 1) {
            std::u16string_view id(p);
            if (!firstIdOnly && (id.find(u"&REV") != id.npos || id.find(u"&CC") != id.npos)) continue;
            m_pnpDevices.push_back({device, CStr(p)});
            if (firstIdOnly) break;
        }
    }
    return 1;
}

int CBaseComponent::CountDeviceMatches(const char16_t* text)
{
    BuildPnPDeviceList(1);
    return int(std::count_if(m_pnpDevices.begin(), m_pnpDevices.end(),
                             [&](const PnpDeviceEntry& e) { return e.hardwareId.FindNoCase(text) >= 0; }));
}

int CBaseComponent::IsMarkedForRemoval()
{
    CInf inf(m_infFile.c_str());
    if (!inf.IsOpen()) return 0;
    char16_t service[260] = {};
    if (!inf.GetServiceName(nullptr, service, 260) || !*service) return 0;
    return CService(service).IsMarkedForDeletion();
}

int CBaseComponent::CheckSystemModel(char16_t* message, int cch, const char16_t*)
{
    CSystemModel model;
    CTvnXMLReader reader;
    bool listed = true;  // no dependency file: every model is supported
    if (reader.LoadFile(u"dependency.xml") == CTvnXMLReader::kLoaded && reader.IsLoaded()) {
        listed = false;
        CTvnXMLNode* node = reader.FindChild(nullptr, u"componentdependencies", nullptr, nullptr);
        for (const char16_t* name : {u"dependent_hardware", u"platforms", u"platform"})
            node = node ? node->FindChild(name) : nullptr;
        for (; node && !listed; node = node->GetNextSibling()) {
            const char16_t* value = node->GetAttribute(u"model");
            if (value && model.IsModel(value)) listed = true;
        }
    }
    if (listed) return 1;
    if (message && cch > 0) platform::copy_utf16(u"System model not supported.", message, size_t(cch));
    return 0;
}
