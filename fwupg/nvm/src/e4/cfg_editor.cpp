// The "cfg" requests and the configuration display of an E4 adapter, and the MBI downgrade guard.
// NVM_CFG1 is read once into a zero-filled buffer of at least 4240 bytes, changed in memory and
// written back once, only when every request succeeded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "fwupg/fw_package.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/e4/cfg_editor.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/program.h"
#include "fwupg/nvm/e4/vpd.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::e4;

namespace {

// A field of the current port's block (or of port `p`).
struct PortField {
    uint32_t word, lo, width;
};
constexpr PortField kEeeMode{149, 16, 8}, kFecForce{146, 17, 3}, kFecAn{146, 20, 3}, kOrvatix{146, 23, 1};
constexpr PortField kWord142Bits16{142, 16, 4}, kWord142Bits8{142, 8, 8};
constexpr uint32_t kSriovBit = 0 * 32 + 29;

uint32_t current_port()
{
    uint32_t port = 0;
    common_nvm_get_port(&port);
    return port;
}

uint32_t port_bit(uint32_t port, const PortField& f) { return (f.word + kPortBlockWords * port) * 32 + f.lo; }

// Sets a port field; false (nothing written) for a port beyond the four blocks.
bool set_port_field(std::vector<uint8_t>& cfg, uint32_t port, const PortField& f, uint32_t value)
{
    if (port >= kPorts) return false;
    cfg_field_set(cfg.data(), uint32_t(cfg.size()), port_bit(port, f), f.width, value);
    return true;
}

uint32_t get_port_field(const std::vector<uint8_t>& cfg, const PortField& f)
{
    return cfg_field_get(cfg.data(), uint32_t(cfg.size()), port_bit(current_port(), f), f.width);
}

int set_vpd_keyword(const char* keyword, const cfg_request& r)
{
    const int rc = common_nvm_e4_set_vpd_field(keyword, r.data ? static_cast<const char*>(r.data) : "");
    if (rc != 0) fwupg_dbg_printf("Failed to program VPD %s into Extended VPD.\n", keyword);
    return rc;
}

// One request on the buffer: 0, or the failure that ends the run.
int apply(std::vector<uint8_t>& cfg, const cfg_request& r, uint32_t all)
{
    const uint32_t port = current_port();
    switch (r.option_flag) {
    case 0x4000: {
        uint32_t value = r.value;
        return e4_cfg_option(cfg.data(), r.option_num, &value, 1, int(all));
    }
    case 0x2000000:
        return set_vpd_keyword("V0", r);
    case 0x200000000:
        return set_vpd_keyword("V9", r);
    case 0x2: {
        // Each port's MAC lives in the function block of its first function.
        if (port >= kPorts) return -1;
        const uint32_t block = (port >> 1) | ((port & 1) << 3);
        const uint32_t word = 740 + kFuncBlockWords * block;
        cfg_field_set(cfg.data(), uint32_t(cfg.size()), word * 32, 32, r.value2);
        cfg_field_set(cfg.data(), uint32_t(cfg.size()), (word + 1) * 32, 32, r.value3);
        return 0;
    }
    case 0x20000:
        return set_port_field(cfg, port, kWord142Bits16, r.value) ? 0 : -1;
    case 0x200000:
        cfg_field_set(cfg.data(), uint32_t(cfg.size()), kSriovBit, 1, r.value);
        return 0;
    case 0x400000000:
        return set_port_field(cfg, port, kWord142Bits8, r.value) ? 0 : -1;
    case 0x800000000: {
        if (!e4_cfg_option_valid(193, r.value)) return -1;
        const uint32_t ports = common_nvm_get_port_cnt();
        if (ports > kPorts) return -1;
        for (uint32_t p = 0; p < ports; ++p)
            set_port_field(cfg, p, kEeeMode, r.value);
        return 0;
    }
    case 0x1000000000:
        return e4_cfg_option_valid(145, r.value) && set_port_field(cfg, port, kFecForce, r.value) ? 0 : -1;
    case 0x2000000000:
        return e4_cfg_option_valid(212, r.value) && set_port_field(cfg, port, kFecAn, r.value) ? 0 : -1;
    case 0x4000000000:
        return e4_cfg_option_valid(239, r.value) && set_port_field(cfg, port, kOrvatix, r.value) ? 0 : -1;
    default:
        fwupg_dbg_printf("Unsupported option\n");
        return -1;
    }
}

void print_line(const char* name, const char* text) { fwupg_dbg_printf("%-22s: %s\n", name, text); }
const char* enabled(bool on) { return on ? "Enabled" : "Disabled"; }

// The text of a VPD keyword, or empty when the table lacks it or its length is 0.
const char* vpd_text(vpd_field_table& table, const char* keyword)
{
    vpd_field* f = vpd_table_find(&table, keyword);
    if (!f || f->length < 1) return "";
    f->data[sizeof f->data - 1] = 0;
    return reinterpret_cast<const char*>(f->data);
}

bool vpd_image_present()
{
    uint32_t off = 0, len = 0;
    return e4_nvm_find_image(kVpd, &off, &len, nullptr) == 0;
}

void show_vpd_keyword(const char* keyword, const char* label)
{
    if (!vpd_image_present()) {
        fwupg_dbg_printf("Unable to find VPD image in NVM\n");
        return;
    }
    vpd_field_table table{};
    print_line(label, get_vpd_info_from_image(&table) == 0 ? vpd_text(table, keyword) : "");
}

void show_summary(const std::vector<uint8_t>& cfg)
{
    auto word = [&](uint32_t w) { return load_u32(&cfg[w * 4]); };
    vpd_field_table table{};
    if (vpd_image_present() && get_vpd_info_from_image(&table) == 0) {
        for (auto [keyword, label] : {std::pair{"V0", "VPD (V0)"}, {"V9", "VPD (V9)"}, {"SN", "Serial Number"}}) {
            const char* text = vpd_text(table, keyword);
            if (text[0]) print_line(label, text);
        }
    }
    fwupg_dbg_printf("%-22s: 0x%x\n", "MF Mode", (word(0) & 0xFF0) >> 4);
    uint32_t off = 0, len = 0;
    if (e4_nvm_find_image(kMba, &off, &len, nullptr) == 0) {
        print_line("MBA hide setup prompt", enabled(word(150) & (1u << 8)));
        print_line("MBA setup hot key", word(150) & (1u << 7) ? "Ctrl S" : "Ctrl B");
    }
    print_line("Beacon wol", enabled(word(9) & (1u << 2)));
    print_line("Magic packet wol", enabled(word(9) & (1u << 1)));
    print_line("NCSI", word(13) & 0xF000 ? "1" : "0");
    print_line("SRIOV", word(0) & (1u << 29) ? "1" : "0");
    print_line("Override Secure Mode", word(11) & 0x60000000 ? "1" : "0");
    print_line("Recovery Mode", word(27) & (1u << 31) ? "1" : "0");
}

void show(std::vector<uint8_t>& cfg, cfg_request& r)
{
    switch (r.value) {
    case 16: {
        uint32_t value = 0;
        if (e4_cfg_option(cfg.data(), r.option_num, &value, 0, 0) == 0) r.value = value;
        break;
    }
    case 512:
        fwupg_dbg_printf("SRIOV: %d\n", int(cfg_field_get(cfg.data(), uint32_t(cfg.size()), kSriovBit, 1)));
        break;
    case 8192:
        show_vpd_keyword("V0", "VPD (V0)");
        break;
    case 0x400000:
        show_vpd_keyword("V9", "VPD (V9)");
        break;
    case 0x40000:
        fwupg_dbg_printf("%X, %X, %X, %X\n", unsigned(toe_number("VID")), unsigned(toe_number("DID")),
                         unsigned(toe_number("SVID")), unsigned(toe_number("SSID")));
        break;
    case 0x800000:
        fwupg_dbg_printf("EEE Power Mode: %d\n", int(get_port_field(cfg, kEeeMode)));
        break;
    case 0x1000000:
        fwupg_dbg_printf("FEC Force Mode: %d\n", int(get_port_field(cfg, kFecForce)));
        break;
    case 0x2000000:
        fwupg_dbg_printf("FEC AN Mode: %d\n", int(get_port_field(cfg, kFecAn)));
        break;
    case 0x4000000:
        fwupg_dbg_printf("Orvatix: %d\n", int(get_port_field(cfg, kOrvatix)));
        break;
    case 0:
        show_summary(cfg);
        break;
    default:
        fwupg_dbg_printf("Unsupported option\n");
        break;
    }
}

void store_error(HostOps& ops)
{
    if (ops.setLastError) ops.setLastError(34);
}

}  // namespace

