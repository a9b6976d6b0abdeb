#include "platform/ini_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/paths.h"
#include "platform/safe_file.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_file.h"
#include "platform/win_fs.h"
#include "platform/whole_file.h"

namespace platform::ini {
namespace {

// More links than this in a row are a loop (the system's own limit).
constexpr int kMaxLinks = 40;
// An INI file is read whole into memory; a larger file is refused rather than read.
constexpr off_t kMaxBytes = off_t(64) << 20;

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True when the open folder lies inside the system root: walking up through ".." from it meets
// the root before the top of the file system. The folder that was opened is judged, not a name
// that could be changed after the check.
bool inside_root(int folder)
{
    struct stat root {};
    if (::stat(system_root().c_str(), &root) != 0) return false;
    int at = ::dup(folder);
    bool inside = false;
    for (int depth = 0; at >= 0 && depth < 4096; ++depth) {
        struct stat here {}, up_st {};
        if (::fstat(at, &here) != 0) break;
        if (same_file(here, root)) {
            inside = true;
            break;
        }
        const int up = ::openat(at, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = up;
        if (at < 0 || ::fstat(at, &up_st) != 0 || same_file(up_st, here)) break;  // the top: no root met
    }
    if (at >= 0) ::close(at);
    return inside;
}

// SIGXFSZ ignored while the object lives: a file-size limit then fails the write with EFBIG,
// which is reported, instead of ending the process.
class FileSizeSignalIgnored {
public:
    FileSizeSignalIgnored()
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &previous_);
    }
    ~FileSizeSignalIgnored() { sigaction(SIGXFSZ, &previous_, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

private:
    struct sigaction previous_ {};
};

win::DWORD read_all(int fd, std::string* bytes)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return win::error_from_errno(errno, {});
    if (st.st_size > kMaxBytes) return win::ERROR_FILE_TOO_LARGE;
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return win::ERROR_READ_FAULT;
        if (n == 0) break;
        if (off_t(out.size()) + n > kMaxBytes) return win::ERROR_FILE_TOO_LARGE;
        out.append(buffer, size_t(n));
    }
    *bytes = std::move(out);
    return win::ERROR_SUCCESS;
}

}  // namespace

File::~File()
{
    if (folder_ >= 0) ::close(folder_);
}

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        if (folder_ >= 0) ::close(folder_);
        folder_ = std::exchange(other.folder_, -1);
        name_ = std::move(other.name_);
        exists_ = other.exists_;
        mode_ = other.mode_;
        bytes_ = std::move(other.bytes_);
    }
    return *this;
}

win::DWORD open(std::u16string_view path, bool for_change, File* file)
{
    *file = File();
    std::string linux_path;
    if (win::DWORD e = map_win_path(to_utf16(drive_full_path(to_utf8(path))), linux_path)) return e;
    // A name of the machine (a drive's, or one inside the system root) must stay on it.
    const std::string root = system_root();
    const bool on_machine = root == "/" || linux_path == root || linux_path.rfind(root + "/", 0) == 0;
    int folder = -1;
    std::string name;
    for (int links = 0;; ++links) {
        if (links > kMaxLinks) return win::ERROR_CANT_RESOLVE_FILENAME;
        const FolderAndName split = split_folder(linux_path);
        const std::string& dir = split.folder;
        name = split.name;
        if (name.empty() || name == "." || name == "..") return win::ERROR_ACCESS_DENIED;  // a folder
        folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) return errno == ENOENT || errno == ENOTDIR ? win::ERROR_PATH_NOT_FOUND : win::error_from_errno(errno, dir);
        if (on_machine && !inside_root(folder)) {
            ::close(folder);
            return win::ERROR_ACCESS_DENIED;
        }
        struct stat st {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int e = errno;
            if (e == ENOENT) break;
            ::close(folder);
            return win::error_from_errno(e, linux_path);
        }
        if (S_ISREG(st.st_mode)) {
            file->exists_ = true;
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            ::close(folder);
            return win::ERROR_ACCESS_DENIED;
        }
        // A link: the file is where it leads, judged again from its folder on.
        char target[4096];
        const ssize_t n = ::readlinkat(folder, name.c_str(), target, sizeof target - 1);
        ::close(folder);
        if (n <= 0) return win::ERROR_ACCESS_DENIED;
        const std::string to(target, size_t(n));
        linux_path = to[0] == '/' ? to : dir + "/" + to;
    }
    file->folder_ = folder;
    file->name_ = name;
    if (!file->exists_) return win::ERROR_SUCCESS;

    // O_NONBLOCK: should a FIFO have taken the name since the check, opening it does not wait.
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP ? win::ERROR_ACCESS_DENIED : win::error_from_errno(errno, linux_path);
    struct stat st {};
    win::DWORD result = win::ERROR_SUCCESS;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        result = win::ERROR_ACCESS_DENIED;
    else if (for_change && ::faccessat(folder, name.c_str(), W_OK, 0) != 0)
        result = win::ERROR_ACCESS_DENIED;  // read-only: replacing it through its folder would bypass that
    else if (for_change ? sharing_refuses(fd, win::GENERIC_READ | win::GENERIC_WRITE, win::FILE_SHARE_READ)
                        : sharing_refuses(fd, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE))
        result = win::ERROR_SHARING_VIOLATION;
    else
        result = read_all(fd, &file->bytes_);
    file->mode_ = st.st_mode & 07777;
    ::close(fd);
    return result;
}

win::DWORD File::replace(std::string_view bytes) const
{
    if (folder_ < 0) return win::ERROR_PATH_NOT_FOUND;  // open() found no folder
    bool ok;
    {
        FileSizeSignalIgnored guard;
        // The file keeps its permissions; a new one gets those a plain create would give.
        ok = write_whole_file_at(folder_, name_, bytes.data(), bytes.size(), exists_ ? mode_ : new_file_mode());
    }
    if (!ok) return win::error_from_errno(errno, {});
    return win::ERROR_SUCCESS;
}

}  // namespace platform::ini
