// "dump": a range of NVRAM (by default all of it) into a new file, optionally with the bootstrap's
// boot-code address brought into the addressing form of another flash part.
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/file_io.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr const char* USAGE = "?-l? ?-a|-s? offset length filename";
enum class boot_form { copy, buffered, linear };

}  // namespace

int toe_nvm_dump_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return toe::guarded(ops, [&]() -> int {
        if (objc < 2)
            return toe::usage_error(ops, objv, USAGE);
        uint32_t dev = 0;
        if (!toe::get_dev(ops, &dev))
            return TCL_ERROR;
        virt_nvm_free();
        const int board = toe::board(ops);

        int swap = 1;
        boot_form form = boot_form::copy;
        int at = 1;
        for (; at < objc; ++at) {
            const char* word = Tcl_GetString(objv[at]);
            if (word[0] != '-')
                break;
            switch (word[1]) {
            case 'a': form = boot_form::buffered; break;
            case 's': form = boot_form::linear; break;
            case 'l': swap = 0; break;
            default: return toe::usage_error(ops, objv, USAGE);
            }
        }
        if (toe::board_is_dual(board))
            form = boot_form::linear;   // these boards address their flash linearly

        const int left = objc - at;
        uint32_t offset = 0, length = 0;
        if (left == 1) {
            length = uint32_t(toe_nvm_size(ops.interp));
        } else if (left == 3) {
            int o = 0, l = 0;
            if (Tcl_GetIntFromObj(ops.interp, objv[at], &o) != TCL_OK ||
                Tcl_GetIntFromObj(ops.interp, objv[at + 1], &l) != TCL_OK)
                return TCL_ERROR;
            offset = uint32_t(o) & ~3u;
            length = uint32_t(l) & ~3u;
        } else {
            return toe::usage_error(ops, objv, USAGE);
        }
        const char* file = Tcl_GetString(objv[objc - 1]);

        // A range past the end of the NVRAM cannot be read; refused before anything is allocated.
        if (uint64_t(offset) + length > toe::nvm_limit(ops))
            return toe::command_error(ops, toe::ERR_DUMP, "Dump from NVM failed.");

        std::vector<uint8_t> buf;
        try {
            buf.resize(length + 4);
        } catch (const std::bad_alloc&) {
            return toe::command_error(ops, toe::ERR_NO_MEMORY, "No more host memory.");
        }
        if (length > 0 && toe_nvm_read_range(ops, buf.data(), swap, length, offset, nullptr) != 0)
            return toe::command_error(ops, toe::ERR_DUMP, "Dump from NVM failed.");

        if (offset == 0 && length > 20) {
            if (!toe::get_dev(ops, &dev)) {
                toe::set_error(ops, toe::ERR_NO_DEVICE);
                return TCL_ERROR;
            }
            const uint32_t boot_addr = nvm_buf_get_dword(swap, buf.data(), 12);
            const std::string type = toe::toe_var(ops, "NVM_TYPE");
            if (type == "BUFFERED" && form == boot_form::linear)
                toe_buf_set_boot_addr(swap, buf.data(), nvm_flash_to_linear_addr(ops, dev, boot_addr, 1));
            else if (type == "NONBUFFERED" && form == boot_form::buffered)
                toe_buf_set_boot_addr(swap, buf.data(), nvm_linear_to_flash_addr(ops, dev, boot_addr, 1));
        }

        if (nvm_file_write(ops, file, buf.data(), length, nullptr) != 0)
            return toe::command_error(ops, toe::ERR_DUMP, "Can't write to file, already exists?");
        return TCL_OK;
    });
}
