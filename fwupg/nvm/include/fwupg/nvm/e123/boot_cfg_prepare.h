// Per-record preparation of the iSCSI boot-configuration images that an upgrade writes.
#pragma once

#include <tcl.h>

#include <cstdint>

extern "C" {

// Per-record preparation of iSCSI boot images: 0, or -1 (last error set when refused). Sets
// *skip when the caller must not program the record itself.
int common_nvm_prepare_image(Tcl_Interp* interp, uint8_t* image, uint32_t row, const uint32_t header[5],
                             uint32_t length, int* ip_mode_known, int iscsi_variant, int check_version,
                             int iscsi_program, int iscsi_config, int* skip);

}  // extern "C"
