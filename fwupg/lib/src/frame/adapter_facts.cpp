// SetSelectedNIC: publishes the selected adapter's facts in ::toe (and ::sys(DISP_BYTE)) for the
// engines and the image checks, which read their view of the adapter only from there.
#include <tcl.h>

#include <cstdio>
#include <string>

#include "fwupg/bkv9_helper.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "fwupg/yxmapi_client.h"

namespace {

constexpr uint32_t kChip5709 = 0x5709;
constexpr uint32_t kRegPhyStrap = 0x808;
constexpr uint32_t kRegPhyConfig = 0x8EC;
constexpr uint32_t kRegVaux = 0x40C;
constexpr uint32_t kExtDirVpdType = 0xA0000001u;

void set_text(Tcl_Interp* interp, const char* array, const char* name, const std::string& value)
{
    Tcl_SetVar2(interp, array, name, value.c_str(), TCL_GLOBAL_ONLY);
}

void set_int(Tcl_Interp* interp, const char* name, Tcl_WideInt value)
{
    Tcl_SetVar2Ex(interp, "::toe", name, Tcl_NewWideIntObj(value), TCL_GLOBAL_ONLY);
}

void set_toe(Tcl_Interp* interp, const char* name, const std::string& value)
{
    set_text(interp, "::toe", name, value);
}

// The first four steps shared by the current families.
void set_current_family_common(Tcl_Interp* interp, uint32_t port)
{
    set_toe(interp, "NVM_TYPE", "NONBUFFERED");
    if (port == 1) set_toe(interp, "PORT0", "0");
    set_toe(interp, "PHY_TYPE", "SERDES");
    set_toe(interp, "PORT_CNT", std::to_string(g_CurNicInfo.get(yxmapi::nic::kPortCount)));
}

// Family 4: PHY type and VAUX from chip registers, only while the driver gives access.
uint32_t set_legacy_facts(Tcl_Interp* interp, uint32_t chipNum, uint32_t port)
{
    if (chipNum == kChip5709) {
        set_toe(interp, "NVM_TYPE", "NONBUFFERED");
        if (port == 1) set_toe(interp, "PORT0", "0");
    }
    if (!fwupg::SelectedHasDriverAccess()) return BKV9_OK;
    const uint32_t handle = fwupg::SelectedApiHandle();
    // A failed read leaves its register 0, so the rule below never sees stale stack contents.
    uint32_t strap = 0, config = 0;
    fwupg::yx::ReadRegister(handle, kRegPhyStrap, &strap);
    fwupg::yx::ReadRegister(handle, kRegPhyConfig, &config);
    const char* phy = fwupg::LegacyPhyType(strap, config, port);
    if (!phy) {
        ConsolePrint(0, "Unknown media_type = %u\n", 255u);
        return BKV9_UNKNOWN_ADAPTER;
    }
    set_toe(interp, "PHY_TYPE", phy);
    uint32_t vaux = 0;
    if (fwupg::yx::ReadRegister(handle, kRegVaux, &vaux) != 0) return BKV9_READ_FAILED;
    set_int(interp, "VAUX_PRESET", (vaux >> 30) & 1u);
    return BKV9_OK;
}

}  // namespace

namespace fwupg {

const char* LegacyPhyType(uint32_t r, uint32_t s, uint32_t port)
{
    static constexpr const char* kCopper = "COPPER";
    static constexpr const char* kSerdes = "SERDES";
    if ((r & 0xFFFF0000u) != 0x57090000u) return (r & 1u) ? kSerdes : kCopper;
    switch (s & 0xFu) {
    case 3:
    case 8:
        return kCopper;
    case 9:
    case 12:
        return kSerdes;
    case 0: {
        const uint32_t m = (s & (1u << 25)) ? (s >> 21) & 7u : (s >> 8) & 7u;
        if (m == 7) return nullptr;
        if (port == 0) return m >= 4 ? kSerdes : kCopper;
        return (m == 1 || m == 2 || m == 4) ? kSerdes : kCopper;
    }
    default:
        return nullptr;
    }
}

std::string ChipRevision(uint32_t chipId, uint32_t family)
{
    const uint32_t n = (chipId >> 8) & 0xFu;
    char first = static_cast<char>('A' + n);
    if (family == yxmapi::kFamilyLegacy) {
        if (n == 15) first = 'F';
        if (n == 14) first = 'I';
    }
    const char second = static_cast<char>(static_cast<unsigned char>(('0' + (chipId & 0xFFu)) % 256));
    return std::string{first, second};
}

}  // namespace fwupg

