// Whether a checked image file suits the selected adapter: chip and media masks of wrapped
// records, presence of the image kind in the adapter's NVRAM directories, the identity and image
// set of a full NVRAM image, PHY codes and firmware packages.
#include <cstdio>
#include <cstring>

#include "fwupg/bkv9_helper.h"
#include "fwupg/debug_log.h"
#include "fwupg/fw_image.h"
#include "fwupg/fw_package.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/image_check_codes.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "image_tags.h"
#include "iscsi_exception_boards.h"

namespace fwupg {

namespace {

constexpr uint32_t kAnyDirType = 0xFFFFFFFFu;

uint32_t ChipNumber()
{
    return SelectedChipId() >> 12;
}

uint32_t SelectedDid()
{
    return g_CurPhyNic.get(yxmapi::phy::kDid);
}

// The chip-mask bit of the selected chip in a version-2 record's compatibility word.
uint32_t BootCodeChipMask()
{
    switch (ChipNumber()) {
    case 0x5706: return 0x10000;
    case 0x5708: return 0x20000;
    case 0x5709: return 0x40000;
    case 0x164E: return 0x80000;
    case 0x164F: case 0x1650: return 0x100000;
    case 0x1662: case 0x1663: return 0x200000;
    default: return 0;
    }
}

uint32_t MfwChipMask()
{
    switch (ChipNumber()) {
    case 0x1651: case 0x1652: case 0x1662: case 0x1663: return 0x200000;
    case 0x168A: case 0x168D: case 0x168E: return 0x400000;
    default: return 0;
    }
}

// The PHY code a PHY image's tag stands for.
uint32_t PhyCodeOfTag(uint32_t tag)
{
    struct Row {
        uint32_t tag, code;
    };
    static constexpr Row kRows[] = {
        {ImageTag('8', '4', '8', '4'), 0x1100}, {ImageTag('8', '4', '8', '3'), 0x0D00},
        {ImageTag('8', '4', '8', '2'), 0x0B00}, {ImageTag('8', '0', '7', '3'), 0x0300},
        {ImageTag('8', '7', '2', '7'), 0x0900}, {ImageTag('8', '7', '2', '6'), 0x0600},
        {ImageTag('s', 'f', 'p', 'h'), 0x0800}, {35, 1},
    };
    for (const Row& r : kRows)
        if (r.tag == tag) return r.code;
    return 0xFF00;
}

// An external-PHY id of the adapter as the selected family reads it.
uint32_t PhyIdForFamily(uint32_t id, uint32_t family)
{
    if (family == 5) {
        id &= 0xFF00;
        return id == 0x0A00 ? 0x0900 : id;
    }
    if (family == 6) return id & 1;
    return id;
}

}  // namespace

bool FwImage::IsPresent(uint32_t dirType)
{
    if (SelectedFamily() == 4) return IsPresent4(dirType);
    int32_t out = -1;
    return gpIFwUpgKv9->has_ext_dir_image(Host(), dirType, &out) == 0;
}

bool FwImage::DirectoryHolds(uint32_t dirType) const
{
    for (size_t i = 0; i < 16; ++i) {
        uint32_t flags = 0;
        if (Dword(6 + 3 * i, &flags) && (flags & 0xF0800003u) == dirType) return true;
    }
    return false;
}

bool FwImage::IsBootCodeForDevice()
{
    uint32_t dirType = 0;
    if (!isValidImageFormat(&dirType)) return Fail(imgcode::kNotBootOrMfw);
    const uint32_t tag = Tag();
    if (tag != kTagBc1 && tag != kTagBc2 && tag != kTagL2rx) return Fail(imgcode::kNotBootOrMfw);
    if (!isValidImageFormat(&dirType) || dirType == kAnyDirType) return Fail(imgcode::kUnknownOption);

    uint32_t version = 0, compat = 0;
    Dword(1, &version);
    if (version == 1) return true;
    if (version != 2 || !Dword(3, &compat)) return Fail(imgcode::kHeaderVersion);

    const uint32_t chipMask = compat & 0x00FF0000u;
    if (chipMask && !(chipMask & BootCodeChipMask())) return Fail(imgcode::kChipMask);
    const std::string phy = Toe("PHY_TYPE");
    if (phy != "SERDES" && phy != "COPPER") return Fail(imgcode::kMedia);
    const uint32_t media = compat & 0x0000FF00u;
    if (media && !(media & (phy == "SERDES" ? 0x200u : 0x100u))) return Fail(imgcode::kMedia);
    return true;
}

bool FwImage::IsMfwForDevice()
{
    const uint32_t family = SelectedFamily();
    uint32_t dirType = 0;
    if (!isValidImageFormat(&dirType)) return Fail(imgcode::kNotBootOrMfw);
    if (family == 5 && Tag() != kTagMfw1 && Tag() != kTagMfw2) return Fail(imgcode::kNotBootOrMfw);
    if (!isValidImageFormat(&dirType) || dirType == kAnyDirType) return Fail(imgcode::kUnknownOption);
    if (family != 5) return true;

    uint32_t compat = 0;
    Dword(3, &compat);
    const uint32_t chipMask = compat & 0x00FF0000u;
    if (chipMask == 0 || (chipMask & MfwChipMask())) return true;
    return Fail(imgcode::kChipMask);
}

bool FwImage::IsL2tForDevice()
{
    SetFuncNum();
    if (!HasMagic() || Tag() != kTagL2t) return Fail(imgcode::kNotIscsiOrL2t);
    int32_t index = -1;
    if (gpIFwUpgKv9->find_dir_entry(Host(), 0x70000000u, &index) != 0) return Fail(imgcode::kNotOnAdapter);
    return true;
}

bool FwImage::IsImageTypePresent()
{
    SetFuncNum();
    uint32_t dirType = 0;
    if (!isValidImageFormat(&dirType) || dirType == kAnyDirType) return Fail(imgcode::kUnknownOption);
    const uint32_t family = SelectedFamily();
    if (family == 6) return true;
    if (family != 4 && family != 5) return Fail(imgcode::kNotOnAdapter);
    if (IsPresent(dirType)) return true;
    const uint32_t did = SelectedDid();
    if (family == 5 && dirType == 0x20000000u && (did == 0x1662 || did == 0x1663 || did == 0x1651 || did == 0x1652))
        return true;
    return Fail(imgcode::kNotOnAdapter);
}

// The image's buffer as handed to engine operations that read it up to the NVRAM size: padded
// with zeros to that size, so that a short image is never read past its end.
const uint8_t* FwImage::ImageForEngine()
{
    const uint64_t nvmSize = ToeInt("NVM_SIZE");
    if (data_ == own_.data() && own_.size() < nvmSize + 4) {
        own_.resize(nvmSize + 4, 0);
        data_ = own_.data();
    }
    return data_;
}

bool FwImage::ImageIds(uint32_t* vid, uint32_t* did, uint32_t* svid, uint32_t* ssid, uint32_t* altDid)
{
    *vid = *did = *svid = *ssid = 0;
    *altDid = 0xFFFFFFFFu;
    const uint32_t family = SelectedFamily();
    if (family == 5) {
        const uint8_t* image = ImageForEngine();
        uint32_t w1 = 0, w2 = 0, w4 = 0;
        if (gpIFwUpgKv9->get_port_cfg_word(Host(), 1, image, &w1) != 0 ||
            gpIFwUpgKv9->get_port_cfg_word(Host(), 2, image, &w2) != 0 ||
            gpIFwUpgKv9->get_port_cfg_word(Host(), 4, image, &w4) != 0) {
            std::printf("Failed to read NVRAM\n");
            return Fail(imgcode::kNotFullImage);
        }
        *vid = w1 >> 16;
        *did = w1 & 0xFFFF;
        *svid = w2 & 0xFFFF;
        *ssid = w2 >> 16;
        *altDid = w4 & 0xFFFF;
        return true;
    }
    if (family != 4) return Fail(imgcode::kWrongFamily);

    const uint32_t chip = ChipNumber();
    const uint32_t port = g_CurNicInfo.get(yxmapi::nic::kPort);
    size_t first = 0;
    if (chip == 0x5706 || chip == 0x5708) first = 65;
    else if (chip == 0x5709 && port == 0) first = 85;
    else if (chip == 0x5709 && port == 1) first = 106;
    uint32_t a = 0, b = 0;
    if (first) {
        Dword(first, &a);
        Dword(first + 1, &b);
    }
    *vid = a >> 16;
    *did = a & 0xFFFF;
    *svid = b & 0xFFFF;
    *ssid = b >> 16;
    return true;
}

bool FwImage::IsFullNvmImageForDevice()
{
    SetFuncNum();
    if (imageType_ != kImgFullNvm || !FullImageCheck()) return Fail(imgcode::kNotFullImage);
    uint32_t vid, did, svid, ssid, altDid;
    if (!ImageIds(&vid, &did, &svid, &ssid, &altDid)) return false;
    const uint32_t adapterDid = SelectedDid();
    if (adapterDid != did && !(SelectedFamily() == 5 && adapterDid == altDid)) return Fail(imgcode::kPciIds);
    if (!ImagePresenceMatches()) return false;
    HostOps fresh;
    BuildHostOps(&fresh, interp_, 0);
    if (gpIFwUpgKv9->nvm_size(fresh) != static_cast<long>(size_)) return Fail(imgcode::kNvmSize);
    return true;
}

bool FwImage::ImagePresenceMatches()
{
    if (imageType_ != kImgFullNvm) return Fail(imgcode::kNotFullImage);
    const uint32_t family = SelectedFamily();
    auto same = [this](uint32_t dirType) { return IsPresent4(dirType) == DirectoryHolds(dirType); };

    if (!(g_FwUpgOptions & kFwUpgOptionSkipPresence)) {
        // 1. boot agent
        const bool mba = family == 4 ? same(0x10000000u)
                                     : gpIFwUpgKv9->mba_presence_matches(Host(), ImageForEngine()) == 1;
        if (!mba) return Fail(imgcode::kMbaPresence);
        // 2. management firmware
        if (!same(0x30000000u)) return Fail(imgcode::kUmpPresence);
        // 3. IPMI
        for (uint32_t t : {0x70000000u, 0x80000000u, 0x90000000u})
            if (!same(t)) return Fail(imgcode::kIpmiPresence);
        // 4. iSCSI boot; listed boards may gain the boot image
        for (uint32_t t : {0xD0000000u, 0xC0000000u, 0xB0000000u}) {
            const bool onAdapter = IsPresent4(t), inImage = DirectoryHolds(t);
            if (t == 0xD0000000u && inImage && !onAdapter &&
                IsIscsiExceptionBoard(g_CurPhyNic.get(yxmapi::phy::kVid), SelectedDid(),
                                      g_CurPhyNic.get(yxmapi::phy::kSvid), g_CurPhyNic.get(yxmapi::phy::kSsid)))
                break;
            if (onAdapter != inImage) return Fail(imgcode::kIscsiPresence);
        }
        // 5. FCoE boot
        if (family != 4) {
            if (family != 5 || gpIFwUpgKv9->feb_presence_matches(Host(), ImageForEngine()) != 1)
                return Fail(imgcode::kFcoePresence);
        }
        // 6. NCSI
        const bool ncsi = family == 4 ? same(0x40000000u)
                                      : gpIFwUpgKv9->ncsi_presence_matches(Host(), ImageForEngine()) == 1;
        if (!ncsi) return Fail(imgcode::kNcsiPresence);
        // 7. CCM
        const bool ccm = family == 4
                             ? same(0x40000001u)
                             : (gpIFwUpgKv9->image_presence_matches(Host(), ImageForEngine(), 0x90800003u) & 0xFF) != 0;
        if (!ccm) return Fail(imgcode::kCcmPresence);
    }
    // 8. PHY settings
    if (family == 4 && !PhySettingsMatch()) return Fail(imgcode::kMedia);
    return true;
}

bool FwImage::IsPresent4(uint32_t dirType)
{
    int32_t index = -1;
    return gpIFwUpgKv9->find_dir_entry(Host(), dirType, &index) == 0;
}

bool FwImage::PhySettingsMatch()
{
    constexpr uint32_t kReadAt = 268, kReadLength = 40, kSettingsAt = 292;
    uint8_t nvram[kReadLength] = {};
    HostOps h = Host();
    if (!h.nvmReadBlock || h.nvmReadBlock(h.devIndex, kReadAt, kReadLength, nvram, 1) != 0) return false;
    const uint32_t adapterSettings = uint32_t(nvram[kSettingsAt - kReadAt]) | uint32_t(nvram[kSettingsAt - kReadAt + 1]) << 8 |
                                     uint32_t(nvram[kSettingsAt - kReadAt + 2]) << 16 |
                                     uint32_t(nvram[kSettingsAt - kReadAt + 3]) << 24;
    uint32_t imageSettings = 0;
    if (!WordAt(kSettingsAt, &imageSettings) || (adapterSettings & 1) != (imageSettings & 1)) return false;

    const uint32_t chip = ChipNumber();
    const uint32_t port = g_CurNicInfo.get(yxmapi::nic::kPort);
    const uint32_t idAt = chip == 0x5709 ? (port == 1 ? 424 : 340) : 260;
    uint32_t idWord = 0;
    if (!WordAt(idAt, &idWord)) return false;
    const uint32_t imageDid = idWord & 0xFFFF;
    const bool serdesImage = imageDid == 0x163A || imageDid == 0x16AA || imageDid == 0x16AC;
    const std::string phy = Toe("PHY_TYPE");
    if (phy != "SERDES" && phy != "COPPER") return false;
    return serdesImage == (phy == "SERDES");
}

bool FwImage::IsFebForDevice()
{
    uint32_t dirType = 0;
    if (!isValidImageFormat(&dirType) ||
        (dirType != 0x20000001u && dirType != 0x10000001u && dirType != 0x40000001u))
        return Fail(imgcode::kNotFcoe);
    const uint32_t did = SelectedDid();
    if (SelectedFamily() != 5 || did == 0x164E || did == 0x164F || did == 0x1650) return Fail(imgcode::kWrongFamily);
    return IsImageTypePresent();
}

bool FwImage::IsNcsiForDevice()
{
    if (!NcsiBundleCheck()) return Fail(imgcode::kNcsiIncomplete);
    const NcsiScan scan = ScanNcsi(BootCodeChipMask(), false);
    const uint32_t family = SelectedFamily();
    bool complete = false;
    if (scan.newFormat) complete = scan.cm;
    else if (family == 4) complete = scan.cm && scan.lx;
    else if (family == 5) complete = scan.cm && scan.le;
    if (!complete) return Fail(imgcode::kNcsiIncomplete);
    return IsImageTypePresent();
}

bool FwImage::IsPhyImageForDevice(uint32_t)
{
    if (!HasMagic()) return Fail(imgcode::kNotPhy);
    const uint32_t code = PhyCodeOfTag(Tag());
    const uint32_t family = SelectedFamily();
    const uint32_t id1 = PhyIdForFamily(g_CurNicInfo.get(yxmapi::nic::kExtPhyId1), family);
    const uint32_t id2 = PhyIdForFamily(g_CurNicInfo.get(yxmapi::nic::kExtPhyId2), family);
    if (code == id1 || code == id2) return true;
    return Fail(imgcode::kNotPhy);
}

bool FwImage::IsCcmForDevice()
{
    const uint32_t family = SelectedFamily();
    if (family == 4 || family == 5) {
        uint32_t dirType = 0;
        if (!isValidImageFormat(&dirType) || dirType != (family == 4 ? 0x40000001u : 0x90800003u))
            return Fail(imgcode::kNotCcm);
    }
    if (IsImageTypePresent()) return true;
    if (error_ != imgcode::kNotOnAdapter) return false;
    error_ = imgcode::kNone;  // an adapter without the CCM image may receive one
    return true;
}

bool FwImage::isMBIValidForDevice()
{
    const uint32_t family = SelectedFamily();
    if (family != 5 && family != 6) return Fail(imgcode::kBadPackage);
    FwPackage package(path_.c_str(), static_cast<uint16_t>(ToeInt("VID")), static_cast<uint16_t>(ToeInt("DID")),
                      static_cast<uint16_t>(ToeInt("SVID")), static_cast<uint16_t>(ToeInt("SSID")),
                      LargestFile(kImgMbi));
    error_ = package.Validate();
    // The image's own code becomes 126 where a caller reports it: say here what the package lacks.
    if (error_ != 0)
        LogDebugMsg(DBG_DEBUG, "FwImage::isMBIValidForDevice(): %s is no package for this adapter: %s (code %u).",
                    path_.c_str(), imgcode::Text(error_), error_);
    return error_ == 0;
}

bool FwImage::GetPackageVersion(uint32_t* version, uint32_t* date)
{
    const uint32_t family = SelectedFamily();
    if (family != 5 && family != 6) return Fail(imgcode::kBadPackage);
    FwPackage package(path_.c_str(), static_cast<uint16_t>(ToeInt("VID")), static_cast<uint16_t>(ToeInt("DID")),
                      static_cast<uint16_t>(ToeInt("SVID")), static_cast<uint16_t>(ToeInt("SSID")),
                      LargestFile(kImgMbi));
    error_ = package.Validate();
    uint32_t v = 0, d = 0;
    package.GetVersionAndDate(&v, &d);
    if (family == 5) v <<= 8;
    if (version) *version = v;
    if (date) *date = d;
    return error_ == 0;
}

}  // namespace fwupg
