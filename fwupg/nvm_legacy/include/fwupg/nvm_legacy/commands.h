// The basic "nvm" command procedures of the legacy engine. Every command procedure takes the
// caller's HostOps record by value and the Tcl words (word 0 is the command's name), returns
// TCL_OK or TCL_ERROR, reports into the record's interpreter result and sets its last error.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

struct Tcl_Obj;

// Writes the usage text of the command set for page 0 into `buf` (at most `buf_size` bytes,
// always terminated; a text that does not fit is cut) and stores its length. Other pages:
// 0xFFFFFFFF, nothing written.
uint32_t toe_nvm_help_cmd(char* buf, uint32_t buf_size, uint32_t page, uint32_t* length);

int toe_nvm_read_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);    // nvm read addr ?nbytes?
int toe_nvm_show_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);    // nvm show ?addr? ?nbytes?
int toe_nvm_write_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);   // nvm write addr value|list
int toe_nvm_fill_cmd(HostOps ops, int objc, Tcl_Obj* const objv[]);    // nvm fill addr count pattern

// Converts dwords just read from NVRAM to host order: on this little-endian host, nothing to do.
void nvm_buf_host_order(uint32_t* buf, uint32_t count);
