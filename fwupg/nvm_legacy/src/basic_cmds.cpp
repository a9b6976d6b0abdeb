// nvm read, show, write and fill.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "fwupg/nvm/base/console.h"
#include "fwupg/nvm_legacy/commands.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t FILL_MAX = 16u << 20;   // no legacy NVRAM is larger

bool get_u32(Tcl_Interp* interp, Tcl_Obj* obj, uint32_t* out)
{
    int v = 0;
    if (Tcl_GetIntFromObj(interp, obj, &v) != TCL_OK)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

uint32_t last_show_addr = 0, last_show_count = 4;

using toe::guarded;
using toe::number;

}  // namespace

void nvm_buf_host_order(uint32_t*, uint32_t) {}

int toe_nvm_read_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return guarded(ops, [&]() -> int {
        if (objc != 2 && objc != 3) {
            toe::wrong_args(ops, objv, "addr ?nbytes?");
            return TCL_ERROR;
        }
        uint32_t dev = 0, addr = 0, count = 0;
        if (!toe::get_dev(ops, &dev))
            return TCL_ERROR;
        virt_nvm_free();
        if (!get_u32(ops.interp, objv[1], &addr))
            return TCL_ERROR;
        uint32_t word = 0;
        if (objc == 2) {
            if (toe::read_dword(ops, dev, addr & ~3u, &word) != 0) {
                toe::append_result(ops, "Bad device or address");
                return TCL_ERROR;
            }
            Tcl_SetObjResult(ops.interp, number(ops, static_cast<int>(word)));
            return TCL_OK;
        }
        if (!get_u32(ops.interp, objv[2], &count))
            return TCL_ERROR;
        if (count > FILL_MAX) {
            toe::append_result(ops, "Bad device or address");
            toe::set_error(ops, toe::ERR_READ);
            return TCL_ERROR;
        }
        Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
        Tcl_IncrRefCount(list);
        char head[16];
        std::snprintf(head, sizeof head, "%u:", addr);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(head, -1));
        uint32_t read_at = 0xFFFFFFFFu;
        for (uint64_t a = addr; a < uint64_t(addr) + count; ++a) {
            const uint32_t aligned = uint32_t(a) & ~3u;
            if (aligned != read_at) {
                // A failed read ends the command instead of listing undefined bytes.
                if (toe::read_dword(ops, dev, aligned, &word) != 0) {
                    Tcl_DecrRefCount(list);
                    toe::append_result(ops, "Bad device or address");
                    toe::set_error(ops, toe::ERR_READ);
                    return TCL_ERROR;
                }
                read_at = aligned;
            }
            const int byte = int((word >> ((3 - (a & 3)) * 8)) & 0xFF);
            Tcl_ListObjAppendElement(nullptr, list, number(ops, byte));
        }
        Tcl_SetObjResult(ops.interp, list);
        Tcl_DecrRefCount(list);
        return TCL_OK;
    });
}

int toe_nvm_show_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return guarded(ops, [&]() -> int {
        if (objc < 1 || objc > 3) {
            toe::set_error(ops, toe::ERR_BAD_ARGS);
            toe::wrong_args(ops, objv, "?addr? ?nbytes?");
            return TCL_ERROR;
        }
        uint32_t dev = 0;
        if (!toe::locate_device(ops, &dev))
            return TCL_ERROR;
        virt_nvm_free();
        const bool bytes = toe::sys_var(ops, "DISP_BYTE").rfind("1", 0) == 0;
        const uint32_t limit = bytes ? 3264 : 6528;
        uint32_t addr = 0, count = 0;
        if (objc == 1) {
            addr = (last_show_addr + last_show_count) & ~3u;
            count = last_show_count;
        } else {
            if (!get_u32(ops.interp, objv[1], &addr) || (objc == 3 && !get_u32(ops.interp, objv[2], &count))) {
                toe::set_error(ops, toe::ERR_BAD_ARGS);
                return TCL_ERROR;
            }
            if (objc == 2) {
                count = 4;
            } else {
                addr &= ~3u;
                if (count > limit) {
                    fwupg_dbg_printf("Bytecount exceeded, only 0x%x bytes will be displayed\n", limit);
                    count = limit;
                }
                count = (count + 3) & ~3u;
            }
        }
        // Kept in NVRAM byte order so that the display shows the bytes at their addresses.
        std::vector<uint8_t> buf(count);
        for (uint32_t i = 0; i < count; i += 4) {
            uint32_t w = 0;
            if (toe::read_dword(ops, dev, addr + i, &w) != 0) {
                toe::set_error(ops, toe::ERR_READ);
                toe::set_result(ops, "Bad device or address");
                return TCL_ERROR;
            }
            toe::store_be32(buf.data() + i, w);
        }
        if (bytes)
            dump_bytes(buf.data(), addr, count);
        else
            dump_dwords();
        last_show_addr = addr;
        last_show_count = count;
        toe::set_result(ops, "");
        return TCL_OK;
    });
}

