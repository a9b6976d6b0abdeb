// "crc": CRC check of the fixed regions and of every image of E1-E3 NVRAM, of one region or image
// (optionally fixed), and the CRC table the facade asks for. A blank VPD area is given the
// template VPD by every run of the command and of the table, "crc -no_print" included. The board
// check is the one form that only reads: the front end's verdict where it must not write (before
// it programs a leftover backup back or refuses a change of a damaged board, and in discovery).
#include <cctype>
#include <cstring>
#include <string>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/listing.h"
#include "fwupg/nvm/e123/board_vpd.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/e4/commands.h"
#include "fwupg/nvm/formats/vpd_info.h"

using namespace fwupg::nvm;

namespace {

constexpr const char* kUsage = "?\?-fix? entry?";
constexpr const char* kRowFmt = "%15s  0x%08X  0x%08X  0x%08X  0x%08X  %s\n";

struct Region {
    const char* name;
    uint32_t start;
    uint32_t length;
};
constexpr Region kRegions[] = {{"BOOTSTRAP", 0, 20},    {"DIRECTORY", 20, 236},  {"HW_INFO", 256, 848},
                               {"FEAT_INFO", 1104, 240}, {"HW_INFO_2", 2024, 848}, {"FEAT_INFO_2", 2872, 240}};
constexpr uint32_t kTypeMdump = 0xD0800003;

uint32_t region_count(bool all_six) { return all_six && !common_nvm_is_e1() ? 6 : 4; }

// One listing line; false when the CRC could not be read. `mismatch` is raised on a difference.
bool check_line(std::string& out, const char* name, uint32_t start, uint32_t length, bool& mismatch)
{
    uint32_t computed = 0, stored = 0;
    if (common_nvm_region_crc_values(start, length, &computed, &stored) != 0)
        return false;
    appendf(out, kRowFmt, name, start, length, stored, computed, computed == stored ? "OK" : "Mismatch");
    if (computed != stored)
        mismatch = true;
    return true;
}

// The listing of the regions, the boot code and the images. `command` adds the extended
// directory and leaves out BC1 when MFW1 carries the boot code. 0, or -1 when the extended
// directory cannot be read. A piece that cannot be read ends the listing; `cut_short` then tells
// so (the command's listing shows what it had).
int crc_listing(std::string& out, bool command, bool& mismatch, bool* cut_short = nullptr)
{
    auto unread = [&] {
        if (cut_short)
            *cut_short = true;
        return 0;
    };
    appendf(out, "%15s  %10s  %10s  %10s  %10s  %s\n", "Region", "Start", "Length", "Content", "Computed", "Result");
    out += std::string(79, '-') + "\n";
    for (uint32_t i = 0; i < region_count(command); ++i)
        if (!check_line(out, kRegions[i].name, kRegions[i].start, kRegions[i].length, mismatch))
            return unread();
    uint32_t mfw1 = 0;
    const bool bc1 = !command || common_nvm_find_dir_entry(kTypeMfw1, &mfw1, nullptr) != 0;
    if (bc1) {
        uint32_t w[2];
        if (common_nvm_read(8, w, 8, 1) != 0)
            return unread();
        if (w[0] != 0 && !check_line(out, "BC1", common_nvm_flash_to_linear(w[1]), w[0] * 4, mismatch))
            unread();
    }
    const uint32_t last_row = command ? 14 : common_nvm_image_table_size() - 1;
    for (uint32_t row = 1; row <= last_row; ++row) {
        uint32_t idx = 0, off = 0, len = 0;
        if (common_nvm_find_dir_entry(g_image_table[row].dir_type, &idx, nullptr) != 0)
            continue;
        if (common_nvm_read_dir_entry(idx, &off, &len, nullptr, nullptr, nullptr) != 0) {
            unread();
            break;
        }
        if (len != 0 && !check_line(out, g_image_table[row].name, off, len, mismatch))
            unread();
    }
    if (!command)
        return 0;
    uint32_t off = 0, len = 0, type = 0;
    if (common_nvm_read_dir_entry(15, &off, &len, nullptr, &type, nullptr) != 0 || type != kTypeExtDir || len == 0)
        return 0;
    if (!check_line(out, "EXTENDED_DIR", off, len, mismatch))
        unread();
    nvm_ext_dir dir;
    if (common_nvm_read_ext_dir(off, len, &dir) != 0)
        return -1;
    for (uint32_t row = 15; row < common_nvm_image_table_size(); ++row) {
        const nvm_image_row& r = g_image_table[row];
        uint32_t ioff = 0, ilen = 0;
        if (common_nvm_ext_dir_find(r.dir_type, &dir, nullptr, &ioff, nullptr, &ilen, nullptr) != 0)
            continue;
        if (r.dir_type == kTypeBdn || r.dir_type == kTypeMdump)
            appendf(out, kRowFmt, r.name, ioff, ilen, 0u, 0u, "N/A");  // not covered by a CRC
        else if (!check_line(out, r.name, ioff, ilen, mismatch))
            unread();
    }
    return 0;
}

// A VPD area that holds nothing (first word 0 or all ones) gets the template VPD.
void fill_blank_vpd()
{
    uint32_t first = 0;
    if (common_nvm_read(kVpdCopyOffset, &first, 4, 1) != 0 || (first != 0 && first != 0xFFFFFFFF))
        return;
    vpd_info info{};
    vpd_set_defaults_57710(&info, 0x5F);
    uint8_t image[kVpdCopyLength];
    if (vpd_build_image_57710(&info, image) == 0)
        common_nvm_program_nvm(image, kVpdCopyLength, kVpdCopyOffset, 0, nullptr);
}

int report(Tcl_Interp* interp, bool mismatch)
{
    if (mismatch) {
        print_severity("\nCRC Mismatch found!!!\n", 1);
        Tcl_AppendResult(interp, "\nCRC Mismatch found!!!\n", nullptr);
        return TCL_ERROR;
    }
    print_severity("\nCRC check passed successfully.\n", 7);
    return TCL_OK;
}

// The full check; `print` shows the listing. A blank VPD area is filled either way.
int full_check(Tcl_Interp* interp, bool print)
{
    std::string out;
    bool mismatch = false;
    const int rc = crc_listing(out, true, mismatch);
    if (print)
        fwupg_dbg_printf("%s", out.c_str());
    fill_blank_vpd();
    if (rc != 0) {
        Tcl_AppendResult(interp, "Failed to parse extended dir image", nullptr);
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return report(interp, mismatch);
}

// The region or image a name stands for: 1 found, 0 none, -1 read failure.
int locate(const std::string& name, std::string& label, uint32_t* start, uint32_t* length)
{
    for (uint32_t i = 0; i < region_count(true); ++i)
        if (std::strstr(kRegions[i].name, name.c_str())) {
            label = kRegions[i].name;
            *start = kRegions[i].start;
            *length = kRegions[i].length;
            return 1;
        }
    const int row = row_by_name_part(name.c_str());
    if (row < 0)
        return 0;
    label = g_image_table[row].name;
    return find_row_image(uint32_t(row), start, length);
}

int one_region(Tcl_Interp* interp, std::string name, bool fix)
{
    for (char& c : name)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    std::string label;
    uint32_t start = 0, length = 0, computed = 0, stored = 0;
    const int found = locate(name, label, &start, &length);
    int code = TCL_ERROR;
    if (found == 0) {
        Tcl_AppendResult(interp, "No such entry found.", nullptr);
    } else if (found < 0 || common_nvm_region_crc_values(start, length, &computed, &stored) != 0 ||
               (fix && computed != stored && common_nvm_write(start + length - 4, &computed, 4, 1) != 0)) {
        Tcl_AppendResult(interp, "Failed to access NVM.", nullptr);
    } else {
        Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
        if (computed == stored || fix) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(computed == stored ? "OK" : "Fixed", -1));
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewWideIntObj(computed));
        } else {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewWideIntObj(computed));
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewWideIntObj(stored));
        }
        Tcl_SetObjResult(interp, list);
        print_severity("\nCRC check passed successfully.\n", 7);
        code = TCL_OK;
    }
    fill_blank_vpd();
    return code;
}

