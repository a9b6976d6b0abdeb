#include "platform/win_console.h"

#include "platform/win_error.h"

namespace win {

BOOL AllocConsole() { return TRUE; }

HANDLE GetStdHandle(DWORD which)
{
    if (which != STD_INPUT_HANDLE && which != STD_OUTPUT_HANDLE && which != STD_ERROR_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(which)));
}

BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size)
{
    if (console != GetStdHandle(STD_OUTPUT_HANDLE) && console != GetStdHandle(STD_ERROR_HANDLE)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (size.X <= 0 || size.Y <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
