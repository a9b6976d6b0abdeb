// Fields of the E4 configuration images (NVM_CFG1, type 10, and DEFAULT_CFG, type 26) that the
// engine reads and writes outside the configuration editor: the port mode, the MBA size code, the
// MBI version and date and the UEFI driver version; and the running management firmware.
#pragma once

#include <tcl.h>

#include <cstdint>
#include <vector>

extern "C" {

// Reads (write flag 0) or writes the MBI version (low 24 bits of byte 124; the top 8 bits are
// kept) and date (byte 128) of image type 10 or 26. 0, or the load or write failure.
int e4_nvm_cfg_mbi_version(uint32_t* version, uint32_t* date, int write, uint32_t type);
// Port count from the NVM_CFG1 port mode: 2, 11, 13 give 1; 3, 4, 5, 14 give 4; others 2. A
// missing NVM_CFG1 leaves *out and returns 0; a failed read returns -1.
int e4_nvm_cfg_port_count(uint32_t* out);
// ::toe(RUNNING_MFW_VER) and ::toe(ACTIVE_BUNDLE); each is -1 first. 0, or -1 when one is missing.
int get_running_mfw(Tcl_Interp* interp, int* version, int* bundle);

}  // extern "C"

namespace fwupg::nvm::e4 {

inline constexpr uint32_t kCfgImageBytes = 4240;
inline constexpr uint32_t kCfgPortMode = 44;
inline constexpr uint32_t kCfgMbaSize = 88;
inline constexpr uint32_t kCfgMbiVersion = 124;
inline constexpr uint32_t kCfgMbiDate = 128;
inline constexpr uint32_t kCfgUefiVersion = 148;

// One word of a configuration image in NVRAM (the batch's image inside a configuration batch
// that holds one): 0, or -1 when the image is missing, too short or the read fails.
int nvm_cfg_word(uint32_t type, uint32_t byte, uint32_t* out);

// A configuration image read whole and padded with zeros to the 4240 bytes it is written back
// as; empty when it can't be loaded.
std::vector<uint8_t> load_cfg_image(uint32_t type);

}  // namespace fwupg::nvm::e4
