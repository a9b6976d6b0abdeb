// The CRC check of a whole legacy NVRAM: the fixed regions, the boot code the bootstrap names and
// every image of the directory, one table row each. It reads only; a mismatch sets last error 21
// and the check goes on, while a piece that cannot be read ends it (the result then stays as the
// failed read left it, and the check reports a mismatch).
#include <cstdio>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/regions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

const toe_nvm_region g_toe_nvm_regions[TOE_NVM_REGIONS] = {
    {"BOOTSTRAP", 0x0, 0x14},
    {"DIRECTORY", 0x14, 0xEC},
    {"HW_INFO", 0x100, 0x100},
    {"FEAT_INFO", 0x200, 0x100},
};

bool g_toe_crc_print = true;

namespace {

void print_head()
{
    if (!g_toe_crc_print)
        return;
    fwupg_dbg_printf("%15s  %10s  %10s  %10s  %10s  %s\n", "Region", "Start", "Length", "Content", "Computed", "Result");
    fwupg_dbg_printf("%s\n", "-------------------------------------------------------------------------------");
}

void print_row(const char* name, uint32_t start, uint32_t length, uint32_t stored, uint32_t computed)
{
    if (g_toe_crc_print)
        fwupg_dbg_printf("%15s  0x%08X  0x%08X  0x%08X  0x%08X  %s\n", name, start, length, stored, computed,
                         stored == computed ? "OK" : "Mismatch");
}

// One pass over the pieces; false when a piece could not be examined (the last error tells why).
bool check_pieces(const HostOps& ops, uint32_t dev, bool* mismatch)
{
    auto mark = [&](bool equal) {
        if (!equal) {
            *mismatch = true;
            toe::set_error(ops, toe::ERR_DIR_CRC);
        }
    };
    auto cannot = [&](uint32_t code) {
        toe::set_error(ops, code);
        return false;
    };
    uint32_t computed = 0, stored = 0;
    for (const toe_nvm_region& r : g_toe_nvm_regions) {
        if (toe_nvm_region_crc(ops, r.start, r.length, &computed, &stored) != 0)
            return cannot(toe::ERR_DIR_CRC);
        print_row(r.name, r.start, r.length, stored, computed);
        mark(stored == computed);
    }

    uint32_t boot_addr = 0, count = 0;
    if (toe::read_dword(ops, dev, 12, &boot_addr) != 0 || toe::read_dword(ops, dev, 8, &count) != 0)
        return cannot(toe::ERR_READ);
    if (count != 0 && count <= TOE_BC1_MAX_DWORDS) {
        const uint32_t length = count * 4;
        // The address is taken in its buffered form first whatever the part is; a part whose
        // bootstrap holds the linear address then matches on the second try.
        const uint32_t translated = nvm_flash_to_linear_addr(ops, dev, boot_addr, 1);
        if (toe_nvm_region_crc(ops, translated, length, &computed, &stored) != 0)
            return cannot(toe::ERR_DIR_CRC);
        if (computed == stored) {
            print_row(g_toe_image_table[TOE_IMG_BC1].name, translated, length, stored, computed);
        } else {
            if (toe_nvm_region_crc(ops, boot_addr, length, &computed, &stored) != 0)
                return cannot(toe::ERR_DIR_CRC);
            print_row(g_toe_image_table[TOE_IMG_BC1].name, boot_addr, length, stored, computed);
            mark(stored == computed);
        }
    }

    for (int row = TOE_IMG_BC1 + 1; row < TOE_IMAGE_ROWS; ++row) {
        int index = 0;
        if (toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) != 0)
            continue;
        uint32_t offset = 0, length = 0;
        if (toe_nvm_read_dir_entry(ops, index, &offset, &length, nullptr, nullptr, nullptr) != 0)
            return cannot(toe::ERR_DIR_INDEX);
        if (toe_nvm_region_crc(ops, offset, length, &computed, &stored) != 0)
            return cannot(toe::ERR_DIR_CRC);
        print_row(g_toe_image_table[row].name, offset, length, stored, computed);
        mark(stored == computed);
    }
    return true;
}

}  // namespace

int toe_nvm_crc_check(HostOps ops)
{
    uint32_t dev = 0;
    if (!toe::locate_device(ops, &dev))
        return 1;
    toe_nvm_check_dev(dev);
    print_head();
    bool mismatch = false;
    if (!check_pieces(ops, dev, &mismatch))
        return 1;   // a piece that could not be examined is no match: never "all matched"
    if (ops.interp)
        Tcl_ResetResult(ops.interp);
    return mismatch ? 1 : 0;
}
