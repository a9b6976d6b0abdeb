#include "installer_common/CService.h"

#include <vector>

#include "installer_common/CRegistryKey.h"
#include "platform/win_error.h"
#include "platform/win_setupapi.h"
#include "platform/win_time.h"

using namespace win;

namespace {

constexpr int kLockRetries = 60;
constexpr DWORD kLockRetryMs = 1000;
constexpr int kStatePolls = 600;
constexpr DWORD kStatePollMs = 100;
constexpr int kUnlockWaitPasses = 100;
constexpr DWORD kUnlockWaitMs = 5000;
constexpr DWORD kLegacyNodeRemoving = 0x40008;  // started, and will be removed

const char16_t kServicesKey[] = u"System\\CurrentControlSet\\Services\\";
const char16_t kEventLogKey[] = u"System\\CurrentControlSet\\Services\\EventLog\\System\\";
const char16_t kRootEnumKey[] = u"System\\CurrentControlSet\\Enum\\Root\\";

CStr Upper(const char16_t* name)
{
    CStr s(name);
    s.MakeUpper();
    return s;
}

CStr LegacyNodeKey(const CStr& name) { return CStr(kRootEnumKey) + u"LEGACY_" + name + u"\\0000"; }

int LocalKeyExists(const CStr& path)
{
    CRegistryKey key(path.c_str());
    key.SetAccess(KEY_READ);
    return key.Exists();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CServiceManager

CServiceManager::CServiceManager(const char16_t* machine) : m_machine(machine) {}

CServiceManager::~CServiceManager() { Close(); }

void CServiceManager::SetMachineName(const char16_t* machine) { m_machine = CStr(machine); }

int CServiceManager::Open()
{
    if (!m_scm) {
        m_scm = OpenSCManagerW(m_machine.empty() ? nullptr : m_machine.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
        m_lastError = GetLastError();
    }
    return m_scm != nullptr;
}

SC_HANDLE CServiceManager::GetHandle() const { return m_scm; }

int CServiceManager::Lock()
{
    if (!m_scm) return 0;
    m_lock = LockServiceDatabase(m_scm);
    m_lastError = GetLastError();
    for (int retry = 0; !m_lock && retry < kLockRetries; ++retry) {
        if (m_lastError != ERROR_SERVICE_DATABASE_LOCKED) return 0;
        Sleep(kLockRetryMs);
        m_lock = LockServiceDatabase(m_scm);
        m_lastError = GetLastError();
    }
    return m_lock != nullptr;
}

int CServiceManager::Unlock()
{
    if (!m_lock) return 0;
    const BOOL ok = UnlockServiceDatabase(m_lock);
    m_lastError = GetLastError();
    if (!ok) return 0;
    m_lock = nullptr;
    return 1;
}

int CServiceManager::Close()
{
    Unlock();
    if (m_scm) {
        if (CloseServiceHandle(m_scm) == TRUE) m_scm = nullptr;
        m_lastError = GetLastError();
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// CService

CService::CService() = default;

CService::CService(const char16_t* name) : CStr(name)
{
    if (m_manager.Open()) m_scm = m_manager.GetHandle();
}

CService::CService(const char16_t* machine, const char16_t* name) : m_machine(machine)
{
    m_manager.SetMachineName(machine);
    if (m_manager.Open()) {
        assign(CStr(name));
        m_scm = m_manager.GetHandle();
    }
}

CService::~CService() { Close(); }

const char16_t* CService::Machine() const { return m_machine.empty() ? nullptr : m_machine.c_str(); }

CStr CService::ServicesKey() const { return CStr(kServicesKey) + *this; }

int CService::Open()
{
    if (m_service) return 1;
    if (!m_manager.Open()) return 0;
    m_scm = m_manager.GetHandle();
    if (empty() || !m_scm) return 0;
    m_service = OpenServiceW(m_scm, c_str(), SERVICE_ALL_ACCESS);
    return m_service != nullptr;
}

int CService::Close()
{
    if (m_service && CloseServiceHandle(m_service) == TRUE) m_service = nullptr;
    m_manager.Close();
    m_scm = nullptr;
    return 1;
}

int CService::IsRunning()
{
    int running = 0;
    SERVICE_STATUS status{};
    if (Open() && QueryServiceStatus(m_service, &status)) running = status.dwCurrentState != SERVICE_STOPPED;
    Close();
    return running;
}

int CService::Exists()
{
    if (!Open()) {
        Close();
        return 0;
    }
    Close();
    return CRegistryKey(Machine(), ServicesKey().c_str()).Exists();
}

int CService::IsMarkedForDeletion()
{
    DWORD value = 0;
    if (Exists() && CRegistryKey(Machine(), ServicesKey().c_str()).QueryDWORD(u"DeleteFlag", &value) && value == 1)
        return 1;
    CRegistryKey node(LegacyNodeKey(*this).c_str());
    node.SetAccess(KEY_READ);
    value = 0;
    return node.QueryDWORD(u"StatusFlags", &value) && value == kLegacyNodeRemoving;
}

int CService::IsDisabled()
{
    if (!Exists()) return 0;
    DWORD start = 0;
    return CRegistryKey(Machine(), ServicesKey().c_str()).QueryDWORD(u"Start", &start) && start == SERVICE_DISABLED;
}

int CService::SetStartType(DWORD startType)
{
    if (!Exists()) return 0;
    CRegistryKey key(Machine(), ServicesKey().c_str());
    key.DeleteValue(u"DeleteFlag");  // a missing flag is fine
    return key.SetDWORD(u"Start", startType);
}

int CService::Disable()
{
    if (!Exists()) return 0;
    return CRegistryKey(Machine(), ServicesKey().c_str()).SetDWORD(u"Start", SERVICE_DISABLED);
}

int CService::Control(DWORD code, SERVICE_STATUS* status)
{
    SERVICE_STATUS scratch{};
    int result = 0;
    if (Open()) result = ControlService(m_service, code, status ? status : &scratch);
    Close();
    return result;
}

int CService::Create(const char16_t* displayName, const char16_t* binaryPath, DWORD serviceType, DWORD startType,
                     const char16_t* loadOrderGroup, const char16_t* dependencies)
{
    if (!m_manager.Open() || empty()) return 0;
    m_scm = m_manager.GetHandle();
    if (!m_manager.Lock()) return 0;
    m_service = CreateServiceW(m_scm, c_str(), displayName, SERVICE_ALL_ACCESS, serviceType, startType,
                               SERVICE_ERROR_NORMAL, binaryPath, loadOrderGroup, nullptr, dependencies, nullptr,
                               nullptr);
    m_manager.Unlock();
    if (!m_service) return 0;
    Close();
    return 1;
}

int CService::Delete(int force)
{
    if (IsRunning() && !force) return Disable();
    int result = 1;
    if (Open()) result = DeleteService(m_service) ? 1 : 0;
    Close();
    CRegistryKey(Machine(), (CStr(kEventLogKey) + *this).c_str()).DeleteTree();
    return result;
}

int CService::Start()
{
    if (IsRunning()) return 1;
    int result = 0;
    if (Open()) {
        result = StartServiceW(m_service, 0, nullptr) ? 1 : 0;
        SERVICE_STATUS status{};
        if (result && QueryServiceStatus(m_service, &status))
            for (int poll = 0; status.dwCurrentState != SERVICE_RUNNING && poll < kStatePolls; ++poll) {
                Sleep(kStatePollMs);
                if (!QueryServiceStatus(m_service, &status)) break;
            }
    }
    Close();
    return result;
}

int CService::Stop()
{
    if (!Open()) {
        Close();
        return 0;
    }
    SERVICE_STATUS status{};
    const int result = ControlService(m_service, SERVICE_CONTROL_STOP, &status) ? 1 : 0;
    // Bounded like Start: a service that never stops must not hang the caller.
    if (result)
        for (int poll = 0; poll < kStatePolls; ++poll) {
            if (!QueryServiceStatus(m_service, &status) || status.dwCurrentState == SERVICE_STOPPED) break;
            Sleep(kStatePollMs);
        }
    Close();
    return result;
}

int CService::RemoveLegacyDevice(const char16_t* className)
{
    if (empty() || !className || !*className) return 0;
    GUID guids[5];
    DWORD count = 0;
    if (!SetupDiClassGuidsFromNameW(className, guids, 5, &count) || count == 0) return 0;
    const HDEVINFO set = SetupDiCreateDeviceInfoList(&guids[0], nullptr);
    if (set == INVALID_HANDLE_VALUE) return 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const CStr instance = CStr(u"Root\\LEGACY_") + *this + u"\\0000";
    int result = 0;
    if (SetupDiOpenDeviceInfoW(set, instance.c_str(), nullptr, DIOD_INHERIT_CLASSDRVS, &device))
        result = SetupDiRemoveDevice(set, &device);
    // The set served this removal only.
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

int CService::LegacyKeyExists()
{
    CRegistryKey key(Machine(), (CStr(kRootEnumKey) + u"LEGACY_" + Upper(c_str())).c_str());
    key.SetAccess(KEY_READ);
    return key.Exists();
}

// ---------------------------------------------------------------------------------------------
// Free functions

int LegacyDeviceNodeExists(const char16_t* name) { return LocalKeyExists(LegacyNodeKey(Upper(name))); }

int RootDeviceNodeExists(const char16_t* name)
{
    return LocalKeyExists(CStr(kRootEnumKey) + Upper(name) + u"\\0000");
}

int HasEnumeratedInstances(const char16_t* name)
{
    CRegistryKey key((CStr(u"System\\CurrentControlSet\\") + Upper(name) + u"\\Enum").c_str());
    key.SetAccess(KEY_READ);
    DWORD count = 0;
    return key.Exists() && key.QueryDWORD(u"Count", &count) && count != 0;
}

int WaitForServiceDatabaseUnlock()
{
    for (int pass = 0; pass < kUnlockWaitPasses; ++pass) {
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_QUERY_LOCK_STATUS);
        if (!scm) return 1;
        std::vector<uint8_t> buffer(sizeof(QUERY_SERVICE_LOCK_STATUSW));
        DWORD needed = 0;
        BOOL ok = FALSE;
        while (!(ok = QueryServiceLockStatusW(scm, reinterpret_cast<QUERY_SERVICE_LOCK_STATUSW*>(buffer.data()),
                                              static_cast<DWORD>(buffer.size()), &needed)) &&
               GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            buffer.resize(needed + sizeof(QUERY_SERVICE_LOCK_STATUSW));
        CloseServiceHandle(scm);
        // Only a too-small buffer is retried: any other failure ends the wait without an answer.
        if (!ok) return 1;
        if (!reinterpret_cast<QUERY_SERVICE_LOCK_STATUSW*>(buffer.data())->fIsLocked) return 0;
        Sleep(kUnlockWaitMs);
    }
    return 1;
}
