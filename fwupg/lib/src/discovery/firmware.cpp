// Firmware items (see firmware.h).
#include "fwupg/firmware.h"

#include <cstdio>

#include <platform/utf16.h>

#include "fwupg/debug_log.h"
#include "fwupg/fw_utils.h"
#include "fwupg/report_text.h"

bool g_bForceUpgradeAction = false;

namespace {

struct FwTypeRow {
    const char* name;
    uint32_t imageCode;
};

constexpr FwTypeRow kFwTypes[kFwTypeCount] = {
    {"Bootcode", 0}, {"PXE", 1},   {"iSCSI", 5},     {"UMP", 3},  {"IPMI", 2},  {"NCSI", 4},
    {"ASF", 23},     {"DASH", 23}, {"L2", 8},        {"FCoE", 11}, {"Bootcode", 10}, {"SMASH", 23},
    {"CCM", 14},     {"MBI", 15},  {"PHY", 7},
};

// major, minor, build read with "%d.%d.%d"; parts that are missing stay 0.
void ReadThree(const std::string& text, uint32_t* major, uint32_t* minor, uint32_t* build)
{
    int v[3] = {0, 0, 0};
    std::sscanf(text.c_str(), "%d.%d.%d", &v[0], &v[1], &v[2]);
    *major = static_cast<uint32_t>(v[0]);
    *minor = static_cast<uint32_t>(v[1]);
    *build = static_cast<uint32_t>(v[2]);
}

}  // namespace

const char* FwTypeName(int type)
{
    return type >= 0 && type < kFwTypeCount ? kFwTypes[type].name : "";
}

int FwTypeOfName(const std::string& name)
{
    for (int type = 0; type < kFwTypeCount; ++type)
        if (name == kFwTypes[type].name) return type;
    return -1;
}

uint32_t MapImageTypeCode(int type)
{
    return type >= 0 && type < kFwTypeCount ? kFwTypes[type].imageCode : kImageTypeNone;
}

Firmware::Firmware(int type, const std::string& activeVersion, const std::string& imageFile,
                   const std::string& imageVersion, const std::string& action)
    : m_Type(type), m_TypeName(FwTypeName(type)), m_ActiveVersion(activeVersion)
{
    if (!imageFile.empty() || !action.empty()) {
        m_ImageFile = imageFile;
        m_ImageVersion = imageVersion;
        m_Action = action;
    }
    LogDebugMsg(DBG_DEBUG, "%s(): ImageFile=%s,ImageVersion=%s,Action=%s", "Firmware::Firmware", m_ImageFile.c_str(),
                m_ImageVersion.c_str(), m_Action.c_str());
}

std::string Firmware::ShownFile() const
{
    if (g_bNicFwDataLoaded) return m_ImageFile;
    std::string name;
    return fwupg::ExtractFilename(m_ImageFile, &name) ? name : std::string();
}

std::string Firmware::ToXml() const
{
    using fwupg::AppendLeaf;
    std::string out;
    fwupg::AppendLine(&out, 6, "<fw_item>");
    AppendLeaf(&out, 8, "type", m_TypeName);
    AppendLeaf(&out, 8, "firmware_id", "");
    AppendLeaf(&out, 8, "firmware_file", ShownFile());
    AppendLeaf(&out, 8, "version", fwupg::GetVersionSuffixA(m_ImageVersion));
    AppendLeaf(&out, 8, "active_version", fwupg::GetVersionSuffixA(m_ActiveVersion));
    AppendLeaf(&out, 8, "action", m_Action);
    AppendLeaf(&out, 8, "action_status", "");
    AppendLeaf(&out, 8, "duration", "60");
    AppendLeaf(&out, 8, "message", "");
    AppendLeaf(&out, 8, "shared", "no");
    fwupg::AppendLine(&out, 6, "</fw_item>");
    return out;
}

int Firmware::fillFirmwareInfo(FwInfo* info) const
{
    LogDebugMsg(DBG_DEBUG, "%s(): Filling FwInfo structure info...", "Firmware::fillFirmwareInfo");
    // Wide texts are cut to the field's capacity less one and always terminated.
    platform::copy_utf16(platform::to_utf16(m_TypeName), info->typeName, std::size(info->typeName));
    platform::copy_utf16(platform::to_utf16(ShownFile()), info->fileName, std::size(info->fileName));
    // Version texts of the management library may carry a name before the number ("bc 7.10.1"):
    // the number is their trailing dotted part, as the report shows it.
    ReadThree(fwupg::GetVersionSuffixA(m_ActiveVersion), &info->curMajor, &info->curMinor, &info->curBuild);
    if (m_ImageVersion.empty()) {
        info->availMajor = info->availMinor = info->availBuild = 0;
    } else {
        ReadThree(fwupg::GetVersionSuffixA(m_ImageVersion), &info->availMajor, &info->availMinor, &info->availBuild);
    }
    return 0;
}