int toe_nvm_write_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return guarded(ops, [&]() -> int {
        if (objc != 3) {
            toe::set_error(ops, toe::ERR_BAD_ARGS);
            toe::wrong_args(ops, objv, "addr arg (arg can be a value or a list)");
            return TCL_ERROR;
        }
        uint32_t dev = 0, addr = 0, value = 0;
        if (!toe::get_dev(ops, &dev)) {
            toe::set_error(ops, toe::ERR_NO_DEVICE);
            return TCL_ERROR;
        }
        virt_nvm_free();
        if (!get_u32(ops.interp, objv[1], &addr)) {
            toe::set_error(ops, toe::ERR_WRITE);
            return TCL_ERROR;
        }
        auto bad = [&](uint32_t code) {
            toe::append_result(ops, "Bad device or address");
            toe::set_error(ops, code);
            return TCL_ERROR;
        };
        if (get_u32(nullptr, objv[2], &value)) {
            if (toe::write_dword(ops, dev, addr & ~3u, value) != 0)
                return bad(toe::ERR_WRITE);
            Tcl_SetObjResult(ops.interp, Tcl_NewIntObj(1));
            return TCL_OK;
        }
        int n = 0;
        Tcl_Obj** elems = nullptr;
        if (Tcl_ListObjGetElements(nullptr, objv[2], &n, &elems) != TCL_OK || n < 2) {
            toe::set_error(ops, toe::ERR_WRITE);
            return TCL_ERROR;
        }
        uint32_t cursor = addr;
        int next = 0;
        while (next < n) {
            uint32_t word = 0;
            const uint32_t at = cursor & ~3u;
            if (toe::read_dword(ops, dev, at, &word) != 0)
                return bad(toe::ERR_READ);
            for (uint32_t pos = cursor & 3; pos < 4 && next < n; ++next) {
                Tcl_Obj* e = elems[next];
                if (std::strchr(Tcl_GetString(e), ':'))
                    continue;   // the address element of a "nvm read" list
                uint32_t byte = 0;
                if (get_u32(nullptr, e, &byte)) {
                    const uint32_t shift = (3 - pos) * 8;
                    word = (word & ~(0xFFu << shift)) | (byte & 0xFF) << shift;
                }
                ++pos;
                ++cursor;
            }
            if (toe::write_dword(ops, dev, at, word) != 0)
                return bad(toe::ERR_WRITE);
        }
        Tcl_SetObjResult(ops.interp, Tcl_NewIntObj(1));
        return TCL_OK;
    });
}

int toe_nvm_fill_cmd(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    return guarded(ops, [&]() -> int {
        if (objc != 4) {
            toe::wrong_args(ops, objv, "addr bytecount dword_pttrn");
            return TCL_ERROR;
        }
        uint32_t dev = 0, addr = 0, count = 0, constant = 0;
        if (!toe::get_dev(ops, &dev)) {
            toe::append_result(ops, "Bad device");
            return TCL_ERROR;
        }
        virt_nvm_free();
        if (!get_u32(nullptr, objv[1], &addr)) {
            toe::append_result(ops, ": Bad address");
            return TCL_ERROR;
        }
        if (!get_u32(nullptr, objv[2], &count) || count > FILL_MAX) {
            toe::append_result(ops, ": Bad byte_cnt");
            return TCL_ERROR;
        }
        const char* pattern = Tcl_GetString(objv[3]);
        enum { INC, ADDR, CONSTANT } kind;
        if (std::strstr(pattern, "inc"))
            kind = INC;
        else if (std::strstr(pattern, "addr"))
            kind = ADDR;
        else if (get_u32(nullptr, objv[3], &constant))
            kind = CONSTANT;
        else {
            toe::append_result(ops, ": Bad value or pattern");
            return TCL_ERROR;
        }
        count = (count + 3) & ~3u;
        addr &= ~3u;
        std::vector<uint8_t> buf(count + 4);
        for (uint32_t i = 0; i < count / 4; ++i)
            toe::store_le32(buf.data() + 4 * i, kind == INC ? i : kind == ADDR ? addr + 4 * i : constant);
        uint32_t written = 0;
        const int rc = toe_nvm_program_nvm(ops, buf.data(), count, addr,
                                           TOE_PRG_TAKE_MAC | TOE_PRG_TAKE_SMBUS | TOE_PRG_NO_CHIP_CHK, &written);
        if (rc == 0 && written == count) {
            if (g_virt_nvm.data && dev == 0)
                nvm_file_write_refused(ops, virt_nvm_file_name);
            toe::append_result(ops, "done");
            return TCL_OK;
        }
        toe::append_result(ops, "Fill fails");
        return TCL_ERROR;
    });
}
