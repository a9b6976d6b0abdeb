// The shell's image-file checks over FwImage: the per-type table of "upgrade", the PHY image of
// "phy" and the full NVRAM image of a restore.
#include "fwupg/fw_image.h"
#include "fwupg/image_check_codes.h"
#include "fwupg/oem_interface.h"
#include "fwupg/selected_nic.h"
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

// The object's own code, or `fallback` when a check failed without naming one.
uint32_t CodeOf(const FwImage& image, uint32_t fallback)
{
    return image.error() ? image.error() : fallback;
}

uint32_t CheckUpgradeImage(Tcl_Interp* interp, const char* path, uint32_t type)
{
    constexpr uint32_t kNotForAdapter = 3;
    FwImage image(interp, path, type, true);
    if (!image.valid()) return CodeOf(image, kNotForAdapter);
    const uint32_t family = SelectedFamily();
    switch (type) {
    case kImgBootCode: return image.IsBootCodeForDevice() ? 0 : kNotForAdapter;
    case kImgMba: return image.IsImageTypePresent() ? 0 : kNotForAdapter;
    case kImgNcsi: return image.IsNcsiForDevice() ? 0 : CodeOf(image, kNotForAdapter);
    case kImgIscsi: {
        uint32_t dirType = 0;
        if (!image.isValidImageFormat(&dirType) ||
            (dirType != 0xD0000000u && dirType != 0xC0000000u && dirType != 0xB0000000u))
            return 67;
        return image.IsImageTypePresent() ? 0 : CodeOf(image, kNotForAdapter);
    }
    case kImgL2t: return image.IsL2tForDevice() ? 0 : CodeOf(image, kNotForAdapter);
    case kImgMfw: return image.IsMfwForDevice() ? 0 : kNotForAdapter;
    case kImgFeb: return image.IsFebForDevice() ? 0 : CodeOf(image, kNotForAdapter);
    case kImgVpd:
        if (family != yxmapi::kFamily57710) return 60;
        // An image kind the adapter does not hold yet may still be written.
        if (image.IsImageTypePresent() || image.error() == imgcode::kNotOnAdapter) return 0;
        return CodeOf(image, kNotForAdapter);
    case kImgCcm: return image.IsCcmForDevice() ? 0 : CodeOf(image, kNotForAdapter);
    case kImgMbi: return image.isMBIValidForDevice() ? 0u : uint32_t{CMD_INVALID_MBI};
    case kImgInitHw: {
        uint32_t dirType = 0;
        if (!image.isValidImageFormat(&dirType)) return CodeOf(image, 137);
        if (family != yxmapi::kFamilyE4) {
            LogDebugMsg(DBG_DEBUG, "%s():LINE:%d, returned error\n", "FWUPG_Upgrade_Cmd", __LINE__);
            return 137;
        }
        return 0;
    }
    default: return image.IsImageTypePresent() ? 0 : kNotForAdapter;
    }
}

}  // namespace

uint32_t LibraryImageCheck(Tcl_Interp* interp, ImageUse use, const char* path, uint32_t type,
                           std::vector<uint8_t>* bytes)
{
    switch (use) {
    case ImageUse::Upgrade: return CheckUpgradeImage(interp, path, type);
    case ImageUse::Phy: {
        FwImage image(interp, path, kImgUpg, false);
        if (!image.valid() || !image.IsPhyImageForDevice(0)) return CodeOf(image, 3);
        std::string file;
        if (!ReadFileToBuffer(path, &file)) return imgcode::kFileRead;
        if (bytes) bytes->assign(file.begin(), file.end());
        return 0;
    }
    case ImageUse::Restore: {
        FwImage image(interp, path, kImgFullNvm, false);
        if (!image.valid() || !image.IsFullNvmImageForDevice()) return CodeOf(image, RET_INVALID_DUMP_FILE);
        return 0;
    }
    }
    return 3;
}

}  // namespace fwupg::shell
