#include "platform/win_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"
#include "platform/win_time.h"

namespace win {
namespace {

// Lock bytes: "opened for reading", "opened for writing", "denies reading", "denies writing",
// "denies deleting or renaming".
constexpr off_t kLockBase = off_t(0x7FFFFFFF00000000LL);
enum LockByte { kHasRead = 0, kHasWrite = 1, kDenyRead = 2, kDenyWrite = 3, kDenyDelete = 4 };

struct FileObject : platform::HandleObject {
    int fd = -1;
    bool can_read = false;
    bool can_write = false;
    ~FileObject() override
    {
        if (fd >= 0) ::close(fd);
    }
};

bool lock_byte(int fd, LockByte b)
{
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + b;
    fl.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// True when another open file description holds a lock on the byte.
bool held_by_other(int fd, LockByte b)
{
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + b;
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

// True when the locks of other handles refuse the access and share mode asked for.
bool refused_by_others(int fd, bool read, bool write, DWORD share)
{
    return (read && held_by_other(fd, kDenyRead)) || (write && held_by_other(fd, kDenyWrite)) ||
           (!(share & FILE_SHARE_READ) && held_by_other(fd, kHasRead)) ||
           (!(share & FILE_SHARE_WRITE) && held_by_other(fd, kHasWrite));
}

// Takes this handle's locks first and checks the others' afterwards, so two opens racing each
// other can both fail but never both succeed against each other's share modes.
bool claim_sharing(int fd, bool read, bool write, DWORD share)
{
    bool deny_read = !(share & FILE_SHARE_READ);
    bool deny_write = !(share & FILE_SHARE_WRITE);
    bool deny_delete = !(share & FILE_SHARE_DELETE);
    if ((read && !lock_byte(fd, kHasRead)) || (write && !lock_byte(fd, kHasWrite)) ||
        (deny_read && !lock_byte(fd, kDenyRead)) || (deny_write && !lock_byte(fd, kDenyWrite)) ||
        (deny_delete && !lock_byte(fd, kDenyDelete)))
        return false;
    return !refused_by_others(fd, read, write, share);
}

std::shared_ptr<FileObject> file_of(HANDLE h)
{
    auto f = platform::lookup_handle_as<FileObject>(h);
    if (!f) SetLastError(ERROR_INVALID_HANDLE);
    return f;
}

FILETIME to_filetime(const struct timespec& ts)
{
    uint64_t t = (uint64_t(ts.tv_sec) + 11644473600ULL) * 10000000ULL + uint64_t(ts.tv_nsec) / 100;
    return platform::filetime_from_u64(t);
}

}  // namespace

}  // namespace win

namespace platform {
bool open_without_delete_sharing(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);  // a FIFO must not block
    if (fd < 0) return false;
    bool held = win::held_by_other(fd, win::kDenyDelete);
    ::close(fd);
    return held;
}

bool sharing_refuses(int fd, win::DWORD access, win::DWORD share)
{
    return win::refused_by_others(fd, access & (win::GENERIC_READ | win::FILE_READ_DATA),
                                  access & (win::GENERIC_WRITE | win::FILE_WRITE_DATA | win::FILE_APPEND_DATA), share);
}
}  // namespace platform

namespace win {

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void*, DWORD disposition, DWORD, HANDLE)
{
    std::string p;
    if (DWORD err = platform::map_win_path(platform::u16_view(path), p)) {
        SetLastError(err);
        return INVALID_HANDLE_VALUE;
    }
    bool read = access & (GENERIC_READ | FILE_READ_DATA);
    bool write_data = access & (GENERIC_WRITE | FILE_WRITE_DATA);
    bool append_only = !write_data && (access & FILE_APPEND_DATA);
    bool write = write_data || append_only;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING || (disposition == TRUNCATE_EXISTING && !write)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (append_only ? O_APPEND : 0);
    bool existed = true;
    int fd = -1;
    if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        fd = ::open(p.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) existed = false;
        else if (errno != EEXIST || disposition == CREATE_NEW) {
            SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : error_from_errno(errno, p));
            return INVALID_HANDLE_VALUE;
        }
    }
    if (fd < 0) {
        fd = ::open(p.c_str(), flags);
        if (fd < 0 && errno == EISDIR) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (fd < 0) {
            SetLastError(error_from_errno(errno, p));
            return INVALID_HANDLE_VALUE;
        }
    }
    auto obj = std::make_shared<FileObject>();
    obj->fd = fd;
    obj->can_read = read;
    obj->can_write = write;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // A handle without data access (attributes only) neither conflicts nor denies.
    if ((read || write) && !claim_sharing(fd, read, write, share)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ftruncate(fd, 0) != 0) {
        SetLastError(error_from_errno(errno, p));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = platform::register_handle(std::move(obj));
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                      : ERROR_SUCCESS);
    return h;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* read, void*)
{
    if (read) *read = 0;
    auto f = file_of(file);
    if (!f) return FALSE;
    if (!f->can_read) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < to_read) {
        ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, to_read - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (n == 0) break;
        done += DWORD(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* written, void*)
{
    if (written) *written = 0;
    auto f = file_of(file);
    if (!f) return FALSE;
    if (!f->can_write) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < to_write) {
        ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, to_write - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(n < 0 && errno == ENOSPC ? ERROR_HANDLE_DISK_FULL : ERROR_WRITE_FAULT);
            if (written) *written = done;
            return FALSE;
        }
        done += DWORD(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method)
{
    auto f = file_of(file);
    if (!f) return INVALID_SET_FILE_POINTER;
    int64_t d = distance_high ? int64_t((uint64_t(uint32_t(*distance_high)) << 32) | uint32_t(distance)) : distance;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t pos = lseek(f->fd, off_t(d), whence);
    if (pos < 0 || (!distance_high && pos > 0xFFFFFFFEll)) {
        SetLastError(pos < 0 ? DWORD(131) /* ERROR_NEGATIVE_SEEK */ : DWORD(ERROR_INVALID_PARAMETER));
        return INVALID_SET_FILE_POINTER;
    }
    if (distance_high) *distance_high = LONG(uint64_t(pos) >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(pos) & 0xFFFFFFFF);
}

DWORD GetFileSize(HANDLE file, DWORD* size_high)
{
    auto f = file_of(file);
    if (!f) return INVALID_FILE_SIZE;
    struct stat st;
    if (fstat(f->fd, &st) != 0) {
        SetLastError(error_from_errno(errno));
        return INVALID_FILE_SIZE;
    }
    if (size_high) *size_high = DWORD(uint64_t(st.st_size) >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(st.st_size) & 0xFFFFFFFF);
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access, FILETIME* last_write)
{
    auto f = file_of(file);
    if (!f) return FALSE;
    struct stat st;
    if (fstat(f->fd, &st) != 0) {
        SetLastError(error_from_errno(errno));
        return FALSE;
    }
    if (creation) *creation = to_filetime(st.st_ctim);
    if (last_access) *last_access = to_filetime(st.st_atim);
    if (last_write) *last_write = to_filetime(st.st_mtim);
    return TRUE;
}

}  // namespace win

namespace win {

BOOL DeviceIoControl(HANDLE device, DWORD, void*, DWORD, void*, DWORD, DWORD* returned, void*)
{
    if (returned) *returned = 0;
    if (!platform::lookup_handle_as<FileObject>(device)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetLastError(1 /*ERROR_INVALID_FUNCTION*/);
    return FALSE;
}

BOOL VirtualLock(void* address, size_t size)
{
    if (mlock(address, size) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

BOOL VirtualUnlock(void* address, size_t size)
{
    if (munlock(address, size) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
