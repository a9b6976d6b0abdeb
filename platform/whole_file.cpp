#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/paths.h"
#include "platform/safe_file.h"

namespace platform {

namespace {

// The file a name stands for: the target of a link at it, else the name itself.
std::string real_target(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

}  // namespace

mode_t new_file_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool write_whole_file_at(int folder, const std::string& name, const void* data, size_t size, mode_t mode)
{
    // A new name of our own beside the target, nobody could have chosen it beforehand.
    std::string temporary;
    int fd = -1;
    std::random_device random;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".new-%d-%08x", int(::getpid()), unsigned(random()));
        temporary = name + suffix;
        fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, data, size) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlinkat(folder, temporary.c_str(), 0);
        errno = error;
        return false;
    }
    ::fsync(folder);
    return true;
}

bool write_whole_file(const std::string& path, const void* data, size_t size)
{
    if (path.empty()) {
        errno = EINVAL;
        return false;
    }
    const std::string target = real_target(path);
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
    const auto [parent, name] = split_folder(target);
    const int folder = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    const bool ok = write_whole_file_at(folder, name, data, size, mode);
    const int error = errno;
    ::close(folder);
    errno = error;
    return ok;
}

}  // namespace platform
