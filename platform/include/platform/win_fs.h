// File-system calls by path, over the system root: "C:\x" is "<root>/C/x", names are matched
// without case (platform/paths.h), POSIX absolute paths pass through, "\\.\name" is
// "<root>/dosdevices/name", and other UNC paths fail with 53 (no network).
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace win {

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

DWORD GetFileAttributesW(const WCHAR* path);
// FALSE with 183 when it exists, 3 when its parent is missing.
BOOL CreateDirectoryW(const WCHAR* path, void* security);
// FALSE with 2/3 when missing, 5 for a folder, 32 while a handle holds it without FILE_SHARE_DELETE.
BOOL DeleteFileW(const WCHAR* path);
// FALSE with 183 when the new name exists, 2/3 when the old one is missing.
BOOL MoveFileW(const WCHAR* existing, const WCHAR* new_name);
// Copies the bytes of a file (sharing rules of platform/win_file.h apply to both files): FALSE
// with 2/3 when the source is missing, 80 when the target exists and `fail_if_exists` is set,
// 32 when either file is open in a way that refuses the copy, 5 for a folder.
BOOL CopyFileW(const WCHAR* existing, const WCHAR* new_name, BOOL fail_if_exists);
// FILE_ATTRIBUTE_READONLY takes the write permission away, anything else gives it back.
BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes);

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4;
// MoveFileW, replacing an existing file with MOVEFILE_REPLACE_EXISTING. With
// MOVEFILE_DELAY_UNTIL_REBOOT nothing moves now: the operation (a delete when `new_name` is NULL)
// is added to the machine's list of operations for the next restart (platform/restart.h).
BOOL MoveFileExW(const WCHAR* existing, const WCHAR* new_name, DWORD flags);

// "<path>\<prefix, at most 3 characters><unique in hex>.TMP". A non-zero `unique` only forms the
// name (its low 16 bits); 0 picks a number whose file does not exist yet and creates it empty.
// Returns the number used, 0 on failure.
UINT GetTempFileNameW(const WCHAR* path, const WCHAR* prefix, UINT unique, WCHAR* out);
// Bytes of the volume holding `folder` (statvfs; "FreeDiskBytes" of system.conf, when set, is the
// free space of every volume). FALSE with 3 when the folder is missing.
BOOL GetDiskFreeSpaceExW(const WCHAR* folder, ULARGE_INTEGER* free_to_caller, ULARGE_INTEGER* total,
                         ULARGE_INTEGER* total_free);
// The current folder (a Linux path); characters written without the NUL, or the size needed with
// the NUL when it does not fit.
DWORD GetCurrentDirectoryW(DWORD size, WCHAR* buffer);
// FALSE with 2/3 when the folder is missing, 267 when it is a file.
BOOL SetCurrentDirectoryW(const WCHAR* path);

// "%SystemRoot%\system32"; characters without the NUL, or the size needed when it does not fit.
UINT GetSystemDirectoryW(WCHAR* buffer, UINT size);

}  // namespace win

namespace platform {
// The Linux path of a path as the system writes it, or a Windows error code (53 for UNC paths,
// 3 for an empty path) with `out` untouched.
win::DWORD map_win_path(std::u16string_view path, std::string& out);
}  // namespace platform
