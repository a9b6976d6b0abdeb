// What the parts of the image upgrade share: the request parsed from the command words, the
// options with the record tags each accepts, and the iSCSI boot configuration step.
#pragma once

#include <cstdint>
#include <string>

#include <tcl.h>

#include "fwupg/host_ops.h"

namespace toe::upgrade {

enum : uint32_t {
    ERR_MBI_OPTION = 3,
    ERR_FORMAT = 26,
    ERR_NO_STORAGE = 27,
    ERR_XLIB_CLEAR = 31,
    ERR_MBA_IMAGE = 69,
};

// One command option: the image family it selects and the record tags it accepts.
struct option_row {
    const char* name;
    char family;          // the digit of "Not intended for N<option> option."
    int iscsi_mode;       // 1 IPv4, 2 IPv6, 3 both; 0 for the other options
    bool raw_refused;     // a raw file is never an image of this family
    const uint32_t* tags; // zero-terminated; none for -mba and -rxp
};
// The row of an option name; null when it is not an option of the command.
const option_row* find_option(const std::string& name);

struct request {
    const option_row* option = nullptr;   // the last option given
    std::string file;                     // the last file name given
    bool version_check = true;            // cleared by -F
    bool ncsi = false;
    bool no_device_check = false;         // -mba -d
    bool pfn_forced = false;              // -mba -p <pfn>
    uint16_t pfn = 0;
    bool ib_cfg_forced = false, ib_prog_forced = false;
    bool feb_cfg_forced = false, feb_prog_forced = false;
    int iscsi_mode() const { return option ? option->iscsi_mode : 0; }
};

// Parses the command words. 0; 1 after the usage error has been reported (last error 2 with Tcl's
// wrong-arguments text, or 3 without text when the option is the other family's -mbi).
int parse_request(const HostOps& ops, int objc, Tcl_Obj* const objv[], request* r);
// Reports the usage error of a request whose option is `option`; returns 1.
int usage_error(const HostOps& ops, Tcl_Obj* const objv[], const std::string& option);
// The option part of the usage text, built from the image-type table.
std::string usage_text();

// What the command carries from record to record.
struct walk_state {
    bool layout2_boot = false;   // the iSCSI boot image programmed uses configuration layout 2
};

// The iSCSI boot configuration record `tag` of row ISB_CFG or ISB_CFG2: programmed, converted into
// the layout the boot image needs, or left alone. `data` holds `length` bytes with room for the
// length rounded up to whole dwords plus 4. 0, or 1 when programming failed.
int iscsi_cfg_step(const HostOps& ops, const request& r, const walk_state& st, uint32_t tag, int row,
                   uint8_t* data, uint32_t length);

// Whether the image of row `row` is listed in the directory.
bool row_present(const HostOps& ops, int row);

}  // namespace toe::upgrade
