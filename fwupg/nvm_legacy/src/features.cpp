// Feature-level settings of a legacy adapter (wake-on-LAN, boot agent, management firmware, PCI
// Express options, VPD texts) from the shell's cfg request, their display, and the image presence
// tests. A setting is written with the configuration record's block writer and ends with "_reset".
#include "fwupg/nvm_legacy/features.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/formats/vpd.h"
#include "fwupg/nvm_legacy/directory.h"
#include "toe_context.h"

namespace {

constexpr uint32_t DIR_MBA = 0x10000000u, DIR_UMP = 0x30000000u, DIR_NCSI = 0x40000000u;
constexpr uint32_t DIR_IPMI_CFG = 0x70000000u, DIR_IPMI_INIT = 0x80000000u, DIR_IPMI_SERV = 0x90000000u;
constexpr uint32_t VPD_AT = 0x300, VPD_LEN = 256;
constexpr size_t V0_MAX = 16;

bool present(const HostOps& ops, uint32_t dir_type)
{
    int index = 0;
    return toe_nvm_find_dir_entry(ops, dir_type, &index) == 0;
}

bool board_in(int board, std::initializer_list<int> boards)
{
    for (int b : boards)
        if (b == board)
            return true;
    return false;
}

bool serdes(const HostOps& ops) { return toe::toe_var(ops, "PHY_TYPE") == "SERDES"; }

// The request as the legacy engine reads it: the value from the start of the third word.
uint8_t value_u8(const cfg_request& r) { return uint8_t(r.value); }

enum class outcome { done, unsupported, refused };

// One feature of a request: the boards it exists on and what it changes.
struct feature_row {
    uint32_t code;
    uint32_t block;   // the record blocks the change lives in
    outcome (*apply)(const HostOps& ops, int board, const cfg_request& r, toe_cfg_record& rec);
};

outcome set_mac(const HostOps&, int, const cfg_request& r, toe_cfg_record& rec)
{
    std::memcpy(rec.f1, reinterpret_cast<const uint8_t*>(&r) + offsetof(cfg_request, value2), sizeof rec.f1);
    return outcome::done;
}

outcome set_boot_agent(const HostOps&, int, const cfg_request& r, toe_cfg_record& rec)
{
    rec.f21 = value_u8(r);
    return outcome::done;
}

outcome set_management(const HostOps&, int, const cfg_request& r, toe_cfg_record& rec)
{
    rec.f29 = value_u8(r);
    return outcome::done;
}

outcome set_wol(const HostOps& ops, int, const cfg_request& r, toe_cfg_record& rec)
{
    if (r.value != 0 && toe_wol_enable_refused(ops, rec))
        return outcome::refused;
    rec.f17 = value_u8(r);
    return outcome::done;
}

outcome set_fiber_2g5(const HostOps& ops, int board, const cfg_request& r, toe_cfg_record& rec)
{
    if (!board_in(board, {5708, 5709, 5716, 57728}) || !serdes(ops) || rec.f14 != 1)
        return outcome::unsupported;
    rec.f40 = value_u8(r);
    return outcome::done;
}

outcome set_pcie_gen2(const HostOps&, int board, const cfg_request& r, toe_cfg_record& rec)
{
    if (board != 5709)
        return outcome::unsupported;
    rec.f61 = value_u8(r);
    return outcome::done;
}

outcome set_boot_protocol(const HostOps&, int, const cfg_request& r, toe_cfg_record& rec)
{
    rec.f23 = uint16_t(r.value);
    return outcome::done;
}

outcome set_no_l1(const HostOps&, int board, const cfg_request& r, toe_cfg_record& rec)
{
    if (!board_in(board, {5708, 5709, 5716}))
        return outcome::unsupported;
    rec.f75 = value_u8(r);
    return outcome::done;
}

outcome set_vaux(const HostOps&, int board, const cfg_request& r, toe_cfg_record& rec)
{
    if (board != 5709)
        return outcome::unsupported;
    rec.f36 = rec.f48 = value_u8(r);
    return outcome::done;
}

outcome set_v0(const HostOps&, int, const cfg_request& r, toe_cfg_record& rec)
{
    const char* text = static_cast<const char*>(r.data);
    if (!text)
        return outcome::unsupported;
    if (strnlen(text, V0_MAX + 1) > V0_MAX) {
        fwupg_dbg_printf("VPD V0 string = %.64s is too long.\n", text);
        return outcome::refused;
    }
    std::memset(rec.vpd.v0, 0, sizeof rec.vpd.v0);
    std::memcpy(rec.vpd.v0, text, std::strlen(text));
    return outcome::done;
}

outcome set_yb(const HostOps&, int, const cfg_request& r, toe_cfg_record& rec)
{
    const auto* data = static_cast<const uint8_t*>(r.data);
    if (!data)
        return outcome::unsupported;
    // The record holds 128 YB bytes; a longer request cannot be stored whole.
    if (data[0] > sizeof rec.vpd.yb) {
        fwupg_dbg_printf("VPD YB data of %u bytes is too long.\n", unsigned(data[0]));
        return outcome::refused;
    }
    std::memset(rec.vpd.yb, 0, sizeof rec.vpd.yb);
    rec.vpd.yb_len = data[0];
    std::memcpy(rec.vpd.yb, data + 1, data[0]);
    return outcome::done;
}

constexpr feature_row FEATURES[] = {
    {0x2, TOE_CFG_HW_INFO, set_mac},
    {0x4, TOE_CFG_FEAT_INFO, set_boot_agent},
    {0x8, TOE_CFG_FEAT_INFO, set_management},
    {0x10, TOE_CFG_FEAT_INFO, set_management},
    {0x20, TOE_CFG_FEAT_INFO, set_management},
    {0x40, TOE_CFG_FEAT_INFO, set_wol},
    {0x100, TOE_CFG_HW_INFO, set_fiber_2g5},
    {0x200, TOE_CFG_HW_INFO, set_pcie_gen2},
    {0x1000, TOE_CFG_FEAT_INFO, set_boot_protocol},
    {0x2000, TOE_CFG_HW_INFO, set_no_l1},
    {0x1000000, TOE_CFG_HW_INFO, set_vaux},
    {0x2000000, TOE_CFG_VPD, set_v0},
    {0x8000000, TOE_CFG_VPD, set_yb},
};

void unsupported_message() { fwupg_dbg_printf("This feature is not supported by the NIC.\n"); }

// Writes the changed blocks and marks the adapter for a reset. A write that failed is a failed
// setting (last error 18), and no reset is asked for.
int write_and_reset(const HostOps& ops, const toe_cfg_record& rec, uint32_t mask)
{
    if (mask != 0 && toe_nvm_write_cfg(ops, &rec, mask) != 0) {
        toe::set_error(ops, toe::ERR_WRITE);
        return 1;
    }
    if (ops.tclEval)
        ops.tclEval(ops.interp, "_reset");
    return 0;
}

}  // namespace

