// The service control manager of the original system over the service database
// (platform/service_store.h). Manager, service and lock handles are entries of the handle table.
// Only the local machine is reachable (1722 otherwise) and only the active database exists.
// A start or stop request moves the service as its entry says (it may stay pending); the database
// lock holds across processes and ends with its holder.
#pragma once

#include "platform/win_types.h"

namespace win {

using SC_HANDLE = HANDLE;
using SC_LOCK = HANDLE;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_LOCK = 0x0008;
constexpr DWORD SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;

constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

constexpr DWORD SERVICE_KERNEL_DRIVER = 0x1;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;

constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
static_assert(sizeof(SERVICE_STATUS) == 28);

// The owner text follows the structure in the caller's buffer.
struct QUERY_SERVICE_LOCK_STATUSW {
    DWORD fIsLocked;
    WCHAR* lpLockOwner;
    DWORD dwLockDuration;
};
static_assert(sizeof(QUERY_SERVICE_LOCK_STATUSW) == 24);

// Failures return NULL or FALSE and set the last error.
SC_HANDLE OpenSCManagerW(const WCHAR* machine, const WCHAR* database, DWORD access);
BOOL CloseServiceHandle(SC_HANDLE handle);
SC_HANDLE OpenServiceW(SC_HANDLE manager, const WCHAR* name, DWORD access);
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
BOOL StartServiceW(SC_HANDLE service, DWORD argc, const WCHAR** argv);
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
SC_HANDLE CreateServiceW(SC_HANDLE manager, const WCHAR* name, const WCHAR* display_name, DWORD access,
                         DWORD service_type, DWORD start_type, DWORD error_control, const WCHAR* binary_path,
                         const WCHAR* load_order_group, DWORD* tag_id, const WCHAR* dependencies,
                         const WCHAR* account, const WCHAR* password);
// A stopped service goes at once; a running one is marked (DeleteFlag 1) and goes when it stops.
BOOL DeleteService(SC_HANDLE service);
// NULL with 1055 while another holder has the lock.
SC_LOCK LockServiceDatabase(SC_HANDLE manager);
BOOL UnlockServiceDatabase(SC_LOCK lock);
// FALSE with 122 and the bytes needed in `needed` when `size` is too small.
BOOL QueryServiceLockStatusW(SC_HANDLE manager, QUERY_SERVICE_LOCK_STATUSW* status, DWORD size, DWORD* needed);

}  // namespace win
