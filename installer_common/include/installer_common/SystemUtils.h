// Small helpers shared by the component and the support classes: the plug-in's own folder, file
// and disk tests, PnP hardware ids, string helpers, the console and the language helpers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "installer_common/CStr.h"
#include "platform/win_types.h"

// The plug-in's module handle (any address inside it); until set, the module holding this code.
void SetInstanceHandle(win::HMODULE module);
// The plug-in's folder without a trailing separator, copied to `out` (at most `size` characters)
// when given. Always 1.
int GetModuleFolder(char16_t* out, size_t size);
const char16_t* FindLastChar(const char16_t* text, char16_t c);
// Copies into a 255-character output.
void CopyString(char16_t* out, const char16_t* text);
// 1 when the path exists and is not a folder.
int FileExists(const char16_t* path);
// Bytes available to the caller on the volume of `folder`, or of the system drive for NULL;
// 0 when the query fails.
uint64_t GetFreeDiskSpace(const char16_t* folder);
// 7 characters: "*<id>"; 8 (vendor, device): "PCI\VEN_v&DEV_d"; 16 (vendor, device, subsystem
// vendor, subsystem device): "PCI\VEN_v&DEV_d&SUBSYS_<subsystem device><subsystem vendor>";
// any other length: empty.
CStr BuildHardwareId(const char16_t* id);
// First index of `part` in `text` ignoring case; -1 when `part` is empty, longer, or absent.
int FindSubstringNoCase(const char16_t* text, const char16_t* part);
// Removes trailing blanks, tabs, CR and LF in place (at most 254 characters and the NUL are kept).
char16_t* TrimBlanks(char16_t* text);
// Makes the standard streams unbuffered, for the "/consoleout" switch.
void OpenConsoleOutput();
// "en", or "fr", "es", "de", "it", "ja" by the system locale's language (2 characters + NUL).
void GetSystemLanguageCode(char16_t* out);
// "fr" 2060, "es" 2058, "de" 2055, "it" 2064, "ja" 2065, anything else 2057.
uint16_t LanguageCodeToLcid(const char16_t* code);
// Breaks each `separator`-delimited piece of `text` into lines of at most `width` characters at
// blanks; 0 when an argument is missing, `width` < 30 or `capacity` < 1.5 x the text's length.
int WrapText(char16_t* out, size_t capacity, const char16_t* text, size_t width, const char16_t* separator);

// Starts `commandLine` in `folder` (empty: the caller's folder) with a console of its own and
// waits up to `timeoutMs` for it: its exit code goes to `exitCode`, or -1 when the time-out is 0
// or passed (the process is left running). 0 when an argument is missing or the program does
// not start; the current folder is the same afterwards.
int RunProcessAndWait(const char16_t* commandLine, const char16_t* folder, int* exitCode, uint32_t timeoutMs);
// 1 when the machine (NT family, major version 5 or later) runs terminal services, asked through
// the version check of the already loaded system modules.
int IsTerminalServicesEnabled();
// 1 when the multi-string "ProductSuite" of HKLM\System\CurrentControlSet\Control\ProductOptions
// holds exactly `suite` (case-sensitive).
int ValidateProductSuite(const char* suite);
// 1 when HKLM\SYSTEM\CurrentControlSet\Control\MiniNT exists (the machine runs the
// preinstallation environment).
int IsWinPE();
// 1 when the WMI service "winmgmt" of that machine (NULL: this one) is running.
int IsWmiServiceRunning(const char16_t* machine);
