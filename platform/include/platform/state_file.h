// State files of the system root: read whole, replaced whole (a temporary file renamed over the
// old one, so a reader never sees half a file), and changed under an exclusive lock that holds
// across processes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The whole file, or nothing when it cannot be opened.
std::optional<std::string> read_file(const std::string& path);

// Writes "<path>.<pid>.tmp" and renames it over `path`, creating missing parent folders first.
// False when any step fails (the old file then stays as it was).
bool replace_file(const std::string& path, std::string_view bytes);

// An exclusive lock (flock) on a lock file, held while the object lives. The constructor waits
// for other holders; held() is false only when the lock file could not be opened.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace platform
