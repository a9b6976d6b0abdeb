#include "fwupg/work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "fwupg/debug_log.h"
#include "platform/safe_file.h"

namespace fwupg {

namespace {

constexpr const char* kCallPrefix = "FwUpgWork.";
constexpr const char* kJobPrefix = "job.";
// Inside a call's folder: locked (flock) by the run for as long as it lives. The lock dies with
// the process, however it ends, so a folder whose lock is free belongs to a run that has ended.
constexpr const char* kRunLock = "run.lock";

bool g_inCall = false;
std::string g_callFolder;  // empty while a call runs without one
int g_callLock = -1;

// A call folder's name: the prefix and the six letters or digits mkdtemp puts after it.
bool IsCallFolderName(const char* name)
{
    const size_t prefix = std::strlen(kCallPrefix);
    if (std::strncmp(name, kCallPrefix, prefix) != 0 || std::strlen(name) != prefix + 6) return false;
    for (const char* c = name + prefix; *c; ++c)
        if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9'))) return false;
    return true;
}

// Takes the run lock of a new call folder: the lock file is made and locked under a side name and
// only then put at its name, never over a file there. A run that sweeps ended folders while this
// one is being set up plants its own lock at the name first and removes the folder; the rename
// then fails and this run makes another folder. The descriptor, or -1.
int LockNewFolder(const std::string& folder)
{
    const std::string side = folder + "/" + kRunLock + ".new";
    const int fd = platform::create_new_file(side, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && platform::rename_no_replace(side, folder + "/" + kRunLock)) return fd;
    ::close(fd);
    return -1;
}

// A new locked call folder in `parent`, or empty with errno set.
std::string MakeLockedCallFolder(const std::string& parent, int* lock)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string folder = platform::make_private_folder(parent, kCallPrefix);
        if (folder.empty()) return {};
        if ((*lock = LockNewFolder(folder)) >= 0) return folder;
        const int error = errno;
        platform::remove_private_folder(folder);
        errno = error;
    }
    return {};
}

// A folder made by `make` (given the parent) in the current folder, else in the system's
// temporary folder when the current folder cannot take one. Empty (logged) when neither can.
template <class Make>
std::string MakeNearby(Make make)
{
    std::string folder = make(std::string("."));
    if (!folder.empty()) return folder;
    const int here = errno;
    folder = make(platform::temporary_folder());
    if (folder.empty())
        LogDebugMsg(DBG_DEBUG, "MakeWorkFolder(): no work folder can be made in the current folder (%s) nor in %s (%s).",
                    std::strerror(here), platform::temporary_folder().c_str(), std::strerror(errno));
    return folder;
}

// Whether the call folder `name` in `parent` (opened as `parentFd`) belongs to a run that has
// ended: a real folder (a link at the name is not followed), ours, whose run lock is free. A
// folder without a lock file gets one planted and locked, so that a run still setting it up
// gives it up. Returns the locked descriptor to hold while the folder is removed, or -1.
int LockEndedFolder(int parentFd, const char* name)
{
    const int dir = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return -1;
    struct stat st {};
    int lock = -1;
    if (::fstat(dir, &st) == 0 && st.st_uid == ::geteuid()) {
        lock = ::openat(dir, kRunLock, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (lock < 0 && errno == ENOENT)
            lock = ::openat(dir, kRunLock, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        struct stat ls {};
        if (lock >= 0 && (::fstat(lock, &ls) != 0 || !S_ISREG(ls.st_mode) || ::flock(lock, LOCK_EX | LOCK_NB) != 0)) {
            ::close(lock);
            lock = -1;
        }
    }
    ::close(dir);
    return lock;
}

// Removes the call folders in `parent` whose runs have ended (killed, or cut off by a power loss),
// leaving those of runs that still live.
void RemoveEndedCallFolders(const std::string& parent, const std::string& own)
{
    DIR* dir = ::opendir(parent.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (IsCallFolderName(e->d_name)) names.push_back(e->d_name);
    for (const std::string& name : names) {
        const std::string path = parent + "/" + name;
        if (path == own) continue;
        const int lock = LockEndedFolder(::dirfd(dir), name.c_str());
        if (lock < 0) continue;
        const bool removed = platform::remove_private_folder(path);
        ::close(lock);
        LogDebugMsg(DBG_DEBUG, "BeginCallWorkFolder(): the work folder %s of a run that has ended %s.", path.c_str(),
                    removed ? "is removed" : "could not be removed whole");
    }
    ::closedir(dir);
}

}  // namespace

bool BeginCallWorkFolder()
{
    EndCallWorkFolder();
    g_inCall = true;
    g_callFolder = MakeNearby([](const std::string& parent) { return MakeLockedCallFolder(parent, &g_callLock); });
    RemoveEndedCallFolders(".", g_callFolder);
    RemoveEndedCallFolders(platform::temporary_folder(), g_callFolder);
    return !g_callFolder.empty();
}

void EndCallWorkFolder()
{
    if (!g_callFolder.empty() && !platform::remove_private_folder(g_callFolder))
        LogDebugMsg(DBG_DEBUG, "EndCallWorkFolder(): the work folder %s could not be removed whole.",
                    g_callFolder.c_str());
    if (g_callLock >= 0) ::close(g_callLock);  // after the removal: the folder is ours until it is gone
    g_callLock = -1;
    g_callFolder.clear();
    g_inCall = false;
}

std::string MakeJobFolder()
{
    if (!g_inCall)
        return MakeNearby([](const std::string& parent) { return platform::make_private_folder(parent, kJobPrefix); });
    if (g_callFolder.empty()) return {};
    std::string folder = platform::make_private_folder(g_callFolder, kJobPrefix);
    if (folder.empty())
        LogDebugMsg(DBG_DEBUG, "MakeJobFolder(): no folder can be made in %s (%s).", g_callFolder.c_str(),
                    std::strerror(errno));
    return folder;
}

}  // namespace fwupg
