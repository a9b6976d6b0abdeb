// "_prg": programs a whole (or partial) NVRAM image file, plain or paged, into an E1-E3 adapter,
// keeping the board's identity as the option flags ask.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/file_io.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/e123/board_fixups.h"
#include "fwupg/nvm/e123/board_vpd.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/formats/page_spares.h"
#include "fwupg/wrapped_record.h"

using namespace fwupg::nvm;

namespace {

constexpr const char* kUsage = "?options? offset <file|mem_addr> ?size?";

enum PrgOption {
    OPT_MEM, OPT_L, OPT_FORCE_MAC, OPT_SKIP_CONFIG, OPT_FORCE_IBCFG, OPT_FORCE_FEBCFG, OPT_FORCE_NIV,
    OPT_SKIP_SN, OPT_SKIP_VPD, OPT_SKIP_EC, OPT_NO_IDMATCH, OPT_IDMATCH, OPT_RAW, OPT_SKIP_OPTIONS, OPT_IFFE,
};
const char* const kOptions[] = {"-mem",    "-l",         "-force_mac", "-skip_config", "-force_ibcfg",
                                "-force_febcfg", "-force_niv", "-skip_sn", "-skip_vpd",  "-skip_ec",
                                "-no_idmatch", "-idmatch", "-raw",     "-skip_options", "-iffe", nullptr};

void append(Tcl_Interp* interp, const char* text) { Tcl_AppendResult(interp, text, nullptr); }

struct PrgArgs {
    uint32_t flags = NVM_PRG_BIG_ENDIAN;
    bool raw = false, skip_vpd = false, mem = false;
    int positional = 0;
    uint32_t offset = 0;
    const char* file = nullptr;
    uint32_t size = 0;
};

// Reads the words of the command line; 0, or 1 with the message in the result.
int parse(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], PrgArgs& a)
{
    for (int i = 1; i < objc; ++i) {
        const char* word = Tcl_GetString(objv[i]);
        if (word[0] == '-') {
            int idx = 0;
            if (Tcl_GetIndexFromObj(interp, objv[i], kOptions, "option", TCL_EXACT, &idx) != TCL_OK)
                return 1;
            switch (idx) {
            case OPT_MEM: a.flags &= ~NVM_PRG_BIG_ENDIAN; a.mem = true; break;
            case OPT_L: a.flags &= ~NVM_PRG_BIG_ENDIAN; break;
            case OPT_FORCE_MAC: a.flags |= NVM_PRG_NO_KEEP_MAC; break;
            case OPT_SKIP_CONFIG: a.flags |= NVM_PRG_KEEP_NPAR; break;
            case OPT_FORCE_IBCFG: a.flags |= NVM_PRG_NO_KEEP_ISCSI; break;
            case OPT_FORCE_FEBCFG: a.flags |= NVM_PRG_NO_KEEP_FCOE; break;
            case OPT_FORCE_NIV: a.flags |= NVM_PRG_NIV_MODE; break;
            case OPT_SKIP_SN: a.flags |= NVM_PRG_KEEP_VPD_SN; break;
            case OPT_SKIP_VPD: a.skip_vpd = true; break;
            case OPT_SKIP_EC: a.flags |= NVM_PRG_KEEP_VPD_EC; break;
            case OPT_RAW: a.raw = true; break;
            case OPT_SKIP_OPTIONS:
            case OPT_IFFE:
                Tcl_ResetResult(interp);
                append(interp, "Unknown option");
                return 1;
            default: break;  // -no_idmatch, -idmatch: accepted, no effect
            }
            continue;
        }
        ++a.positional;
        if (a.positional == 1) {
            int v = 0;
            if (Tcl_GetIntFromObj(nullptr, objv[i], &v) != TCL_OK || v < 0) {
                Tcl_AppendResult(interp, "Offset: expect an integer, but got ", word, nullptr);
                return 1;
            }
            a.offset = uint32_t(v) & ~3u;
        } else if (a.positional == 2) {
            if (a.mem)
                Tcl_SetResult(interp, const_cast<char*>("nvm prg -mem option is not supported in fwupg tool"),
                              TCL_STATIC);
            else
                a.file = word;
        } else if (a.positional == 3) {
            int v = 0;
            if (Tcl_GetIntFromObj(nullptr, objv[i], &v) != TCL_OK || v < 0) {
                Tcl_AppendResult(interp, "Size: expect an integer, but got ", word, nullptr);
                return 1;
            }
            a.size = uint32_t(v);
        }
    }
    return 0;
}

