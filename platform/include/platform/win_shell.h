// Opening a file as the shell does, over the system root: "open" (or no verb) on a program starts
// it in the given folder and does not wait for it. Results above 32 mean success; otherwise the
// shell's error numbers: 2 file not found, 3 path not found, 31 no program for the file (not an
// executable one, or another verb), 8 the program could not be started.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace win {

using HINSTANCE = void*;
constexpr int SW_HIDE = 0;
constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t SE_ERR_PNF = 3;
constexpr intptr_t SE_ERR_OOM = 8;
constexpr intptr_t SE_ERR_NOASSOC = 31;

// A relative file is looked for in `directory` (when given), then in the current folder.
HINSTANCE ShellExecuteW(void* window, const WCHAR* verb, const WCHAR* file, const WCHAR* parameters,
                        const WCHAR* directory, int show);

}  // namespace win
