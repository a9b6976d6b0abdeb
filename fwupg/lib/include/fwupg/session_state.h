// Process-wide state of the command in progress, shared by the call frame, the command execution,
// the shell and the adapter access helper. One exported call at a time uses it.
#pragma once

#include <cstddef>
#include <cstdint>

struct Tcl_Interp;

// The interpreter of the current exported call (null between calls).
extern Tcl_Interp* g_TclInterp;

// Last error of the shell and the engines (set through HostOps slot 15 or directly).
extern uint32_t g_uUpgRetCode;

// Session marks of one command line.
extern uint8_t g_bSessionClaimed;
extern uint8_t g_bResetRequested;
extern uint8_t g_bNoReset;
extern uint8_t g_bNvmWritten;    // set by every successful NVRAM write; never cleared
extern uint8_t g_bCommandError;  // set by a failed NVRAM write or a failed command line

// "-mfw" while an MFW upgrade has begun and no NVRAM write has consumed the note yet.
constexpr size_t kPendingMfwNoteSize = 520;
extern char16_t g_PendingMfwNote[kPendingMfwNoteSize];
void ClearPendingMfwNote();
void SetPendingMfwNote(const char16_t* note);

// Option word (never set by the library): 0x40 dump-file mode, 0x08 skips the presence matching of
// the full-image check.
constexpr uint32_t kFwUpgOptionDumpFile = 0x40;
constexpr uint32_t kFwUpgOptionSkipPresence = 0x08;
extern uint32_t g_FwUpgOptions;

// Process marks of the exports.
extern uint8_t g_bDumpMode;   // set only around discovery inside the NVRAM dump export
extern uint8_t g_bLogEvents;  // set by the flash-from-report export, never cleared
