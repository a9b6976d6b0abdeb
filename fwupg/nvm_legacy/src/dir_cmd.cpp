// "dir": the table of the images in NVRAM (the boot code the bootstrap names, then each image type
// the directory holds), one entry as a list, or the deletion of an entry.
#include <cstdio>
#include <cstring>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/versions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr const char* USAGE = "?" "?-delete? entry?";
constexpr const char* ROW = "%10s  0x%08X  0x%08X  0x%08X  %6s  %18s\n";

// Names of the processor codes of a directory entry (flags bits 24-27).
constexpr const char* PROCESSORS[] = {"NONE", "HOST", "TXP", "TPAT", "COM", "RXP", "CP", "MCP", "RV2P1", "RV2P2"};
const char* processor_name(uint32_t processor_bits)
{
    const uint32_t code = (processor_bits & TOE_FLAGS_CPU_MASK) >> 24;
    return code < std::size(PROCESSORS) ? PROCESSORS[code] : "?";   // codes 10-15 have no name
}

struct entry_view {
    uint32_t sram = 0, offset = 0, bytes = 0, processor = 0;
    char version[256] = "";
};

// The boot code as the bootstrap record describes it; false when a bootstrap word cannot be read.
bool read_boot_code(const HostOps& ops, uint32_t dev, entry_view* e, uint32_t* count)
{
    uint32_t sram = 0, dwords = 0, addr = 0;
    bool ok = true;
    for (auto [off, out] : {std::pair{4u, &sram}, std::pair{8u, &dwords}, std::pair{12u, &addr}})
        if (toe::read_dword(ops, dev, off, out) != 0) {
            toe::set_error(ops, toe::ERR_READ);
            ok = false;
        }
    e->sram = sram;
    e->bytes = dwords * 4;
    e->offset = nvm_flash_to_linear_addr(ops, dev, addr, 0);
    e->processor = 7u << 24;   // the boot code runs on the MCP
    *count = dwords;
    return ok;
}

// The version column of an iSCSI boot image: its IP layout and the start of its version text.
std::string iscsi_column(const HostOps& ops, uint32_t offset, const char* version)
{
    std::string ip = "ipv4";
    uint32_t dev = 0, mark = 0;
    if (toe::get_dev(ops, &dev) && toe::read_dword(ops, dev, offset + 12, &mark) == 0) {
        if (mark == 0x86DD)
            ip = "ipv6";
        else if (mark == 0xC0B0)
            ip += "/ipv6";
    }
    return ip + " " + std::string(version, strnlen(version, 20));
}

// An NCSI common image of version 1.0.7 or later is listed as "NCSI".
const char* ncsi_name(const char* version)
{
    char word[64];
    unsigned a = 0, b = 0, c = 0;
    if (std::sscanf(version, "%63s %x.%x.%x", word, &a, &b, &c) == 4 && a * 10000ull + b * 100ull + c >= 10007)
        return "NCSI";
    return g_toe_image_table[TOE_IMG_NCSI_CMN].name;
}

int list_images(const HostOps& ops)
{
    uint32_t dev = 0;
    if (!toe::locate_device(ops, &dev))
        return TCL_ERROR;
    toe_nvm_check_dev(dev);
    fwupg_dbg_printf("%10s  %10s  %10s  %10s  %6s  %18s\n", "Image", "SRAM Addr", "NVM Offset", "Byte Cnt", "CPU",
                     "Version");
    fwupg_dbg_printf("%s\n", "-------------------------------------------------------------------------------");
    entry_view bc;
    uint32_t count = 0;
    read_boot_code(ops, dev, &bc, &count);
    if (count != 0) {
        toe_nvm_image_versions(ops, nullptr, 0, bc.offset, "BC1", bc.version, sizeof bc.version);
        fwupg_dbg_printf(ROW, "BC1", bc.sram, bc.offset, bc.bytes, "MCP", bc.version);
    }
    for (int row = TOE_IMG_BC1 + 1; row < TOE_IMAGE_ROWS; ++row) {
        const char* name = g_toe_image_table[row].name;
        int index = 0;
        entry_view e;
        if (toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) != 0 ||
            toe_nvm_read_dir_entry(ops, index, &e.offset, &e.bytes, &e.sram, nullptr, &e.processor) != 0 ||
            e.offset == 0)
            continue;
        toe_nvm_image_versions(ops, nullptr, 0, e.offset, name, e.version, sizeof e.version);
        if (row == TOE_IMG_MBA) {
            // The boot agent lists one version per ROM kind on lines of their own.
            fwupg_dbg_printf("%10s  0x%08X  0x%08X  0x%08X  %6s", name, e.sram, e.offset, e.bytes,
                             processor_name(e.processor));
            toe_nvm_print_versions(e.version);
            continue;
        }
        std::string column = e.version;
        if (row == TOE_IMG_NCSI_CMN)
            name = ncsi_name(e.version);
        else if (row == TOE_IMG_ISCSI_B)
            column = iscsi_column(ops, e.offset, e.version);
        fwupg_dbg_printf(ROW, name, e.sram, e.offset, e.bytes, processor_name(e.processor), column.c_str());
    }
    if (ops.interp)
        Tcl_ResetResult(ops.interp);
    return TCL_OK;
}

