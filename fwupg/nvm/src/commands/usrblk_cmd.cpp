// "usrblk": writes the user block image (USR_BLK) of the extended directory from a size (zeros)
// or a file. An existing block's content is carried to the start of the new, larger block.
#include <cstring>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/file_io.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"

using namespace fwupg::nvm;

namespace {

void append(Tcl_Interp* interp, const char* text) { Tcl_AppendResult(interp, text, nullptr); }

int usrblk(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    const char* opt = objc == 3 ? Tcl_GetString(objv[1]) : "";
    const bool by_size = !std::strcmp(opt, "-s"), by_file = !std::strcmp(opt, "-f");
    if (!by_size && !by_file) {
        Tcl_WrongNumArgs(interp, 1, objv, "-s <size> or -f <file name>");
        return TCL_ERROR;
    }
    switch (chip_family()) {
    case ChipFamily::E1E3:
        break;
    case ChipFamily::E4:  // the E4 directory has no user block type
    case ChipFamily::Unknown:
        append(interp, "nvm usrblk is not supported on this chip.");
        return TCL_ERROR;
    }
    const char* file = Tcl_GetString(objv[2]);
    uint32_t size = 0;
    if (by_size) {
        int v = 0;
        if (Tcl_GetIntFromObj(interp, objv[2], &v) != TCL_OK)
            return TCL_ERROR;
        size = v < 0 ? 1 : uint32_t(v);  // a negative count is refused as not a multiple of four
    } else if (common_nvm_file_size(file, &size) != 0) {
        append(interp, "File does not exist.");
        return TCL_ERROR;
    }
    if (size % 4 || size == 0) {
        append(interp, "Byte count must be a multiple of four bytes.");
        return TCL_ERROR;
    }
    if (size > common_nvm_get_nvm_size()) {
        append(interp, "The user block does not fit into NVM.");
        return TCL_ERROR;
    }
    std::vector<uint8_t> buf(size, 0);
    if (by_file && common_nvm_read_file(interp, file, buf.data(), size, nullptr) != 0) {
        append(interp, "Can't read file.");
        return TCL_ERROR;
    }
    uint32_t present = 0, off = 0, len = 0;
    if (common_nvm_find_ext_dir_image(&present, kTypeUsrBlk, &off, &len, nullptr) != 0) {
        append(interp, "Error reading user block from NVRAM.");
        return TCL_ERROR;
    }
    if (present) {
        if (len < 4 || len - 4 >= size) {
            append(interp, "A bigger user block exists.");
            return TCL_ERROR;
        }
        // Read in the order the install writes, so that the old content is carried unchanged.
        if (len > 4 && common_nvm_read(off, buf.data(), len - 4, 1) != 0) {
            append(interp, "Error reading user block from NVRAM.");
            return TCL_ERROR;
        }
    }
    // The old block stays listed (and its place taken) until the new one is programmed: the
    // install replaces it.
    const int row = row_by_name("USR_BLK");
    if (row < 0 || common_nvm_install_ext_image(buf.data(), size, uint32_t(row), 0, 1, 0, 0) != 0) {
        append(interp, "Failed to program user block !!\n");
        return TCL_ERROR;
    }
    return TCL_OK;
}

}  // namespace

extern "C" int tcl_al_nvm_usrblk_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return usrblk(interp, objc, objv); });
}
