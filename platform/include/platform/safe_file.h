// Work files that no other process and no planted file can redirect: every file is created
// exclusively and never through a symbolic link, a name that holds a link or anything other than a
// regular file is refused rather than followed, writes are complete or reported, and a folder of
// private work files is made with a name nobody could have chosen beforehand.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

// What a name in a folder holds, without following a link at it.
enum class NameState { Free, Regular, NotRegular, Unknown };
NameState name_state(const std::string& path);

// Creates a new regular file for writing: fails (errno EEXIST) when anything, a link included, is
// at the name already. The descriptor, or -1 with errno set.
int create_new_file(const std::string& path, mode_t mode);
// Writes every byte, going on after short writes and interrupts; false with errno set (EFBIG,
// ENOSPC, EIO, ...) when the file could not take them all.
bool write_all(int fd, const void* data, size_t size);
// Whether a file is flushed to the disk before it counts as written. Only what must outlive the
// call that writes it (a backup, its fingerprint, a file the user keeps) is worth the wait; a
// work file deleted before the call ends is not.
enum class Flush { No, Yes };

// A new file holding `data`: created as create_new_file does, written whole, flushed when asked,
// and closed. On any failure the file it created is removed again and errno tells why.
bool write_new_file(const std::string& path, const void* data, size_t size, mode_t mode, Flush flush);
// Flushes the bytes of the regular file at `path` (not through a link) to the disk.
bool sync_file(const std::string& path);
// Flushes the folder that holds `path`, so that the names last made, renamed or removed there
// outlive a power loss.
bool sync_folder_of(const std::string& path);
// The errno of the last write_new_file of this thread that failed since the last clear, or 0:
// tells a caller whose writer reports only "failed" that the file could not be written, and why.
int last_new_file_error();
void clear_new_file_error();

// Opens a log file to append to, creating it when it is missing, never through a link: -1 with
// errno ELOOP when a link, a folder or anything else that is not a regular file is at the name
// (a planted link must not make the caller append to another file), else -1 with the open's errno.
int open_log_for_append(const std::string& path);

// The whole content of an existing regular file, opened without following a link; false for a
// link, a folder or other non-regular file, or a read error.
bool read_regular_file(const std::string& path, std::string* bytes);

// Removes the file at `path` when it is a regular file; never follows a link and never changes a
// mode. True when the name is free afterwards; false (name left as it is) for a link, a folder or
// anything else that is not a regular file, or when the removal failed.
bool remove_regular_file(const std::string& path);

// Renames `from` to `to` only when `to` is free: false (errno EEXIST) when anything is at `to`.
bool rename_no_replace(const std::string& from, const std::string& to);

// Makes a new folder, private to the user (mode 0700), inside `parent`, named `prefix` and six
// random characters. Its path, or empty with errno set.
std::string make_private_folder(const std::string& parent, const std::string& prefix);
// Removes such a folder with the files in it. Links in it are removed themselves, never followed;
// subfolders are emptied the same way. False when something stayed.
bool remove_private_folder(const std::string& path);

// The system's folder for temporary files ($TMPDIR, else /tmp).
std::string temporary_folder();

}  // namespace platform
