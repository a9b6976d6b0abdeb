// The IPMI pass-through configuration image (directory type 0x70000000, 552 bytes): its creation,
// the configuration table address for the IPMI firmware version, its link settings byte, and the
// "ipmi" command with its editor and integrity check. Everything here reaches NVRAM through the
// record of the facade operation in progress.
#pragma once

#include <cstdint>

struct Tcl_Interp;
struct Tcl_Obj;

constexpr uint32_t TOE_IPMI_CFG_DIR_TYPE = 0x70000000u;
constexpr uint32_t TOE_IPMI_CFG_BYTES = 552;        // CRC word at 548
constexpr uint32_t TOE_IPMI_CFG_HEADER = 0x06000000u;
constexpr uint32_t TOE_IPMI_CFG_SETTINGS_WORD = 53;   // settings byte = bits 15-8 (NVRAM byte 214)

// Builds a default image (header word, zeros, CRC word) and programs it. 0, or the status of the
// programming (1 failed, -1 no facade operation in progress).
int toe_ipmi_cfg_create(Tcl_Interp* interp);

// Address of the IPMI configuration table in the firmware's SRAM for the version word of the
// IPMI_INIT image: 0x08000000 below version 0x01020000, 0x08000010 from it on.
uint32_t toe_ipmi_cfg_table_addr(Tcl_Interp* interp, uint32_t version);

// Read, or read-modify-write, the link settings byte. An absent image is created first. 0 on
// success; 1 when it cannot be created, found or read (nothing is written then), or the status of
// the programming.
int toe_ipmi_cfg_load(Tcl_Interp* interp, uint8_t* settings);
int toe_ipmi_cfg_save(Tcl_Interp* interp, uint8_t settings);

// Text of item 1-4 from the settings byte, in a buffer the next call overwrites: the shown form, or
// with `raw` the value as "%d". Null for another item.
const char* toe_ipmi_item_text(uint8_t settings, int item, int raw);
// Sets item 1 (0-4) or 2-4 (0 or 1) from decimal text. 1 when the value is out of range (nothing
// changed); 0 otherwise, also for an unknown item (nothing changed).
int toe_ipmi_item_set(Tcl_Interp* interp, uint8_t* settings, int item, const char* text);
// Prints the four items and the choice prompt.
void toe_ipmi_menu(Tcl_Interp* interp, uint8_t settings);

// Help text of the command for page 0: 0 and the length; -1 for other pages.
int toe_ipmi_help(char* buffer, int ignored, int page, uint32_t* length);
// "ipmi cfg [item=choice]*" and "ipmi crc [-fix]".
int toe_ipmi_cmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
