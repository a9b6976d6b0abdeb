#include "fwupg/session_state.h"

#include <cstring>

Tcl_Interp* g_TclInterp = nullptr;
uint32_t g_uUpgRetCode = 0;
uint8_t g_bSessionClaimed = 0;
uint8_t g_bResetRequested = 0;
uint8_t g_bNoReset = 0;
uint8_t g_bNvmWritten = 0;
uint8_t g_bCommandError = 0;
char16_t g_PendingMfwNote[kPendingMfwNoteSize] = {};
uint32_t g_FwUpgOptions = 0;
uint8_t g_bDumpMode = 0;
uint8_t g_bLogEvents = 0;

void ClearPendingMfwNote()
{
    std::memset(g_PendingMfwNote, 0, sizeof g_PendingMfwNote);
}

void SetPendingMfwNote(const char16_t* note)
{
    ClearPendingMfwNote();
    for (size_t i = 0; note && note[i] && i + 1 < kPendingMfwNoteSize; ++i) g_PendingMfwNote[i] = note[i];
}
