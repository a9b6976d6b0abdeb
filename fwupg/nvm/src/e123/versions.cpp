// Version texts by image name and the comparisons that accept or refuse an upgrade.
#include "fwupg/nvm/e123/versions.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/directory.h"

using namespace fwupg::nvm;

namespace fwupg::nvm {
const char* const kMbaKinds[8] = {"legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
                                  "EFI x86",    "EFI IPF",       "EFI EBC",   "EFI x64"};
}

namespace {

bool name_in(const char* name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (std::strcmp(name, n) == 0)
            return true;
    return false;
}

// Reads [off, off+len) of the image in host view (bytes as in the image file).
bool fetch(int is_buffer, uintptr_t source, uint32_t size, uint64_t off, void* out, uint32_t len)
{
    if (is_buffer) {
        if (off + len > size)
            return false;
        std::memcpy(out, reinterpret_cast<const uint8_t*>(source) + off, len);
        return true;
    }
    uint64_t at = uint64_t(source) + off;
    uint64_t start = at & ~3ull;
    uint64_t end = (at + len + 3) & ~3ull;
    if (end > 0xFFFFFFFFull)
        return false;
    std::vector<uint8_t> tmp(size_t(end - start));
    if (common_nvm_read(uint32_t(start), tmp.data(), uint32_t(tmp.size()), 1) != 0)
        return false;
    std::memcpy(out, tmp.data() + (at - start), len);
    return true;
}

struct Parsed {
    bool ok = false;
    int f[4] = {0, 0, 0, 0};  // major, minor, revision, build
    uint32_t packed() const { return common_nvm_pack_version(f[0], f[1], f[2], f[3]); }
};

Parsed scan3(const char* text, const char* fmt)
{
    Parsed p;
    p.ok = std::sscanf(text, fmt, &p.f[0], &p.f[1], &p.f[2]) == 3;
    return p;
}

Parsed scan_name_fields(const char* text, const std::string& name)
{
    Parsed p;
    std::string f4 = name + " %d.%d.%d.%d", f3 = name + " %d.%d.%d";
    if (std::sscanf(text, f4.c_str(), &p.f[0], &p.f[1], &p.f[2], &p.f[3]) == 4) {
        p.ok = true;
        return p;
    }
    p.f[3] = 0;
    p.ok = std::sscanf(text, f3.c_str(), &p.f[0], &p.f[1], &p.f[2]) == 3;
    return p;
}

Parsed parse_bc(const char* text, const char* upper, const char* lower, bool nvram_side)
{
    if (nvram_side && text[0] == 's')
        return scan3(text, "s2p %d.%d.%d.");
    if (nvram_side && std::strncmp(text, "MF", 2) == 0)
        return scan_name_fields(text, "MFW1");
    bool debug = std::strlen(text) > 4 && text[4] == 'D';
    bool low = text[0] >= 'a' && text[0] <= 'z';
    std::string fmt = std::string(low ? lower : upper) + (debug ? " D%d.%d.%d" : " %d.%d.%d");
    return scan3(text, fmt.c_str());
}

enum class Rule { Parse, AllowAlways, NoParse };

Rule parse_version(const char* name, const char* text, bool nvram_side, Parsed& out)
{
    if (name_in(name, {"E3_WC", "E3_WC_V2", "E3_PCIE", "E3_PCIE_V2"}))
        return Rule::AllowAlways;
    if (std::strcmp(name, "IPMI") == 0) {
        out = scan3(text, std::strlen(text) > 5 && text[5] == 'D' ? "IPMI D%d.%d.%d" : "IPMI %d.%d.%d");
    } else if (name_in(name, {"L2T", "L2U", "L2C", "L2X"})) {
        out = scan3(text, (std::string(name) + " %d.%d.%d").c_str());
    } else if (name_in(name, {"NCSI_CMN", "NCSI_ELIB"})) {
        char c;
        out.ok = std::sscanf(text, "NCSI%c %d.%d.%d", &c, &out.f[0], &out.f[1], &out.f[2]) == 4;
    } else if (std::strcmp(name, "BC1") == 0) {
        out = parse_bc(text, "BC1", "bc1", nvram_side);
    } else if (std::strcmp(name, "BC2") == 0) {
        out = parse_bc(text, "BC2", "bc2", false);
    } else if (std::strncmp(name, "SWIM", 4) == 0 || name_in(name, {"MFW1", "OCNVM"})) {
        out = scan_name_fields(text, name);
    } else if (name_in(name, {"MFW2", "MFW2_A"})) {
        out = scan_name_fields(text, "MFW2");
    } else if (name_in(name, {"ISCSI_B", "I_B_CPRG", "FCOE_B"})) {
        out = scan3(text, text[0] == 'v' ? "v%d.%d.%d" : "%d.%d.%d");
    } else if (name_in(name, {"I_B_CFG", "I_B_CFG2", "I_B_CFG3", "I_B_CFG4", "FEB_CFG", "FEB_CFG2", "FEB_CFG3",
                              "FEB_CFG4"})) {
        out.ok = std::sscanf(text, "v%d.%d", &out.f[1], &out.f[2]) == 2;
    } else if (name_in(name, {"NIC_PRTION", "NIV"})) {
        out.ok = std::sscanf(text, "Rev%d", &out.f[2]) == 1;
    } else if (std::strcmp(name, "CCM") == 0) {
        if (text[0] == 'v')
            out = scan3(text, "v%d.%d.%d");
        else
            out.ok = std::sscanf(text, "Rev%d", &out.f[2]) == 1;
    } else if (std::strcmp(name, "CFG_SHARED") == 0) {
        out.ok = false;
    } else {
        // No version to compare (MBA is compared slot by slot): both sides count as 0.
        return Rule::NoParse;
    }
    return Rule::Parse;
}

// Bootcode releases that a chip revision cannot run.
bool chip_revision_refuses(const char* name, const Parsed& file)
{
    if (!name_in(name, {"BC1", "BC2"}))
        return false;
    const char* rev = toe_text("CHIP_REV");
    long did = toe_long("DID");
    if (!rev || std::strcmp(rev, "A0") != 0)
        return false;
    if (did == 0x164E && file.packed() >= common_nvm_pack_version(4, 2, 0, 0)) {
        fwupg_dbg_printf("ERROR: Bootcode version 4.2.0 and above do not support chip revision A0\n");
        fwupg_dbg_printf("Upgrade aborted for image %s\n", name);
        return true;
    }
    if ((did == 0x1662 || did == 0x1663 || did == 0x1651 || did == 0x1652) &&
        file.packed() >= common_nvm_pack_version(6, 4, 0, 0)) {
        fwupg_dbg_printf("ERROR: Bootcode version 6.4.0 and above do not support 57712 chip rev A0\n");
        fwupg_dbg_printf("Upgrade aborted for image %s\n", name);
        return true;
    }
    return false;
}

void put(char* out, uint32_t size, const std::string& text)
{
    if (!out || size == 0)
        return;
    std::snprintf(out, size, "%s", text.c_str());
}

std::string fmt(const char* f, int a = 0, int b = 0, int c = 0, int d = 0)
{
    char tmp[64];
    std::snprintf(tmp, sizeof tmp, f, a, b, c, d);
    return tmp;
}

}  // namespace

