// "crc": the CRC check of the whole NVRAM, or of one region or image (with -fix, its CRC word is
// renewed); then, whatever was asked ("crc -no_print" included), a VPD area that was never written
// gets the default VPD. The front end's verdict without a write is the region check alone
// (toe_nvm_crc_check), which reads only.
#include <strings.h>

#include <cstring>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/formats/vpd.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/regions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr const char* USAGE = "?" "?-fix? entry?";
constexpr uint32_t VPD_AT = 0x300, VPD_LEN = 256;
constexpr const char* NOT_FOUND = "No such entry found.";
constexpr const char* NO_ACCESS = "Failed to access NVM.";

struct range {
    uint32_t start = 0, length = 0;
};

// The range a word names: a region, "ALL", the boot code, or an image type (first match in that
// order, each by a part of its name). False when there is none; `why` then tells the user.
bool find_range(const HostOps& ops, uint32_t dev, const std::string& word, range* r, bool* fix, const char** why)
{
    for (const toe_nvm_region& reg : g_toe_nvm_regions)
        if (std::strstr(reg.name, word.c_str())) {
            *r = {reg.start, reg.length};
            return true;
        }
    if (word == "ALL") {
        *r = {0, uint32_t(toe_nvm_size(ops.interp))};
        *fix = false;   // the whole NVRAM ends with data, not with a CRC word
        return true;
    }
    if (std::strstr(g_toe_image_table[TOE_IMG_BC1].name, word.c_str())) {
        uint32_t addr = 0, count = 0;
        if (toe::read_dword(ops, dev, 12, &addr) != 0 || toe::read_dword(ops, dev, 8, &count) != 0)
            return false;
        *r = {nvm_flash_to_linear_addr(ops, dev, addr, 0), count * 4};
        return true;
    }
    for (int row = TOE_IMG_BC1 + 1; row < TOE_IMAGE_ROWS; ++row) {
        if (!std::strstr(g_toe_image_table[row].name, word.c_str()))
            continue;
        int index = 0;
        return toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) == 0 &&
               toe_nvm_read_dir_entry(ops, index, &r->start, &r->length, nullptr, nullptr, nullptr) == 0;
    }
    *why = NOT_FOUND;
    return false;
}

// Checks one range; the result list tells what was found. False on failure (last error set).
bool check_range(const HostOps& ops, uint32_t dev, const range& r, bool fix, bool* wrote)
{
    uint32_t computed = 0, stored = 0;
    if (toe_nvm_region_crc(ops, r.start, r.length, &computed, &stored) != 0)
        return false;
    Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
    if (computed == stored) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj("OK", -1));
        Tcl_ListObjAppendElement(nullptr, list, toe::number(ops, int(computed)));
    } else if (fix) {
        if (toe::write_dword(ops, dev, r.start + r.length - 4, computed) != 0) {
            Tcl_DecrRefCount(list);
            toe::set_error(ops, toe::ERR_WRITE);
            return false;
        }
        *wrote = true;
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj("Fixed", -1));
        Tcl_ListObjAppendElement(nullptr, list, toe::number(ops, int(computed)));
    } else {
        Tcl_ListObjAppendElement(nullptr, list, toe::number(ops, int(computed)));
        Tcl_ListObjAppendElement(nullptr, list, toe::number(ops, int(stored)));
    }
    Tcl_SetObjResult(ops.interp, list);
    return true;
}

// An adapter whose VPD area was erased or zeroed gets the default VPD. False when it needed one
// and programming it failed.
bool repair_blank_vpd(const HostOps& ops, uint32_t dev, bool* wrote)
{
    uint32_t first = 0;
    if (toe::read_dword(ops, dev, VPD_AT, &first) != 0 || (first != 0 && first != 0xFFFFFFFFu))
        return true;
    vpd_info info{};   // every field not given a default stays empty
    vpd_set_defaults(&info, VPD_DEF_NAME | VPD_DEF_PN | VPD_DEF_EC | VPD_DEF_SN | VPD_DEF_MN | VPD_DEF_V0);
    uint8_t image[VPD_LEN + 4] = {};
    if (vpd_build_image(&info, image) != 0 || toe_nvm_program_nvm(ops, image, VPD_LEN, VPD_AT, 0, nullptr) != 0) {
        toe::set_error(ops, toe::ERR_WRITE);
        return false;
    }
    toe::append_result(ops, "Default VPD info programmed to NVM");
    *wrote = true;
    return true;
}

}  // namespace

int toe_nvm_crc_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe::guarded(ops, [&]() -> int {
        g_toe_crc_print = true;
        const bool quiet = objc == 2 && strcasecmp(Tcl_GetString(objv[1]), "-no_print") == 0;
        if (quiet)
            g_toe_crc_print = false;
        uint32_t dev = 0;
        if (!toe::locate_device(ops, &dev))
            return TCL_ERROR;
        toe_nvm_check_dev(dev);

        bool ok = true, wrote = false, mismatch = false;
        const char* why = NO_ACCESS;
        if (objc == 1 || quiet) {
            // A mismatch fails the command, so that a caller checking NVRAM after an update sees
            // it; the check has set the last error that says what it found.
            mismatch = toe_nvm_crc_check(ops) != 0;
        } else {
            const bool fix_asked = objc == 3 && std::strcmp(Tcl_GetString(objv[1]), "-fix") == 0;
            if (objc != 2 && !fix_asked) {
                toe::set_error(ops, toe::ERR_DIR_CRC);
                toe::wrong_args(ops, objv, USAGE);
                return TCL_ERROR;
            }
            std::string word = Tcl_GetString(objv[objc - 1]);
            str_to_upper(word.data());
            bool fix = fix_asked;
            range r;
            if (!find_range(ops, dev, word, &r, &fix, &why)) {
                toe::set_error(ops, toe::ERR_DIR_INDEX);
                ok = false;
            } else {
                ok = check_range(ops, dev, r, fix, &wrote);
            }
        }

        if (!repair_blank_vpd(ops, dev, &wrote))
            ok = false;
        if (!ok) {
            toe::set_error(ops, toe::ERR_DIR_CRC);
            toe::append_result(ops, why);
        }
        if (wrote && g_virt_nvm.data && dev == 0)
            nvm_file_write_refused(ops, virt_nvm_file_name);
        return ok && !mismatch ? TCL_OK : TCL_ERROR;
    });
}
