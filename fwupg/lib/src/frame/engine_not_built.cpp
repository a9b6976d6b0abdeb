// Weak "not built yet" definitions of every engine procedure the facade calls. An engine library
// linked into the vendor library replaces them with its strong definitions; a procedure that is
// not there says so through the debug print, the last error (kEngineNotBuiltBase + its slot) and,
// for command procedures, the interpreter's result, and fails: it never reports success.
#include "fwupg/engine_procs.h"

#include "fwupg/host_ops_builder.h"

namespace {

void not_built(const char* name, uint32_t slot, const HostOps* ops, Tcl_Interp* interp)
{
    fwupg_dbg_printf("%s(): not built into this library.\n", name);
    const uint32_t code = kEngineNotBuiltBase + slot;
    if (ops && ops->setLastError)
        ops->setLastError(code);
    else
        HostSetLastError(code);
    if (interp) Tcl_AppendResult(interp, name, ": not built into this library", static_cast<char*>(nullptr));
}

}  // namespace

#define FWUPG_NOT_BUILT __attribute__((weak))

FWUPG_NOT_BUILT uint32_t toe_nvm_help_cmd(char*, uint32_t, uint32_t, uint32_t*)
{
    not_built("toe_nvm_help_cmd", 1, nullptr, nullptr);
    return 0xFFFFFFFFu;
}

FWUPG_NOT_BUILT int toe_nvm_read_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_read_cmd", 2, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_show_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_show_cmd", 3, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_write_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_write_cmd", 4, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_fill_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_fill_cmd", 5, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_upgrade_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_upgrade_cmd", 6, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_cfg_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_cfg_cmd", 7, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_prg_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_prg_cmd", 8, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_dump_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_dump_cmd", 9, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_dir_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_dir_cmd", 10, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_crc_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_crc_cmd", 11, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_usrblk_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_usrblk_cmd", 12, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_rescfg_cmd(HostOps ops, int, Tcl_Obj* const[])
{
    not_built("toe_nvm_rescfg_cmd", 13, &ops, ops.interp);
    return TCL_ERROR;
}

