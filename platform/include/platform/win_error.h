// The calling thread's last error, as the stand-in services set it, and the mapping of errno values
// to the Windows codes.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace win {

DWORD GetLastError();
void SetLastError(DWORD code);

// Sets the last error and gives `result`: "return fail_with(ERROR_X, FALSE);".
template <typename T>
T fail_with(DWORD code, T result)
{
    SetLastError(code);
    return result;
}

// The Windows code for an errno value from an operation on `path` (a Linux path): ENOENT gives 2
// when the containing folder exists and 3 when it does not; EACCES/EPERM/EROFS 5; EEXIST 183;
// ENOTDIR 3; ENAMETOOLONG 206; ENOSPC 39; anything else 31.
DWORD error_from_errno(int err, const std::string& path = {});

}  // namespace win
