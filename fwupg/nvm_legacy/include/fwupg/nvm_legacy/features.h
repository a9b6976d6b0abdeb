// Single features of a legacy adapter: which firmware kinds its directory holds, the wake-on-LAN
// rule, and the VPD strings.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"
#include "fwupg/nvm_legacy/cfg_record.h"

// The wake-on-LAN rule of the family: on its boards, enabling is refused without auxiliary power
// (`vaux` 0) and on a SERDES adapter of NIC design (`design` 0).
bool toe_wol_rule_refuses(int board, bool serdes, int vaux, uint8_t design);

// The rule for the adapter of the record: prints "The WOL can't be enabled for this device" and
// returns true when enabling is refused.
bool toe_wol_enable_refused(const HostOps& ops, const toe_cfg_record& rec);

// The VPD's MN (5 bytes) and V0 (17 bytes) texts into the buffers given (either may be null),
// through the record of the facade operation in progress. The NVRAM read's status (0 success).
uint32_t toe_nvm_vpd_strings(uint32_t dev, char* mn, char* v0);
