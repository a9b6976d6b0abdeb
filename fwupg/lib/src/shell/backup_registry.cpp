// The machine-wide list of NVRAM backups (see backup_registry.h).
#include "backup_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "fwupg/backup_list.h"
#include "fwupg/debug_log.h"
#include "fwupg/sha256.h"
#include "platform/paths.h"
#include "platform/safe_file.h"
#include "platform/whole_file.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

constexpr size_t kEntryNameDigits = 32;  // of the path's SHA-256: a name per path

std::string EntryPath(const std::string& fullPath)
{
    return BackupRegistryFolder() + "/" + Sha256HexDigest(fullPath).substr(0, kEntryNameDigits);
}


// Only a file this user or the administrator wrote, and nobody else may change, is trusted: an
// entry or a backup of another owner could have been planted to be programmed onto a damaged board.
bool Trusted(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && (st.st_uid == ::geteuid() || st.st_uid == 0) &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool IsSetAside(const std::string& backup)
{
    const size_t slash = backup.rfind('/');
    return backup.find(".unverified-", slash == std::string::npos ? 0 : slash) != std::string::npos;
}

std::string BackupRegistryFolder()
{
    return backup_list::Folder();
}

std::string BackupFullPath(const std::string& backup)
{
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(backup, error);
    return error ? backup : full.lexically_normal().string();
}

bool RegisterBackup(const std::string& backup)
{
    const std::string full = BackupFullPath(backup);
    const std::string folder = BackupRegistryFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string entry = EntryPath(full);
    const std::string text = SelectedAdapterIdentity() + '\n' + full + '\n';
    // Written whole inside the folder, which is opened without following a link at its name.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool written = fd >= 0 && platform::write_whole_file_at(fd, entry.substr(folder.size() + 1), text.data(),
                                                                  text.size(), 0644);
    const int why = errno;
    if (fd >= 0) ::close(fd);
    if (!written) {
        LogDebugMsg(DBG_DEBUG, "RegisterBackup(): the NVRAM backup %s cannot be named in %s (%s); a run in another "
                    "folder will not find it.", full.c_str(), folder.c_str(), std::strerror(why));
        return false;
    }
    return true;
}

void UnregisterBackup(const std::string& backup)
{
    platform::remove_regular_file(EntryPath(BackupFullPath(backup)));
}

std::vector<std::string> RegisteredBackupsOfSelectedAdapter()
{
    const std::string folder = BackupRegistryFolder();
    const std::string identity = SelectedAdapterIdentity();
    std::vector<std::string> found;
    for (const std::string& name : platform::list_dir_sorted(folder)) {
        if (name.size() != kEntryNameDigits) continue;  // scratch files of a registration
        const std::string entry = folder + "/" + name;
        std::string who, path;
        if (!backup_list::ReadEntry(entry, &who, &path) || EntryPath(path) != entry) continue;
        if (platform::name_state(path) == platform::NameState::Free) {
            platform::remove_regular_file(entry);  // its backup is gone
            continue;
        }
        if (who != identity || IsSetAside(path)) continue;  // a kept file is never a leftover to use
        if (!Trusted(entry) || !Trusted(path)) {
            LogDebugMsg(DBG_DEBUG, "RegisteredBackupsOfSelectedAdapter(): the entry %s or the backup %s it names has "
                        "another owner or may be changed by others; it is not used.", entry.c_str(), path.c_str());
            continue;
        }
        found.push_back(path);
    }
    return found;
}

}  // namespace fwupg::shell
