// Finding and reading the package definition file ("dz*.xml", document element tvn_package) and
// the install file ("install.xml", tvn_install) into the base component, and the edition codes.
#include <fnmatch.h>

#include <climits>
#include <memory>
#include <optional>

#include "CBaseComponent.h"
#include "PackageFiles.h"
#include "installer_common/SystemUtils.h"
#include "platform/paths.h"
#include "platform/utf16.h"
#include "platform/win_env.h"
#include "platform/win_sysinfo.h"

namespace {

constexpr size_t kPathChars = 260;

bool EqualsNoCase(const char16_t* a, const char16_t* b) { return a && b && CStr(a).Compare(b) == 0; }

// The text with environment variables expanded, when it fits 260 characters with its NUL; nothing
// when it does not (a cut path would name another file).
std::optional<std::u16string> ExpandPath(std::u16string_view text)
{
    std::u16string expanded = platform::expand_environment(text);
    if (expanded.size() >= kPathChars) return std::nullopt;
    return expanded;
}

// Expands into a fixed 260-character member; a value too long leaves it unchanged.
void ExpandInto(const char16_t* text, char16_t (&out)[kPathChars])
{
    if (!text) return;
    if (auto e = ExpandPath(platform::u16_view(text))) platform::copy_utf16(*e, out, kPathChars);
}

// A decimal number as the C runtime reads one: leading blanks, a sign, digits up to the first
// other character; 0 without digits; held within int.
int ParseDecimal(const char16_t* text)
{
    if (!text) return 0;
    size_t i = 0;
    while (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r') ++i;
    bool negative = text[i] == u'-';
    if (text[i] == u'-' || text[i] == u'+') ++i;
    long long v = 0;
    for (; text[i] >= u'0' && text[i] <= u'9'; ++i) {
        v = v * 10 + (text[i] - u'0');
        if (v > (long long)INT_MAX + 1) v = (long long)INT_MAX + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    return int(v);
}

int NumberOr(const CTvnXMLNode* node, const char16_t* name, int absent)
{
    const char16_t* v = node->GetAttribute(name);
    return v ? ParseDecimal(v) : absent;
}

}  // namespace

const char16_t* FirstChildText(const CTvnXMLNode* element)
{
    const CTvnXMLNode* child = element ? element->GetFirstChild() : nullptr;
    if (!child || child->GetType() != 1) return nullptr;
    return child->GetText();
}

uint16_t EditionCodeFromKeyword(const char16_t* keyword)
{
    static constexpr struct {
        const char16_t* keyword;
        uint16_t code;
    } kEditions[] = {
        {u"", 0xFFFF},        {u"srvr", 0xFF05},     {u"core", 0xFF0A},   {u"r2", 0xFF0C},
        {u"r2srvr", 0xFF04},  {u"r2core", 0xFF08},   {u"dc", 0x040F},     {u"dcsrvr", 0x0405},
        {u"dccore", 0x040A},  {u"dcr2", 0x040C},     {u"dcr2srvr", 0x0404}, {u"dcr2core", 0x0408},
        {u"sbs", 0x0205},     {u"sbsr2", 0x0204},    {u"ebs", 0x0206},    {u"ebsr2", 0x0207},
    };
    CStr lower(keyword);
    lower.MakeLower();
    for (const auto& e : kEditions)
        if (lower == e.keyword) return e.code;
    return 0;
}

uint16_t CurrentEditionCode(uint32_t productType, bool r2)
{
    static constexpr struct {
        uint32_t types[2];
        uint16_t plain;
        uint16_t r2;
    } kProducts[] = {
        {{8, 8}, 0x0405, 0x0404},
        {{9, 25}, 0x0205, 0x0204},
        {{12, 12}, 0x040A, 0x0408},
        {{13, 14}, 0x0102, 0x0108},
    };
    for (const auto& p : kProducts)
        if (productType == p.types[0] || productType == p.types[1]) return r2 ? p.r2 : p.plain;
    return r2 ? 0xFF04 : 0xFF05;
}

int CBaseComponent::FindPackageFile(char16_t* out, int size)
{
    for (const std::string& name : platform::list_dir_sorted(".")) {
        if (fnmatch("dz*.xml", name.c_str(), FNM_CASEFOLD) != 0) continue;
        std::u16string wide = platform::to_utf16(name);
        CTvnXMLReader reader;
        if (reader.LoadFile(wide.c_str()) != CTvnXMLReader::kLoaded) continue;
        if (!reader.FindChild(nullptr, u"tvn_package", nullptr, nullptr)) continue;
        if (out && size > 0) platform::copy_utf16(wide, out, size_t(size));
        return 1;
    }
    return 0;
}

int CBaseComponent::ReadPackageFile(const char16_t* path)
{
    if (!path) return 4;
    if (m_packageReader) return 1;
    m_packageReader = new CTvnXMLReader;
    int loaded = m_packageReader->LoadFile(path);
    if (loaded != CTvnXMLReader::kLoaded) return loaded;
    if (!m_packageReader->IsLoaded()) return 3;
    CTvnXMLNode* package = m_packageReader->FindChild(nullptr, u"tvn_package", nullptr, nullptr);
    if (!package) return 0;

    // The package name is the file name without its four-character extension; a shorter text
    // leaves no name rather than reaching before its start.
    if (const char16_t* file = FirstChildText(package->FindChild(u"filename"))) {
        char16_t name[128] = {};
        size_t n = platform::copy_utf16(platform::u16_view(file), name, 128).written;
        name[n >= 4 ? n - 4 : 0] = 0;
        platform::copy_utf16(platform::u16_view(name), m_packageName, 128);
    }

    ReadKeyFile(package);

    CTvnXMLNode* installation = package->FindChild(u"installation");
    CTvnXMLNode* install = installation ? installation->FindChild(u"install") : nullptr;
    if (CTvnXMLNode* caps = install ? install->FindChild(u"install_caps") : nullptr)
        if (const char16_t* silent = caps->GetAttribute(u"silent")) SetSilent(EqualsNoCase(silent, u"yes") ? 1 : 0);
    if (CTvnXMLNode* reboot = install ? install->FindChild(u"reboot_required") : nullptr)
        if (const char16_t* value = reboot->GetAttribute(u"value")) SetRebootRequired(EqualsNoCase(value, u"yes") ? 1 : 0);

    CTvnXMLNode* prerequisites = package->FindChild(u"prerequisites");
    if (CTvnXMLNode* disk = prerequisites ? prerequisites->FindChild(u"required_diskspace") : nullptr)
        SetRequiredDiskSpace(NumberOr(disk, u"size_kb", 0));
    ReadSupportedDevices(package);
    ReadSupportedOperatingSystems(package);
    return 0;
}

void CBaseComponent::ReadKeyFile(CTvnXMLNode* package)
{
    CTvnXMLNode* keys = package->FindChild(u"sw_keys");
    CTvnXMLNode* entry = keys ? keys->FindChild(u"sw_keys_and") : nullptr;
    std::u16string keyName;
    // Every sibling after the first sw_keys_and counts as one, whatever its name.
    for (; entry; entry = entry->GetNextSibling()) {
        CTvnXMLNode* key = entry->FindChild(u"sw_key");
        if (!key) continue;
        if (const char16_t* name = key->GetAttribute(u"name")) keyName = name;
        const char16_t* folder = FirstChildText(key->FindChild(u"sw_key_expectedpath"));
        if (!folder || !*folder) continue;
        std::u16string text(folder);
        std::u16string joined = text.back() == u'\\' ? text + keyName : text + u"\\" + keyName;
        auto candidate = ExpandPath(joined);
        if (!candidate) continue;
        if (m_keyFile.empty()) SetKeyFile(candidate->c_str());
        if (FileExists(candidate->c_str())) {
            SetKeyFile(candidate->c_str());
            return;
        }
    }
}

void CBaseComponent::ReadSupportedDevices(CTvnXMLNode* package)
{
    CTvnXMLNode* prerequisites = package->FindChild(u"prerequisites");
    CTvnXMLNode* devices = prerequisites ? prerequisites->FindChild(u"supported_devices") : nullptr;
    for (CTvnXMLNode* entry = devices ? devices->FindChild(u"supported_devices_and") : nullptr; entry;
         entry = entry->FindNextSibling(u"supported_devices_and")) {
        CTvnXMLNode* device = entry->FindChild(u"supported_device");
        const char16_t* type = device ? device->GetAttribute(u"type") : nullptr;
        if (!type) continue;
        if (EqualsNoCase(type, u"pci")) {
            std::u16string id;
            for (const char16_t* part : {u"ven", u"dev", u"subven", u"subdev"}) {
                for (CTvnXMLNode* d = device->FindChild(u"supported_device_data"); d;
                     d = d->FindNextSibling(u"supported_device_data")) {
                    if (!EqualsNoCase(d->GetAttribute(u"name"), part)) continue;
                    if (const char16_t* text = FirstChildText(d)) id += text;
                    break;
                }
            }
            // Parts that make no PCI id still list a device: an empty id, which no present device
            // has, so that a package listing only such entries finds its hardware absent.
            AddSupportedDevice(BuildHardwareId(id.c_str()).c_str());
            continue;
        }
        CTvnXMLNode* data = device->FindChild(u"supported_device_data");
        const char16_t* text = data && EqualsNoCase(data->GetAttribute(u"name"), u"id") ? FirstChildText(data) : nullptr;
        if (!text) continue;
        if (EqualsNoCase(type, u"eisa"))
            AddSupportedDevice(BuildHardwareId(text).c_str());  // empty, as above, when it makes no id
        else if (EqualsNoCase(type, u"scsi"))
            m_scsiDevices.emplace_back(text);
        else if (EqualsNoCase(type, u"pnp"))
            AddSupportedDevice(text);
    }
}

void CBaseComponent::ReadSupportedOperatingSystems(CTvnXMLNode* package)
{
    CTvnXMLNode* prerequisites = package->FindChild(u"prerequisites");
    CTvnXMLNode* systems = prerequisites ? prerequisites->FindChild(u"supported_operating_systems") : nullptr;
    for (CTvnXMLNode* os = systems ? systems->FindChild(u"supported_operating_system") : nullptr; os;
         os = os->FindNextSibling(u"supported_operating_system")) {
        SupportedOsEntry entry{};
        if (const char16_t* platform = os->GetAttribute(u"platform"))
            platform::copy_utf16(platform::u16_view(platform), entry.platform, 64);
        entry.major = NumberOr(os, u"major", -1);
        entry.minor = NumberOr(os, u"minor", -1);
        entry.sr = NumberOr(os, u"sr", -1);
        const char16_t* edition = os->GetAttribute(u"edition");
        entry.edition = edition ? EditionCodeFromKeyword(edition) : 0xFFFF;
        AddSupportedOS(entry);
    }
}

int CBaseComponent::ReadInstallFile(const char16_t* path)
{
    if (!path) return 4;
    win::OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    win::GetVersionExW(&version);
    const char16_t* selected = version.dwMajorVersion == 4   ? u"inf_file_nt4"
                               : version.dwMajorVersion == 5 ? u"inf_file_nt5"
                                                             : u"inf_file";
    CTvnXMLReader reader;
    int loaded = reader.LoadFile(path);
    if (loaded != CTvnXMLReader::kLoaded) return loaded;
    if (!reader.IsLoaded()) return 3;
    CTvnXMLNode* install = reader.FindChild(nullptr, u"tvn_install", nullptr, nullptr);
    if (!install) return 0;

    if (CTvnXMLNode* info = install->FindChild(u"inf_information")) {
        CTvnXMLNode* inf = info->FindChild(selected);
        if (!inf) inf = info->FindChild(u"inf_file");
        if (inf) {
            if (const char16_t* name = inf->GetAttribute(u"filename")) m_infFile = CStr(name);
            if (const char16_t* type = inf->GetAttribute(u"type")) {
                static constexpr struct {
                    const char16_t* name;
                    int type;
                } kTypes[] = {{u"LEGACY", kInstallLegacy}, {u"PNP", kInstallPnP}, {u"VIRTUAL", kInstallVirtual}};
                for (const auto& t : kTypes)
                    if (EqualsNoCase(type, t.name)) m_installType = t.type;
            }
            if (const char16_t* section = inf->GetAttribute(u"section")) m_infSection = CStr(section);
            if (const char16_t* service = inf->GetAttribute(u"service_name")) m_serviceName = CStr(service);
        }
    }
    CTvnXMLNode* shell = install->FindChild(u"ShellExecute");
    if (CTvnXMLNode* run = shell ? shell->FindChild(u"ShellExecute_Info") : nullptr) {
        ExpandInto(run->GetAttribute(u"file"), m_shellExecuteFile);
        ExpandInto(run->GetAttribute(u"DefaultDir"), m_shellExecuteFolder);
    }
    return 0;
}
