// Windows services: CServiceManager holds the service control manager handle and the database
// lock of one machine; CService stands for one service by name and opens and closes what it
// needs within each operation. Results are 1 for success and 0 for failure; nothing is logged.
#pragma once

#include "installer_common/CStr.h"
#include "platform/win_service.h"

class CServiceManager {
public:
    explicit CServiceManager(const char16_t* machine = nullptr);
    virtual ~CServiceManager();
    CServiceManager(const CServiceManager&) = delete;
    CServiceManager& operator=(const CServiceManager&) = delete;

    // The machine the next Open connects to (empty: this machine).
    virtual void SetMachineName(const char16_t* machine);
    // Opens the manager with all access unless it is open already.
    virtual int Open();
    virtual win::SC_HANDLE GetHandle() const;
    // Takes the database lock; while another holder has it, retries 60 times a second apart.
    virtual int Lock();
    virtual int Unlock();
    // Releases the lock, then the manager. Always 1.
    virtual int Close();
    // The last error of the last open, close, lock or unlock.
    win::DWORD GetLastErrorCode() const { return m_lastError; }

private:
    win::SC_HANDLE m_scm = nullptr;
    win::SC_LOCK m_lock = nullptr;
    CStr m_machine;
    win::DWORD m_lastError = 0;
};

// The text of a CService is the service's name.
class CService : public CStr {
public:
    CService();
    explicit CService(const char16_t* name);
    // On an unreachable machine the name stays empty and every operation gives 0.
    CService(const char16_t* machine, const char16_t* name);
    ~CService() override;
    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

    virtual int Open();
    virtual int Close();
    // Anything but stopped counts as running, so a pending service is running.
    virtual int IsRunning();
    // The manager knows the service and its Services key exists.
    virtual int Exists();
    // DeleteFlag 1 in its Services key, or its legacy device node reports status 0x40008.
    virtual int IsMarkedForDeletion();
    virtual int IsDisabled();
    virtual int SetStartType(win::DWORD startType);
    virtual int Disable();
    virtual int Control(win::DWORD code, win::SERVICE_STATUS* status);
    virtual int Create(const char16_t* displayName, const char16_t* binaryPath, win::DWORD serviceType,
                       win::DWORD startType, const char16_t* loadOrderGroup, const char16_t* dependencies);
    // A running service is only disabled unless `force`; the service's event-log key goes as well.
    virtual int Delete(int force);
    // Waits (100 ms polls, at most 600) for the running state; the result is the start request's.
    virtual int Start();
    // Waits (100 ms polls, at most 600) for the stopped state; the result is the stop request's.
    virtual int Stop();
    // Removes the device node "Root\LEGACY_<name>\0000" of a setup class.
    virtual int RemoveLegacyDevice(const char16_t* className);
    virtual int LegacyKeyExists();

private:
    CStr ServicesKey() const;
    const char16_t* Machine() const;

    win::SC_HANDLE m_service = nullptr;
    CServiceManager m_manager;
    win::SC_HANDLE m_scm = nullptr;
    CStr m_machine;
};

// Device-node tests of the local machine; each upper-cases the name.
int LegacyDeviceNodeExists(const char16_t* name);
int RootDeviceNodeExists(const char16_t* name);
int HasEnumeratedInstances(const char16_t* name);
// Waits (5 s a pass, at most 100 passes) until the database is seen unlocked: 0 then, 1 when it
// stayed locked or its state could not be read.
int WaitForServiceDatabaseUnlock();
