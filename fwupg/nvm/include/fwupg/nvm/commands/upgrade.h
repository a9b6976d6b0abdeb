// The "nvm upgrade" command of E1-E3 adapters and its helpers: the NCSI bundle and boot-agent
// checks, the chunked NVRAM reader, the per-record preparation of boot-configuration images, the
// MFW version helpers and the board fix-ups that follow an MFW upgrade.
#pragma once

#include <tcl.h>

#include <cstdint>

#include "fwupg/cfg_request.h"
#include "fwupg/host_ops.h"

extern "C" {

int common_nvm_check_ncsi_file(Tcl_Interp* interp, uint32_t length, const uint8_t* buffer);
int common_nvm_check_mba_device(Tcl_Interp* interp, const uint8_t* image);
// Reads `length` bytes in 4,096-byte pieces with a 2 ms pause after each: 0, or 1 on a failed read.
int common_nvm_read_chunked(uint32_t offset, void* buffer, uint32_t length, uint8_t swap);

// 1 when both MFW images are listed in the primary directory.
int common_nvm_mfw_pair_present();
// Dry-run install of an MFW1 record: fills g_new_mfw_version, writes nothing.
int common_nvm_read_new_mfw_version(const uint8_t* data, uint32_t length, uint32_t row);
// REVID control field of the shared configuration after an MFW upgrade. 0 or -1.
int common_nvm_set_mfw_cfg_bits(Tcl_Interp* interp, int mfw_pair);

// MBI package version kept in the shared configuration image: 0 or -1.
int common_nvm_get_mbi_version(uint32_t* version, uint32_t* date);
const char* common_nvm_mbi_version_str(uint32_t version, char* text, uint32_t size);
int common_nvm_set_mbi_version(Tcl_Interp* interp, uint32_t version, uint32_t date);

// Per-record preparation of iSCSI boot images: 0, or -1 (last error set when refused). Sets
// *skip when the caller must not program the record itself.
int common_nvm_prepare_image(Tcl_Interp* interp, uint8_t* image, uint32_t row, const uint32_t header[5],
                             uint32_t length, int* ip_mode_known, int iscsi_variant, int check_version,
                             int iscsi_program, int iscsi_config, int* skip);

// Clears an MDUMP entry from the primary directory (it belongs in the extended one).
void common_nvm_clear_primary_mdump();

}  // extern "C"

namespace fwupg::nvm {

// The setter the board fix-ups and the MBI version store use; the configuration editor by
// default. Tests replace it to see the requests.
using CfgSetter = int (*)(cfg_request* request);
void set_cfg_setter(CfgSetter setter);
int apply_cfg(cfg_request* request);

// The six SSID-keyed option fixes after an MFW upgrade, in their order; `arg` is the value of the
// fourth (the option-248 step).
void board_fixups_after_mfw(uint16_t ssid, uint64_t arg);

}  // namespace fwupg::nvm
