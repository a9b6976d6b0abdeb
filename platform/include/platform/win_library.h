// Loading modules by path and finding their functions by name.
//
// A module file of the system drive is either a shared object (loaded with dlopen) or a module
// stand-in: a text file that starts with the line "[stand-in module]" and lists, on "exports=",
// the functions it offers (names separated by ';'). A stand-in's functions are served by this
// platform, so a machine without the file has no such module and a stand-in without a name on
// its export line lacks that function, as a real module would. "ntdll.dll" and "kernel32.dll"
// are always loaded (GetModuleHandleA finds them) and export the version-check functions.
#pragma once

#include "platform/win_types.h"

namespace win {

using FARPROC = void (*)();

constexpr UINT SEM_FAILCRITICALERRORS = 0x1;

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

// NULL with 126 when the file is missing, 193 when it is neither a shared object nor a
// stand-in, 53 for a network path. Each load is counted; FreeLibrary undoes one.
HMODULE LoadLibraryW(const WCHAR* path);
// FALSE with 6 for a module that was not loaded by LoadLibraryW.
BOOL FreeLibrary(HMODULE module);
// A loaded module by its file name (compared without case), or NULL with 126.
HMODULE GetModuleHandleA(const char* name);
// NULL with 127 when the module lacks the function, 6 for an unknown module.
FARPROC GetProcAddress(HMODULE module, const char* name);
// The process's error mode; returns the one before.
UINT SetErrorMode(UINT mode);
UINT GetErrorMode();

}  // namespace win
