#include "CBaseComponent.h"

#include <cstring>

#include "ComponentText.h"
#include "installer_common/Log.h"
#include "installer_common/SystemUtils.h"
#include "platform/utf16.h"
#include "platform/win_process.h"
#include "platform/win_sysinfo.h"

namespace {

constexpr const char16_t* kSource = u"basecomp.cpp";

// Announcements carry time, source and line; outcomes follow on the same line without a prefix.
#define ANNOUNCE(...) m_log->Write(1, 0, kSource, __LINE__, __VA_ARGS__)
#define OUTCOME(text) m_log->Write(2, 0, kSource, __LINE__, u"%s", text)

}  // namespace

int LangIndex(const char16_t* lang)
{
    static constexpr const char16_t* kCodes[] = {u"fr", u"it", u"de", u"es", u"ja"};
    CStr code(lang);
    for (int i = 0; i < 5; ++i)
        if (code.size() == 2 && code.Compare(kCodes[i]) == 0) return i + 1;
    return 0;
}

const char16_t* TranslateText(const LanguageTable& table, const char16_t* lang)
{
    int i = LangIndex(lang);
    if (i == 5 && table[5] && *table[5]) return table[5];
    return table[0];
}

CBaseComponent::CBaseComponent() : m_log(new CCmpLog(nullptr, nullptr)) {}

CBaseComponent::~CBaseComponent() { Shutdown(); }

void CBaseComponent::Shutdown()
{
    if (m_ownsLog) delete m_log;
    m_log = nullptr;
    m_ownsLog = 0;
    delete m_packageReader;
    m_packageReader = nullptr;
}

int CBaseComponent::Initialize()
{
    int result = 1;
    const char16_t* line = win::GetCommandLineW();
    if (FindSubstringNoCase(line, u"/verbose_log") >= 0) m_log->SetVerbose(1);
    if (FindSubstringNoCase(line, u"/consoleout") >= 0) OpenConsoleOutput();
    if (FindSubstringNoCase(line, u"/no_overwrite") >= 0) m_noOverwrite = 1;
    m_log->Open();

    ANNOUNCE(m_noOverwrite ? u"\r\n/no_overwrite DETECTED\r\n" : u"\r\n/no_overwrite ABSENT\r\n");
    ANNOUNCE(u"Detecting if 64-bit operating system... \r\n");
    m_is64Bit = Is64BitOS();

    char16_t name[260] = {};
    ANNOUNCE(u"Locating package definition file %s... ", name);
    if (!FindPackageFile(name, 260)) {
        OUTCOME(u"Failed!\r\n");
    } else {
        OUTCOME(u"Done.\r\n");
        ANNOUNCE(u"    - Reading package definition file %s... ", name);
        if (ReadPackageFile(name) != 0) {
            OUTCOME(u"Failed!\r\n");
            result = 0;
        } else {
            OUTCOME(u"Done.\r\n");
        }
    }

    ANNOUNCE(u"Checking for install.xml... ");
    if (!FileExists(u"install.xml")) {
        OUTCOME(u"Not found.\r\n");
    } else {
        OUTCOME(u"Found.\r\n");
        ANNOUNCE(u"    - Reading installer XML %s... ", u"install.xml");
        if (ReadInstallFile(u"install.xml") != 0) {
            OUTCOME(u"Failed!\r\n");
            result = 0;
        } else {
            OUTCOME(u"Done.\r\n");
        }
    }
    if (m_devices.empty()) return result;
    // Every id of each present device is listed (those with a revision or class code aside):
    // a device's first id carries its revision, which no package id has, so a list of first ids
    // would show supported hardware as absent.
    ANNOUNCE(u"Building PnP device list... ");
    OUTCOME(BuildPnPDeviceList(0) ? u"Done.\r\n" : u"Failed!\r\n");
    return result;
}

int CBaseComponent::GetProperty(int id, void* out, int cch, const char16_t* lang)
{
    auto* text = static_cast<char16_t*>(out);
    switch (id) {
    case 1: return GetName(text, cch, lang);
    case 2: return GetDescription(text, cch, lang);
    case 3: return GetCurrentVersion(text, cch);
    case 4: return GetPackageVersion(text, cch);
    case 5: return GetInstallState(out, cch, lang);
    case 6: *static_cast<int32_t*>(out) = GetSilentFlag(); return 1;
    case 7: *static_cast<int32_t*>(out) = GetSilentFlag2(); return 1;
    case 8: *static_cast<int32_t*>(out) = GetConstantOne(); return 1;
    case 9: AdoptHostLog(static_cast<CCmpLog*>(out)); return 1;
    default: return 0;
    }
}

namespace {

// Copies `text` when it is shorter than `cch`; 0 (nothing written) otherwise.
int CopyIfFits(const char16_t* text, char16_t* out, int cch)
{
    if (!text || !out || cch <= 0) return 0;
    size_t n = platform::u16_length(text);
    if (n >= size_t(cch)) return 0;
    std::memcpy(out, text, (n + 1) * sizeof(char16_t));
    return 1;
}

}  // namespace

