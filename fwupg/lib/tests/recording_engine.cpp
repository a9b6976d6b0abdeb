// A recording fake of every engine procedure: one object file defining them all, so that the
// facade test sees which procedure each slot reached, with which arguments, and which record was
// current while it ran.
#include "recording_engine.h"

RecordedCall g_lastCall;
std::function<void()> g_duringCall;

namespace {

template <class... A>
void record(const char* name, const HostOps* ops, A... args)
{
    g_lastCall = RecordedCall{};
    g_lastCall.name = name;
    g_lastCall.hasOps = ops != nullptr;
    if (ops) g_lastCall.ops = *ops;
    g_lastCall.current = g_pHostOps;
    if (g_pHostOps) g_lastCall.currentCopy = *g_pHostOps;
    (g_lastCall.args.push_back(reinterpret_cast<uintptr_t>(reinterpret_cast<const void*>(uintptr_t(args)))), ...);
    if (g_duringCall) g_duringCall();
}

}  // namespace

uint32_t toe_nvm_help_cmd(char* a0, uint32_t a1, uint32_t a2, uint32_t* a3)
{
    record("toe_nvm_help_cmd", nullptr, a0, a1, a2, a3);
    return 77;
}

int toe_nvm_read_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_read_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_show_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_show_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_write_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_write_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_fill_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_fill_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_upgrade_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_upgrade_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_cfg_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_cfg_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_prg_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_prg_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_dump_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_dump_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_dir_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_dir_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_crc_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_crc_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_usrblk_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_usrblk_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_rescfg_cmd(HostOps a0, int a1, Tcl_Obj* const a2[])
{
    record("toe_nvm_rescfg_cmd", &a0, a1, a2);
    return 77;
}

int toe_nvm_crc_check(HostOps a0)
{
    record("toe_nvm_crc_check", &a0);
    return 77;
}

int set_nvm_wol(HostOps a0, uint32_t a1)
{
    record("set_nvm_wol", &a0, a1);
    return 77;
}

int set_nvm_cfg(HostOps a0, cfg_request* a1)
{
    record("set_nvm_cfg", &a0, a1);
    return 77;
}

int show_nvm_cfg(HostOps a0, cfg_request* a1)
{
    record("show_nvm_cfg", &a0, a1);
    return 77;
}

int toe_nvm_find_dir_entry(HostOps a0, uint32_t a1, int* a2)
{
    record("toe_nvm_find_dir_entry", &a0, a1, a2);
    return 77;
}

int toe_nvm_ump_present(HostOps a0)
{
    record("toe_nvm_ump_present", &a0);
    return 77;
}

int toe_nvm_ipmi_present(HostOps a0)
{
    record("toe_nvm_ipmi_present", &a0);
    return 77;
}

int toe_nvm_ncsi_present(HostOps a0)
{
    record("toe_nvm_ncsi_present", &a0);
    return 77;
}

int toe_nvm_mba_present(HostOps a0)
{
    record("toe_nvm_mba_present", &a0);
    return 77;
}

int nvm_file_size(const char* a0, int32_t* a1)
{
    record("nvm_file_size", nullptr, a0, a1);
    return 77;
}

int nvm_file_read(HostOps a0, const char* a1, uint8_t* a2, uint32_t a3, uint32_t* a4)
{
    record("nvm_file_read", &a0, a1, a2, a3, a4);
    return 77;
}

int nvm_file_write(HostOps a0, const char* a1, const uint8_t* a2, uint32_t a3, uint32_t* a4)
{
    record("nvm_file_write", &a0, a1, a2, a3, a4);
    return 77;
}

void toe_nvm_image_versions(HostOps a0, const uint8_t* a1, uint32_t a2, uint32_t a3, const char* a4, char* a5, size_t a6)
{
    record("toe_nvm_image_versions", &a0, a1, a2, a3, a4, a5, a6);
}

long toe_nvm_size(Tcl_Interp* a0)
{
    record("toe_nvm_size", nullptr, a0);
    return 4242;
}

int tcl_al_nvm_dir_cmd(ClientData a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_dir_cmd", nullptr, a0, a1, a2, a3);
    return 77;
}

int tcl_al_nvm_crc_cmd(ClientData a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_crc_cmd", nullptr, a0, a1, a2, a3);
    return 77;
}

int tcl_al_nvm_dump_cmd(ClientData a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_dump_cmd", nullptr, a0, a1, a2, a3);
    return 77;
}

int tcl_al_nvm_prg_cmd(ClientData a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_prg_cmd", nullptr, a0, a1, a2, a3);
    return 77;
}

