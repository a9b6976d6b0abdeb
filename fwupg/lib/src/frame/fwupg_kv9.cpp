// The engine facade: each slot makes the caller's record current and calls one engine procedure.
//
// Forms: plain (no record: slots 1 and 43); by value (push, call with a copy, pop); Tcl command
// (push, call with the record's client data and interpreter); interpreter only (push, call with
// the record's interpreter). The scope guard pops also when the engine throws.
#include "fwupg/fwupg_kv9.h"

#include "fwupg/engine_procs.h"
#include "fwupg/selected_nic.h"

namespace {

FwUpgKv9 g_FwUpgKv9Instance;

// Runs `call` with `ops` as the current record.
template <class Call>
auto with_current(HostOps& ops, Call&& call)
{
    fwupg::HostOpsScope scope(&ops);
    return call();
}

ClientData client_data_of(const HostOps& ops)
{
    return reinterpret_cast<ClientData>(static_cast<uintptr_t>(ops.clientData));
}

}  // namespace

IFwUpgKv9* GetFwUpgKv9Instance()
{
    return &g_FwUpgKv9Instance;
}

IFwUpgKv9* gpIFwUpgKv9 = GetFwUpgKv9Instance();

// Form B: the engine gets its own copy of the record (the parameter copy of the call).
#define FACADE_BY_VALUE(call) return with_current(ops, [&] { return call; })

