// The "nvm upgrade" command of E1-E3 adapters and its helpers: the NCSI bundle and boot-agent
// checks, the chunked NVRAM reader and the MFW and MBI version helpers. The per-record preparation
// of boot-configuration images and the board fix-ups live with the E1-E3 layout (e123/).
#pragma once

#include <tcl.h>

#include <cstdint>

namespace fwupg {
class FwPackage;
}

extern "C" {

int common_nvm_check_ncsi_file(Tcl_Interp* interp, uint32_t length, const uint8_t* buffer);
int common_nvm_check_mba_device(Tcl_Interp* interp, const uint8_t* image);
// Reads `length` bytes in 4,096-byte pieces with a 2 ms pause after each: 0, or 1 on a failed read.
int common_nvm_read_chunked(uint32_t offset, void* buffer, uint32_t length, uint8_t swap);

// Dry-run install of an MFW1 record: fills g_new_mfw_version, writes nothing.
int common_nvm_read_new_mfw_version(const uint8_t* data, uint32_t length, uint32_t row);
// REVID control field of the shared configuration after an MFW upgrade. 0 or -1.
int common_nvm_set_mfw_cfg_bits(Tcl_Interp* interp, int mfw_pair);

// MBI package version kept in the shared configuration image: 0 or -1.
int common_nvm_get_mbi_version(uint32_t* version, uint32_t* date);
// "a.b.c" of an MBI version: bits 24-31, 16-23, 8-15 on E1-E3, bits 16-23, 8-15, 0-7 on E4.
const char* common_nvm_mbi_version_str(uint32_t version, char* text, uint32_t size);
int common_nvm_set_mbi_version(Tcl_Interp* interp, uint32_t version, uint32_t date);
// E4: when the package's MFW bundle crosses 8.18.12.0 (from below it, or from it to 8.18.13.0 or
// later) and NVRAM holds no PK image, the MFW command is put before the PK command. 1 when marked.
int common_nvm_mark_mfw_two_step(Tcl_Interp* interp, fwupg::FwPackage* package);

// Clears an MDUMP entry from the primary directory (it belongs in the extended one).
void common_nvm_clear_primary_mdump();

}  // extern "C"
