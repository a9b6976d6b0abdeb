// Board-specific corrections after an MBI package upgrade of an E4 adapter: boot-agent and MIM
// version texts into VPD fields, options some boards need, and (when the board-translation switch
// is on) the stored option sets of a few boards. Boards are told by their PCI ids in ::toe.
#pragma once

#include <cstdint>

extern "C" {

// The boards whose VPD field V9 takes the MBI package version (looked up by VID, SVID and SSID).
bool common_nvm_board_in_mbi_vpd_list(uint16_t vid, uint16_t svid, uint16_t ssid);

}  // extern "C"

namespace fwupg::nvm::e4 {

// The boards whose VPD fields V1, V3 and V6 take the version texts (looked up by VID and SVID).
bool board_in_version_vpd_list(uint16_t vid, uint16_t svid);

// The environment variable DONVM_TRANSLATION names one of the translated boards (any case).
bool board_translation_on();

// The VPD step, the option step and, with the switch on, the stored-set step, for the board in
// ::toe. Each step's failure is printed; the steps go on.
void board_fixups_after_mbi();

}  // namespace fwupg::nvm::e4
