// Writing a caller's buffer into NVRAM: whole images with identity checks and preservation of the
// adapter's own data, single images with their CRC word; and reading ranges back.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

enum toe_prog_flag : uint32_t {
    TOE_PRG_NVM_ORDER = 0x1,       // buffer words are big-endian (as in an image file)
    TOE_PRG_APPEND_CRC = 0x2,      // store the CRC word of the data right after it
    TOE_PRG_TAKE_MAC = 0x4,        // MAC words and NVRAM size come from the image
    TOE_PRG_KEEP_CFG = 0x10,       // keep the adapter's HW_INFO and FEAT_INFO
    TOE_PRG_NO_CHIP_CHK = 0x20,    // skip the device ID check at offset 0
    TOE_PRG_TAKE_SMBUS = 0x40,     // SMBus address bytes come from the image
    TOE_PRG_ID_MATCH = 0x80,       // vendor/device and subsystem IDs must match, at any offset
    TOE_PRG_TAKE_IBCFG = 0x100,    // iSCSI boot configuration comes from the image
    TOE_PRG_TAKE_FEBCFG = 0x200,   // FCoE boot configuration comes from the image
    TOE_PRG_KEEP_EC = 0x400,       // keep the adapter's VPD EC
    TOE_PRG_KEEP_SN = 0x800,       // keep the adapter's VPD SN
    TOE_PRG_SKIP_SAME = 0x1000,    // pieces the NVRAM holds already are not written again
};

// Programs `length` bytes (rounded up to whole dwords, L) at `nvm_offset`. The buffer must hold
// L + 4 bytes; its contents are undefined afterwards. Every check and preservation step happens
// before the first NVRAM write. 0 on success (`*written` grows by L, or L + 4 with the CRC word);
// 1 when the adapter's VPD cannot be read; -1 otherwise, with message and last error.
int toe_nvm_program_nvm(HostOps ops, uint8_t* buf, uint32_t length, uint32_t nvm_offset, uint32_t flags,
                        uint32_t* written);

// Carries each port's boot configuration image (row 5 ISB_CFG or 17 FEB_CFG) from NVRAM into a
// whole image when the image holds one of the same size. 0; 1 when the NVRAM's image fails its CRC
// check (nothing is carried; message and last error 21); -1 when NVRAM could not be read.
int preserve_ib_feb_cfg(HostOps ops, uint8_t* buf, uint32_t length, int row, uint32_t dev, int swap);

// Reads the dword-widened range around [nvm_offset, nvm_offset + length) into `buf`; with `swap`
// the words are left in NVRAM byte order. 0 and the bytes read; 1 on failure.
int toe_nvm_read_range(HostOps ops, uint8_t* buf, int swap, uint32_t length, uint32_t nvm_offset,
                       uint32_t* read_length);

// NVRAM offset of the addressed function's PCI ID word (vendor ID in its upper 16 bits, device ID
// in its lower): 0x104 on single-function boards; on dual-function boards 0x154 for the first
// function's block and 0x1A8 for the second's, by the port and the cfg command's -otherfn.
uint32_t toe_nvm_id_word_offset(const HostOps& ops, int board);

// Byte-reverses each of the length / 4 words of a buffer.
void toe_buf_swap_dwords(uint8_t* buf, uint32_t length);
