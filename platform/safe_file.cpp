#include "platform/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/paths.h"

namespace platform {

NameState name_state(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? NameState::Free : NameState::Unknown;
    return S_ISREG(st.st_mode) ? NameState::Regular : NameState::NotRegular;
}

int create_new_file(const std::string& path, mode_t mode)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool write_all(int fd, const void* data, size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

namespace {
thread_local int t_newFileError = 0;
}  // namespace

int last_new_file_error()
{
    return t_newFileError;
}

void clear_new_file_error()
{
    t_newFileError = 0;
}

bool write_new_file(const std::string& path, const void* data, size_t size, mode_t mode, Flush flush)
{
    const int fd = create_new_file(path, mode);
    if (fd < 0) {
        t_newFileError = errno;
        return false;
    }
    bool ok = write_all(fd, data, size) && (flush == Flush::No || ::fsync(fd) == 0);
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(path.c_str());  // the file this call created: nothing half written stays
        errno = t_newFileError = error;
    }
    return ok;
}

int open_log_for_append(const std::string& path)
{
    // O_NONBLOCK: a FIFO planted at the name must not hang the caller before the check refuses it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENXIO || errno == EISDIR) errno = ELOOP;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = ELOOP;
        return -1;
    }
    return fd;
}

bool sync_file(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

bool sync_folder_of(const std::string& path)
{
    const int fd = ::open(split_folder(path).folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool read_regular_file(const std::string& path, std::string* bytes)
{
    bytes->clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        try {
            bytes->resize(static_cast<size_t>(st.st_size));
        } catch (...) {
            ok = false;
        }
    }
    size_t got = 0;
    while (ok && got < bytes->size()) {
        const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;  // a file that shrank while being read is not read whole
        else got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok) bytes->clear();
    return ok;
}

bool remove_regular_file(const std::string& path)
{
    switch (name_state(path)) {
    case NameState::Free: return true;
    case NameState::Regular: break;
    default: return false;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    return name_state(path) == NameState::Free;
}

bool rename_no_replace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

std::string make_private_folder(const std::string& parent, const std::string& prefix)
{
    std::string name = (parent.empty() ? std::string(".") : parent) + "/" + prefix + "XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) return {};  // mkdtemp makes it 0700 and never takes an existing name
    return std::string(buf.data());
}

namespace {

bool empty_folder(int dirfd)
{
    DIR* dir = ::fdopendir(dirfd);
    if (!dir) {
        ::close(dirfd);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ok = sub >= 0 && empty_folder(sub) && ok;
            ok = ::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0 && ok;
        } else {
            ok = ::unlinkat(dirfd, name.c_str(), 0) == 0 && ok;
        }
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

bool remove_private_folder(const std::string& path)
{
    if (path.empty()) return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    const bool emptied = empty_folder(fd);
    return ::rmdir(path.c_str()) == 0 && emptied;
}

std::string temporary_folder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

}  // namespace platform