extern "C" {

uint32_t common_nvm_pack_version(int major, int minor, int revision, int build)
{
    return uint32_t(build & 0xFF) + (uint32_t(revision & 0xFF) << 8) + (uint32_t(minor & 0xFF) << 16) +
           (uint32_t(major & 0xFF) << 24);
}

int common_nvm_parse_mba_rom(int is_buffer, uintptr_t source, uint32_t source_size, uint32_t slots[8],
                             const char* kinds[8])
{
    for (int i = 0; i < 8; ++i) {
        if (slots)
            slots[i] = 0;
        if (kinds)
            kinds[i] = kMbaKinds[i];
    }
    uint64_t off = 0;
    for (int n = 0; n < 8; ++n) {
        uint8_t hdr[0x1A];
        if (!fetch(is_buffer, source, source_size, off, hdr, sizeof hdr))
            return -1;
        uint16_t pcir = load_u16(hdr + 0x18);
        uint8_t pd[28];
        if (!fetch(is_buffer, source, source_size, off + pcir, pd, sizeof pd))
            return -1;
        uint16_t units = load_u16(pd + 16);
        uint16_t code_rev = load_u16(pd + 18);
        uint8_t type = pd[20];
        bool last = pd[21] & 0x80;
        int slot = -1;
        if (type == 0) {
            if (pd[12] == 0)
                slot = 0;
            else if (pd[12] == 3)
                slot = load_u16(pd + 26) ? 1 : 2;
            else
                fwupg_dbg_printf("invalid MBA type");
        } else if (type == 1) {
            slot = 3;
        } else if (type == 3) {
            switch (load_u16(hdr + 10)) {
            case 0x14C: slot = 4; break;
            case 0x200: slot = 5; break;
            case 0xEBC: slot = 6; break;
            case 0x8664: slot = 7; break;
            default: fwupg_dbg_printf("invalid EFI type"); break;
            }
        }
        if (slot >= 0 && slots)
            slots[slot] = code_rev;
        if (last || units == 0)
            break;
        off += uint64_t(units) * 512;
    }
    return 0;
}

int common_nvm_image_version_str(uintptr_t source, uint32_t source_size, const char* name, char* out,
                                 uint32_t out_size, int is_buffer)
{
    if (!name || !out || out_size == 0)
        return -1;
    out[0] = 0;
    uint32_t w[8] = {};
    auto words = [&](uint32_t first, uint32_t count) {
        return fetch(is_buffer, source, source_size, uint64_t(first) * 4, w, count * 4);
    };
    if (std::strcmp(name, "MBA") == 0) {
        uint32_t slots[8];
        if (common_nvm_parse_mba_rom(is_buffer, source, source_size, slots, nullptr) != 0)
            return -1;
        std::string text;
        for (int i = 0; i < 8; ++i) {
            if (!slots[i])
                continue;
            char tmp[64];
            if (i == 3)
                std::snprintf(tmp, sizeof tmp, "%s %04x;", kMbaKinds[i], __builtin_bswap16(uint16_t(slots[i])));
            else
                std::snprintf(tmp, sizeof tmp, "%s %d.%d.%d;", kMbaKinds[i], int((slots[i] >> 12) & 0xFF),
                              int((slots[i] >> 8) & 0xF), int(slots[i] & 0xFF));
            text += tmp;
        }
        put(out, out_size, text);
        return 0;
    }
    if (name_in(name, {"I_B_CFG", "I_B_CFG2", "I_B_CFG3", "I_B_CFG4", "FEB_CFG", "FEB_CFG2", "FEB_CFG3",
                       "FEB_CFG4"})) {
        if (!words(0, 1))
            return -1;
        put(out, out_size, fmt("v%d.%d", int(w[0] >> 24), int((w[0] >> 16) & 0xFF)));
    } else if (name_in(name, {"NIC_PRTION", "NIV"})) {
        if (!words(0, 1))
            return -1;
        put(out, out_size, fmt("Rev%d", int(w[0] & 0xFF)));
    } else if (name_in(name, {"NIVPROFILES", "BOOT_CFG_SHADOW", "BDN", "E3_WC", "E3_PCIE", "E3_WC_V2",
                              "E3_PCIE_V2", "CFG_SHARED"})) {
        put(out, out_size, "N/A");
    } else if (std::strcmp(name, "MDUMP") == 0) {
        if (!words(0, 2))
            return -1;
        put(out, out_size,
            fmt("v%d.%d.%d.%d", int(w[1] >> 24), int((w[1] >> 16) & 0xFF), int((w[1] >> 8) & 0xFF), int(w[1] & 0xFF)));
    } else if (name_in(name, {"L2T", "L2C", "L2X", "L2U"})) {
        uint8_t b[8];
        if (!fetch(is_buffer, source, source_size, 0, b, 8))
            return -1;
        char tmp[64];
        std::snprintf(tmp, sizeof tmp, "%s %d.%d.%d%s", name, b[0], b[1], int(load_u16(b + 2)),
                      (b[4] & 1) ? " opt" : "");
        put(out, out_size, tmp);
    } else if (name_in(name, {"MODULES_PN", "HW_SET"})) {
        if (!words(0, 1))
            return -1;
        put(out, out_size, fmt("Rev %d", int(w[0])));
    } else if (std::strcmp(name, "VPD") == 0) {
        if (!words(0, 1))
            return -1;
        put(out, out_size, fmt("VPD %d", int(w[0])));
    } else if (std::strcmp(name, "OCNVM") == 0) {
        if (!words(0, 2))
            return -1;
        put(out, out_size, fmt("OCNVM %d.%d.%d", int(w[1] >> 24), int((w[1] >> 16) & 0xFF), int((w[1] >> 8) & 0xFF)));
    } else if (std::strcmp(name, "CCM") == 0) {
        if (!words(4, 3))
            return -1;
        put(out, out_size, fmt("v%d.%d.%d", int(w[0]), int(w[1]), int(w[2])));
    } else {
        if (!words(4, 4))
            return -1;
        char text[17] = {};
        for (int i = 0; i < 4; ++i)
            store_be32(reinterpret_cast<uint8_t*>(text) + 4 * i, w[i]);
        put(out, out_size, text);
    }
    return 0;
}

int common_nvm_check_image_version(const char* name, const char* nvram_text, const char* file_text)
{
    if (!name || !nvram_text || !file_text)
        return -1;
    Parsed nv, file;
    Rule rule = parse_version(name, nvram_text, true, nv);
    if (rule == Rule::AllowAlways)
        return 0;
    if (rule == Rule::Parse) {
        parse_version(name, file_text, false, file);
        if (!nv.ok || !file.ok) {
            fwupg_dbg_printf("File has an invalid version string. Upgrade aborted for image: %s\n", name);
            return -1;
        }
        if (chip_revision_refuses(name, file))
            return -1;
    }
    if (file.packed() > nv.packed())
        return 0;
    if (file.packed() == nv.packed())
        fwupg_dbg_printf("Given version(%s) is same as NVRAM version(%s). \nUpgrade aborted for image %s.\n", file_text,
                         nvram_text, name);
    else
        fwupg_dbg_printf("Given version(%s) is older than NVRAM version(%s). \nUpgrade aborted for image %s.\n",
                         file_text, nvram_text, name);
    fwupg_dbg_printf("Please use \"-F\" option to force upgrade.\n");
    return -1;
}

int common_nvm_check_mba_version(uint32_t nvram_offset, const uint8_t* file_image, uint32_t file_size)
{
    uint32_t nv[8], file[8];
    if (common_nvm_parse_mba_rom(0, nvram_offset, 0, nv, nullptr) != 0 ||
        common_nvm_parse_mba_rom(1, reinterpret_cast<uintptr_t>(file_image), file_size, file, nullptr) != 0) {
        fwupg_dbg_printf("MBA upgrade error.\n");
        return -1;
    }
    auto ver = [](uint32_t v, int part) {
        return part == 0 ? int((v >> 12) & 0xFF) : part == 1 ? int((v >> 8) & 0xF) : int(v & 0xFF);
    };
    bool higher = false;
    for (int i = 0; i < 8; ++i) {
        if (file[i] < nv[i]) {
            if (file[i] == 0)
                fwupg_dbg_printf("This \"nvm upgrade\" operation involves removal of %s.\n", kMbaKinds[i]);
            else
                fwupg_dbg_printf(
                    "Given version (%d.%d.%d) is older than NVRAM version(%d.%d.%d). Upgrade aborted for image %s.\n",
                    ver(file[i], 0), ver(file[i], 1), ver(file[i], 2), ver(nv[i], 0), ver(nv[i], 1), ver(nv[i], 2),
                    kMbaKinds[i]);
            fwupg_dbg_printf("Please use \"-F\" option to force downgrade.\n");
            return -1;
        }
        if (file[i] > nv[i])
            higher = true;
    }
    if (higher)
        return 0;
    for (int i = 0; i < 8; ++i)
        if (nv[i]) {
            fwupg_dbg_printf(
                "Given version (%d.%d.%d) is same as NVRAM version(%d.%d.%d). Upgrade aborted for image %s.\n",
                ver(file[i], 0), ver(file[i], 1), ver(file[i], 2), ver(nv[i], 0), ver(nv[i], 1), ver(nv[i], 2),
                kMbaKinds[i]);
            break;
        }
    fwupg_dbg_printf("Please use \"-F\" option to force upgrade.\n");
    return -1;
}

}  // extern "C"