uint32_t FwUpgKv9::nvm_help(char* text, uint32_t textSize, uint32_t page, uint32_t* length)
{
    return toe_nvm_help_cmd(text, textSize, page, length);
}
int FwUpgKv9::nvm_read(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_read_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_show(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_show_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_write(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_write_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_fill(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_fill_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_upgrade(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_upgrade_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_cfg(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_cfg_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_prg(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_prg_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_dump(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_dump_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_dir(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_dir_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_crc(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_crc_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_usrblk(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_usrblk_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_rescfg(HostOps ops, int objc, Tcl_Obj* const objv[]) { FACADE_BY_VALUE(toe_nvm_rescfg_cmd(ops, objc, objv)); }
int FwUpgKv9::nvm_crc_check(HostOps ops) { FACADE_BY_VALUE(toe_nvm_crc_check(ops)); }

// Form C: Tcl object-command procedures of the current family.
int FwUpgKv9::nvm_dir_57710(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_dir_cmd(client_data_of(ops), ops.interp, objc, objv));
}
int FwUpgKv9::nvm_crc_57710(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_crc_cmd(client_data_of(ops), ops.interp, objc, objv));
}
int FwUpgKv9::nvm_dump_57710(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_dump_cmd(client_data_of(ops), ops.interp, objc, objv));
}
int FwUpgKv9::nvm_prg_57710(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_prg_cmd(client_data_of(ops), ops.interp, objc, objv));
}
int FwUpgKv9::nvm_update_cfg_e4(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_update_cfg_cmd(client_data_of(ops), ops.interp, objc, objv));
}
// The two upgrade commands take the record itself in place of the client data.
int FwUpgKv9::nvm_upgrade_mbi(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_mbi_upgrade_cmd(ops, ops.interp, objc, objv));
}
int FwUpgKv9::nvm_upgrade_57710(HostOps ops, int objc, Tcl_Obj* const objv[])
{
    FACADE_BY_VALUE(tcl_al_nvm_upgrade_cmd(ops, ops.interp, objc, objv));
}
// Form D.
int FwUpgKv9::nvm_crc_check_57710(HostOps ops) { FACADE_BY_VALUE(common_nvm_crc_check(ops.interp)); }
int FwUpgKv9::nvm_board_check_57710(HostOps ops) { FACADE_BY_VALUE(common_nvm_board_check(ops.interp)); }

int FwUpgKv9::set_wol(HostOps ops, uint32_t enable) { FACADE_BY_VALUE(set_nvm_wol(ops, enable)); }
int FwUpgKv9::set_nvm_cfg(HostOps ops, cfg_request* request) { FACADE_BY_VALUE(::set_nvm_cfg(ops, request)); }
int FwUpgKv9::show_nvm_cfg(HostOps ops, cfg_request* request) { FACADE_BY_VALUE(::show_nvm_cfg(ops, request)); }
int FwUpgKv9::find_dir_entry(HostOps ops, uint32_t dirType, int32_t* index)
{
    FACADE_BY_VALUE(toe_nvm_find_dir_entry(ops, dirType, index));
}
// Bit 0 of the type chooses the directory: set asks the extended directory, clear the
// legacy-format one. Only one is asked, so a type of one directory is never matched against an
// entry of the other (whose type masks differ). 0 means present, with its index in that directory.
int FwUpgKv9::has_ext_dir_image(HostOps ops, uint32_t dirType, int32_t* out)
{
    return with_current(ops, [&] {
        if (dirType & 1u) return common_nvm_ext_image_present(ops, dirType, out);
        return toe_nvm_find_dir_entry(ops, dirType, out);
    });
}
int FwUpgKv9::set_cfg_bit24_57710(HostOps ops, uint32_t on) { FACADE_BY_VALUE(common_nvm_set_cfg_bit24(ops, on)); }
int FwUpgKv9::set_nvm_cfg_57710(HostOps ops, cfg_request* request)
{
    const uint32_t mode = g_CurNicInfo.get(yxmapi::nic::kModeArg);
    FACADE_BY_VALUE(::set_nvm_cfg_57710(ops, request, mode));
}
int FwUpgKv9::set_nvm_cfg_e4(HostOps ops, cfg_request* request) { FACADE_BY_VALUE(::set_nvm_cfg_e4(ops, request, 1, 0)); }
int FwUpgKv9::show_nvm_cfg_e4(HostOps ops, cfg_request* request) { FACADE_BY_VALUE(::show_nvm_cfg_e4(ops, request)); }
int FwUpgKv9::show_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode)
{
    FACADE_BY_VALUE(::show_nvm_cfg_57710(ops, request, mode));
}
int FwUpgKv9::update_nvm_cfg1_e4(HostOps ops) { FACADE_BY_VALUE(::update_nvm_cfg1_e4(ops)); }
int FwUpgKv9::show_active_swim(HostOps ops) { FACADE_BY_VALUE(::show_active_swim(ops)); }
int FwUpgKv9::has_ump_image(HostOps ops) { FACADE_BY_VALUE(toe_nvm_ump_present(ops)); }
int FwUpgKv9::has_ipmi_image(HostOps ops) { FACADE_BY_VALUE(toe_nvm_ipmi_present(ops)); }
int FwUpgKv9::has_ncsi_image(HostOps ops) { FACADE_BY_VALUE(toe_nvm_ncsi_present(ops)); }
int FwUpgKv9::has_mba_image(HostOps ops) { FACADE_BY_VALUE(toe_nvm_mba_present(ops)); }
int FwUpgKv9::has_ump_image_57710(HostOps ops) { FACADE_BY_VALUE(common_nvm_ump_present(ops)); }
int FwUpgKv9::has_ipmi_image_57710(HostOps ops) { FACADE_BY_VALUE(common_nvm_ipmi_present(ops)); }
int FwUpgKv9::has_ncsi_image_57710(HostOps ops) { FACADE_BY_VALUE(common_nvm_ncsi_present(ops)); }
int FwUpgKv9::has_mba_image_57710(HostOps ops) { FACADE_BY_VALUE(common_nvm_mba_present(ops)); }
// The engine reports a signed size; a negative one is no size.
int FwUpgKv9::file_size(const char* path, uint32_t* size)
{
    int32_t signedSize = 0;
    int status = nvm_file_size(path, size ? &signedSize : nullptr);
    if (status == 0 && size) {
        if (signedSize < 0) return 1;
        *size = static_cast<uint32_t>(signedSize);
    }
    return status;
}
int FwUpgKv9::read_file(HostOps ops, const char* path, uint8_t* buffer, uint32_t count, uint32_t* countRead)
{
    FACADE_BY_VALUE(nvm_file_read(ops, path, buffer, count, countRead));
}
int FwUpgKv9::write_file(HostOps ops, const char* path, const uint8_t* buffer, uint32_t count,
                         uint32_t* countWritten)
{
    FACADE_BY_VALUE(nvm_file_write(ops, path, buffer, count, countWritten));
}
char* FwUpgKv9::image_version_string(HostOps ops, const uint8_t* image, uint32_t imageLen, uint32_t nvmOffset,
                                     const char* name, char* text, size_t textSize)
{
    with_current(ops, [&] { toe_nvm_image_versions(ops, image, imageLen, nvmOffset, name, text, textSize); });
    return text;
}
long FwUpgKv9::nvm_size(HostOps ops) { FACADE_BY_VALUE(toe_nvm_size(ops.interp)); }
int FwUpgKv9::lookup_image_type(HostOps ops, const char* option, uint32_t tag, uint32_t* dirType)
{
    FACADE_BY_VALUE(common_nvm_image_type_lookup(option, tag, dirType));
}
int FwUpgKv9::mba_presence_matches(HostOps ops, const uint8_t* image) { FACADE_BY_VALUE(common_nvm_mba_matches_file(ops, image)); }
int FwUpgKv9::ncsi_presence_matches(HostOps ops, const uint8_t* image) { FACADE_BY_VALUE(common_nvm_ncsi_matches_file(ops, image)); }
int FwUpgKv9::feb_presence_matches(HostOps ops, const uint8_t* image) { FACADE_BY_VALUE(common_nvm_feb_matches_file(ops, image)); }
int FwUpgKv9::image_presence_matches(HostOps ops, const uint8_t* image, uint32_t dirType)
{
    FACADE_BY_VALUE(common_nvm_image_matches_file(ops, image, dirType));
}
int FwUpgKv9::get_port_cfg_word(HostOps ops, uint32_t selector, const uint8_t* image, uint32_t* value)
{
    FACADE_BY_VALUE(common_nvm_get_port_cfg_word(ops, selector, image, value));
}
int FwUpgKv9::get_port_cfg_word_offset(HostOps ops, uint32_t selector, uint32_t* offset)
{
    FACADE_BY_VALUE(common_nvm_port_cfg_word_offset(ops, selector, offset));
}
int FwUpgKv9::get_ext_phy_type(HostOps ops, uint32_t port, uint32_t* type) { FACADE_BY_VALUE(common_nvm_ext_phy_type(ops, port, type)); }
int FwUpgKv9::get_ext_phy_types(HostOps ops, uint32_t port, uint32_t wanted) { FACADE_BY_VALUE(common_nvm_ext_phy2_type(ops, port, wanted)); }
int FwUpgKv9::file_version_string(HostOps ops, const char* path, uint32_t kind, char* text)
{
    FACADE_BY_VALUE(get_image_file_version(ops, path, kind, text));
}
