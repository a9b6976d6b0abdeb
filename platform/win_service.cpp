#include "platform/win_service.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/service_store.h"
#include "platform/state_file.h"
#include "platform/system_conf.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_handle.h"

namespace win {
namespace {

namespace svc = platform::services;
namespace reg = platform::registry;

struct ManagerObject : platform::HandleObject {
    DWORD access = 0;
};
struct ServiceObject : platform::HandleObject {
    std::string name;
    DWORD access = 0;
};
struct LockObject : platform::HandleObject {
    int fd = -1;
    ~LockObject() override
    {
        if (fd >= 0) close(fd);
    }
};

template <typename T>
std::shared_ptr<T> handle_of(HANDLE h)
{
    auto object = platform::lookup_handle_as<T>(h);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

std::shared_ptr<ServiceObject> service_with(SC_HANDLE h, DWORD access)
{
    auto s = handle_of<ServiceObject>(h);
    if (s && (s->access & access) != access) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return s;
}

void fill_status(const svc::Service& s, SERVICE_STATUS* status)
{
    if (!status) return;
    *status = SERVICE_STATUS{};
    status->dwServiceType = s.type;
    status->dwCurrentState = static_cast<DWORD>(s.state);
    status->dwControlsAccepted = s.state == svc::State::Running ? 1 /*SERVICE_ACCEPT_STOP*/ : 0;
}

// A service that stopped while marked for deletion leaves the database and the registry.
bool finish_if_deleted(svc::Service& s)
{
    if (!s.delete_pending || s.state != svc::State::Stopped) return false;
    reg::delete_tree(svc::services_key(s.name));
    s.name.clear();
    return true;
}

// Opens the lock file; -1 with the last error set when it cannot be.
int open_lock_file()
{
    std::error_code ec;
    std::filesystem::create_directories(svc::services_dir(), ec);
    int fd = open(svc::database_lock_path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) SetLastError(error_from_errno(errno, svc::database_lock_path()));
    return fd;
}

}  // namespace

SC_HANDLE OpenSCManagerW(const WCHAR* machine, const WCHAR* database, DWORD access)
{
    if (!platform::is_local_machine(platform::u16_view(machine))) return fail_with<SC_HANDLE>(RPC_S_SERVER_UNAVAILABLE, nullptr);
    if (database && !platform::iequals(platform::to_utf8(platform::u16_view(database)), "ServicesActive"))
        return fail_with<SC_HANDLE>(ERROR_DATABASE_DOES_NOT_EXIST, nullptr);
    auto object = std::make_shared<ManagerObject>();
    object->access = access;
    SetLastError(ERROR_SUCCESS);
    return platform::register_handle(std::move(object));
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    if (!platform::lookup_handle_as<ManagerObject>(handle) && !platform::lookup_handle_as<ServiceObject>(handle))
        return fail_with<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    return CloseHandle(handle);
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const WCHAR* name, DWORD access)
{
    if (!handle_of<ManagerObject>(manager)) return nullptr;
    const std::string n = platform::to_utf8(platform::u16_view(name));
    if (n.empty()) return fail_with<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    auto s = svc::find(n);
    if (!s) return fail_with<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
    auto object = std::make_shared<ServiceObject>();
    object->name = s->name;
    object->access = access;
    SetLastError(ERROR_SUCCESS);
    return platform::register_handle(std::move(object));
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status)
{
    auto h = service_with(service, SERVICE_QUERY_STATUS);
    if (!h) return FALSE;
    if (!status) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    auto s = svc::find(h->name);
    if (!s) return fail_with<BOOL>(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    fill_status(*s, status);
    return TRUE;
}

BOOL StartServiceW(SC_HANDLE service, DWORD, const WCHAR**)
{
    auto h = service_with(service, SERVICE_START);
    if (!h) return FALSE;
    DWORD error = ERROR_SUCCESS;
    const bool changed = svc::update(h->name, [&](svc::Service& s) {
        if (s.delete_pending) error = ERROR_SERVICE_MARKED_FOR_DELETE;
        else if (s.state != svc::State::Stopped) error = ERROR_SERVICE_ALREADY_RUNNING;
        else if (reg::get_dword(svc::services_key(s.name), "Start") == SERVICE_DISABLED) error = ERROR_SERVICE_DISABLED;
        else if (s.on_start.rfind("fail:", 0) == 0) error = static_cast<DWORD>(std::strtoul(s.on_start.c_str() + 5, nullptr, 0));
        else s.state = s.on_start == "pending" ? svc::State::StartPending : svc::State::Running;
        return error == ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) return fail_with<BOOL>(error, FALSE);
    if (!changed) return fail_with<BOOL>(svc::find(h->name) ? ERROR_WRITE_FAULT : ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE)
        return fail_with<BOOL>(ERROR_INVALID_SERVICE_CONTROL, FALSE);
    auto h = service_with(service, control == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_INTERROGATE);
    if (!h) return FALSE;
    DWORD error = ERROR_SUCCESS;
    svc::Service after;
    const bool changed = svc::update(h->name, [&](svc::Service& s) {
        if (s.state == svc::State::Stopped) error = ERROR_SERVICE_NOT_ACTIVE;
        else if (control == SERVICE_CONTROL_STOP && s.state != svc::State::Running) error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        if (error != ERROR_SUCCESS) {
            fill_status(s, status);
            return false;
        }
        if (control == SERVICE_CONTROL_STOP) s.state = s.on_stop == "pending" ? svc::State::StopPending : svc::State::Stopped;
        after = s;
        finish_if_deleted(s);
        return true;
    });
    if (error != ERROR_SUCCESS) return fail_with<BOOL>(error, FALSE);
    if (!changed) return fail_with<BOOL>(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    fill_status(after, status);
    return TRUE;
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, const WCHAR* name, const WCHAR* display_name, DWORD access,
                         DWORD service_type, DWORD start_type, DWORD error_control, const WCHAR* binary_path,
                         const WCHAR*, DWORD*, const WCHAR*, const WCHAR*, const WCHAR*)
{
    auto m = handle_of<ManagerObject>(manager);
    if (!m) return nullptr;
    if (!(m->access & SC_MANAGER_CREATE_SERVICE)) return fail_with<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    svc::Service s;
    s.name = platform::to_utf8(platform::u16_view(name));
    s.display = platform::to_utf8(platform::u16_view(display_name));
    s.binary = platform::to_utf8(platform::u16_view(binary_path));
    s.type = service_type;
    if (s.name.empty() || !svc::parse_service(svc::format_service(s))) return fail_with<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    if (auto existing = svc::find(s.name))
        return fail_with<SC_HANDLE>(existing->delete_pending ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS, nullptr);
    if (!svc::add(s)) return fail_with<SC_HANDLE>(ERROR_SERVICE_EXISTS, nullptr);
    const std::string key = svc::services_key(s.name);
    reg::set_dword(key, "Type", service_type);
    reg::set_dword(key, "Start", start_type);
    reg::set_dword(key, "ErrorControl", error_control);
    reg::set_string(key, "ImagePath", s.binary);
    if (!s.display.empty()) reg::set_string(key, "DisplayName", s.display);
    auto object = std::make_shared<ServiceObject>();
    object->name = s.name;
    object->access = access;
    SetLastError(ERROR_SUCCESS);
    return platform::register_handle(std::move(object));
}

BOOL DeleteService(SC_HANDLE service)
{
    auto h = service_with(service, DELETE);
    if (!h) return FALSE;
    DWORD error = ERROR_SUCCESS;
    const bool changed = svc::update(h->name, [&](svc::Service& s) {
        if (s.delete_pending) {
            error = ERROR_SERVICE_MARKED_FOR_DELETE;
            return false;
        }
        s.delete_pending = true;
        if (!finish_if_deleted(s)) reg::set_dword(svc::services_key(s.name), "DeleteFlag", 1);
        return true;
    });
    if (error != ERROR_SUCCESS) return fail_with<BOOL>(error, FALSE);
    if (!changed) return fail_with<BOOL>(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
    return TRUE;
}

SC_LOCK LockServiceDatabase(SC_HANDLE manager)
{
    auto m = handle_of<ManagerObject>(manager);
    if (!m) return nullptr;
    if (!(m->access & SC_MANAGER_LOCK)) return fail_with<SC_LOCK>(ERROR_ACCESS_DENIED, nullptr);
    auto lock = std::make_shared<LockObject>();
    lock->fd = open_lock_file();
    if (lock->fd < 0) return nullptr;
    if (flock(lock->fd, LOCK_EX | LOCK_NB) != 0) return fail_with<SC_LOCK>(ERROR_SERVICE_DATABASE_LOCKED, nullptr);
    const std::string holder = std::to_string(getpid()) + " " + std::to_string(time(nullptr)) + "\n";
    if (ftruncate(lock->fd, 0) != 0 || pwrite(lock->fd, holder.data(), holder.size(), 0) != ssize_t(holder.size())) {
        // The lock is held all the same; only the holder's note is missing.
    }
    SetLastError(ERROR_SUCCESS);
    return platform::register_handle(std::move(lock));
}

BOOL UnlockServiceDatabase(SC_LOCK lock)
{
    auto l = platform::lookup_handle_as<LockObject>(lock);
    if (!l) return fail_with<BOOL>(ERROR_INVALID_SERVICE_LOCK, FALSE);
    if (ftruncate(l->fd, 0) != 0) {
        // A stale note is harmless: the lock is the flock, which closing the file ends.
    }
    CloseHandle(lock);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL QueryServiceLockStatusW(SC_HANDLE manager, QUERY_SERVICE_LOCK_STATUSW* status, DWORD size, DWORD* needed)
{
    auto m = handle_of<ManagerObject>(manager);
    if (!m) return FALSE;
    if (!(m->access & SC_MANAGER_QUERY_LOCK_STATUS)) return fail_with<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (!needed) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const int fd = open_lock_file();
    if (fd < 0) return FALSE;
    bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    std::u16string owner;
    DWORD duration = 0;
    if (locked) {
        auto note = platform::read_file(svc::database_lock_path()).value_or("");
        unsigned long pid = 0;
        long long since = 0;
        if (std::sscanf(note.c_str(), "%lu %lld", &pid, &since) == 2) {
            owner = platform::to_utf16("process " + std::to_string(pid));
            const long long now = time(nullptr);
            duration = now > since ? static_cast<DWORD>(now - since) : 0;
        }
    }
    close(fd);  // also drops the probe's own lock when it got one
    const DWORD bytes = static_cast<DWORD>(sizeof(QUERY_SERVICE_LOCK_STATUSW) + (owner.size() + 1) * sizeof(WCHAR));
    *needed = bytes;
    if (!status || size < bytes) return fail_with<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    auto* text = reinterpret_cast<WCHAR*>(status + 1);
    std::memcpy(text, owner.c_str(), (owner.size() + 1) * sizeof(WCHAR));
    status->fIsLocked = locked ? 1 : 0;
    status->lpLockOwner = text;
    status->dwLockDuration = duration;
    return TRUE;
}

}  // namespace win
