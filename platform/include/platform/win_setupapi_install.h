// The device installer's section installs over the INF reader, the registry, the service
// database and the files of the system root: the INI-file, registry and profile-item lines of an
// install section (UpdateInis, UpdateIniFields, Ini2Reg, AddReg, DelReg and ProfileItems) and the
// service lines of a service-install section (AddService and DelService). Files and registrations
// are not installed by this machine, nor the log configurations of a device: a section that asks
// for them is refused with 50 rather than reported as installed.
#pragma once

#include <string>

#include "platform/win_registry.h"
#include "platform/win_setupapi.h"
#include "platform/win_setupapi_inf.h"

namespace win {

constexpr UINT SPINST_LOGCONFIG = 0x1;
constexpr UINT SPINST_INIFILES = 0x2;
constexpr UINT SPINST_REGISTRY = 0x4;
constexpr UINT SPINST_INI2REG = 0x8;
constexpr UINT SPINST_FILES = 0x10;
constexpr UINT SPINST_BITREG = 0x20;
constexpr UINT SPINST_REGSVR = 0x40;
constexpr UINT SPINST_UNREGSVR = 0x80;
constexpr UINT SPINST_PROFILEITEMS = 0x100;

// The flags of an AddReg line: what it does, and the type of its value.
constexpr DWORD FLG_ADDREG_BINVALUETYPE = 0x1;
constexpr DWORD FLG_ADDREG_NOCLOBBER = 0x2;
constexpr DWORD FLG_ADDREG_DELVAL = 0x4;
constexpr DWORD FLG_ADDREG_APPEND = 0x8;
constexpr DWORD FLG_ADDREG_KEYONLY = 0x10;
constexpr DWORD FLG_ADDREG_OVERWRITEONLY = 0x20;
constexpr DWORD FLG_ADDREG_64BITKEY = 0x1000;
constexpr DWORD FLG_ADDREG_KEYONLY_COMMON = 0x2000;
constexpr DWORD FLG_ADDREG_32BITKEY = 0x4000;
constexpr DWORD FLG_ADDREG_TYPE_MULTI_SZ = 0x10000;
constexpr DWORD FLG_ADDREG_TYPE_EXPAND_SZ = 0x20000;
constexpr DWORD FLG_ADDREG_TYPE_DWORD = 0x10001;
constexpr DWORD FLG_ADDREG_TYPE_MASK = 0xFFFF0001;
// The flags of a DelReg line.
constexpr DWORD FLG_DELREG_KEYONLY_COMMON = 0x2000;
constexpr DWORD FLG_DELREG_MULTI_SZ_DELSTRING = 0x18002;
// The flags of a ProfileItems section's Name line.
constexpr DWORD FLG_PROFITEM_CURRENTUSER = 0x1;
constexpr DWORD FLG_PROFITEM_DELETE = 0x2;
constexpr DWORD FLG_PROFITEM_GROUP = 0x4;
constexpr DWORD FLG_PROFITEM_CSIDL = 0x8;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;

using PSP_FILE_CALLBACK_W = UINT (*)(void* context, UINT notification, ULONG_PTR param1, ULONG_PTR param2);

// Runs the lines of `section` that the flags ask for: INI files first, then the registry, then
// the profile items.
//
// INI files (SPINST_INIFILES). Each UpdateInis line names sections of
// "ini file, ini section, [old entry], [new entry], [flags]" lines, each entry "key=value":
//   flags 0: the first entry of the old key is replaced by the new entry (nothing when there is
//            none); without an old entry the new one is set (the first entry of its key
//            replaced, or added at the end of the section); without a new entry every entry of
//            the old key is removed;
//   flags 1: as 0, but the old entry's value must match as well;
//   flags 2: the first entry of the old key gets the new key, keeping its value, and every other
//            entry of the new key is removed (both entries needed; nothing when the old key is
//            missing);
//   flags 3: as 2, but the old entry's value must match as well.
// In an old entry, "*" as key or value matches any. Each UpdateIniFields line names sections of
// "ini file, ini section, entry key, [old field], [new field], [flags]" lines: the entry's value
// is read as fields separated by blanks, tabs and commas (a ';' starts a comment, dropped); the
// first field equal to the old one (flags bit 0: matching it with '*' and '?') is replaced by
// the new one or, without a new one, removed; a new field with no old one found is added unless
// it is there already (a missing entry is created for it). The fields are written back separated
// by blanks (flags bit 1: by commas). Keys, values and fields compare without case, beyond ASCII
// too.
//
// INI to registry (SPINST_INI2REG). Each Ini2Reg line names sections of "ini file, ini section,
// [ini key], root, sub-key[, flags]" lines: the section's entries (only those of the key, when
// one is given) become text values of the sub-key, named by their keys (of two entries of one
// key the later one's value stays). Flags bit 1 clear: a sub-key that exists already is left as
// it is and nothing moves; set: its values are replaced. Bit 0 removes the entries that moved
// from the INI file afterwards (none when nothing moved).
//
// An INI file is named as "%dirid%\name" (setup_dirid_folder), by a path of a drive "X:\..." or
// "X:name" (drive-relative), or by a name alone, which is in the Windows folder (%SystemRoot%);
// it is found, read and written as platform/ini_file.h says: on the machine, ".." stopping at the
// drive's root, links followed only while they stay inside the system root (5 otherwise), a FIFO
// or other file that is not a regular one refused with 5. A missing file counts as empty and is
// created when a line adds to it (its folder must exist: 3 otherwise); a file held open by a
// handle that does not share writing gives 32. Each file a line changes is replaced whole through
// a new file, so a write that fails (39 disk full, 223 file-size limit) leaves it as it was;
// everything the line does not change is kept byte for byte, in the file's encoding
// (platform/ini_text.h). Text the file's encoding cannot hold fails the line with 1113, and a
// UTF-16 file that ends in half a character is not changed (13).
//
// Registry (SPINST_REGISTRY): each AddReg line names sections of "root, sub-key, value name,
// flags, value..." lines (roots HKLM, HKCU, HKCR, HKU, and HKR for `relative_key`), each DelReg
// line sections of "root, sub-key[, value name][, flags][, value]" lines; the DelReg lines run
// first. AddReg flags: the value's type (text, 0x10000 multi-string, 0x20000 expandable text,
// 0x1 bytes in hex fields, 0x10001 number); 0x2 keeps a value that is there; 0x20 sets only a
// value that is there (a missing key is not made); 0x10 and 0x2000 make the key alone; 0x4
// deletes the value, or the key with what is below it when no value name is given; 0x8 with the
// multi-string type appends the strings not there yet (compared without case) to a stored
// multi-string or makes it (a value of another type: 13). DelReg: without a value name, or with
// 0x2000, the key is deleted with what is below it; with 0x18002 every string of the stored
// multi-string equal to the value field without case is removed; otherwise the named value is
// deleted. A key or value that is not there is nothing to delete; a line that would delete a
// whole root (no sub-key) is refused with 13. The 32- and 64-bit key flags (0x4000, 0x1000) name
// this machine's one registry. The registry is written once, when the section's lines have run.
//
// Log configurations (SPINST_LOGCONFIG): LogConfig lines belong to the device given; without one
// they are passed over. With one the section is refused (50, and the debug channel says that this
// machine's devices have no resources to configure).
//
// Profile items (SPINST_PROFILEITEMS): each ProfileItems line names item sections of "Name = name
// [, flags]", "CmdLine = dirid, [sub-folder,] file", "SubDir = folder" and "WorkingDir = dirid
// [, sub-folder]" lines. An item is a shortcut "<name>.lnk" in the all-users Start menu's Programs
// folder (dirid 16407), below SubDir when given; flags 0x4 make it a group (the folder "<name>"
// there), 0x2 delete it instead (a missing one is nothing to delete; a group that still holds
// something is kept: 145), 0x8 take SubDir as the number of a shell folder (dirid 16384 + it).
// A shortcut file holds a stand-in text: "[Shortcut]", then Target=, CommandLine= (the target
// quoted) and WorkingFolder= (empty without WorkingDir) lines, CR LF ended; it is written whole
// (a new file renamed over the old). Current-user items (flags 0x1) and shell folders this
// machine lacks are refused with 50 and a debug-channel message before any item is made; a name
// or folder that is no plain relative name 123 or 13.
//
// In every field "%dirid%" stands for its folder (the INF reader replaces it, see
// platform/inf_file.h); numeric fields are decimal unless they start with 0x.
//
// FALSE with 6 (bad INF), 0xE0000101 (no such section), 50 (work this machine does not do;
// checked before any line runs), 87 (an HKR line without a relative key), 13 (a line it cannot
// read), 29 (the registry could not be written), or the error of the registry, of an INI file or
// of a profile item's file.
BOOL SetupInstallFromInfSectionW(HANDLE owner, HINF inf, const WCHAR* section, UINT flags, HKEY relative_key,
                                 const WCHAR* source_root, UINT copy_flags, PSP_FILE_CALLBACK_W callback,
                                 void* context, HDEVINFO set, SP_DEVINFO_DATA* device);

// Runs the service lines of `section`: "AddService = name, flags, install section" creates the
// service from the install section's ServiceType, StartType, ErrorControl, ServiceBinary,
// DisplayName and LoadOrderGroup (an existing one is left as it is: FALSE with 1073), and
// "DelService = name" deletes one. FALSE with 0xE0000101 when the section is missing.
BOOL SetupInstallServicesFromInfSectionW(HINF inf, const WCHAR* section, DWORD flags);

}  // namespace win

namespace platform {
// The folder a device-installer directory id stands for, from the environment (SystemRoot,
// SystemDrive, ALLUSERSPROFILE, ProgramFiles): 10 Windows, 11 system32, 12 drivers, 17 inf,
// 18 help, 20 fonts, 24 system drive, 50 system, 16406-16427 the shell folders; empty for any
// other id, and for one whose variable holds no path of a drive ("X:...").
std::u16string setup_dirid_folder(int dirid);
}  // namespace platform