int crc(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    switch (chip_family()) {
    case ChipFamily::E1E3:
        break;
    case ChipFamily::E4:
        return fwupg::nvm::e4::crc_cmd(objc, objv) == 0 ? TCL_OK : TCL_ERROR;
    case ChipFamily::Unknown:
        Tcl_AppendResult(interp, "nvm crc is not supported on this chip.", nullptr);
        return TCL_ERROR;
    }
    if (objc == 1)
        return full_check(interp, true);
    const char* first = Tcl_GetString(objv[1]);
    if (objc == 2 && !strcasecmp(first, "-no_print"))
        return full_check(interp, false);
    if (objc == 2 && first[0] != '-')
        return one_region(interp, first, false);
    if (objc == 3 && !std::strcmp(first, "-fix"))
        return one_region(interp, Tcl_GetString(objv[2]), true);
    Tcl_WrongNumArgs(interp, 1, objv, kUsage);
    return TCL_ERROR;
}

}  // namespace

extern "C" {

int tcl_al_nvm_crc_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return crc(interp, objc, objv); });
}

int common_nvm_crc_check(Tcl_Interp*)
{
    try {
        std::string out;
        bool mismatch = false;
        crc_listing(out, false, mismatch);
        fwupg_dbg_printf("%s", out.c_str());
        fill_blank_vpd();
    } catch (...) {
    }
    return 0;
}

int common_nvm_board_check(Tcl_Interp*)
{
    try {
        std::string out;
        bool mismatch = false, cut_short = false;
        if (crc_listing(out, true, mismatch, &cut_short) != 0)
            return 1;
        return mismatch || cut_short ? 1 : 0;
    } catch (...) {
        return 1;
    }
}

}  // extern "C"