extern "C" {

int set_nvm_cfg_e4(HostOps ops, cfg_request* requests, uint32_t count, uint32_t all)
{
    try {
        if (!requests || count == 0) return -1;
        fwupg::HostOpsScope scope(&ops);
        std::vector<uint8_t> cfg = load_cfg_image(kNvmCfg1);
        if (cfg.empty()) return -1;
        for (uint32_t i = 0; i < count; ++i) {
            const int rc = apply(cfg, requests[i], all);
            // Nothing is written unless every request succeeded: a refused or unknown request
            // is a failure of the whole run.
            if (rc != 0) return rc;
        }
        return e4_nvm_program_cfg_image(kNvmCfg1, cfg.data(), kCfgImageBytes);
    } catch (...) {
        store_error(ops);
        return -1;
    }
}

int show_nvm_cfg_e4(HostOps ops, cfg_request* request)
{
    try {
        if (!request) return -1;
        fwupg::HostOpsScope scope(&ops);
        std::vector<uint8_t> cfg = load_cfg_image(kNvmCfg1);
        if (cfg.empty()) return -1;
        show(cfg, *request);
        return 0;
    } catch (...) {
        store_error(ops);
        return -1;
    }
}

}  // extern "C"

bool e4_mbi_downgrade_blocked(Tcl_Interp*, fwupg::FwPackage& package, uint32_t ssid)
{
    constexpr uint32_t kFcoe = 0x2, kIscsi = 0x4;
    const uint32_t id = ssid & 0xFFFF;
    if ((id != 0x21E && id != 0x21F) || std::getenv("DO_DOWNGRADE_AHKESP")) return false;
    HostOps ops{};
    if (!get_current_host_ops(&ops)) return false;
    cfg_request r{};
    r.option_flag = 128;
    r.value = 16;
    r.option_num = 117;
    if (show_nvm_cfg_e4(ops, &r) != 0) return false;
    std::vector<uint8_t> image;
    if (package.ExtractImage("NVM_CFG", image) != 0 || image.size() < 140) return false;
    const uint32_t offered = uint32_t(image[136]) << 24 | uint32_t(image[137]) << 16 | uint32_t(image[138]) << 8 |
                             image[139];
    return (r.value & (kFcoe | kIscsi)) != 0 && (offered & (kFcoe | kIscsi)) == 0;
}
