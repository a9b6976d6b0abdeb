// Tcl command procedures of the current family that inspect and rewrite NVRAM as a whole: program
// a whole image, dump, directory, CRC and user block; the VPD read and write commands; and the
// version text of a firmware file. Signatures are those the facade calls.
#pragma once

#include <cstdint>

#include <tcl.h>

#include "fwupg/engine_procs.h"
#include "fwupg/host_ops.h"

extern "C" {

// The facade's procedures (prg, dump, dir, crc, the CRC table, the presence queries and the file
// version) are declared in engine_procs.h.
int tcl_al_nvm_usrblk_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_vpd_read_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int tcl_al_vpd_write_cmd(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

}  // extern "C"

namespace fwupg::nvm {
// Runs a command body so that no exception leaves the command procedure: an allocation failure
// becomes the command's "No more host memory." error.
template <typename Body>
int guarded_command(Tcl_Interp* interp, Body body)
{
    if (!interp)
        return TCL_ERROR;
    try {
        return body();
    } catch (...) {
        Tcl_AppendResult(interp, "No more host memory.", nullptr);
        return TCL_ERROR;
    }
}
// Locates the image of a table row: the bootstrap record for row 0, the 16-entry directory or
// the extended directory by its type. 1 found, 0 absent, -1 read failure.
int find_row_image(uint32_t row, uint32_t* nvm_offset, uint32_t* length);
}  // namespace fwupg::nvm