// The part of the command after the file is known; 0 once the image is programmed.
int program_file(Tcl_Interp* interp, PrgArgs& a)
{
    uint32_t file_size = 0;
    if (common_nvm_file_size(a.file, &file_size) != 0) {
        append(interp, "File does not exist.");
        return 1;
    }
    const uint32_t nvm = common_nvm_get_nvm_size();
    const uint64_t whole_paged = uint64_t(nvm) + uint64_t(nvm) / 256 * 8;
    if (file_size > nvm && file_size != whole_paged) {
        append(interp, "Failed to program NVM!! Image file size is larger than NVM size!!");
        return 1;
    }
    std::vector<uint8_t> buf;
    try {
        buf.assign(size_t(((uint64_t(file_size) + 3) & ~3ull) + 4), 0);
    } catch (...) {
        append(interp, "No more host memory.");
        return 1;
    }
    uint32_t got = 0;
    if (common_nvm_read_file(interp, a.file, buf.data(), file_size, &got) != 0) {
        append(interp, "Can't read file.");
        return 1;
    }
    // Only a paged file loses its spare words: in a plain image the same word is data.
    uint32_t length = got;
    if (is_paged_file(buf.data(), got, file_size, nvm) && Strip8bytes(interp, buf.data(), got, &length) != 0) {
        append(interp, "Failed to strip 8 extra bytes per block");
        return 1;
    }
    if (a.size != 0 && a.size < length)
        length = a.size;
    if (uint64_t(a.offset) + length > nvm) {
        append(interp, "Failed to program NVM!! Offset and length reach past the end of NVM!!");
        return 1;
    }
    if (a.raw) {
        a.flags |= NVM_PRG_NO_KEEP_MAC | NVM_PRG_NO_KEEP_ISCSI | NVM_PRG_NO_KEEP_FCOE | NVM_PRG_NIV_MODE;
        a.flags &= ~(NVM_PRG_KEEP_NPAR | NVM_PRG_KEEP_VPD_EC | NVM_PRG_KEEP_VPD_SN);
    }
    uint32_t magic = 0;
    if (common_nvm_read(0, &magic, 4, 1) != 0) {
        append(interp, "Failed to read from NVRAM");
        return 1;
    }
    if (magic != fwupg::kWrappedMagic) {
        fwupg_dbg_printf("Detected a blank board.\n");
        a.flags |= NVM_PRG_NIV_MODE;
    }
    // A whole image is mostly what the NVRAM holds (a backup put back after a failed upgrade):
    // rewriting only the pieces that differ keeps the time the NVRAM is part old, part new short.
    a.flags |= NVM_PRG_REFRESH_NPAR | NVM_PRG_SKIP_SAME;

    vpd_board_fields saved;
    if (a.skip_vpd && vpd_save_board_fields(interp, &saved) != 0) {
        append(interp, "Failed to read the board's VPD fields.");
        return 1;
    }
    append(interp, "Programming NVM ...\n");
    if (common_nvm_program_nvm(buf.data(), length, a.offset, a.flags, nullptr) != 0) {
        append(interp, "Programming NVM failed.");
        return 1;
    }
    common_nvm_create_boot_cfg_shadow();
    common_nvm_noop();
    if (reg_write(kRegGenericPor0, 1) != 0) {
        append(interp, "Failed to set MISC_REG_GENERIC_POR_0 register. \n");
        return 1;
    }
    if (a.skip_vpd && vpd_restore_board_fields(interp, &saved) != 0)
        return 1;
    if (common_nvm_board_fixups_after_prg)
        common_nvm_board_fixups_after_prg(interp);
    append(interp, "info burned into nvm successfully. \n");
    return 0;
}

int prg(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc <= 1) {
        Tcl_WrongNumArgs(interp, 1, objv, kUsage);
        return TCL_ERROR;
    }
    switch (chip_family()) {
    case ChipFamily::E1E3:
        break;
    case ChipFamily::E4:
        // Raw images are programmed on E1-E3 only; E4 images go through _upgrade.
        fwupg_dbg_printf("nvm prg does no raw programming on E4; nothing was written.\n");
        return TCL_OK;
    case ChipFamily::Unknown:
        append(interp, "nvm prg is not supported on this chip.");
        return TCL_ERROR;
    }
    PrgArgs a;
    if (parse(interp, objc, objv, a) != 0)
        return TCL_ERROR;
    if (!a.file) {
        append(interp, "Neither memory location nor file name specified.");
        return TCL_ERROR;
    }
    int code = program_file(interp, a) == 0 ? TCL_OK : TCL_ERROR;
    uint32_t off = 0, len = 0;
    HostOps host{};
    get_current_host_ops(&host);
    char text[16];
    std::snprintf(text, sizeof text, "%d", common_nvm_vpd_in_ext_dir(host, &off, &len));
    Tcl_SetVar2(interp, "::toe", "IS_VPD_IMAGE", text, TCL_GLOBAL_ONLY);
    return code;
}

}  // namespace

extern "C" int tcl_al_nvm_prg_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return guarded_command(interp, [&] { return prg(interp, objc, objv); });
}