int fail(const HostOps& ops, uint32_t code, const std::string& text)
{
    toe::set_error(ops, code);
    toe::append_result(ops, text.c_str());
    return TCL_ERROR;
}

// One entry, named by a word that any part of an image-type name matches (BC1 is the bootstrap's).
int show_or_delete(const HostOps& ops, const char* word, bool remove)
{
    std::string name = word;
    str_to_upper(name.data());
    int row = -1;
    for (int r = 0; r < TOE_IMAGE_ROWS && row < 0; ++r)
        if (std::strstr(g_toe_image_table[r].name, name.c_str()))
            row = r;
    int index = -1;
    if (row >= 0) {
        name = g_toe_image_table[row].name;
        if (toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) != 0)
            index = -1;
    }
    const bool boot_code = name == g_toe_image_table[TOE_IMG_BC1].name;

    if (remove) {
        uint32_t dev = 0;
        if (index >= 0) {
            if (toe_nvm_write_dir_entry(ops, index, 0, 0, 0, 0, 0) != 0)
                return fail(ops, toe::ERR_DIR_WRITE, "");
        } else if (boot_code) {
            if (toe_nvm_write_bootstrap(ops, 0, 0, 0) != 0)
                return fail(ops, toe::ERR_WRITE, "");
        } else {
            return fail(ops, toe::ERR_DIR_INDEX, "No entry to delete from NVM.");
        }
        if (g_virt_nvm.data && toe::get_dev(ops, &dev) && dev == 0)
            nvm_file_write_refused(ops, virt_nvm_file_name);
        return TCL_OK;
    }

    entry_view e;
    if (index >= 0) {
        if (toe_nvm_read_dir_entry(ops, index, &e.offset, &e.bytes, &e.sram, nullptr, &e.processor) != 0 ||
            e.offset == 0)
            return fail(ops, toe::ERR_DIR_INDEX, "Failed to get directory entry.");
    } else if (boot_code) {
        uint32_t dev = 0, count = 0;
        if (!toe::get_dev(ops, &dev) || !read_boot_code(ops, dev, &e, &count))
            return fail(ops, toe::ERR_READ, "Failed to get bootstrap entry.");
    } else {
        return fail(ops, toe::ERR_BAD_NAME, "Invalid image name: " + name);
    }
    toe_nvm_image_versions(ops, nullptr, 0, e.offset, name.c_str(), e.version, sizeof e.version);
    Tcl_Obj* items[] = {
        Tcl_NewStringObj(name.c_str(), -1), Tcl_NewIntObj(int(e.sram)), Tcl_NewIntObj(int(e.offset)),
        Tcl_NewIntObj(int(e.bytes)), Tcl_NewStringObj(processor_name(e.processor), -1),
        Tcl_NewStringObj(e.version, -1),
    };
    Tcl_SetObjResult(ops.interp, Tcl_NewListObj(int(std::size(items)), items));
    return TCL_OK;
}

}  // namespace

int toe_nvm_dir_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe::guarded(ops, [&]() -> int {
        if (objc <= 1)
            return list_images(ops);
        const bool remove = objc == 3 && std::strcmp(Tcl_GetString(objv[1]), "-delete") == 0;
        if (objc != 2 && !remove) {
            toe::set_error(ops, toe::ERR_BAD_ARGS);
            toe::wrong_args(ops, objv, USAGE);
            return TCL_ERROR;
        }
        uint32_t dev = 0;
        if (!toe::locate_device(ops, &dev))
            return TCL_ERROR;
        toe_nvm_check_dev(dev);
        // A failure is a failed command: the result and the last error say which.
        return show_or_delete(ops, Tcl_GetString(objv[objc - 1]), remove);
    });
}