int CBaseComponent::GetTranslatedText(const char16_t* element, bool cdata, char16_t* out, int cch,
                                      const char16_t* lang)
{
    if (!m_packageReader) return 0;
    CTvnXMLNode* package = m_packageReader->FindChild(nullptr, u"tvn_package", nullptr, nullptr);
    CTvnXMLNode* parent = package ? m_packageReader->FindChild(package, element, nullptr, nullptr) : nullptr;
    if (!parent) return 0;
    std::u16string xlate = std::u16string(element) + u"_xlate";
    CTvnXMLNode* chosen = m_packageReader->FindChild(parent, xlate.c_str(), u"lang", lang ? lang : u"");
    if (!chosen) chosen = m_packageReader->FindChild(parent, xlate.c_str(), u"lang", u"en");
    if (!chosen) return 0;
    const CTvnXMLNode* holder = chosen;
    if (cdata) {
        holder = chosen->FindChild(u"#CDATA");
        if (!holder || holder->GetType() != 1) return 0;
        return CopyIfFits(holder->GetText(), out, cch);
    }
    return CopyIfFits(FirstChildText(holder), out, cch);
}

int CBaseComponent::GetName(char16_t* out, int cch, const char16_t* lang)
{
    return GetTranslatedText(u"name", false, out, cch, lang);
}

int CBaseComponent::GetDescription(char16_t* out, int cch, const char16_t* lang)
{
    return GetTranslatedText(u"description", true, out, cch, lang);
}

int CBaseComponent::GetPackageVersion(char16_t* out, int cch)
{
    if (!m_packageReader) return 0;
    CTvnXMLNode* package = m_packageReader->FindChild(nullptr, u"tvn_package", nullptr, nullptr);
    CTvnXMLNode* version = package ? m_packageReader->FindChild(package, u"version", nullptr, nullptr) : nullptr;
    const char16_t* value = version ? version->GetAttribute(u"value") : nullptr;
    if (!value || !*value) return 0;
    return CopyIfFits(value, out, cch);
}

int CBaseComponent::GetSilentFlag() { return m_silent; }
int CBaseComponent::GetSilentFlag2() { return m_silent; }
int CBaseComponent::GetConstantOne() { return 1; }

bool CBaseComponent::AreDependenciesMet(char16_t*, int, const char16_t*) { return true; }

void CBaseComponent::SetSilent(int flag) { m_silent = flag; }
void CBaseComponent::SetRequiredDiskSpace(int kilobytes) { m_requiredDiskSpace = kilobytes; }
void CBaseComponent::SetRebootRequired(int flag) { m_rebootRequired = flag; }
void CBaseComponent::SetKeyFile(const char16_t* path) { m_keyFile = CStr(path); }

void CBaseComponent::SetInfFile(const char16_t* name, int type)
{
    m_infFile = CStr(name);
    m_installType = type;
}

void CBaseComponent::AddSupportedDevice(const char16_t* id) { m_devices.emplace_back(id); }
void CBaseComponent::AddSupportedOS(const SupportedOsEntry& entry) { m_osList.push_back(entry); }
const char16_t* CBaseComponent::GetInfFile() { return m_infFile.c_str(); }

int CBaseComponent::Is64BitOS()
{
    win::OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!win::GetVersionExW(&version) || version.dwPlatformId != win::VER_PLATFORM_WIN32_NT) return 0;
    win::SYSTEM_INFO info{};
    win::GetNativeSystemInfo(&info);
    static constexpr struct {
        win::WORD architecture;
        const char16_t* line;
    } kArchitectures[] = {
        {win::PROCESSOR_ARCHITECTURE_INTEL, u"    - Operating system is not 64-bit but 32-bit.\r\n"},
        {win::PROCESSOR_ARCHITECTURE_IA64, u"    - Operating system is 64-bit IA-64 based.\r\n"},
        {win::PROCESSOR_ARCHITECTURE_AMD64, u"    - Operating system is 64-bit x64 based.\r\n"},
        {win::PROCESSOR_ARCHITECTURE_IA32_ON_WIN64, u"    - Operating system is 64-bit SysWOW64 based .\r\n"},
    };
    for (const auto& a : kArchitectures) {
        if (a.architecture != info.wProcessorArchitecture) continue;
        ANNOUNCE(u"%s", a.line);
        return a.architecture == win::PROCESSOR_ARCHITECTURE_INTEL ? 0 : 1;
    }
    return 0;
}

void CBaseComponent::AdoptHostLog(CCmpLog* host)
{
    if (!host || !m_log || !m_log->IsVerbose()) return;
    m_log->RelocateVerboseLog(host->GetVerboseLogName(), host->GetVerboseLogFolder());
    m_log->Close();
    if (m_ownsLog) delete m_log;
    m_log = host;
    m_ownsLog = 0;
    // The process's log context must never name the deleted logger, not even until the next
    // operation sets it.
    if (g_pLogContext) g_pLogContext->Set(m_log, kLogPrefix);
    char16_t base[257] = {};
    platform::copy_utf16(platform::u16_view(m_packageName), base, 257);
    std::u16string name = std::u16string(base) + u".exe.log";
    // A copy: the logger writes the new folder into the very record this points into.
    std::u16string folder(platform::u16_view(host->GetVerboseLogFolder()));
    host->RelocateVerboseLog(name.c_str(), folder.c_str());
}
