#include "toe_context.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "fwupg/nvm/base/piece_writer.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/virt_nvm.h"

namespace toe {

void set_error(const HostOps& ops, uint32_t code)
{
    if (ops.setLastError)
        ops.setLastError(code);
}

void append_result(const HostOps& ops, const char* text)
{
    if (ops.interp)
        Tcl_AppendResult(ops.interp, text, static_cast<char*>(nullptr));
}

void set_result(const HostOps& ops, const char* text)
{
    if (ops.interp)
        Tcl_SetObjResult(ops.interp, Tcl_NewStringObj(text, -1));
}

bool get_dev(const HostOps& ops, uint32_t* dev)
{
    int v = 0;
    if (!ops.getToeInt || ops.getToeInt(ops.interp, "DEV", &v) != 0)
        return false;
    *dev = static_cast<uint32_t>(v);
    return true;
}

int command_error(const HostOps& ops, uint32_t code, const std::string& text)
{
    if (code)
        set_error(ops, code);
    append_result(ops, text.c_str());
    return TCL_ERROR;
}

int usage_error(const HostOps& ops, Tcl_Obj* const objv[], const char* usage)
{
    set_error(ops, ERR_BAD_ARGS);
    wrong_args(ops, objv, usage);
    return TCL_ERROR;
}

uint32_t nvm_limit(const HostOps& ops)
{
    constexpr uint32_t kLargestPart = 16u << 20;
    const long size = toe_nvm_size(ops.interp);
    return size > 0 ? uint32_t(size) : kLargestPart;
}

bool locate_device(const HostOps& ops, uint32_t* dev)
{
    if (get_dev(ops, dev))
        return true;
    set_error(ops, ERR_NO_DEVICE);
    append_result(ops, "Failed to locate device.");
    return false;
}

static std::string array_var(const HostOps& ops, const char* array, const char* name)
{
    if (!ops.interp)
        return {};
    const char* v = Tcl_GetVar2(ops.interp, array, name, TCL_GLOBAL_ONLY);
    return v ? std::string(v) : std::string();
}

std::string toe_var(const HostOps& ops, const char* name) { return array_var(ops, "::toe", name); }
std::string sys_var(const HostOps& ops, const char* name) { return array_var(ops, "::sys", name); }

int board(const HostOps& ops)
{
    const std::string text = toe_var(ops, "BOARD");
    if (text.empty())
        return 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    return (end && *end == '\0' && v > 0 && v < 0x7FFFFFFF) ? static_cast<int>(v) : 0;
}

bool board_is_dual(int b) { return b == 5709 || b == 5716 || b == 57728; }

bool port0_is_first(const HostOps& ops)
{
    const std::string text = toe_var(ops, "PORT0");
    return std::strtol(text.c_str(), nullptr, 0) != 0;
}

uint32_t read_dword(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t* out, uint8_t swap)
{
    return ops.nvmReadDword ? ops.nvmReadDword(dev, off, out, swap) : HOST_NO_ACCESS;
}

// Every write is read back once: flash that reports a write stored but keeps other bytes (or
// none) fails the write here, so the programming stops and its caller restores what it saved.
uint32_t write_dword(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t value, uint8_t swap)
{
    if (!ops.nvmWriteDword)
        return HOST_NO_ACCESS;
    if (const uint32_t status = ops.nvmWriteDword(dev, off, value, swap))
        return status;
    uint32_t kept = 0;
    if (read_dword(ops, dev, off, &kept, swap) != 0 || kept != value) {
        fwupg_dbg_printf("NVM write at 0x%x did not keep its data.\n", off);
        return HOST_WRITE_FAILED;
    }
    return HOST_OK;
}

uint32_t read_block(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t len, uint8_t* buf, uint8_t swap)
{
    return ops.nvmReadBlock ? ops.nvmReadBlock(dev, off, len, buf, swap) : HOST_NO_ACCESS;
}

uint32_t write_block(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t len, uint8_t* buf, uint8_t swap)
{
    if (!ops.nvmWriteBlock)
        return HOST_NO_ACCESS;
    // The host turns the caller's words into NVRAM order in place: the comparison is with a copy.
    const std::vector<uint8_t> wanted(buf, buf + len);
    if (const uint32_t status = ops.nvmWriteBlock(dev, off, len, buf, swap))
        return status;
    std::vector<uint8_t> kept(len);
    if (read_block(ops, dev, off, len, kept.data(), swap) != 0 || kept != wanted) {
        fwupg_dbg_printf("NVM write at 0x%x (%u bytes) did not keep its data.\n", off, len);
        return HOST_WRITE_FAILED;
    }
    return HOST_OK;
}

uint32_t write_changed(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t len, uint8_t* want)
{
    const fwupg::nvm::PieceIo io{
        [&](uint32_t at, uint8_t* out, uint32_t n) { return read_block(ops, dev, at, n, out) == 0; },
        [&](uint32_t at, uint8_t* bytes, uint32_t n) { return write_block(ops, dev, at, n, bytes) == 0; },
    };
    return fwupg::nvm::write_in_pieces(want, len, off, {}, true, io, true) == 0 ? HOST_OK : HOST_WRITE_FAILED;
}

void idle(const HostOps& ops)
{
    if (ops.nop2)
        ops.nop2();
}

void wrong_args(const HostOps& ops, Tcl_Obj* const objv[], const char* usage)
{
    if (ops.interp)
        Tcl_WrongNumArgs(ops.interp, 1, objv, usage);
}

Tcl_Obj* number(const HostOps& ops, int v)
{
    Tcl_Obj* o = Tcl_NewIntObj(v);
    if (ops.nop4)
        ops.nop4();
    return o;
}

int guarded_body(const HostOps& ops, int (*body)(void*), void* context)
{
    int rc;
    try {
        rc = body(context);
    } catch (const std::bad_alloc&) {
        set_error(ops, ERR_NO_MEMORY);
        append_result(ops, "No more host memory.");
        rc = TCL_ERROR;
    } catch (...) {
        set_error(ops, ERR_INTERNAL);
        rc = TCL_ERROR;
    }
    virt_nvm_free();
    return rc;
}

}  // namespace toe
