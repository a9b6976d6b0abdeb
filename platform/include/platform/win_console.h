// The console. A Linux process keeps the terminal it was started on, so there is no console to
// open and no screen buffer to size: these calls succeed and change nothing.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace win {

struct COORD {
    int16_t X;
    int16_t Y;
};

constexpr DWORD STD_INPUT_HANDLE = DWORD(-10);
constexpr DWORD STD_OUTPUT_HANDLE = DWORD(-11);
constexpr DWORD STD_ERROR_HANDLE = DWORD(-12);

BOOL AllocConsole();
// A pseudo handle naming the standard stream; only the console calls below accept it.
HANDLE GetStdHandle(DWORD which);
BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size);

}  // namespace win
