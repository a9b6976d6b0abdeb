// The device installer's driver update for the devices of one hardware id, over the machine's
// device list (platform/device_store.h). Programs reach it through the module "newdev.dll" of the
// system folder (platform/win_library.h), which the machine may lack.
#pragma once

#include "platform/win_types.h"

namespace win {

constexpr DWORD INSTALLFLAG_FORCE = 0x1;
constexpr DWORD INSTALLFLAG_READONLY = 0x2;
constexpr DWORD INSTALLFLAG_NONINTERACTIVE = 0x4;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_COMPAT_DRIVERS = 0xE0000228;

// Installs the driver that the INF offers for `hardware_id` on every present device with that
// hardware id, recording it as the device's driver. The INF's [Manufacturer] lines name model
// sections (plus ".<decoration>" variants), whose lines are "description = install section, ids";
// [Version] DriverVer "mm/dd/yyyy,a.b.c.d" gives the date and version. Without
// INSTALLFLAG_FORCE a device whose driver is as new or newer keeps it; when no device changes,
// FALSE with 259. `reboot` (may be NULL) becomes TRUE when an updated device needs a restart.
// FALSE with 87 (no id or INF), 1004 (unknown flags), 2/3 (INF missing), 0xE0000003 (INF
// syntax), 0xE0000228 (the INF has no driver for the id), 0xE000020B (no present device has it).
BOOL UpdateDriverForPlugAndPlayDevicesW(HANDLE window, const WCHAR* hardware_id, const WCHAR* inf_path, DWORD flags,
                                        BOOL* reboot);

}  // namespace win
