// The names a backup's files take in the tool's folder, held by one run at a time. A run claims
// the backup's name before it looks at a leftover there or writes a backup: an exclusive advisory
// lock (flock) on "<backup>.lock", kept while the change (or the call that keeps the backup for
// later changes) relies on the backup. Another run meeting a held name does not wait - two runs
// waiting for each other's adapters would never end - but refuses that change before anything is
// written. A link or anything other than a regular file at one of the names refuses the change too:
// the run never writes, reads or removes through it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "platform/safe_file.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

std::map<std::string, int> g_held;  // backup name -> descriptor of its locked lock file

std::string LockPath(const std::string& backup)
{
    return backup + ".lock";
}

// Opens and locks the lock file. 0, or the errno of the failure (EWOULDBLOCK: held elsewhere;
// ELOOP: a link at the name).
int LockName(const std::string& path, int* fd)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int f = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (f < 0) return errno;
        struct stat held {}, named {};
        if (::fstat(f, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(f);
            return ELOOP;
        }
        if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(f);
            return error == EINTR ? EWOULDBLOCK : error;
        }
        // The holder before us removes the file as it lets go: the lock counts only while the name
        // still leads to the locked file.
        if (::lstat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev) {
            *fd = f;
            return 0;
        }
        ::close(f);
    }
    return EWOULDBLOCK;
}

}  // namespace

std::vector<std::string> BackupFileNames(const std::string& backup)
{
    const std::string print = FingerprintPath(backup);
    return {backup, print, print + ".new", backup + ".part", backup + ".new"};
}

int Refuse(Tcl_Interp* interp, uint32_t code, const std::string& message)
{
    LogDebugMsg(DBG_DEBUG, "%s", message.c_str());
    if (interp) Tcl_SetObjResult(interp, Tcl_NewStringObj(message.c_str(), -1));
    return Fail(code);
}

int ClaimBackupName(Tcl_Interp* interp, const char* caller, const std::string& backup)
{
    if (g_held.count(backup)) return TCL_OK;
    int fd = -1;
    const int error = LockName(LockPath(backup), &fd);
    if (error == EWOULDBLOCK)
        return Refuse(interp, CMD_BACKUP_BUSY,
                      std::string(caller) + "(): another run holds the NVRAM backup " + backup +
                          " of this adapter; this change is refused and nothing is written.");
    if (error == ELOOP)
        return Refuse(interp, CMD_WORK_FILE_UNSAFE,
                      std::string(caller) + "(): " + LockPath(backup) +
                          " is a link or not a regular file; this change is refused and nothing is written.");
    if (error != 0)
        return Refuse(interp, CMD_WORK_FILES_FAILED,
                      std::string(caller) + "(): the folder of the NVRAM backup " + backup + " cannot be written (" +
                          std::strerror(error) + "); this change is refused and nothing is written.");
    g_held[backup] = fd;
    for (const std::string& name : BackupFileNames(backup)) {
        const platform::NameState state = platform::name_state(name);
        if (state == platform::NameState::Free || state == platform::NameState::Regular) continue;
        const int why = errno;
        ReleaseBackupName(backup);
        if (state == platform::NameState::NotRegular)
            return Refuse(interp, CMD_WORK_FILE_UNSAFE,
                          std::string(caller) + "(): " + name +
                              " is a link or not a regular file; this change is refused and nothing is written.");
        return Refuse(interp, CMD_WORK_FILES_FAILED,
                      std::string(caller) + "(): " + name + " cannot be examined (" + std::strerror(why) +
                          "); this change is refused and nothing is written.");
    }
    return TCL_OK;
}

bool HoldsBackupName(const std::string& backup)
{
    return g_held.count(backup) != 0;
}

void ReleaseBackupName(const std::string& backup)
{
    auto it = g_held.find(backup);
    if (it == g_held.end()) return;
    // Removed while still locked: a run that opened it meanwhile finds the name gone and retries.
    platform::remove_regular_file(LockPath(backup));
    ::close(it->second);
    g_held.erase(it);
}

void ReleaseAllBackupNames()
{
    while (!g_held.empty()) ReleaseBackupName(g_held.begin()->first);
}

}  // namespace fwupg::shell
