// The device installer's device-information calls over the machine's device list
// (platform/device_store.h). A device information set is an entry of the handle table holding a
// snapshot of the devices it was made for; a set that was destroyed, and every device or driver
// list of it, is refused with error 6 rather than followed. A device's driver list holds its
// installed driver only: the stand-in searches no INF folder for other candidates. A class-driver
// list built with DI_ENUMSINGLEINF set holds every driver of the INF named by DriverPath.
#pragma once

#include "platform/win_types.h"

namespace win {

using HDEVINFO = HANDLE;
using ULONG_PTR = uintptr_t;
using DWORDLONG = uint64_t;

constexpr DWORD DIGCF_DEFAULT = 0x1;
constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DIGCF_ALLCLASSES = 0x4;

constexpr DWORD SPDIT_CLASSDRIVER = 1;
constexpr DWORD SPDIT_COMPATDRIVER = 2;

constexpr DWORD DI_NEEDRESTART = 0x00000080;
constexpr DWORD DI_NEEDREBOOT = 0x00000100;
constexpr DWORD DI_FLAGSEX_INSTALLEDDRIVER = 0x04000000;

constexpr DWORD SPDRP_DEVICEDESC = 0;
constexpr DWORD SPDRP_HARDWAREID = 1;
constexpr DWORD SPDRP_COMPATIBLEIDS = 2;
constexpr DWORD SPDRP_SERVICE = 4;
constexpr DWORD SPDRP_CLASSGUID = 8;

constexpr DWORD DI_ENUMSINGLEINF = 0x00010000;
constexpr DWORD DI_DONOTCALLCONFIGMG = 0x00020000;
constexpr DWORD DI_NOFILECOPY = 0x01000000;
constexpr DWORD DICD_GENERATE_ID = 0x1;
constexpr DWORD DICD_INHERIT_CLASSDRVS = 0x2;
constexpr DWORD SPRDI_FIND_DUPS = 0x1;
constexpr DWORD DIF_INSTALLDEVICE = 0x2;
constexpr DWORD ERROR_NO_DRIVER_SELECTED = 0xE0000203;
constexpr DWORD ERROR_DEVINST_ALREADY_EXISTS = 0xE0000207;
constexpr DWORD ERROR_DI_DO_DEFAULT = 0xE000020E;

constexpr DWORD DNF_INBOX_DRIVER = 0x00100000;
constexpr DWORD DIOD_INHERIT_CLASSDRVS = 0x2;
constexpr DWORD ERROR_NO_SUCH_DEVINST = 0xE000020B;

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
static_assert(sizeof(SP_DEVINFO_DATA) == 32);

struct SP_DEVINSTALL_PARAMS_W {
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    HANDLE hwndParent;
    void* InstallMsgHandler;
    void* InstallMsgHandlerContext;
    HANDLE FileQueue;
    ULONG_PTR ClassInstallReserved;
    DWORD Reserved;
    WCHAR DriverPath[MAX_PATH];
};
static_assert(sizeof(SP_DEVINSTALL_PARAMS_W) == 584);

struct SP_DRVINFO_DATA_V2_W {
    DWORD cbSize;
    DWORD DriverType;
    ULONG_PTR Reserved;
    WCHAR Description[256];
    WCHAR MfgName[256];
    WCHAR ProviderName[256];
    FILETIME DriverDate;
    DWORDLONG DriverVersion;
};
static_assert(sizeof(SP_DRVINFO_DATA_V2_W) == 1568);
// The first version ends before DriverDate.
constexpr DWORD kDrvInfoDataV1Size = 1552;

struct SP_DRVINFO_DETAIL_DATA_W {
    DWORD cbSize;
    FILETIME InfDate;
    DWORD CompatIDsOffset;
    DWORD CompatIDsLength;
    ULONG_PTR Reserved;
    WCHAR SectionName[256];
    WCHAR InfFileName[MAX_PATH];
    WCHAR DrvDescription[256];
    WCHAR HardwareID[1];
};
static_assert(sizeof(SP_DRVINFO_DETAIL_DATA_W) == 1584);

struct SP_DRVINSTALL_PARAMS {
    DWORD cbSize;
    DWORD Rank;
    DWORD Flags;
    ULONG_PTR PrivateData;
    DWORD Reserved;
};
static_assert(sizeof(SP_DRVINSTALL_PARAMS) == 32);

// INVALID_HANDLE_VALUE with 87 when neither a class nor DIGCF_ALLCLASSES is given.
HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR* enumerator, HANDLE window, DWORD flags);
// FALSE with 259 past the last device.
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params);
BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params);
BOOL SetupDiBuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD driver_type);
// Accepts the first and the second version of the driver data (cbSize 1552 or 1568).
BOOL SetupDiEnumDriverInfoW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD driver_type, DWORD index,
                            SP_DRVINFO_DATA_V2_W* driver);
BOOL SetupDiGetDriverInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_V2_W* driver,
                                    SP_DRVINSTALL_PARAMS* params);
// The fixed part is filled whenever the buffer holds it; FALSE with 122 and the size needed when
// the hardware and compatible ids that follow it do not fit as well.
BOOL SetupDiGetDriverInfoDetailW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_V2_W* driver,
                                 SP_DRVINFO_DETAIL_DATA_W* detail, DWORD size, DWORD* required);
// FALSE with 122 and the bytes needed when `buffer` is null or too small; 13 for a property the
// device does not have.
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                       BYTE* buffer, DWORD size, DWORD* required);
// The GUIDs of a class name (platform/setup_classes.h): at most one. FALSE with 122 when `size` is
// 0 and the class exists.
BOOL SetupDiClassGuidsFromNameW(const WCHAR* class_name, GUID* list, DWORD size, DWORD* required);
// An empty set for a class.
HDEVINFO SetupDiCreateDeviceInfoList(const GUID* class_guid, HANDLE window);
// Adds the device of an instance id (present or not) to the set; 0xE000020B when there is none.
BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, const WCHAR* instance_id, HANDLE window, DWORD flags,
                            SP_DEVINFO_DATA* device);
// Removes the device's section of the devices file and its registry key
// "System\CurrentControlSet\Enum\<instance id>"; a device that an adapter stands for cannot go (5).
BOOL SetupDiRemoveDevice(HDEVINFO set, SP_DEVINFO_DATA* device);
BOOL SetupDiDestroyDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD driver_type);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// A new device in the set, not yet on the machine. DICD_GENERATE_ID makes the instance id
// "ROOT\<NAME>\nnnn" (the name upper-cased, the first free number); without it `name` is the
// instance id, and an existing one is refused with 0xE0000207.
BOOL SetupDiCreateDeviceInfoW(HDEVINFO set, const WCHAR* name, const GUID* class_guid, const WCHAR* description,
                              HANDLE window, DWORD flags, SP_DEVINFO_DATA* device);
// Puts a new device on the machine: its section of the devices file (class, present) and its key
// under Enum. A device that is already on the machine is left as it is.
BOOL SetupDiRegisterDeviceInfo(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD flags, void* compare, void* context,
                               SP_DEVINFO_DATA* duplicate);
// The driver that a class-driver list entry (as SetupDiEnumDriverInfoW gave it) names becomes
// the device's selected driver.
BOOL SetupDiSetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_V2_W* driver);
// DIF_INSTALLDEVICE installs the selected driver on a device of the machine (0xE0000203 without
// one); any other function answers 0xE000020E (do the default).
BOOL SetupDiCallClassInstaller(DWORD function, HDEVINFO set, SP_DEVINFO_DATA* device);

}  // namespace win
