// The base component: what the plug-in knows of its package (the package definition file and the
// install file read at start-up), the supported operating systems and devices, the install
// settings and the logger; it answers the host's property queries.
#pragma once

#include <cstdint>
#include <vector>

#include "component/PelarisExports.h"
#include "installer_common/CCmpLog.h"
#include "installer_common/CStr.h"
#include "installer_common/CTvnXMLReader.h"
#include "installer_common/DeviceList.h"

// One entry of the package's supported operating systems; -1 and 0xFFFF mean "any".
struct SupportedOsEntry {
    char16_t platform[64];
    int major;
    int minor;
    int sr;
    uint16_t edition;
};

// Install types of the install file.
enum InstallType { kInstallLegacy = 1, kInstallPnP = 2, kInstallVirtual = 3 };

// A present device with one of its hardware ids.
struct PnpDeviceEntry {
    W2KDEVINST device;
    CStr hardwareId;
};

// A table of six texts in the order English, French, Italian, German, Spanish, Japanese.
using LanguageTable = const char16_t* const[6];

// The text of an element of the package files: its first child, which must be a text node.
const char16_t* FirstChildText(const CTvnXMLNode* element);

// 1 "fr", 2 "it", 3 "de", 4 "es", 5 "ja" (compared ignoring case); 0 for anything else.
int LangIndex(const char16_t* lang);
// The Japanese entry for "ja" when it is not empty; the English entry otherwise.
const char16_t* TranslateText(const LanguageTable& table, const char16_t* lang);

class CBaseComponent {
public:
    CBaseComponent();
    virtual ~CBaseComponent();
    CBaseComponent(const CBaseComponent&) = delete;
    CBaseComponent& operator=(const CBaseComponent&) = delete;

    // Operations in the order of the component's operation table.
    virtual int Initialize();
    virtual void Shutdown();
    virtual int ReadPackageFile(const char16_t* path);
    virtual int ReadInstallFile(const char16_t* path);
    virtual int FindPackageFile(char16_t* out, int size);
    // The package's INF installed by the install file's type, then its program opened.
    virtual int Install(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang);
    virtual int GetProperty(int id, void* out, int cch, const char16_t* lang);
    virtual int GetName(char16_t* out, int cch, const char16_t* lang);
    virtual int GetDescription(char16_t* out, int cch, const char16_t* lang);
    // The key file's version text.
    virtual int GetCurrentVersion(char16_t* out, int cch);
    virtual int GetPackageVersion(char16_t* out, int cch);
    // Fills a PelarisInstallState of `size` bytes from the checks below; 0 when it is too small.
    virtual int GetInstallState(void* out, int size, const char16_t* lang);
    virtual int GetSilentFlag();
    virtual int GetSilentFlag2();
    virtual int GetConstantOne();
    virtual bool AreDependenciesMet(char16_t* message, int cch, const char16_t* lang);
    virtual void SetSilent(int flag);
    virtual void SetRequiredDiskSpace(int kilobytes);
    virtual void SetRebootRequired(int flag);
    virtual void SetKeyFile(const char16_t* path);
    virtual void SetInfFile(const char16_t* name, int type);
    virtual void AddSupportedDevice(const char16_t* id);
    virtual void AddSupportedOS(const SupportedOsEntry& entry);
    virtual const char16_t* GetInfFile();
    virtual int Is64BitOS();

    // The install-state checks.
    virtual int IsOSSupported();
    // 1 when no space is required or the free space of `folder` (NULL: the system drive) in whole
    // kilobytes is at least the required space.
    virtual int IsDiskSpaceAvailable(const char16_t* folder);
    int IsSystemDiskSpaceAvailable();
    virtual int IsHardwarePresent();
    virtual int IsInstalled();
    virtual int IsMarkedForRemoval();
    // 0 older, 1 same, 2 newer.
    virtual int GetVersionStatus();
    // 1 when the computer's model is listed in "dependency.xml" or there is no such file.
    virtual int CheckSystemModel(char16_t* message, int cch, const char16_t* lang);

    // The install paths by INF type: 0 failed, 1 installed, 2 installed and a reboot is needed.
    virtual int InstallLegacy(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang);
    virtual int InstallPnP(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang);
    virtual int InstallVirtual(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang);

    // The present device with `id` among its hardware ids (the list is built first when empty).
    int FindDevice(const char16_t* id, PnpDeviceEntry** entry = nullptr);
    // The present devices, each with its first hardware id only, or with every id that carries no
    // revision or class code ("&REV", "&CC"). Always 1.
    int BuildPnPDeviceList(int firstIdOnly);
    // Devices (first ids) whose id contains `text`, ignoring case.
    int CountDeviceMatches(const char16_t* text);
    // Supported devices present, when the driver service's Enum key counts at least as many.
    int CountServiceDevices(const char16_t* service);
    // "ServerCore" of the server levels; 0 (and -1 stored) when it is missing.
    int GetRegOSEdition(int* edition);
    // The health driver's device opens.
    int IsHealthDriverPresent();
    void GetOSVersionNumbers();
    const std::vector<PnpDeviceEntry>& PnpDevices() const { return m_pnpDevices; }

    // Property 9: the host hands over its own logger.
    void AdoptHostLog(CCmpLog* host);

    // Read-only views for the component's own operations and for tests.
    CCmpLog* Log() const { return m_log; }
    const CStr& KeyFile() const { return m_keyFile; }
    const char16_t* PackageBaseName() const { return m_packageName; }
    int NoOverwrite() const { return m_noOverwrite; }
    int RebootRequired() const { return m_rebootRequired; }
    int RequiredDiskSpace() const { return m_requiredDiskSpace; }
    int InstallTypeValue() const { return m_installType; }
    const CStr& InfSection() const { return m_infSection; }
    const CStr& ServiceName() const { return m_serviceName; }
    const char16_t* ShellExecuteFile() const { return m_shellExecuteFile; }
    const char16_t* ShellExecuteFolder() const { return m_shellExecuteFolder; }
    const std::vector<CStr>& SupportedDevices() const { return m_devices; }
    const std::vector<CStr>& SupportedScsiDevices() const { return m_scsiDevices; }
    const std::vector<SupportedOsEntry>& SupportedOperatingSystems() const { return m_osList; }

protected:
    // The text of the chosen "<element>_xlate" child of tvn_package/<element> (`cdata`: of its
    // "#CDATA" child) into `out`; 0 when anything is missing or it does not fit.
    int GetTranslatedText(const char16_t* element, bool cdata, char16_t* out, int cch, const char16_t* lang);
    void ReadKeyFile(CTvnXMLNode* package);
    void ReadSupportedDevices(CTvnXMLNode* package);
    void ReadSupportedOperatingSystems(CTvnXMLNode* package);

    int m_noOverwrite = 0;
    int m_osMajor = 0;
    int m_osMinor = 0;
    CStr m_infFile;
    CStr m_infSection;
    CStr m_serviceName;
    int m_installType = -1;
    char16_t m_packageName[128] = {};
    char16_t m_shellExecuteFile[260] = {};
    char16_t m_shellExecuteFolder[260] = {};
    int m_silent = 1;
    int m_rebootRequired = 0;
    int m_is64Bit = 0;
    int m_requiredDiskSpace = 0;
    CStr m_keyFile;
    CTvnXMLReader* m_packageReader = nullptr;
    std::vector<SupportedOsEntry> m_osList;
    std::vector<CStr> m_devices;
    std::vector<CStr> m_scsiDevices;
    std::vector<PnpDeviceEntry> m_pnpDevices;
    int m_ownsLog = 1;
    CCmpLog* m_log = nullptr;
};
