#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

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

// What a plain create of the file would give it: 0666 less the process's mask.
mode_t default_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool write_whole_file(const std::string& path, const void* data, size_t size)
{
    if (path.empty()) {
        errno = EINVAL;
        return false;
    }
    const std::string target = real_target(path);
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : default_mode();
    std::vector<char> name(target.begin(), target.end());
    const char suffix[] = ".new-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);  // with its terminating zero
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const std::string temporary(name.data());
    bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, data, size) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        errno = error;
    }
    return ok;
}

}  // namespace platform
