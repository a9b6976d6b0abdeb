// Edition codes of the operating systems a package names and of the running system.
#pragma once

#include <cstdint>

// The package file's edition keyword (lower-cased, compared whole) as a code; 0xFFFF for an
// empty keyword, 0 for an unknown one.
uint16_t EditionCodeFromKeyword(const char16_t* keyword);
// The running system's edition code from its product type and whether it is an R2 release.
uint16_t CurrentEditionCode(uint32_t productType, bool r2);
