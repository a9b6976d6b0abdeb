// Which image files of the firmware folder fit an adapter, and their versions (see device.h).
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "fwupg/bkv9_helper.h"
#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/fw_image.h"
#include "fwupg/fw_utils.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/image_check_codes.h"
#include "fwupg/image_version.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"

namespace {

bool SupportedFamily(uint32_t family)
{
    return family == yxmapi::kFamilyLegacy || family == yxmapi::kFamily57710 || family == yxmapi::kFamilyE4;
}

bool DirTypeIn(fwupg::FwImage& image, std::initializer_list<uint32_t> types)
{
    uint32_t dirType = 0;
    if (!image.isValidImageFormat(&dirType)) return false;
    for (uint32_t t : types)
        if (t == dirType) return true;
    return false;
}

// The per-type check of a loaded image for the selected adapter.
bool CheckForType(fwupg::FwImage& image, int type, uint32_t family)
{
    switch (type) {
    case kFwBootcode: return image.IsBootCodeForDevice();
    case kFwPxe: return image.IsImageTypePresent();
    case kFwIscsi: return DirTypeIn(image, {0xD0000000u, 0xC0000000u, 0xB0000000u}) && image.IsImageTypePresent();
    case kFwUmp: return family == yxmapi::kFamilyLegacy;
    case kFwIpmi: return family == yxmapi::kFamilyLegacy && DirTypeIn(image, {0x70000000u, 0x80000000u, 0x90000000u});
    case kFwNcsi: return image.IsNcsiForDevice();
    case kFwL2: return image.IsL2tForDevice();
    case kFwFcoe: return image.IsFebForDevice();
    case kFwMfw: return image.IsMfwForDevice();
    case kFwCcm: return image.IsCcmForDevice();
    case kFwMbi: {
        const bool ok = image.isMBIValidForDevice();
        LogDebugMsg(DBG_DEBUG, "%s() isMBIValidForDevice(0)- Return Code:%d  ", "Device::IsCompatible",
                    static_cast<int>(image.error()));
        return ok;
    }
    case kFwPhy: return image.IsPhyImageForDevice(g_Bkv9Helper.DeviceIndex());
    default: return false;
    }
}

}  // namespace

void Device::Publish() const
{
    fwupg::SelectNic(m_PhyNicInfo, m_NicInfo);
    HostOps ops;
    BuildHostOps(&ops, g_TclInterp, 0);
    SetSelectedNIC(&ops);
}

bool Device::IsCompatible(const std::string& file, int type) const
{
    static const char* const kFn = "Device::IsCompatible";
    LogDebugMsg(DBG_DEBUG, "%s(): Checking the compatibility of given image file : %s for the device.", kFn,
                file.c_str());
    const uint32_t family = Family();
    if (!SupportedFamily(family)) return false;
    if (!g_TclInterp) {
        LogDebugMsg(DBG_DEBUG, "%s(): Failed !!! ( g_TclInterp == NULL )", kFn);
        return false;
    }
    Publish();
    // The claim's status is not examined: a check that needs the adapter fails on its own. The
    // image's own reads of the NVRAM (versions, presence) run under it too, so they share the
    // read cache with the check.
    const fwupg::yx::ClaimScope claim(ApiHandle());
    fwupg::FwImage image(g_TclInterp, file.c_str(), MapImageTypeCode(type), true);
    if (image.valid() && CheckForType(image, type, family)) return true;
    if (!image.valid()) LogDebugMsg(DBG_DEBUG, "%s(): Failed to create filter ", kFn);
    LogDebugMsg(DBG_DEBUG, "%s(): %s refused as %s: %s (check code %u).", kFn, file.c_str(), FwTypeName(type),
                fwupg::imgcode::Text(image.error()), image.error());
    return false;
}

bool Device::IsCompatible(const std::string& file) const
{
    LogDebugMsg(DBG_DEBUG, "%s(): Image %s", "Device::IsCompatible", file.c_str());
    for (const Firmware& fw : m_Firmwares)
        if (IsCompatible(file, fw.m_Type)) return true;
    return false;
}

bool Device::IsValidDeviceForMBIorPHYImgFile(const std::string& folder) const
{
    static const char* const kFn = "Device::IsValidDeviceForMBIorPHYImgFile";
    LogDebugMsg(DBG_DEBUG, "%s(): LineNo: %d,path=%s", kFn, __LINE__, folder.c_str());
    std::vector<std::string> files;
    if (!folder.empty()) fwupg::EnumFiles(folder, &files);
    for (const std::string& file : files) {
        if (IsCompatible(file, kFwMbi) || IsCompatible(file, kFwPhy)) {
            LogDebugMsg(DBG_DEBUG, "%s(): LineNo: %d, Found compatible file : filetocheck:%s", kFn, __LINE__,
                        file.c_str());
            return true;
        }
    }
    return false;
}

bool Device::HasCompatibleImageForDevice(const std::string& folder, int type, std::string* found) const
{
    std::vector<std::string> files;
    if (!folder.empty()) fwupg::EnumFiles(folder, &files);
    for (const std::string& file : files) {
        if (IsCompatible(file, type)) {
            *found = file;
            return true;
        }
    }
    return false;
}

bool Device::GetImageVersion(int type, const std::string& file, std::string* version) const
{
    static const char* const kFn = "Device::GetImageVersion";
    LogDebugMsg(DBG_DEBUG, "%s(): Getting Image version : %d", kFn, type);
    // Image paths longer than the engines' 256-byte name buffer are refused, not cut.
    if (file.size() >= 256) return false;
    if (!SupportedFamily(Family()) && type != kFwCcm) return false;
    if (!g_TclInterp) return false;
    // The package and version checks read the adapter's facts: make sure they are this adapter's.
    Publish();
    if (type == kFwMbi) {
        const std::string v = fwupg::GetImageFileVersion(Family(), file);
        LogDebugMsg(DBG_DEBUG, "%s() Extracted MBI Version: %s", kFn, v.c_str());
        if (v.empty()) return false;
        *version = v;
        return true;
    }
    if (type == kFwPhy) return true;
    HostOps ops;
    BuildHostOps(&ops, g_TclInterp, 0);
    char text[256] = {};
    if (gpIFwUpgKv9->file_version_string(ops, file.c_str(), MapImageTypeCode(type), text) == 0) return false;
    text[sizeof text - 1] = '\0';
    *version = text;
    return true;
}
