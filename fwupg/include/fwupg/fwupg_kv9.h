// The engine facade: the one way the front end reaches the engines. Each operation makes the
// caller's host record current (see host_ops.h) for the duration of exactly one engine procedure
// (engine_procs.h), returns that procedure's result unchanged, and restores the previous record
// when the procedure returns or throws. Operations are listed in slot order.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tcl.h>

#include "fwupg/cfg_request.h"
#include "fwupg/host_ops.h"

class IFwUpgKv9 {
public:
    virtual ~IFwUpgKv9() = default;

    virtual uint32_t nvm_help(char* text, uint32_t textSize, uint32_t page, uint32_t* length) = 0;  // 1
    virtual int nvm_read(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                      // 2
    virtual int nvm_show(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                      // 3
    virtual int nvm_write(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                     // 4
    virtual int nvm_fill(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                      // 5
    virtual int nvm_upgrade(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                   // 6
    virtual int nvm_cfg(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                       // 7
    virtual int nvm_prg(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                       // 8
    virtual int nvm_dump(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                      // 9
    virtual int nvm_dir(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                       // 10
    virtual int nvm_crc(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                       // 11
    virtual int nvm_usrblk(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                    // 12
    virtual int nvm_rescfg(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                    // 13
    virtual int nvm_crc_check(HostOps ops) = 0;                                                  // 14
    virtual int nvm_dir_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                 // 15
    virtual int nvm_crc_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                 // 16
    virtual int nvm_dump_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                // 17
    virtual int nvm_prg_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;                 // 18
    virtual int nvm_update_cfg_e4(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;             // 19
    virtual int nvm_upgrade_mbi(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;               // 20
    virtual int nvm_upgrade_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) = 0;             // 21
    virtual int nvm_crc_check_57710(HostOps ops) = 0;                                            // 22
    virtual int set_wol(HostOps ops, uint32_t enable) = 0;                                       // 23
    virtual int set_nvm_cfg(HostOps ops, cfg_request* request) = 0;                              // 24
    virtual int show_nvm_cfg(HostOps ops, cfg_request* request) = 0;                             // 25
    virtual int find_dir_entry(HostOps ops, uint32_t dirType, int32_t* index) = 0;               // 26
    virtual int has_ext_dir_image(HostOps ops, uint32_t dirType, int32_t* out) = 0;              // 27
    virtual int set_cfg_bit24_57710(HostOps ops, uint32_t on) = 0;                               // 28
    virtual int set_nvm_cfg_57710(HostOps ops, cfg_request* request) = 0;                        // 29
    virtual int set_nvm_cfg_e4(HostOps ops, cfg_request* request) = 0;                           // 30
    virtual int show_nvm_cfg_e4(HostOps ops, cfg_request* request) = 0;                          // 31
    virtual int show_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode) = 0;        // 32
    virtual int update_nvm_cfg1_e4(HostOps ops) = 0;                                             // 33
    virtual int show_active_swim(HostOps ops) = 0;                                               // 34
    virtual int has_ump_image(HostOps ops) = 0;                                                  // 35
    virtual int has_ipmi_image(HostOps ops) = 0;                                                 // 36
    virtual int has_ncsi_image(HostOps ops) = 0;                                                 // 37
    virtual int has_mba_image(HostOps ops) = 0;                                                  // 38
    virtual int has_ump_image_57710(HostOps ops) = 0;                                            // 39
    virtual int has_ipmi_image_57710(HostOps ops) = 0;                                           // 40
    virtual int has_ncsi_image_57710(HostOps ops) = 0;                                           // 41
    virtual int has_mba_image_57710(HostOps ops) = 0;                                            // 42
    virtual int file_size(const char* path, uint32_t* size) = 0;                                 // 43
    virtual int read_file(HostOps ops, const char* path, uint8_t* buffer, uint32_t count,
                          uint32_t* countRead) = 0;                                              // 44
    virtual int write_file(HostOps ops, const char* path, const uint8_t* buffer, uint32_t count,
                           uint32_t* countWritten) = 0;                                          // 45
    virtual char* image_version_string(HostOps ops, const uint8_t* image, uint32_t imageLen, uint32_t nvmOffset,
                                       const char* name, char* text, size_t textSize) = 0;       // 46
    virtual long nvm_size(HostOps ops) = 0;                                                      // 47
    virtual int lookup_image_type(HostOps ops, const char* option, uint32_t tag, uint32_t* dirType) = 0;  // 48
    virtual int mba_presence_matches(HostOps ops, const uint8_t* image) = 0;                     // 49
    virtual int ncsi_presence_matches(HostOps ops, const uint8_t* image) = 0;                    // 50
    virtual int feb_presence_matches(HostOps ops, const uint8_t* image) = 0;                     // 51
    virtual int image_presence_matches(HostOps ops, const uint8_t* image, uint32_t dirType) = 0; // 52
    virtual int get_port_cfg_word(HostOps ops, uint32_t selector, const uint8_t* image, uint32_t* value) = 0;  // 53
    virtual int get_port_cfg_word_offset(HostOps ops, uint32_t selector, uint32_t* offset) = 0;  // 54
    virtual int get_ext_phy_type(HostOps ops, uint32_t port, uint32_t* type) = 0;                // 55
    virtual int get_ext_phy_types(HostOps ops, uint32_t port, uint32_t wanted) = 0;              // 56
    virtual int file_version_string(HostOps ops, const char* path, uint32_t kind, char* text) = 0;  // 57
    // The E1-E3 board check: the verdict of the full CRC check, read only (0 pass, 1 fail).
    virtual int nvm_board_check_57710(HostOps ops) = 0;                                          // 58
};

// The facade object: every slot forwards to one engine procedure (see fwupg_kv9.cpp).
class FwUpgKv9 final : public IFwUpgKv9 {
public:
    uint32_t nvm_help(char* text, uint32_t textSize, uint32_t page, uint32_t* length) override;
    int nvm_read(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_show(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_write(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_fill(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_upgrade(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_cfg(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_prg(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_dump(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_dir(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_crc(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_usrblk(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_rescfg(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_crc_check(HostOps ops) override;
    int nvm_dir_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_crc_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_dump_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_prg_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_update_cfg_e4(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_upgrade_mbi(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_upgrade_57710(HostOps ops, int objc, Tcl_Obj* const objv[]) override;
    int nvm_crc_check_57710(HostOps ops) override;
    int set_wol(HostOps ops, uint32_t enable) override;
    int set_nvm_cfg(HostOps ops, cfg_request* request) override;
    int show_nvm_cfg(HostOps ops, cfg_request* request) override;
    int find_dir_entry(HostOps ops, uint32_t dirType, int32_t* index) override;
    int has_ext_dir_image(HostOps ops, uint32_t dirType, int32_t* out) override;
    int set_cfg_bit24_57710(HostOps ops, uint32_t on) override;
    int set_nvm_cfg_57710(HostOps ops, cfg_request* request) override;
    int set_nvm_cfg_e4(HostOps ops, cfg_request* request) override;
    int show_nvm_cfg_e4(HostOps ops, cfg_request* request) override;
    int show_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode) override;
    int update_nvm_cfg1_e4(HostOps ops) override;
    int show_active_swim(HostOps ops) override;
    int has_ump_image(HostOps ops) override;
    int has_ipmi_image(HostOps ops) override;
    int has_ncsi_image(HostOps ops) override;
    int has_mba_image(HostOps ops) override;
    int has_ump_image_57710(HostOps ops) override;
    int has_ipmi_image_57710(HostOps ops) override;
    int has_ncsi_image_57710(HostOps ops) override;
    int has_mba_image_57710(HostOps ops) override;
    int file_size(const char* path, uint32_t* size) override;
    int read_file(HostOps ops, const char* path, uint8_t* buffer, uint32_t count, uint32_t* countRead) override;
    int write_file(HostOps ops, const char* path, const uint8_t* buffer, uint32_t count,
                   uint32_t* countWritten) override;
    char* image_version_string(HostOps ops, const uint8_t* image, uint32_t imageLen, uint32_t nvmOffset,
                               const char* name, char* text, size_t textSize) override;
    long nvm_size(HostOps ops) override;
    int lookup_image_type(HostOps ops, const char* option, uint32_t tag, uint32_t* dirType) override;
    int mba_presence_matches(HostOps ops, const uint8_t* image) override;
    int ncsi_presence_matches(HostOps ops, const uint8_t* image) override;
    int feb_presence_matches(HostOps ops, const uint8_t* image) override;
    int image_presence_matches(HostOps ops, const uint8_t* image, uint32_t dirType) override;
    int get_port_cfg_word(HostOps ops, uint32_t selector, const uint8_t* image, uint32_t* value) override;
    int get_port_cfg_word_offset(HostOps ops, uint32_t selector, uint32_t* offset) override;
    int get_ext_phy_type(HostOps ops, uint32_t port, uint32_t* type) override;
    int get_ext_phy_types(HostOps ops, uint32_t port, uint32_t wanted) override;
    int file_version_string(HostOps ops, const char* path, uint32_t kind, char* text) override;
    int nvm_board_check_57710(HostOps ops) override;
};

// The one facade instance (static storage, lives until process exit).
IFwUpgKv9* GetFwUpgKv9Instance();
// The pointer every caller uses; set to the instance during static initialisation. Tests of the
// callers may point it at a double for their own process.
extern IFwUpgKv9* gpIFwUpgKv9;
