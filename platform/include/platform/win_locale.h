// The machine's locale: system.conf "SystemLocale" (a locale id, 1033 when missing).
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr DWORD LOCALE_SENGLANGUAGE = 0x1001;

LCID GetSystemDefaultLCID();
// Only LOCALE_SENGLANGUAGE is offered (87 otherwise), for the languages the system knows
// (English, French, Spanish, German, Italian, Japanese); other locales fail with 87.
// Returns characters with the NUL (or needed, for size 0); 0 with 122 when too small.
int GetLocaleInfoW(LCID locale, DWORD type, WCHAR* out, int size);

}  // namespace win