FWUPG_NOT_BUILT int toe_nvm_crc_check(HostOps ops)
{
    not_built("toe_nvm_crc_check", 14, &ops, nullptr);
    return 1;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_dir_cmd(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_dir_cmd", 15, nullptr, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_crc_cmd(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_crc_cmd", 16, nullptr, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_dump_cmd(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_dump_cmd", 17, nullptr, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_prg_cmd(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_prg_cmd", 18, nullptr, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_update_cfg_cmd(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_update_cfg_cmd", 19, nullptr, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_mbi_upgrade_cmd(HostOps ops, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_mbi_upgrade_cmd", 20, &ops, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int tcl_al_nvm_upgrade_cmd(HostOps ops, Tcl_Interp* interp, int, Tcl_Obj* const[])
{
    not_built("tcl_al_nvm_upgrade_cmd", 21, &ops, interp);
    return TCL_ERROR;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_crc_check(Tcl_Interp* interp)
{
    not_built("common_nvm_crc_check", 22, nullptr, interp);
    return 1;
}

FWUPG_NOT_BUILT int set_nvm_wol(HostOps ops, uint32_t)
{
    not_built("set_nvm_wol", 23, &ops, nullptr);
    return 1;
}

FWUPG_NOT_BUILT int set_nvm_cfg(HostOps ops, cfg_request*)
{
    not_built("set_nvm_cfg", 24, &ops, nullptr);
    return 1;
}

FWUPG_NOT_BUILT int show_nvm_cfg(HostOps ops, cfg_request*)
{
    not_built("show_nvm_cfg", 25, &ops, nullptr);
    return 1;
}

FWUPG_NOT_BUILT int toe_nvm_find_dir_entry(HostOps ops, uint32_t, int*)
{
    not_built("toe_nvm_find_dir_entry", 26, &ops, nullptr);
    return 1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ext_image_present(HostOps ops, uint32_t, int32_t* index)
{
    not_built("common_nvm_ext_image_present", 27, &ops, nullptr);
    return (index ? *index = -1 : 0, -1);
}

extern "C" FWUPG_NOT_BUILT int common_nvm_set_cfg_bit24(HostOps ops, uint32_t)
{
    not_built("common_nvm_set_cfg_bit24", 28, &ops, nullptr);
    return 1;
}

extern "C" FWUPG_NOT_BUILT int set_nvm_cfg_57710(HostOps ops, cfg_request*, uint32_t)
{
    not_built("set_nvm_cfg_57710", 29, &ops, nullptr);
    return 1;
}

extern "C" FWUPG_NOT_BUILT int set_nvm_cfg_e4(HostOps ops, cfg_request*, uint32_t, uint32_t)
{
    not_built("set_nvm_cfg_e4", 30, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int show_nvm_cfg_e4(HostOps ops, cfg_request*)
{
    not_built("show_nvm_cfg_e4", 31, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int show_nvm_cfg_57710(HostOps ops, cfg_request*, uint32_t)
{
    not_built("show_nvm_cfg_57710", 32, &ops, nullptr);
    return 1;
}

extern "C" FWUPG_NOT_BUILT int update_nvm_cfg1_e4(HostOps ops)
{
    not_built("update_nvm_cfg1_e4", 33, &ops, nullptr);
    return 1;
}

extern "C" FWUPG_NOT_BUILT int show_active_swim(HostOps ops)
{
    not_built("show_active_swim", 34, &ops, nullptr);
    return -1;
}

FWUPG_NOT_BUILT int toe_nvm_ump_present(HostOps ops)
{
    not_built("toe_nvm_ump_present", 35, &ops, nullptr);
    return -1;
}

FWUPG_NOT_BUILT int toe_nvm_ipmi_present(HostOps ops)
{
    not_built("toe_nvm_ipmi_present", 36, &ops, nullptr);
    return -1;
}

FWUPG_NOT_BUILT int toe_nvm_ncsi_present(HostOps ops)
{
    not_built("toe_nvm_ncsi_present", 37, &ops, nullptr);
    return -1;
}

FWUPG_NOT_BUILT int toe_nvm_mba_present(HostOps ops)
{
    not_built("toe_nvm_mba_present", 38, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ump_present(HostOps ops)
{
    not_built("common_nvm_ump_present", 39, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ipmi_present(HostOps ops)
{
    not_built("common_nvm_ipmi_present", 40, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ncsi_present(HostOps ops)
{
    not_built("common_nvm_ncsi_present", 41, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_mba_present(HostOps ops)
{
    not_built("common_nvm_mba_present", 42, &ops, nullptr);
    return -1;
}

FWUPG_NOT_BUILT int nvm_file_size(const char*, int32_t*)
{
    not_built("nvm_file_size", 43, nullptr, nullptr);
    return 1;
}

FWUPG_NOT_BUILT int nvm_file_read(HostOps ops, const char*, uint8_t*, uint32_t, uint32_t*)
{
    not_built("nvm_file_read", 44, &ops, nullptr);
    return 1;
}

FWUPG_NOT_BUILT int nvm_file_write(HostOps ops, const char*, const uint8_t*, uint32_t, uint32_t*)
{
    not_built("nvm_file_write", 45, &ops, nullptr);
    return 1;
}

FWUPG_NOT_BUILT void toe_nvm_image_versions(HostOps ops, const uint8_t*, uint32_t, uint32_t, const char*, char* text, size_t textSize)
{
    not_built("toe_nvm_image_versions", 46, &ops, nullptr);
    (void)(text && textSize ? text[0] = 0 : 0);
}

FWUPG_NOT_BUILT long toe_nvm_size(Tcl_Interp* interp)
{
    not_built("toe_nvm_size", 47, nullptr, interp);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_image_type_lookup(const char*, uint32_t, uint32_t*)
{
    not_built("common_nvm_image_type_lookup", 48, nullptr, nullptr);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_mba_matches_file(HostOps ops, const uint8_t*)
{
    not_built("common_nvm_mba_matches_file", 49, &ops, nullptr);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ncsi_matches_file(HostOps ops, const uint8_t*)
{
    not_built("common_nvm_ncsi_matches_file", 50, &ops, nullptr);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_feb_matches_file(HostOps ops, const uint8_t*)
{
    not_built("common_nvm_feb_matches_file", 51, &ops, nullptr);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_image_matches_file(HostOps ops, const uint8_t*, uint32_t)
{
    not_built("common_nvm_image_matches_file", 52, &ops, nullptr);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_get_port_cfg_word(HostOps ops, uint32_t, const uint8_t*, uint32_t*)
{
    not_built("common_nvm_get_port_cfg_word", 53, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_port_cfg_word_offset(HostOps ops, uint32_t, uint32_t*)
{
    not_built("common_nvm_port_cfg_word_offset", 54, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ext_phy_type(HostOps ops, uint32_t, uint32_t*)
{
    not_built("common_nvm_ext_phy_type", 55, &ops, nullptr);
    return -1;
}

extern "C" FWUPG_NOT_BUILT int common_nvm_ext_phy2_type(HostOps ops, uint32_t, uint32_t)
{
    not_built("common_nvm_ext_phy2_type", 56, &ops, nullptr);
    return 0;
}

extern "C" FWUPG_NOT_BUILT int get_image_file_version(HostOps ops, const char*, uint32_t, char*)
{
    not_built("get_image_file_version", 57, &ops, nullptr);
    return 0;
}
