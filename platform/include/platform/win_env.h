// Environment variables as the system sees them: names match without case, and the variables every
// Windows machine has get their usual values when the process environment lacks them
// (SystemDrive "C:", SystemRoot and windir "C:\Windows", ProgramFiles, ALLUSERSPROFILE, TEMP, TMP).
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace win {

// Characters written without the NUL; 0 with error 203 when the variable is missing; the needed
// size with the NUL when it does not fit.
DWORD GetEnvironmentVariableW(const WCHAR* name, WCHAR* buffer, DWORD size);

// Replaces each "%name%" by the variable's value (unknown names stay as written). Returns the
// characters needed including the NUL; writes only when they fit in `size`.
DWORD ExpandEnvironmentStringsW(const WCHAR* source, WCHAR* dest, DWORD size);

}  // namespace win

namespace platform {
// The value of an environment variable as described above, or nothing.
std::optional<std::u16string> environment_value(std::u16string_view name);
// The expansion of "%name%" references as described above.
std::u16string expand_environment(std::u16string_view text);
}  // namespace platform
