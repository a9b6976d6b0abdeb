// Reading the fields of INF lines, shared by the device installer's section installs
// (win_setupapi_install.cpp, win_setupapi_ini.cpp, win_setupapi_reg.cpp,
// win_setupapi_profile.cpp).
#pragma once

#include <functional>
#include <string>

#include "platform/win_registry.h"
#include "platform/win_setupapi_inf.h"

namespace win::setup_lines {

// Field `index` of the line (0 is its key); empty when it is missing.
std::u16string field(const INFCONTEXT& context, DWORD index);
// Field `index` as a number (decimal, or hexadecimal with 0x); false when it is none.
bool int_field(const INFCONTEXT& context, DWORD index, DWORD* value);
// True when the texts are equal without regard to ASCII case.
bool same(std::u16string_view a, std::u16string_view b);
// The registry root a line names (HKLM, HKCU, HKCR, HKU in short or long form, HKR for
// `relative`); null with 87 for HKR without a relative key, 13 for any other text.
HKEY root_of(const std::u16string& name, HKEY relative);

// Every section that the `key` lines of `section` name, by name, handed to `run` in order (a name
// that is no section too); the first error stops the walk and is returned.
DWORD for_each_listed_section(HINF inf, const WCHAR* section, const WCHAR* key,
                              const std::function<DWORD(const std::u16string&)>& run);
// Every line of every section that the `key` lines of `section` name, handed to `run` in order;
// the first error stops the walk and is returned. A named section that is missing is passed over.
DWORD for_each_listed_line(HINF inf, const WCHAR* section, const WCHAR* key, DWORD (*run)(const INFCONTEXT&, HKEY),
                           HKEY relative);

// The registry work of an install section: its DelReg lines, then its AddReg lines. 0, or the
// error that stopped it.
DWORD install_registry_lines(HINF inf, const WCHAR* section, HKEY relative);

// The profile items of an install section, each ProfileItems line naming item sections: groups
// and shortcuts of the all-users Start menu made or deleted. check_profile_items refuses (50)
// items this machine cannot make before anything runs. 0, or the error that stopped it.
DWORD check_profile_items(HINF inf, const WCHAR* section);
DWORD install_profile_items(HINF inf, const WCHAR* section);

// The INI-file work of an install section: its UpdateInis and UpdateIniFields lines (`ini_files`)
// and its Ini2Reg lines (`ini_to_registry`). 0, or the error that stopped it.
DWORD install_ini_lines(HINF inf, const WCHAR* section, bool ini_files, bool ini_to_registry, HKEY relative);

}  // namespace win::setup_lines
