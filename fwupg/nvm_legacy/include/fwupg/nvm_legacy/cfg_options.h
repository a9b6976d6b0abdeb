// The configuration option editor of the legacy family: 81 numbered options over the fields of the
// configuration record, which board offers each, how a value is shown and how typed text is checked
// and stored, the defaults, the paged menus and the dump of the options as a command line. It never
// touches NVRAM itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fwupg/host_ops.h"
#include "fwupg/nvm_legacy/cfg_record.h"

struct Tcl_Interp;

constexpr int TOE_CFG_OPTIONS = 82;   // 0 (unused) to 81
// Option labels, each padded and ending ": " as the menu prints it; hidden options are "".
extern const char* const g_toe_cfg_options[TOE_CFG_OPTIONS];
// Default value texts, applied through toe_cfg_option_set.
extern const char* const g_toe_cfg_defaults[TOE_CFG_OPTIONS];
// The reserved options (the iSCSI pending-task count) and their defaults.
extern const char* const g_toe_rescfg_options[2];
extern const char* const g_toe_rescfg_defaults[2];

// Whether option 1-81 is offered on this adapter. `interactive` is set for the menu, the setter and
// the comment lines of a dump, clear for the dump's command lines (the addresses 1, 33 and 77 are
// offered only interactively). `message` (may be null) is emptied and may receive "N/A for 5716".
// False for another number, a hidden option or an unreadable device index.
bool toe_cfg_option_offered(const HostOps& ops, int option, bool interactive, std::string* message);

// The option's value as shown, or with `raw` in the form the setter accepts back. The text lives in
// a buffer the next call overwrites; null for options 0, 31, 32 and above 81.
const char* toe_cfg_option_text(const HostOps& ops, const toe_cfg_record* rec, int option, bool raw);

// Checks typed text and stores it into the option's field. 0 stored; 1 refused (field unchanged,
// a reason in `message` for options 14, 33, 36 and 48).
int toe_cfg_option_set(const HostOps& ops, toe_cfg_record* rec, int option, const char* value, std::string* message);

// The paged menus of the cfg and rescfg commands, printed through the debug print. The cfg menu
// prints nothing when the device index cannot be read.
void toe_cfg_menu(const HostOps& ops, const toe_cfg_record* rec);
void toe_rescfg_menu(const HostOps& ops, uint16_t pending_tasks);

// Prints the prompt, waits for one key of the current record's console input and ends the line.
// Only inside a facade operation (no current record: -1 without waiting).
int toe_pause(Tcl_Interp* interp, const char* prompt);

// Option 79: register value to index (`to_index`) or index to register value. -1 for a value or
// index outside the four known ones.
int64_t toe_cfg_preemp_convert(uint32_t value, bool to_index);
// Option 22: whether a boot-agent link speed is refused for the medium (PHY_TYPE text) and the
// 2.5G fiber setting (field 40).
bool toe_cfg_mba_speed_invalid(const char* phy_type, uint8_t fiber_2g5, uint8_t speed);

// Appends the options as comment lines and one continued "nvm cfg" command line to a file. 0, or 1
// with "Failed to open file." in the message area (cut to its size).
int toe_nvm_cfg_dump(const HostOps& ops, const char* file_name, const toe_cfg_record* rec, char* message,
                     size_t message_size);