uint32_t Bkv9Helper::SetToeVars57710(HostOps* ops)
{
    Tcl_Interp* interp = ops->interp;
    set_current_family_common(interp, g_CurNicInfo.get(yxmapi::nic::kPort));
    ops->devIndex = m_devIndex;
    HostOps copy = *ops;
    int32_t index = -1;
    const bool present = gpIFwUpgKv9->has_ext_dir_image(copy, kExtDirVpdType, &index) == 0;
    Tcl_SetVar2(interp, "::toe", "IS_VPD_IMAGE", present ? "1" : "0", TCL_GLOBAL_ONLY);
    return BKV9_OK;
}

uint32_t Bkv9Helper::SetToeVarsE4(HostOps* ops)
{
    Tcl_Interp* interp = ops->interp;
    set_current_family_common(interp, g_CurNicInfo.get(yxmapi::nic::kPort));
    yxmapi::MfwInfo mfw{};
    if (fwupg::yx::GetMfwInfo(fwupg::SelectedApiHandle(), &mfw) == 0) {
        int a = 0, b = 0, c = 0, d = 0;
        std::string text(mfw.get(yxmapi::mfw::kVersion));
        std::sscanf(text.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
        set_int(interp, "ACTIVE_BUNDLE", static_cast<int32_t>(mfw.get(yxmapi::mfw::kActiveBundle)));
        const uint32_t running = (uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8) | uint32_t(d);
        set_int(interp, "RUNNING_MFW_VER", static_cast<int32_t>(running));
    }
    Tcl_SetVar2(interp, "::toe", "IS_VPD_IMAGE", "1", TCL_GLOBAL_ONLY);
    return BKV9_OK;
}

uint32_t SetSelectedNIC(HostOps* ops)
{
    Tcl_Interp* interp = ops->interp;
    if (!interp) return BKV9_UNKNOWN_ADAPTER;
    // Facts of a previously selected adapter must not survive into this one's command.
    Tcl_UnsetVar2(interp, "::toe", nullptr, TCL_GLOBAL_ONLY);
    Tcl_UnsetVar2(interp, "::sys", "DISP_BYTE", TCL_GLOBAL_ONLY);

    using namespace yxmapi;
    const uint32_t family = g_CurPhyNic.get(phy::kFamily);
    const uint32_t chipId = g_CurPhyNic.get(phy::kChipId);
    const uint32_t chipNum = chipId >> 12;
    const uint32_t flash = g_CurNicInfo.get(nic::kFlashWord);
    const uint32_t port = g_CurNicInfo.get(nic::kPort);
    const uint32_t did = g_CurPhyNic.get(phy::kDid);

    set_int(interp, "DEV", 0);
    set_int(interp, "NVM_SIZE", flash & nic::kFlashSizeMask);
    set_toe(interp, "FUNC_NUM", std::to_string(g_CurPhyNic.get(phy::kPciFunction)));
    set_int(interp, "CHIP_NUM", chipNum);
    set_toe(interp, "NVM_TYPE", (flash & nic::kFlashBuffered) ? "BUFFERED" : "NONBUFFERED");
    set_int(interp, "VID", g_CurPhyNic.get(phy::kVid));
    set_int(interp, "DID", did);
    set_int(interp, "SVID", g_CurPhyNic.get(phy::kSvid));
    set_int(interp, "SSID", g_CurPhyNic.get(phy::kSsid));
    set_toe(interp, "PORT0", "1");
    set_text(interp, "::sys", "DISP_BYTE", "0");
    set_int(interp, "BOARD", Bkv9Helper::BoardFromDeviceId(did));

    uint32_t status;
    switch (family) {
    case kFamilyLegacy:
        status = set_legacy_facts(interp, chipNum, port);
        break;
    case kFamily57710:
        status = g_Bkv9Helper.SetToeVars57710(ops);
        break;
    case kFamilyE4:
        status = g_Bkv9Helper.SetToeVarsE4(ops);
        break;
    default:
        return BKV9_UNKNOWN_ADAPTER;
    }
    if (status != BKV9_OK) return status;
    set_toe(interp, "CHIP_REV", fwupg::ChipRevision(chipId, family));
    return BKV9_OK;
}
