// Programming of E1-E3 NVRAM with preservation of the adapter's configuration, and the readers of
// the configuration images NIC_PRTION, NIV, NIVPROFILES and CFG_SHARED.
#pragma once

#include <cstdint>

extern "C" {

enum : uint32_t {
    NVM_PRG_BIG_ENDIAN = 0x001,
    NVM_PRG_APPEND_CRC = 0x002,
    NVM_PRG_NO_KEEP_MAC = 0x004,
    NVM_PRG_KEEP_NPAR = 0x010,
    NVM_PRG_NO_KEEP_ISCSI = 0x020,
    NVM_PRG_KEEP_VPD_EC = 0x040,
    NVM_PRG_KEEP_VPD_SN = 0x080,
    NVM_PRG_REFRESH_NPAR = 0x100,
    NVM_PRG_PAD8 = 0x200,
    NVM_PRG_NO_KEEP_FCOE = 0x400,
    NVM_PRG_NIV_MODE = 0x800,
    // Pieces that the NVRAM already holds byte for byte are not written again (a whole image
    // programmed back over mostly equal contents then rewrites only what differs).
    NVM_PRG_SKIP_SAME = 0x1000,
    // With NVM_PRG_SKIP_SAME: a piece that differs is written from its first word that differs to
    // its end (a record's CRC word at its end goes in the same write).
    NVM_PRG_FROM_FIRST_CHANGE = 0x2000,
};

// 0, -1 (write or keep-step failure) or -2 (no memory). The caller's buffer is never changed.
int common_nvm_program_nvm(const void* buffer, uint32_t length, uint32_t nvm_offset, uint32_t flags,
                           uint32_t* written);

int common_nvm_read_nic_prtion(uint8_t out[508], uint32_t* present);
int common_nvm_read_niv(uint8_t out[1124], uint32_t* present);
int common_nvm_read_nivprofiles(uint8_t out[10240], uint32_t* present);
int common_nvm_read_cfg_shared(uint8_t* out, uint32_t size);

int common_nvm_reinstall_nic_prtion(const uint8_t image[508]);
int common_nvm_update_npar_block(int had_nic_prtion, const uint8_t saved[508]);
int common_nvm_update_niv_block(uint32_t mode, int had_niv, const uint8_t saved_niv[1124],
                                const uint8_t saved_profiles[10240]);

}  // extern "C"

namespace fwupg::nvm {
constexpr uint32_t kNicPrtionLen = 508;
constexpr uint32_t kNivLen = 1124;
constexpr uint32_t kNivProfilesLen = 10240;
// Reads an extended-directory image of `type` into `out` (at most `size` bytes, host-order
// words); 1 read, 0 absent, -1 error. `length` gets the stored length without its CRC.
int read_ext_image(uint32_t type, uint8_t* out, uint32_t size, uint32_t* length);
}  // namespace fwupg::nvm
