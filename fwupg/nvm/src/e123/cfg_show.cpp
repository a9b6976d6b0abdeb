// Display of single options of the E1-E3 configuration set, and the wake-on-LAN switch.
#include <cstring>
#include <memory>
#include <vector>

#include "e123/cfg_words.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/board_vpd.h"
#include "fwupg/nvm/e123/cfg.h"
#include "fwupg/nvm/e123/cfg_editor.h"
#include "fwupg/nvm/e123/queries.h"
#include "fwupg/nvm/formats/vpd_table.h"

namespace {

using namespace fwupg::nvm::cfgw;

void show_mac(const char* label, const uint8_t* rec, uint32_t word)
{
    uint32_t hi = get(rec, word), lo = get(rec, word + 4);
    fwupg_dbg_printf("%s: %2.2X:%2.2X:%2.2X:%2.2X:%2.2X:%2.2X\n", label, (hi >> 8) & 0xFF, hi & 0xFF,
                     lo >> 24, (lo >> 16) & 0xFF, (lo >> 8) & 0xFF, lo & 0xFF);
}

// The VPD image of the extended directory (host view, without its CRC word), or false.
bool ext_vpd_image(const HostOps& ops, std::vector<uint8_t>* out, bool report, const char* label)
{
    uint32_t off = 0, len = 0;
    if (!common_nvm_vpd_in_ext_dir(ops, &off, &len) || len < 4)
        return false;
    out->assign(len - 4, 0);
    if (common_nvm_read(off + 4, out->data(), len - 4, 1) != 0) {
        if (report)
            fwupg_dbg_printf("VPD (%s): failed to dump nvm \n", label);
        out->clear();
    }
    return true;
}

void show_v0(const HostOps& ops, const uint8_t* rec)
{
    std::vector<uint8_t> image;
    if (ext_vpd_image(ops, &image, true, "V0")) {
        if (!image.empty())
            vpd_print_field(image.data(), uint32_t(image.size()), "V0");
        return;
    }
    char text[18] = {};
    std::memcpy(text, rec + 696, 17);
    if (text[0])
        fwupg_dbg_printf("VPD (V0): %s\n", text);
}

void show_yb(const HostOps& ops)
{
    std::vector<uint8_t> image;
    auto table = std::make_unique<vpd_field_table>();
    std::string error;
    const vpd_field* yb = nullptr;
    // The image is read without its header word, which the table parser expects first.
    if (ext_vpd_image(ops, &image, false, "YB") && !image.empty()) {
        image.insert(image.begin(), 4, 0);
        if (fwupg::nvm::vpd_table_from_image(image.data(), uint32_t(image.size()), table.get(), &error) == 0)
            yb = fwupg::nvm::vpd_table_find(table.get(), "YB");
    }
    if (!yb) {
        fwupg_dbg_printf("VPD (YB): Does not exist.\n");
        return;
    }
    fwupg_dbg_printf("VPD (YB): ");
    for (uint32_t i = 0; i < yb->length && i < sizeof yb->data; ++i)
        fwupg_dbg_printf("0x%x ", yb->data[i]);
    fwupg_dbg_printf("\n");
}

void show_summary(HostOps ops, const uint8_t* rec)
{
    const uint32_t w464 = get(rec, 464);
    if (!common_nvm_mba_present(ops))
        fwupg_dbg_printf("mba/pxe firmware not found in the NVRAM\n");
    else
        fwupg_dbg_printf("mba/pxe: %d\n", int((w464 >> 25) & 1));
    fwupg_dbg_printf("dcbx: %d\n", int((w464 >> 8) & 1));
    if (!common_nvm_ipmi_present(ops) && !common_nvm_ump_present(ops) && !common_nvm_ncsi_present(ops) &&
        !common_nvm_mfw_pair_present())
        fwupg_dbg_printf("management firmware not found in the NVRAM\n");
    else
        fwupg_dbg_printf("mgmt(mfw/ncsi/ump/ipmi): %d\n", int((w464 >> 26) & 1));
    fwupg_dbg_printf("wol: %d\n", int((w464 >> 24) & 1));
    show_v0(ops, rec);
    fwupg_dbg_printf("shadow_swim: %d\n", int((get(rec, 6212) >> 8) & 1));
}

// One display code; 1 for a code that shows nothing.
int show_code(HostOps ops, const uint8_t* rec, const cfg_request& r, uint32_t mode)
{
    switch (r.value) {
    case 0: show_summary(ops, rec); return 0;
    case 1: show_mac("Backup MAC Address", rec, 452); return 0;
    case 2: fwupg_dbg_printf("MBA Boot Protocol: %d\n", int(get_field(rec, 472, 0, 3))); return 0;
    case 4: fwupg_dbg_printf("MFW WOL Speed: %d\n", int(get_field(rec, 500, 16, 4))); return 0;
    case 16: return common_nvm_cfg_show_param(rec, r.option_num);
    case 32: show_mac("iSCSI MAC Address", rec, 84); return 0;
    case 64: fwupg_dbg_printf("Optic Module Verdor Enforcement: %d\n", int(get_field(rec, 464, 29, 3))); return 0;
    case 128: fwupg_dbg_printf("Prevent FCoE: %d\n", int(get_field(rec, 460, 12, 1))); return 0;
    case 256: fwupg_dbg_printf("SRIOV Hide Menu: %d\n", int(get_field(rec, 6212, 9, 1))); return 0;
    case 512: fwupg_dbg_printf("SRIOV: %d\n", int(get_field(rec, 36, 30, 1))); return 0;
    case 1024: {
        if (afex_mode(rec)) {
            fwupg_dbg_printf("AFEX mode does not support VF per PF.\n");
            return 0;
        }
        int mf = mf_mode(rec, mode);
        uint32_t vfs = mf == 0 ? get(rec, 400) : mf == 1 ? get(rec, 920) : 0;
        fwupg_dbg_printf("number of VFs per PF: %d\n", int(vfs));
        return 0;
    }
    case 2048: fwupg_dbg_printf("Prevent iSCSI: %d\n", int(get_field(rec, 460, 14, 1))); return 0;
    case 8192: show_v0(ops, rec); return 0;
    case 16384: fwupg_dbg_printf("REVID CTL: %d\n", int(get_field(rec, 6212, 12, 2))); return 0;
    case 32768: show_yb(ops); return 0;
    case 0x10000: {
        uint32_t w = get(rec, 6256);
        fwupg_dbg_printf("Manufacture Kit ver: %02d:%02d:%02d:%02d:%02d\n", int((w >> 24) & 63), int((w >> 18) & 63),
                         int((w >> 12) & 63), int((w >> 6) & 63), int(w & 63));
        return 0;
    }
    case 0x20000: {
        uint32_t w = get(rec, 6260);
        fwupg_dbg_printf("Manufacture Date: %02d:%02d:%02d\n", int((w >> 12) & 63), int((w >> 6) & 63), int(w & 63));
        return 0;
    }
    case 0x40000:
        fwupg_dbg_printf("%X, %X, %X, %X\n", unsigned(fwupg::nvm::toe_long("VID")),
                         unsigned(fwupg::nvm::toe_long("DID")), unsigned(fwupg::nvm::toe_long("SVID")),
                         unsigned(fwupg::nvm::toe_long("SSID")));
        return 0;
    case 0x80000: fwupg_dbg_printf("ASPM Support: %d\n", int(get_field(rec, 40, 21, 2))); return 0;
    case 0x100000: fwupg_dbg_printf("MCP crash dump trigger: %d\n", int(get(rec, 6264) & 0x7FFFFFFF)); return 0;
    case 0x200000:
        fwupg_dbg_printf("Override Rx signal detect threshold: %d\n", int(get_field(rec, 6224, 20, 1)));
        return 0;
    case 0x800000: fwupg_dbg_printf("EEE Power Mode: %d\n", int(get(rec, 512))); return 0;
    case 0x8000000: fwupg_dbg_printf("Force SF Mode: %d\n", int(get_field(rec, 460, 8, 3))); return 0;
    default: fwupg_dbg_printf("Invalid option specified.\n"); return 1;
    }
}

}  // namespace

extern "C" {

int show_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode)
{
    try {
        if (!request)
            return 1;
        fwupg::HostOpsScope scope(&ops);
        auto set = std::make_unique<fwupg::nvm::CfgSet>();
        int rc = set->read();
        if (rc != 0)
            return rc;
        return show_code(ops, set->record, *request, mode);
    } catch (...) {
        return 1;
    }
}

int common_nvm_set_cfg_bit24(HostOps ops, uint32_t on)
{
    try {
        fwupg::HostOpsScope scope(&ops);
        auto set = std::make_unique<fwupg::nvm::CfgSet>();
        if (set->read() != 0 || (put_bit(set->record, 464, 24, on != 0), set->write() != 0)) {
            fwupg_dbg_printf("Error, new config updates not saved.\n");
            return 1;
        }
        if (ops.tclEval && ops.interp)
            ops.tclEval(ops.interp, "_reset");
        return 0;
    } catch (...) {
        return 1;
    }
}

}  // extern "C"