bool toe_wol_rule_refuses(int board, bool serdes, int vaux, uint8_t design)
{
    return board_in(board, {5706, 5708, 5709, 5716, 57728}) && (vaux == 0 || (serdes && design == 0));
}

bool toe_wol_enable_refused(const HostOps& ops, const toe_cfg_record& rec)
{
    const int vaux = std::atoi(toe::toe_var(ops, "VAUX_PRESET").c_str());
    if (!toe_wol_rule_refuses(toe::board(ops), serdes(ops), vaux, rec.f14))
        return false;
    fwupg_dbg_printf("The WOL can't be enabled for this device\n");
    return true;
}

int toe_nvm_mba_present(HostOps ops) { return present(ops, DIR_MBA) ? 1 : 0; }
int toe_nvm_ump_present(HostOps ops) { return present(ops, DIR_UMP) ? 1 : 0; }
int toe_nvm_ncsi_present(HostOps ops) { return present(ops, DIR_NCSI) ? 1 : 0; }

int toe_nvm_ipmi_present(HostOps ops)
{
    if (!present(ops, DIR_IPMI_CFG) || !present(ops, DIR_IPMI_INIT))
        return 0;
    // The dual-function boards run IPMI without a service image.
    if (!toe::board_is_dual(toe::board(ops)) && !present(ops, DIR_IPMI_SERV))
        return 0;
    return 1;
}

int set_nvm_wol(HostOps ops, uint32_t enable)
{
    toe_cfg_record rec{};
    if (toe::board(ops) == 0 || toe_nvm_read_cfg(ops, &rec) != 0)
        return 1;
    // A refused enable changes nothing and is reported as not done.
    if (enable != 0 && toe_wol_enable_refused(ops, rec))
        return 1;
    rec.f17 = uint8_t(enable);
    return write_and_reset(ops, rec, TOE_CFG_FEAT_INFO);
}

