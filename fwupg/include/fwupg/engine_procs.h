// Every engine procedure that the facade (fwupg_kv9.h) calls, in facade slot order. The engines
// (fwupg/nvm, fwupg/nvm_legacy) define them, and the vendor library links them in: a procedure
// that is missing fails the link. Tests that drive the facade without the engines link a recording
// fake of them instead (fwupg/lib/tests/recording_engine.cpp).
//
// Command procedures of the legacy family take the caller's record by value and the Tcl words of
// the command line; those of the current family have the Tcl object-command shape. Operations that
// return a plain integer keep their own success value (see each group). The legacy engine's
// procedures have C++ linkage, the current family's C linkage, as each engine declares them: an
// engine source includes this header, so a signature that differs does not compile.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tcl.h>

#include "fwupg/cfg_request.h"
#include "fwupg/host_ops.h"

// ---- Legacy family (slots 1-14, 23-26, 35-38, 43-47) --------------------------------------------

// Slot 1: writes the "nvm" usage text of page 0; 0, or 0xFFFFFFFF for any other page.
uint32_t toe_nvm_help_cmd(char* text, uint32_t textSize, uint32_t page, uint32_t* length);
// Slots 2-13: "nvm read/show/write/fill/upgrade/cfg/prg/dump/dir/crc/usrblk/rescfg": Tcl status.
int toe_nvm_read_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_show_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_write_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_fill_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_upgrade_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_cfg_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_prg_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_dump_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_dir_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_crc_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_usrblk_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
int toe_nvm_rescfg_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);
// Slot 14: 0 when every CRC examined matched, else 1.
int toe_nvm_crc_check(HostOps ops);
// Slot 23: wake-on-LAN enable; 0 done.
int set_nvm_wol(HostOps ops, uint32_t enable);
// Slot 24: writes the requested settings; 0 done. Slot 25: shows one setting (display code in
// the request's value); 0 done.
int set_nvm_cfg(HostOps ops, cfg_request* request);
int show_nvm_cfg(HostOps ops, cfg_request* request);
// Slots 26 and 27 (type bit 0 clear): 0 found (index stored), -1 none, 1 device check failed.
int toe_nvm_find_dir_entry(HostOps ops, uint32_t dirType, int* index);
// Slots 35-38: 1 when the directory holds the image kind, else 0.
int toe_nvm_ump_present(HostOps ops);
int toe_nvm_ipmi_present(HostOps ops);
int toe_nvm_ncsi_present(HostOps ops);
int toe_nvm_mba_present(HostOps ops);
// Slot 43 (no record): 0 with the size stored, non-zero when the size cannot be had.
int nvm_file_size(const char* path, int32_t* size);
// Slots 44, 45: 0 done, 1 failed; the count out may be null.
int nvm_file_read(HostOps ops, const char* path, uint8_t* buffer, uint32_t count, uint32_t* countRead);
int nvm_file_write(HostOps ops, const char* path, const uint8_t* buffer, uint32_t count,
                   uint32_t* countWritten);
// Slot 46: the version text of the image named `name` into `text` (`textSize` bytes), taken from
// `image` (`imageLen` bytes) or, when it is null, from the image at `nvmOffset` in NVRAM; empty on
// failure.
void toe_nvm_image_versions(HostOps ops, const uint8_t* image, uint32_t imageLen, uint32_t nvmOffset,
                            const char* name, char* text, size_t textSize);
// Slot 47: ::toe(NVM_SIZE) as an integer, 0 when it is missing.
long toe_nvm_size(Tcl_Interp* interp);

// ---- Current family, E1-E3 and E4 (slots 15-22, 27-34, 39-42, 48-57) ---------------------------

extern "C" {

// Slots 15-19: Tcl object-command procedures (client data, interpreter, words): Tcl status.
int tcl_al_nvm_dir_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_nvm_crc_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_nvm_dump_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_nvm_prg_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_nvm_update_cfg_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
// Slots 20, 21: the upgrade commands take the caller's record by value in place of client data
// (they report their last error through its slot 15). 0 success, non-zero failure.
int tcl_al_nvm_mbi_upgrade_cmd(HostOps ops, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_nvm_upgrade_cmd(HostOps ops, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
// Slot 22: the CRC table of the current family; 0.
int common_nvm_crc_check(Tcl_Interp* interp);
// Slot 58: the verdict of the full CRC check of E1-E3 NVRAM, without printing or writing anything
// (a blank VPD area is left as it is): 0 when every CRC matches, 1 on a mismatch or a piece
// that cannot be read.
int common_nvm_board_check(Tcl_Interp* interp);
// Slot 27 (type bit 0 set): 0 when the extended directory holds the type (entry index stored),
// else -1 with index -1.
int common_nvm_ext_image_present(HostOps ops, uint32_t dirType, int32_t* index);
// Slot 28: 0, or 1 when the write-back failed.
int common_nvm_set_cfg_bit24(HostOps ops, uint32_t on);
// Slot 29: `mode` is the u32 at byte 196 of the adapter's NicInfoEx. 0 done.
int set_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode);
// Slot 30: `count` requests; the facade passes count 1 and all 0. 0 done.
int set_nvm_cfg_e4(HostOps ops, cfg_request* requests, uint32_t count, uint32_t all);
// Slot 31: 0 once the configuration was loaded (value read into the request), else -1.
int show_nvm_cfg_e4(HostOps ops, cfg_request* request);
// Slot 32: 0, 1 for an invalid option, or the read failure.
int show_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode);
// Slot 33: 0 success, 1 failure. Slot 34: the SWIM reader's result, -1 on other chips.
int update_nvm_cfg1_e4(HostOps ops);
int show_active_swim(HostOps ops);
// Slots 39-42: 1 when present, else 0.
int common_nvm_ump_present(HostOps ops);
int common_nvm_ipmi_present(HostOps ops);
int common_nvm_ncsi_present(HostOps ops);
int common_nvm_mba_present(HostOps ops);
// Slot 48 (the facade makes the record current but passes none): 1 found (directory type
// stored), 0 not.
int common_nvm_image_type_lookup(const char* option, uint32_t tag, uint32_t* dirType);
// Slots 49-52: 1 when presence in NVRAM matches presence in the file image, else 0.
int common_nvm_mba_matches_file(HostOps ops, const uint8_t* image);
int common_nvm_ncsi_matches_file(HostOps ops, const uint8_t* image);
int common_nvm_feb_matches_file(HostOps ops, const uint8_t* image);
int common_nvm_image_matches_file(HostOps ops, const uint8_t* image, uint32_t dirType);
// Slots 53, 54: 0 or -1.
int common_nvm_get_port_cfg_word(HostOps ops, uint32_t selector, const uint8_t* image, uint32_t* value);
int common_nvm_port_cfg_word_offset(HostOps ops, uint32_t selector, uint32_t* offset);
// Slot 55: 0 or -1. Slot 56: 1 when the port's first or second PHY has the wanted type, else 0.
int common_nvm_ext_phy_type(HostOps ops, uint32_t port, uint32_t* type);
int common_nvm_ext_phy2_type(HostOps ops, uint32_t port, uint32_t wanted);
// Slot 57: 1 when a version text was written, else 0.
int get_image_file_version(HostOps ops, const char* path, uint32_t kind, char* text);

}  // extern "C"
