// The device installer's section installs over the INF reader, the registry and the service
// database: the registry lines of an install section (AddReg and DelReg) and the service lines
// of a service-install section (AddService and DelService). Files, INI files, log configurations
// and profile items are not installed by this machine: a section that asks for them is refused
// with 50 rather than reported as installed.
#pragma once

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

// Value types of an AddReg line's flags.
constexpr DWORD FLG_ADDREG_BINVALUETYPE = 0x1;
constexpr DWORD FLG_ADDREG_NOCLOBBER = 0x2;
constexpr DWORD FLG_ADDREG_DELVAL = 0x4;
constexpr DWORD FLG_ADDREG_KEYONLY = 0x10;
constexpr DWORD FLG_ADDREG_TYPE_MULTI_SZ = 0x10000;
constexpr DWORD FLG_ADDREG_TYPE_EXPAND_SZ = 0x20000;
constexpr DWORD FLG_ADDREG_TYPE_DWORD = 0x10001;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;

using PSP_FILE_CALLBACK_W = UINT (*)(void* context, UINT notification, ULONG_PTR param1, ULONG_PTR param2);

// Runs the registry lines of `section` (flags with SPINST_REGISTRY): each AddReg line names
// sections of "root, sub-key, value name, flags, value..." lines (roots HKLM, HKCU, HKCR, HKU,
// and HKR for `relative_key`), each DelReg line sections of "root, sub-key[, value name]" lines.
// FALSE with 6 (bad INF), 0xE0000101 (no such section), 50 (work this machine does not do),
// 87 (an HKR line without a relative key), 13 (a line it cannot read) or the registry's code.
BOOL SetupInstallFromInfSectionW(HANDLE owner, HINF inf, const WCHAR* section, UINT flags, HKEY relative_key,
                                 const WCHAR* source_root, UINT copy_flags, PSP_FILE_CALLBACK_W callback,
                                 void* context, HDEVINFO set, SP_DEVINFO_DATA* device);

// Runs the service lines of `section`: "AddService = name, flags, install section" creates the
// service from the install section's ServiceType, StartType, ErrorControl, ServiceBinary,
// DisplayName and LoadOrderGroup (an existing one is left as it is: FALSE with 1073), and
// "DelService = name" deletes one. FALSE with 0xE0000101 when the section is missing.
BOOL SetupInstallServicesFromInfSectionW(HINF inf, const WCHAR* section, DWORD flags);

}  // namespace win
