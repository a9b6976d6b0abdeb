// "usrblk": creates a zero-filled user block of the size given, or grows the one in NVRAM to it,
// keeping its data in front; the old block stays listed and whole until the grown one is written.
#include <cstring>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t DIR_USR_BLK = 0xA0000000u;

}  // namespace

int toe_nvm_usrblk_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe::guarded(ops, [&]() -> int {
        uint32_t dev = 0;
        if (!toe::get_dev(ops, &dev))
            return toe::command_error(ops, 0, "Failed to locate device.");
        // Device 0 is the adapter itself here; a virtual NVRAM is loaded only when one is named.
        if (dev == 0 && virt_nvm_file_name[0]) {
            if (virt_nvm_load(ops, virt_nvm_file_name) != 0)
                return TCL_ERROR;
        } else {
            virt_nvm_free();
        }
        if (objc != 2) {
            toe::wrong_args(ops, objv, "size");
            return TCL_ERROR;
        }
        int size = 0;
        if (Tcl_GetIntFromObj(ops.interp, objv[1], &size) != TCL_OK)
            return TCL_ERROR;
        if (size % 4 != 0)
            return toe::command_error(ops, 0, "Byte count must be a multiple of four bytes.");
        if (size < 0 || uint32_t(size) > toe::nvm_limit(ops))
            return toe::command_error(ops, 0, "Byte count exceeds the NVRAM size.");

        std::vector<uint8_t> block(size_t(size) + 4, 0);
        int index = 0;
        if (toe_nvm_find_dir_entry(ops, DIR_USR_BLK, &index) == 0) {
            uint32_t offset = 0, bytes = 0;
            if (toe_nvm_read_dir_entry(ops, index, &offset, &bytes, nullptr, nullptr, nullptr) != 0)
                return toe::command_error(ops, 0, "Error reading NVRAM.");
            const uint32_t data = bytes >= 4 ? bytes - 4 : 0;   // the last word is the block's CRC
            if (data >= uint32_t(size))
                return toe::command_error(ops, 0, "A bigger user block exists.");
            if (data > 0 && toe::read_block(ops, dev, offset, data, block.data()) != 0)
                return toe::command_error(ops, 0, "Error reading NVRAM.");
        }
        // The old block stays listed until the grown one is written beside it. A block that could
        // not be written is a failed command, never a made one.
        switch (toe_nvm_write_usrblk(ops, block.data(), uint32_t(size))) {
        case 0:
            return TCL_OK;
        case 2:
            return toe::command_error(ops, 0, "Not enough space in NVM.");
        default:
            return toe::command_error(ops, 0, "Error writing NVRAM.");
        }
    });
}