int set_nvm_cfg(HostOps ops, cfg_request* request)
{
    const int board = toe::board(ops);
    toe_cfg_record rec{};
    if (!request || board == 0 || toe_nvm_read_cfg(ops, &rec) != 0)
        return 1;
    const uint32_t code = uint32_t(request->option_flag);
    uint32_t mask = 0;
    bool known = false;
    for (const feature_row& f : FEATURES) {
        if (!(code & f.code))
            continue;
        known = true;
        switch (f.apply(ops, board, *request, rec)) {
        case outcome::done: mask |= f.block; break;
        case outcome::unsupported: unsupported_message(); return 1;
        case outcome::refused: return 1;
        }
    }
    // A request this engine has no setting for (such as a numbered option) changes nothing, and
    // saying so is the only honest answer.
    if (!known) {
        unsupported_message();
        return 1;
    }
    return write_and_reset(ops, rec, mask);
}

int show_nvm_cfg(HostOps ops, cfg_request* request)
{
    toe_cfg_record rec{};
    if (const int rc = toe_nvm_read_cfg(ops, &rec))
        return rc;
    if (!request)
        return 1;
    switch (request->value) {
    case 0:
        if (toe_nvm_mba_present(ops))
            fwupg_dbg_printf("mba/pxe: %d\n", rec.f21);
        else
            fwupg_dbg_printf("mba/pxe firmware not found in the NVRAM\n");
        if (toe_nvm_ipmi_present(ops) || toe_nvm_ump_present(ops) || toe_nvm_ncsi_present(ops))
            fwupg_dbg_printf("mgmt(ncsi/ump/ipmi): %d\n", rec.f29);
        else
            fwupg_dbg_printf("management firmware not found in the NVRAM\n");
        fwupg_dbg_printf("wol: %d\n", rec.f17);
        if (rec.vpd.v0[0])
            fwupg_dbg_printf("VPD (V0): %s\n", rec.vpd.v0);
        return 0;
    case 2: fwupg_dbg_printf("MBA Boot Protocol: %d\n", rec.f23); return 0;
    case 8: fwupg_dbg_printf("No L1 Entry: %d\n", rec.f75); return 0;
    case 4096:
        fwupg_dbg_printf("Vaux Current Overdraw: %d\nAllow Gigabit Link on Vaux: %d\n", rec.f36, rec.f48);
        return 0;
    case 8192:
        if (rec.vpd.v0[0])
            fwupg_dbg_printf("VPD (V0): %s\n", rec.vpd.v0);
        return 0;
    case 0x8000:
        if (rec.vpd.yb_len) {
            std::string line = "VPD (YB): ";
            char item[8];
            for (unsigned i = 0; i < rec.vpd.yb_len && i < sizeof rec.vpd.yb; ++i) {
                std::snprintf(item, sizeof item, "0x%x ", rec.vpd.yb[i]);
                line += item;
            }
            fwupg_dbg_printf("%s\n", line.c_str());
        }
        return 0;
    case 0x40000: {
        int ids[4] = {};
        const char* names[4] = {"VID", "DID", "SVID", "SSID"};
        for (int i = 0; i < 4; ++i) {
            Tcl_Obj* v = ops.interp ? Tcl_GetVar2Ex(ops.interp, "::toe", names[i], TCL_GLOBAL_ONLY) : nullptr;
            if (v)
                Tcl_GetIntFromObj(nullptr, v, &ids[i]);
        }
        fwupg_dbg_printf("%X, %X, %X, %X\n", ids[0], ids[1], ids[2], ids[3]);
        return 0;
    }
    default: fwupg_dbg_printf("Invalid option specified.\n"); return 1;
    }
}

uint32_t toe_nvm_vpd_strings(uint32_t dev, char* mn, char* v0)
{
    HostOps ops;
    if (!get_current_host_ops(&ops))
        return HOST_NO_ACCESS;
    uint8_t image[VPD_LEN];
    // Read as the configuration record reads it, so that the parser sees the VPD's own byte order.
    const uint32_t rc = toe::read_block(ops, dev, VPD_AT, VPD_LEN, image);
    if (rc != 0)
        return rc;
    vpd_info info{};
    vpd_parse_image(&info, image, 0);
    if (mn)
        std::memcpy(mn, info.mn, sizeof info.mn);
    if (v0)
        std::memcpy(v0, info.v0, sizeof info.v0);
    return 0;
}
