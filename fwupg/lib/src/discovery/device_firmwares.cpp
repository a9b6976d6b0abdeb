// Building a device's firmware items from the management library's firmware records, the image
// files of the firmware folder and, when it is loaded, the firmware data file (see device.h).
#include <cstdio>

#include <platform/utf16.h>

#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/fw_utils.h"
#include "fwupg/leftover_backup.h"
#include "fwupg/nic_fw_data.h"
#include "fwupg/yxmapi_client.h"

namespace {

// The record texts as UTF-8 (bytes that are not UTF-8 replaced).
std::string Text(std::string_view raw)
{
    return platform::to_utf8(platform::to_utf16(raw));
}

std::string ActionFor(const std::string& active, const std::string& image)
{
    const std::string current = fwupg::GetVersionSuffixA(active);
    const std::string offered = fwupg::GetVersionSuffixA(image);
    const int cmp = fwupg::CompareVersion(current.c_str(), offered.c_str());
    std::string action = cmp > 0 ? "downgrade" : cmp == 0 ? "rewrite" : "upgrade";
    if (g_bForceUpgradeAction) {
        action = "upgrade";
        g_bForceUpgradeAction = false;
    }
    return action;
}

// A boot agent of 7.8 or later carries the CCM that older ones did not.
bool IsCcmEraBootAgent(const std::string& version)
{
    unsigned v[4] = {0, 0, 0, 0};
    std::sscanf(version.c_str(), "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]);
    return v[0] > 7 || (v[0] == 7 && v[1] >= 8);
}

// Whether a data-file entry names both a version and a file for a component.
bool EntryOffers(const NicFwData* entry, NicFwField version, NicFwField file)
{
    return entry && !(*entry)[version].empty() && !(*entry)[file].empty();
}

}  // namespace

std::string Device::GetFirmwareFileByType(const std::u16string& key, uint32_t imageCode, bool wantVersion)
{
    const NicFwData* entry = fwupg::FindNicFwData(key);
    if (!entry) return {};
    NicFwField version, file;
    switch (imageCode) {
    case 0: case 10: version = kNfBootcode, file = kNfBcFile; break;
    case 1: version = kNfPxe, file = kNfPxeFile; break;
    case 2: version = kNfIpmi, file = kNfIpmiFile; break;
    case 3: version = kNfUmp, file = kNfUmpFile; break;
    case 4: version = kNfNcsi, file = kNfNcsiFile; break;
    case 5: version = kNfIscsi, file = kNfIscsiFile; break;
    case 7: version = kNfPhy, file = kNfPhyFile; break;
    case 8: version = kNfL2, file = kNfL2File; break;
    case 11: version = kNfFcoe, file = kNfFcoeFile; break;
    case 14: version = kNfCcm, file = kNfCcmFile; break;
    case 15: version = kNfMbi, file = kNfMbiFile; break;
    default: return {};
    }
    return platform::to_utf8((*entry)[wantVersion ? version : file]);
}

void Device::AddFirmware(int type, const std::string& activeVersion, std::vector<std::string>* candidates,
                         std::string* imageFile)
{
    static const char* const kFn = "Device::AddFirmware";
    if (imageFile->empty()) {
        for (auto it = candidates->begin(); it != candidates->end(); ++it) {
            LogDebugMsg(DBG_DEBUG, "%s(): filetocheck:%s", kFn, it->c_str());
            if (IsCompatible(*it, type)) {
                // A file serves one item only.
                *imageFile = *it;
                candidates->erase(it);
                break;
            }
        }
    }
    std::string imageVersion;
    const bool haveVersion = !imageFile->empty() && GetImageVersion(type, *imageFile, &imageVersion);
    const bool pxeRule = type == kFwPxe && (Family() == yxmapi::kFamilyLegacy || Family() == yxmapi::kFamily57710);

    if (g_bNicFwDataLoaded) {
        const uint32_t family = Family();
        if (family != yxmapi::kFamilyLegacy && family != yxmapi::kFamily57710 && family != yxmapi::kFamilyE4) return;
        const std::u16string key = DataFileKey();
        const uint32_t code = MapImageTypeCode(type);
        const std::string file = GetFirmwareFileByType(key, code, false);
        const std::string version = GetFirmwareFileByType(key, code, true);
        LogDebugMsg(DBG_DEBUG, "%s(): fwfile :%s", kFn, file.c_str());
        const std::string action = ActionFor(activeVersion, version);
        if (file != "n/a") {
            m_Firmwares.emplace_back(type, activeVersion, file, version, action);
        } else if (!(type == kFwCcm && activeVersion == "0.0.0")) {
            m_Firmwares.emplace_back(type, activeVersion, "", "", "");
        }
        return;
    }
    if (haveVersion) {
        const std::string action = ActionFor(activeVersion, imageVersion);
        if (pxeRule && IsCcmEraBootAgent(fwupg::GetVersionSuffixA(imageVersion.empty() ? activeVersion : imageVersion)))
            m_bCcmPending = true;
        LogDebugMsg(DBG_DEBUG, "%s(): Passing Params  (Current Ver = %s, Image Ver = %s)... ", kFn,
                    activeVersion.c_str(), imageVersion.c_str());
        m_Firmwares.emplace_back(type, activeVersion, *imageFile, imageVersion, action);
        return;
    }
    if (pxeRule && IsCcmEraBootAgent(fwupg::GetVersionSuffixA(activeVersion))) m_bCcmPending = true;
    m_Firmwares.emplace_back(type, activeVersion, "", "", "skip");
}

void Device::AddMbiAndPhy(const std::string& folder, std::vector<std::string>* candidates,
                          const std::string& mbiVersion, const std::string& mbaText, const std::string& phyText,
                          const yxmapi::FwInfoType5* info5)
{
    static const char* const kFn = "Device::InitFws";
    const bool family5 = Family() == yxmapi::kFamily57710;
    std::string version = mbiVersion;
    if (mbiVersion == "0.0.0") {
        if (!mbaText.empty()) {
            LogDebugMsg(DBG_DEBUG,
                        g_bNicFwDataLoaded && !family5
                            ? "%s(): No MBI image found on NIC. Displaying MBA version insted of MBI version as <0.0.0>\n"
                            : "%s(): No MBI image found on NIC. Displaying MBA version instead of MBI version as <0.0.0>\n",
                        kFn);
            version = fwupg::GetVersionSuffixA(mbaText);
            if (family5) g_bForceUpgradeAction = true;
        }
    } else if (family5 && info5 && fwupg::AreNvmSubComponentsTooOld(*info5)) {
        LogDebugMsg(DBG_DEBUG,
                    "%s(): NVM Sub Components are too old. Setting Action Status as Upgrade!!! --- Displaying MBA "
                    "version instead of MBI version.\n",
                    kFn);
        g_bForceUpgradeAction = true;
        version = fwupg::GetVersionSuffixA(mbaText);
    }

    const NicFwData* entry = g_bNicFwDataLoaded ? fwupg::FindNicFwData(DataFileKey()) : nullptr;
    std::string mbiFile;
    if ((!g_bNicFwDataLoaded || EntryOffers(entry, kNfMbi, kNfMbiFile)) &&
        HasCompatibleImageForDevice(folder, kFwMbi, &mbiFile)) {
        AddFirmware(kFwMbi, version, candidates, &mbiFile);
    }
    // The forced action belongs to the MBI item: when there is none, it must not reach the PHY item.
    g_bForceUpgradeAction = false;

    std::string phyFile;
    if (family5 && !phyText.empty() && (!g_bNicFwDataLoaded || EntryOffers(entry, kNfPhy, kNfPhyFile)) &&
        HasCompatibleImageForDevice(folder, kFwPhy, &phyFile)) {
        AddFirmware(kFwPhy, fwupg::GetVersionSuffixA(phyText), candidates, &phyFile);
    }
}

void Device::InitFws(const std::string& folder)
{
    // A flag left by another adapter must not decide this one's action.
    g_bForceUpgradeAction = false;
    std::vector<std::string> candidates;
    if (!folder.empty()) fwupg::EnumFiles(folder, &candidates);

    switch (Family()) {
    case yxmapi::kFamilyLegacy: {
        fwupg::LegacyFirmwareTexts texts;
        if (!fwupg::LeftoverBackupInView().empty()) {
            // The adapter's record describes the damaged NVRAM; the update will run what the
            // backup holds.
            texts = fwupg::ReadLegacyFirmwareTexts();
        } else {
            namespace f4 = yxmapi::fw4;
            yxmapi::FwInfoType4 info;
            info.prepare(yxmapi::kFwInfoType4Version);
            if (fwupg::yx::GetFwInfo4(m_hPhyNic, &info) != 0) return;
            texts = {Text(info.get(f4::kBootcode)), Text(info.get(f4::kPxe)), Text(info.get(f4::kIscsi)),
                     Text(info.get(f4::kUmp)),      Text(info.get(f4::kIpmi)), Text(info.get(f4::kNcsi)),
                     Text(info.get(f4::kCcm))};
        }
        std::string none;
        AddFirmware(kFwBootcode, texts.bootcode, &candidates, &none);
        const struct {
            int type;
            const std::string& text;
        } optional[] = {{kFwPxe, texts.pxe}, {kFwIscsi, texts.iscsi}, {kFwUmp, texts.ump},
                        {kFwIpmi, texts.ipmi}, {kFwNcsi, texts.ncsi}};
        for (const auto& o : optional) {
            std::string file;
            if (!o.text.empty()) AddFirmware(o.type, o.text, &candidates, &file);
        }
        const std::string& ccm = texts.ccm;
        std::string file;
        if (g_bNicFwDataLoaded) {
            if (ccm.empty()) m_bCcmPending = true;
            AddFirmware(kFwCcm, ccm.empty() ? "0.0.0" : ccm, &candidates, &file);
        } else if (!texts.pxe.empty()) {
            if (!ccm.empty()) {
                m_bCcmPending = false;
                AddFirmware(kFwCcm, ccm, &candidates, &file);
            } else if (m_bCcmPending) {
                AddFirmware(kFwCcm, "0.0.0", &candidates, &file);
            }
        }
        break;
    }
    case yxmapi::kFamily57710: {
        namespace f5 = yxmapi::fw5;
        yxmapi::FwInfoType5 info;
        info.prepare(yxmapi::kFwInfoType5Version);
        if (fwupg::yx::GetFwInfo5(m_hPhyNic, &info) != 0) return;
        const uint32_t packed = info.get(f5::kMbiPacked);
        char mbi[32];
        std::snprintf(mbi, sizeof mbi, "%d.%d.%d", static_cast<int>((packed >> 24) & 0xFF),
                      static_cast<int>((packed >> 16) & 0xFF), static_cast<int>((packed >> 8) & 0xFF));
        AddMbiAndPhy(folder, &candidates, mbi, Text(info.get(f5::kMba)), Text(info.get(f5::kPhy)), &info);
        break;
    }
    case yxmapi::kFamilyE4: {
        namespace f6 = yxmapi::fw6;
        LogDebugMsg(DBG_DEBUG, "%s(): in YXMAPI_ZIZU579XX check", "Device::InitFws");
        yxmapi::FwInfoType6 info;
        info.prepare(yxmapi::kFwInfoType6Version);
        if (fwupg::yx::GetFwInfo6(m_hPhyNic, &info) != 0) return;
        AddMbiAndPhy(folder, &candidates, Text(info.get(f6::kMbi)), Text(info.get(f6::kMba)), "", nullptr);
        break;
    }
    default:
        break;
    }
}
