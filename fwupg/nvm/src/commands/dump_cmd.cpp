// "_dump": copies NVRAM, a range of it, or one image out of it into a new file; plain or paged,
// in NVRAM byte order unless -l asks for host order. The VPD, SFP+ module list and register-script
// images go out as their text files.
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/file_io.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/formats/hw_set.h"
#include "fwupg/nvm/formats/page_spares.h"
#include "fwupg/nvm/formats/sfp_modules.h"
#include "fwupg/nvm/formats/vpd_text.h"

using namespace fwupg::nvm;

namespace {

constexpr const char* kUsage = "?-l? offset length filename";

enum Selector { SEL_NONE, SEL_MPN, SEL_VPD, SEL_HWSET, SEL_MDUMP };

struct DumpArgs {
    int byte_order = 1;
    bool paged = false;
    bool sel[5] = {};
    std::vector<Tcl_Obj*> positional;
    Selector selector() const
    {
        for (Selector s : {SEL_MPN, SEL_VPD, SEL_HWSET, SEL_MDUMP})
            if (sel[s])
                return s;
        return SEL_NONE;
    }
};

void append(Tcl_Interp* interp, const char* text) { Tcl_AppendResult(interp, text, nullptr); }

bool parse(int objc, Tcl_Obj* const objv[], DumpArgs& a)
{
    for (int i = 1; i < objc; ++i) {
        const char* w = Tcl_GetString(objv[i]);
        if (w[0] != '-') {
            a.positional.push_back(objv[i]);
            continue;
        }
        if (!std::strcmp(w, "-l")) a.byte_order = 0;
        else if (!std::strcmp(w, "-b")) a.byte_order = 1;
        else if (!std::strcmp(w, "-s")) a.paged = false;
        else if (!std::strcmp(w, "-a")) a.paged = true;
        else if (!std::strcmp(w, "-m_pn")) a.sel[SEL_MPN] = true;
        else if (!std::strcmp(w, "-vpd")) a.sel[SEL_VPD] = true;
        else if (!std::strcmp(w, "-hw_set")) a.sel[SEL_HWSET] = true;
        else if (!std::strcmp(w, "-mdump")) a.sel[SEL_MDUMP] = true;
        else return false;
    }
    return a.positional.size() == 1 || a.positional.size() == 3;
}

// Offset and length of the selected image; 0, or 1 with the message in the result.
int selected_image(Tcl_Interp* interp, Tcl_Obj* const[], Selector s, uint32_t* offset, uint32_t* length)
{
    const char* name = s == SEL_MPN ? "MODULES_PN" : s == SEL_VPD ? "VPD" : s == SEL_HWSET ? "HW_SET" : "MDUMP";
    int row = s == SEL_MPN ? row_by_name_part(name) : row_by_name(name);
    int found = row < 0 ? 0 : find_row_image(uint32_t(row), offset, length);
    if (found == 1 && *length != 0)
        return 0;
    if (s == SEL_VPD)
        append(interp, "Can't dump VPD image, does not exist.");
    else if (s == SEL_HWSET)
        append(interp, "Can't dump HW_SWT image, does not exist.");
    else if (s == SEL_MDUMP)
        append(interp, "Can't dump MDUMP image, does not exist.\n");
    return 1;
}

// The E4 image of a selector (VPD type 7, HW_SET type 16; "-mdump" dumps the whole NVRAM and the
// module list has no E4 image); 0, or 1 with the message in the result.
int selected_e4_image(Tcl_Interp* interp, Tcl_Obj* const objv[], Selector s, uint32_t* offset, uint32_t* length)
{
    if (s == SEL_MDUMP)
        return 0;
    if (s == SEL_MPN) {
        Tcl_WrongNumArgs(interp, 1, objv, kUsage);
        return 1;
    }
    const uint32_t type = s == SEL_VPD ? 7 : 16;
    if (e4_nvm_find_image(type, offset, length, nullptr) == 0 && *length != 0)
        return 0;
    append(interp, s == SEL_VPD ? "Can't dump VPD image, does not exist." : "Can't dump HW_SWT image, does not exist.");
    return 1;
}

// Writes the dumped bytes as the selector asks; 0, or 1 with the message in the result.
int write_dump(Tcl_Interp* interp, Selector sel, const char* file, uint8_t* buf, uint32_t count)
{
    int failed = 0;
    switch (sel) {
    case SEL_VPD: failed = vpd_image_to_text_file(file, buf, count); break;
    case SEL_MPN: failed = sfp_module_list_dump(file, buf, count); break;
    case SEL_HWSET: failed = hw_set_dump(file, buf, count); break;
    case SEL_NONE:
    case SEL_MDUMP: failed = common_nvm_write_file(interp, file, buf, count, nullptr); break;
    }
    if (failed)
        append(interp, "Can't write to file, already exists?");
    return failed ? 1 : 0;
}

// Offset and length of an explicit range, rounded down to whole words: 0, or a Tcl error.
int parse_range(Tcl_Interp* interp, const DumpArgs& a, uint32_t* offset, uint32_t* length)
{
    int off = 0, len = 0;
    if (Tcl_GetIntFromObj(interp, a.positional[0], &off) != TCL_OK ||
        Tcl_GetIntFromObj(interp, a.positional[1], &len) != TCL_OK)
        return TCL_ERROR;
    if (off < 0 || len <= 0) {
        append(interp, "Dump from NVM failed.");
        return TCL_ERROR;
    }
    *offset = uint32_t(off) & ~3u;
    *length = uint32_t(len) & ~3u;
    return TCL_OK;
}

using ImageLookup = int (*)(Tcl_Interp*, Tcl_Obj* const[], Selector, uint32_t*, uint32_t*);

// The range to dump: the one given, the selected image's, or the whole NVRAM; it must lie inside
// the NVRAM. TCL_OK, or TCL_ERROR with the message in the result.
int dump_range(Tcl_Interp* interp, const DumpArgs& a, Tcl_Obj* const objv[], ImageLookup lookup, uint32_t* offset,
               uint32_t* length)
{
    const uint32_t nvm = common_nvm_get_nvm_size();
    *offset = 0;
    *length = nvm;
    if (a.positional.size() == 3) {
        if (parse_range(interp, a, offset, length) != TCL_OK)
            return TCL_ERROR;
    } else if (a.selector() != SEL_NONE && lookup(interp, objv, a.selector(), offset, length) != 0) {
        return TCL_ERROR;
    }
    if (*length != 0 && uint64_t(*offset) + *length <= nvm)
        return TCL_OK;
    append(interp, "Dump range reaches past the end of NVM.");
    return TCL_ERROR;
}

// A zeroed buffer of `size` bytes; false with the message in the result when there is no memory.
bool allocate(Tcl_Interp* interp, std::vector<uint8_t>& buf, size_t size)
{
    try {
        buf.assign(size, 0);
        return true;
    } catch (...) {
        append(interp, "No more host memory.");
        return false;
    }
}

// E4: no page format; the image is read as stored (swap 0) and every word goes out in network
// order, which the VPD and register-script dumps turn back into the image's own order.
int dump_e4(Tcl_Interp* interp, const DumpArgs& a, Tcl_Obj* const objv[])
{
    uint32_t offset = 0, length = 0;
    std::vector<uint8_t> buf;
    if (dump_range(interp, a, objv, selected_e4_image, &offset, &length) != TCL_OK || !allocate(interp, buf, length))
        return TCL_ERROR;
    if (common_nvm_read_chunked(offset, buf.data(), length, 0) != 0)
        return TCL_ERROR;
    for (uint32_t i = 0; i + 4 <= length; i += 4)
        std::swap(buf[i], buf[i + 3]), std::swap(buf[i + 1], buf[i + 2]);
    return write_dump(interp, a.selector(), Tcl_GetString(a.positional.back()), buf.data(), length) ? TCL_ERROR : TCL_OK;
}

int dump(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    DumpArgs a;
    if (!parse(objc, objv, a)) {
        Tcl_WrongNumArgs(interp, 1, objv, kUsage);
        return TCL_ERROR;
    }
    switch (chip_family()) {
    case ChipFamily::E1E3:
        break;
    case ChipFamily::E4:
        return dump_e4(interp, a, objv);
    case ChipFamily::Unknown:
        append(interp, "nvm dump is not supported on this chip.");
        return TCL_ERROR;
    }
    uint32_t offset = 0, length = 0;
    std::vector<uint8_t> buf;
    if (dump_range(interp, a, objv, selected_image, &offset, &length) != TCL_OK)
        return TCL_ERROR;
    const uint32_t nvm = common_nvm_get_nvm_size();
    if (!allocate(interp, buf, a.paged ? size_t(paged_size(length, nvm)) : size_t(length)))
        return TCL_ERROR;
    uint32_t count = 0;
    if (common_nvm_read_abortable(buf.data(), a.byte_order, length, offset, &count) != 0) {
        append(interp, "Dump from NVM failed.");
        return TCL_ERROR;
    }
    // A dump whose page conversion failed is not written: its file would not be what was asked.
    if (a.paged && Append8bytes(interp, buf.data(), uint32_t(buf.size()), &count) != 0)
        return TCL_ERROR;
    return write_dump(interp, a.selector(), Tcl_GetString(a.positional.back()), buf.data(), count) ? TCL_ERROR : TCL_OK;
}

}  // namespace

extern "C" int tcl_al_nvm_dump_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return dump(interp, objc, objv); });
}