int tcl_al_nvm_update_cfg_cmd(ClientData a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_update_cfg_cmd", nullptr, a0, a1, a2, a3);
    return 77;
}

int tcl_al_nvm_mbi_upgrade_cmd(HostOps a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_mbi_upgrade_cmd", &a0, a1, a2, a3);
    return 77;
}

int tcl_al_nvm_upgrade_cmd(HostOps a0, Tcl_Interp* a1, int a2, Tcl_Obj* const a3[])
{
    record("tcl_al_nvm_upgrade_cmd", &a0, a1, a2, a3);
    return 77;
}

int common_nvm_crc_check(Tcl_Interp* a0)
{
    record("common_nvm_crc_check", nullptr, a0);
    return 77;
}

int common_nvm_board_check(Tcl_Interp* a0)
{
    record("common_nvm_board_check", nullptr, a0);
    return 77;
}

int common_nvm_ext_image_present(HostOps a0, uint32_t a1, int32_t* a2)
{
    record("common_nvm_ext_image_present", &a0, a1, a2);
    return 77;
}

int common_nvm_set_cfg_bit24(HostOps a0, uint32_t a1)
{
    record("common_nvm_set_cfg_bit24", &a0, a1);
    return 77;
}

int set_nvm_cfg_57710(HostOps a0, cfg_request* a1, uint32_t a2)
{
    record("set_nvm_cfg_57710", &a0, a1, a2);
    return 77;
}

int set_nvm_cfg_e4(HostOps a0, cfg_request* a1, uint32_t a2, uint32_t a3)
{
    record("set_nvm_cfg_e4", &a0, a1, a2, a3);
    return 77;
}

int show_nvm_cfg_e4(HostOps a0, cfg_request* a1)
{
    record("show_nvm_cfg_e4", &a0, a1);
    return 77;
}

int show_nvm_cfg_57710(HostOps a0, cfg_request* a1, uint32_t a2)
{
    record("show_nvm_cfg_57710", &a0, a1, a2);
    return 77;
}

int update_nvm_cfg1_e4(HostOps a0)
{
    record("update_nvm_cfg1_e4", &a0);
    return 77;
}

int show_active_swim(HostOps a0)
{
    record("show_active_swim", &a0);
    return 77;
}

int common_nvm_ump_present(HostOps a0)
{
    record("common_nvm_ump_present", &a0);
    return 77;
}

int common_nvm_ipmi_present(HostOps a0)
{
    record("common_nvm_ipmi_present", &a0);
    return 77;
}

int common_nvm_ncsi_present(HostOps a0)
{
    record("common_nvm_ncsi_present", &a0);
    return 77;
}

int common_nvm_mba_present(HostOps a0)
{
    record("common_nvm_mba_present", &a0);
    return 77;
}

int common_nvm_image_type_lookup(const char* a0, uint32_t a1, uint32_t* a2)
{
    record("common_nvm_image_type_lookup", nullptr, a0, a1, a2);
    return 77;
}

int common_nvm_mba_matches_file(HostOps a0, const uint8_t* a1)
{
    record("common_nvm_mba_matches_file", &a0, a1);
    return 77;
}

int common_nvm_ncsi_matches_file(HostOps a0, const uint8_t* a1)
{
    record("common_nvm_ncsi_matches_file", &a0, a1);
    return 77;
}

int common_nvm_feb_matches_file(HostOps a0, const uint8_t* a1)
{
    record("common_nvm_feb_matches_file", &a0, a1);
    return 77;
}

int common_nvm_image_matches_file(HostOps a0, const uint8_t* a1, uint32_t a2)
{
    record("common_nvm_image_matches_file", &a0, a1, a2);
    return 77;
}

int common_nvm_get_port_cfg_word(HostOps a0, uint32_t a1, const uint8_t* a2, uint32_t* a3)
{
    record("common_nvm_get_port_cfg_word", &a0, a1, a2, a3);
    return 77;
}

int common_nvm_port_cfg_word_offset(HostOps a0, uint32_t a1, uint32_t* a2)
{
    record("common_nvm_port_cfg_word_offset", &a0, a1, a2);
    return 77;
}

int common_nvm_ext_phy_type(HostOps a0, uint32_t a1, uint32_t* a2)
{
    record("common_nvm_ext_phy_type", &a0, a1, a2);
    return 77;
}

int common_nvm_ext_phy2_type(HostOps a0, uint32_t a1, uint32_t a2)
{
    record("common_nvm_ext_phy2_type", &a0, a1, a2);
    return 77;
}

int get_image_file_version(HostOps a0, const char* a1, uint32_t a2, char* a3)
{
    record("get_image_file_version", &a0, a1, a2, a3);
    return 77;
}
