// The legacy configuration record: the adapter's settings decoded from the directory text area,
// HW_INFO, FEAT_INFO and the VPD, one field per configuration option number (field N belongs to
// option N), and written back block by block.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/formats/vpd.h"

struct toe_cfg_record {
    uint8_t f1[6];        // MAC address, transmission order
    uint8_t f2[4];        // power dissipated D0..D3
    uint8_t f3[4];        // power consumed D0..D3
    uint16_t f4, f5, f6, f7;   // vendor, device, subsystem vendor, subsystem device ID
    uint8_t f13, f14, f15, f16, f17, f18, f19, f20, f21, f22;
    uint16_t f23;
    uint8_t f24, f25, f26, f27, f28, f29, f30;
    uint8_t f33[6];       // iSCSI MAC address
    uint8_t f34;
    uint16_t f35;
    uint8_t f36, f37, f38;
    char f39[17];         // spare number
    uint8_t f40, f41, f42, f43, f44, f45;
    uint16_t f46;
    uint8_t f47, f48, f49, f50;
    uint8_t f51[4], f52[4];
    uint32_t f53, f54, f55, f56;
    uint8_t f57;
    uint8_t f59, f60, f61, f62, f63, f64, f65, f66;
    uint32_t f67, f68, f69, f70, f71, f72, f73, f74;
    uint8_t f75;
    uint32_t f76;
    uint8_t f77[6];       // backup primary MAC address
    uint8_t f78;
    uint32_t f79, f80, f81;
    vpd_info vpd;         // fields 8-12 (name, PN, EC, SN, MN) and 58 (V0)
};

// Set while the cfg command addresses the other PCI function of a dual-function board.
extern uint8_t g_cfg_otherfn;

// The own function's blocks are the first function's (HW 0x134, FEAT 0x214) rather than the
// second's (0x188, 0x288): first port without -otherfn, or second port with it.
bool toe_cfg_own_block_first(const HostOps& ops);

// Decodes the blocks into the record. 0; 1 when the device is not known or a block cannot be read,
// and on a single-function board asked for the other function.
int toe_nvm_read_cfg(HostOps ops, toe_cfg_record* rec);

enum toe_cfg_block : uint32_t {
    TOE_CFG_DIR_TEXT = 1, TOE_CFG_HW_INFO = 2, TOE_CFG_FEAT_INFO = 4, TOE_CFG_VPD = 8, TOE_CFG_ALL = 15,
};
// Encodes the blocks of `mask` and programs each with its CRC: of a block only the words that
// change and its CRC word, in one write (the VPD, which has no CRC, whole), and nothing of a block
// that already holds its values. A block whose current contents cannot be read is left alone. 0
// when every block was written (or needed no write); 1 otherwise.
int toe_nvm_write_cfg(HostOps ops, const toe_cfg_record* rec, uint32_t mask);

// Column 0 (PCI device ID text) or 1, 2 (power quadruples) of the per-chip table; null when the
// chip is not listed.
const char* toe_cfg_power_lookup(uint32_t chip_id, int column);
