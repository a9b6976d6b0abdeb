// Loaded modules. An HMODULE is any address inside a loaded ELF object (the program or a shared
// library); NULL stands for the running program.
#pragma once

#include "platform/win_types.h"

namespace win {

// The module's full path (a Linux path), cut to `size` - 1 characters with error 122 when it does
// not fit (then the result is `size`). 0 with error 6 for an address in no module.
DWORD GetModuleFileNameW(HMODULE module, WCHAR* out, DWORD size);

}  // namespace win

namespace platform {
// The module holding `address` (its load base), or NULL.
win::HMODULE module_of(const void* address);
}  // namespace platform
