// Files through handles, with the sharing modes of the original system: an open fails with 32
// when an open handle of any process denies the access asked for, or was opened with an access
// the new share mode denies. Sharing is kept with open-file-description locks on bytes far beyond
// any real data, so it holds across processes and ends when the handle closes.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

namespace win {

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_READ_DATA = 0x1;
constexpr DWORD FILE_WRITE_DATA = 0x2;
// Without FILE_WRITE_DATA, every write goes to the end of the file, atomically.
constexpr DWORD FILE_APPEND_DATA = 0x4;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// INVALID_HANDLE_VALUE on failure: 2/3 missing, 5 access or a folder, 32 sharing, 80 exists
// (CREATE_NEW), 53 network path. OPEN_ALWAYS and CREATE_ALWAYS on an existing file succeed with
// last error 183.
HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* size_high);
// Times in UTC file-time form (100 ns since 1601).
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access, FILETIME* last_write);

// No file of this machine answers control codes: FALSE with 1 (invalid function) for an open
// handle, 6 for any other.
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in_buffer, DWORD in_size, void* out_buffer, DWORD out_size,
                     DWORD* returned, void* overlapped);
// Pins pages in memory (mlock); FALSE with 8 when the process may not.
BOOL VirtualLock(void* address, size_t size);
BOOL VirtualUnlock(void* address, size_t size);

}  // namespace win

namespace platform {
// True when a handle of any process holds the file (a Linux path) open without FILE_SHARE_DELETE,
// so that it may be neither deleted nor renamed.
bool open_without_delete_sharing(const std::string& path);
// True when a handle of any process holds the file open as `fd` in a way that refuses a new
// handle with `access` and `share` (CreateFileW would fail with 32). Claims nothing itself.
bool sharing_refuses(int fd, win::DWORD access, win::DWORD share);
}  // namespace platform
