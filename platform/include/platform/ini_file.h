// INI files of the machine, found, read and replaced the way a file the user keeps must be:
// - a name on a drive of the machine ("C:\x\a.ini", or drive-relative "C:a.ini") stays on the
//   machine: ".." stops at the drive's root, and a link is followed only while it leads to a place
//   inside the system root (refused with 5 otherwise, 1921 after 40 links);
// - only a regular file is read: a folder, FIFO, device or socket at the name is refused with 5
//   without being opened in a way that could wait;
// - a change writes the whole new text to a new file in the same folder, flushes it and renames it
//   over the old one, so a write that fails (a full disk, a file-size limit) leaves the file as it
//   was and reports why (39, 223, ...).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace platform::ini {

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool exists() const { return exists_; }
    // The bytes read; empty for a file that does not exist.
    const std::string& bytes() const { return bytes_; }

    // Replaces the file (creates it when it did not exist) with `bytes`, whole or not at all.
    // 0, or the error of the step that failed (nothing of the new text is then left behind); 3
    // when open() found no folder.
    win::DWORD replace(std::string_view bytes) const;

private:
    friend win::DWORD open(std::u16string_view path, bool for_change, File* file);

    int folder_ = -1;  // the folder the file was found in, held open so the new file lands there
    std::string name_;
    bool exists_ = false;
    mode_t mode_ = 0666;
    std::string bytes_;
};

// Finds the INI file at the Windows path `path` and reads it. A missing file in an existing
// folder is found as empty (exists() false). With `for_change`, a file that another handle holds
// without sharing writing (or denying reading) gives 32, and a read-only file 5, as an open to
// change it would. 0, or 3 (the folder is missing), 5, 32, 1921, or the error of the read.
win::DWORD open(std::u16string_view path, bool for_change, File* file);

}  // namespace platform::ini
