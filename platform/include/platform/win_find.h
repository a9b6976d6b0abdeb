// Searching a folder by a name pattern ('*' and '?' in the last part, names compared without
// case), as the system's file search does it, over the system root.
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr DWORD ERROR_NO_MORE_FILES = 18;

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    WCHAR cFileName[MAX_PATH];
};

// The first entry of the folder that matches, in name order, and a search handle; INVALID_HANDLE_VALUE
// with 2 when nothing matches, 3 when the folder is missing. Names that do not fit 260 characters
// are passed over.
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data);
// The next match; FALSE with 18 when there is none.
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE search);

}  // namespace win
