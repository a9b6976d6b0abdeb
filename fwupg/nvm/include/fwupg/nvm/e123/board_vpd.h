// The board's VPD in the E1-E3 layout: the copy of the configuration area at 0x540, or the "VPD"
// image of the extended directory, with the helpers that read, keep and rewrite it.
#pragma once

#include <cstdint>
#include <vector>

#include <tcl.h>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/formats/vpd_table.h"

extern "C" {

// Reads the extended directory's "VPD" image into the table: 0, or 1 (reason printed).
int common_nvm_get_ext_vpd_info(Tcl_Interp* interp, vpd_field_table* table);
// Replaces V0 in the extended directory's VPD image: 0, or 1.
int common_nvm_set_ext_vpd_v0(Tcl_Interp* interp, const char* v0);
// 1 when entry 15 is the extended directory and it holds the VPD image (its place stored); else 0.
int common_nvm_vpd_in_ext_dir(HostOps host, uint32_t* nvm_offset, uint32_t* length);
// Prints "VPD (<kw>): <text>" for the keyword's field of an image's resources.
void vpd_print_field(const uint8_t* image, uint32_t length, const char* keyword);

}  // extern "C"

namespace fwupg::nvm {

constexpr uint32_t kVpdCopyOffset = 0x540;
constexpr uint32_t kVpdCopyLength = 256;

// Reads the image of the extended directory's "VPD" row in host view (CRC word last, as read):
// 0, or 1 (reason printed).
int read_vpd_image(std::vector<uint8_t>& image);
// Installs a VPD image (host view, without CRC) as the extended directory's VPD entry: 0 or 1.
int install_vpd_image(const uint8_t* image, uint32_t length);

// The board's VPD as it stands (the copy at 0x540 or the directory image), kept across a whole
// image programming.
struct vpd_board_fields {
    bool in_image = false;
    std::vector<uint8_t> bytes;  // host view; the directory image without its CRC word
};
int vpd_save_board_fields(Tcl_Interp* interp, vpd_board_fields* saved);
int vpd_restore_board_fields(Tcl_Interp* interp, const vpd_board_fields* saved);

}  // namespace fwupg::nvm
