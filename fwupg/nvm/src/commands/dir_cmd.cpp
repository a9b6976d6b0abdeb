// "dir": the E1-E3 directory listing (bootstrap, 16-entry directory, extended directory), one
// entry shown, and one entry deleted.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/listing.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e4/commands.h"

using namespace fwupg::nvm;

namespace {

constexpr const char* kUsage = "?delete? entry?";
constexpr const char* kLineFmt = "%10s  0x%08X  0x%08X  0x%08X  %6s  %18s\n";

void append(Tcl_Interp* interp, const char* text) { Tcl_AppendResult(interp, text, nullptr); }

// "NCSI" for an NCSI_CMN image whose version a.b.c (hexadecimal) is 1.0.7 or later.
const char* label_of(const char* name, const std::string& version)
{
    if (std::strcmp(name, "NCSI_CMN") != 0)
        return name;
    unsigned a = 0, b = 0, c = 0;
    if (std::sscanf(version.c_str(), "%*s %x.%x.%x", &a, &b, &c) == 3 && uint64_t(a) * 10000 + b * 100 + c >= 10007)
        return "NCSI";
    return name;
}

std::string iscsi_version(uint32_t nvm_offset, const std::string& version)
{
    uint32_t word = 0;
    const char* mode = "ipv4";
    if (common_nvm_read(nvm_offset + 12, &word, 4, 1) == 0) {
        if ((word & 0xFFFF) == 0x86DD)
            mode = "ipv6";
        else if ((word & 0xFFFF) == 0xC0B0)
            mode = "ipv4_ipv6";
    }
    return std::string(mode) + " " + version.substr(0, 20);
}

void entry_line(std::string& out, const char* name, uint32_t sram, uint32_t off, uint32_t len, uint32_t proc)
{
    std::string version = nvram_image_version(off, name);
    if (!std::strcmp(name, "MBA")) {
        appendf(out, "%10s  0x%08X  0x%08X  0x%08X  %6s", name, sram, off, len & kLenMask, processor_name(proc));
        out += mba_version_lines(version.c_str());
        return;
    }
    if (!std::strcmp(name, "ISCSI_B"))
        version = iscsi_version(off, version);
    appendf(out, kLineFmt, label_of(name, version), sram, off, len, processor_name(proc), version.c_str());
}

// The MBI line: the package version kept in the CFG_SHARED image.
void mbi_line(std::string& out)
{
    uint32_t present = 0, off = 0, len = 0, version = 0;
    if (common_nvm_find_ext_dir_image(&present, kTypeCfgShared, &off, &len, nullptr) != 0 || !present || len < 76 ||
        common_nvm_read(off + 72, &version, 4, 1) != 0 || version == 0)
        return;
    appendf(out, "%10s  0x%08X  0x%08X  0x%08X  %6s  %12d.%2d.%d\n", "MBI", 0u, off + 72, 4u, "NONE",
            int(version >> 24), int((version >> 16) & 0xFF), int((version >> 8) & 0xFF));
}

int listing(Tcl_Interp* interp)
{
    std::string out;
    appendf(out, "%10s  %10s  %10s  %10s  %6s  %18s\n", "Image", "SRAM Addr", "SRAM Start Addr", "NVM Offset",
            "Byte Cnt", "Version");
    out += std::string(77, '-') + "\n";
    fwupg_dbg_printf("%s\n", std::string(79, '-').c_str());
    mbi_line(out);

    uint32_t idx = 0;
    if (common_nvm_find_dir_entry(kTypeMfw1, &idx, nullptr) != 0) {
        uint32_t w[3];
        if (common_nvm_read(4, w, 12, 1) != 0) {
            append(interp, "Failed to read from NVRAM");
            return TCL_ERROR;
        }
        if (w[1] != 0)
            appendf(out, kLineFmt, "BC1", w[0], common_nvm_flash_to_linear(w[2]), w[1] * 4, "MCP",
                    nvram_image_version(common_nvm_flash_to_linear(w[2]), "BC1").c_str());
    }
    for (uint32_t row = 1; row <= 14; ++row) {
        const nvm_image_row& r = g_image_table[row];
        uint32_t i = 0, off = 0, len = 0, sram = 0, proc = 0;
        if (common_nvm_find_dir_entry(r.dir_type, &i, nullptr) != 0 ||
            common_nvm_read_dir_entry(i, &off, &len, &sram, nullptr, &proc) != 0 || off == 0)
            continue;
        entry_line(out, r.name, sram, off, len, proc);
    }
    nvm_ext_dir dir;
    const int have = common_nvm_load_ext_dir(&dir);
    if (have < 0) {
        append(interp, "Failed to parse extended dir image");
        return TCL_ERROR;
    }
    for (uint32_t row = 15; have == 1 && row < common_nvm_image_table_size(); ++row) {
        const nvm_image_row& r = g_image_table[row];
        uint32_t off = 0, len = 0, sram = 0, proc = 0;
        if (common_nvm_ext_dir_find(r.dir_type, &dir, nullptr, &off, &sram, &len, &proc) == 0)
            entry_line(out, r.name, sram, off, len, proc);
    }
    fwupg_dbg_printf("%s", out.c_str());
    return TCL_OK;
}

struct Entry {
    uint32_t row = 0;
    bool found = false;
    bool main_dir = false;
    uint32_t index = 0;  // directory entry, or extended-directory slot
    uint32_t sram = 0, off = 0, len = 0, proc = 0;
};

// Finds the row by a part of its name and its image; -1 when the extended directory cannot be read.
int find_entry(const std::string& name, Entry& e)
{
    int row = row_by_name_part(name.c_str());
    if (row < 0)
        return 0;
    e.row = uint32_t(row);
    const nvm_image_row& r = g_image_table[row];
    if (row <= 14) {
        e.main_dir = true;
        if (row == 0)
            return 0;
        if (common_nvm_find_dir_entry(r.dir_type, &e.index, nullptr) == 0)
            e.found = true;
        return 0;
    }
    nvm_ext_dir dir;
    const int have = common_nvm_load_ext_dir(&dir);
    if (have < 0)
        return -1;
    if (have == 1 && common_nvm_ext_dir_find(r.dir_type, &dir, &e.index, &e.off, &e.sram, &e.len, &e.proc) == 0)
        e.found = true;
    return 0;
}

int one_entry(Tcl_Interp* interp, std::string name, bool remove)
{
    for (char& c : name)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    Entry e;
    if (find_entry(name, e) != 0) {
        append(interp, "Failed to parse extended dir image");
        return TCL_ERROR;
    }
    const bool bc1 = e.main_dir && e.row == 0;
    const char* row_name = bc1 || e.found ? g_image_table[e.row].name : name.c_str();
    if (!bc1 && !e.found) {
        append(interp, remove ? "No entry to delete from NVM." : "Invalid image name: ");
        if (!remove)
            append(interp, name.c_str());
        return TCL_OK;
    }
    if (remove) {
        if (bc1) {
            if (common_nvm_write_bootstrap(0, 0, 0) != 0)
                append(interp, "Failed to update directory entry.");
        } else if (e.main_dir) {
            if (common_nvm_write_dir_entry(e.index, 0, 0, 0, 0, 0) != 0)
                append(interp, "Failed to update directory entry.");
        } else {
            nvm_ext_dir dir;
            if (common_nvm_load_ext_dir(&dir) != 1 || common_nvm_ext_dir_remove(&dir, e.index) != 0) {
                append(interp, "Failed to delete extended dir entry !! \n");
            } else if (!std::strcmp(row_name, "VPD")) {
                Tcl_SetVar2(interp, "::toe", "IS_VPD_IMAGE", "0", TCL_GLOBAL_ONLY);
            } else if (!std::strcmp(row_name, "MFW1")) {
                common_nvm_write_bootstrap(0, 0, 0);
            }
        }
        return TCL_OK;
    }
    if (bc1) {
        uint32_t w[3] = {};
        if (common_nvm_read(4, w, 12, 1) != 0 || (w[0] == 0 && w[1] == 0 && w[2] == 0)) {
            append(interp, "Failed to get bootstrap entry.");
            return TCL_OK;
        }
        e = Entry{0, true, true, 0, w[0], common_nvm_flash_to_linear(w[2]), w[1] * 4, 0x02000000};
    } else if (e.main_dir &&
               (common_nvm_read_dir_entry(e.index, &e.off, &e.len, &e.sram, nullptr, &e.proc) != 0 || e.off == 0)) {
        append(interp, "Failed to get directory entry.");
        return TCL_OK;
    }
    std::string out;
    appendf(out, "%s 0x%X 0x%X 0x%X %s %s\n", row_name, e.sram, e.off, e.len, processor_name(e.proc),
            nvram_image_version(e.off, row_name).c_str());
    fwupg_dbg_printf("%s", out.c_str());
    return TCL_OK;
}

int dir(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    switch (chip_family()) {
    case ChipFamily::E1E3:
        break;
    case ChipFamily::E4:
        // The E4 directory is listed as a whole; its entries are not shown or deleted one by one.
        if (objc == 1)
            return fwupg::nvm::e4::dir_listing() == 0 ? TCL_OK : TCL_ERROR;
        append(interp, "nvm dir on E4 lists the whole directory only; an entry is not shown or deleted by name.");
        return TCL_ERROR;
    case ChipFamily::Unknown:
        append(interp, "nvm dir is not supported on this chip.");
        return TCL_ERROR;
    }
    if (objc == 1)
        return listing(interp);
    if (objc == 2)
        return one_entry(interp, Tcl_GetString(objv[1]), false);
    if (objc == 3 && !std::strcmp(Tcl_GetString(objv[1]), "-delete"))
        return one_entry(interp, Tcl_GetString(objv[2]), true);
    Tcl_WrongNumArgs(interp, 1, objv, kUsage);
    return TCL_ERROR;
}

}  // namespace

extern "C" int tcl_al_nvm_dir_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return dir(interp, objc, objv); });
}
