#include "platform/win_fs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"
#include "platform/system_conf.h"
#include "platform/utf16.h"
#include "platform/win_env.h"
#include "platform/restart.h"
#include "platform/win_error.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"

namespace platform {

win::DWORD map_win_path(std::u16string_view path, std::string& out)
{
    if (path.empty()) return win::ERROR_PATH_NOT_FOUND;
    std::string p = to_utf8(path);
    auto is_sep = [](char c) { return c == '\\' || c == '/'; };
    if (p.size() >= 2 && is_sep(p[0]) && is_sep(p[1])) {
        if (p.size() >= 4 && p[2] == '?' && is_sep(p[3])) {
            p.erase(0, 4);  // "\\?\C:\x" is "C:\x"
        } else if (p.size() >= 4 && p[2] == '.' && is_sep(p[3])) {
            out = resolve_case_insensitive(root_path("dosdevices/" + normalize_slashes(p.substr(4))));
            return win::ERROR_SUCCESS;
        } else {
            return win::ERROR_BAD_NETPATH;
        }
    }
    out = map_path(p);
    return win::ERROR_SUCCESS;
}

}  // namespace platform

namespace win {
namespace {

bool mapped(const WCHAR* path, std::string& out)
{
    DWORD err = platform::map_win_path(platform::u16_view(path), out);
    if (err) SetLastError(err);
    return err == ERROR_SUCCESS;
}

std::string strip_trailing_slash(std::string p)
{
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

DWORD GetFileAttributesW(const WCHAR* path)
{
    std::string p;
    if (!mapped(path, p)) return INVALID_FILE_ATTRIBUTES;
    p = strip_trailing_slash(p);
    struct stat st;
    if (stat(p.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, p));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return access(p.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL CreateDirectoryW(const WCHAR* path, void*)
{
    std::string p;
    if (!mapped(path, p)) return FALSE;
    p = strip_trailing_slash(p);
    if (mkdir(p.c_str(), 0777) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : error_from_errno(errno, p));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(const WCHAR* path)
{
    std::string p;
    if (!mapped(path, p)) return FALSE;
    struct stat st;
    if (stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (platform::open_without_delete_sharing(p)) return fail_with<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    if (unlink(p.c_str()) != 0) {
        SetLastError(error_from_errno(errno, p));
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileW(const WCHAR* existing, const WCHAR* new_name)
{
    std::string from, to;
    if (!mapped(existing, from) || !mapped(new_name, to)) return FALSE;
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, from));
        return FALSE;
    }
    if (platform::open_without_delete_sharing(from)) return fail_with<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        SetLastError(error_from_errno(errno, to));
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileW(const WCHAR* existing, const WCHAR* new_name, BOOL fail_if_exists)
{
    HANDLE from = CreateFileW(existing, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (from == INVALID_HANDLE_VALUE) return FALSE;
    HANDLE to = CreateFileW(new_name, GENERIC_WRITE, 0, nullptr, fail_if_exists ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
    if (to == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        CloseHandle(from);
        return fail_with<BOOL>(e, FALSE);
    }
    char buffer[65536];
    BOOL ok = TRUE;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &got, nullptr)) {
            ok = FALSE;
            break;
        }
        if (got == 0) break;
        if (!WriteFile(to, buffer, got, &put, nullptr) || put != got) {
            ok = FALSE;
            break;
        }
    }
    DWORD e = GetLastError();
    CloseHandle(to);
    CloseHandle(from);
    return ok ? TRUE : fail_with<BOOL>(e ? e : ERROR_WRITE_FAULT, FALSE);
}

BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes)
{
    std::string p;
    if (!mapped(path, p)) return FALSE;
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return fail_with<BOOL>(error_from_errno(errno, p), FALSE);
    mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (st.st_mode & ~mode_t(0222)) : (st.st_mode | S_IWUSR);
    if (chmod(p.c_str(), mode & 07777) != 0) return fail_with<BOOL>(error_from_errno(errno, p), FALSE);
    return TRUE;
}

BOOL MoveFileExW(const WCHAR* existing, const WCHAR* new_name, DWORD flags)
{
    if (!existing || (!new_name && !(flags & MOVEFILE_DELAY_UNTIL_REBOOT)))
        return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        std::string check;
        if (!mapped(existing, check) || (new_name && !mapped(new_name, check))) return FALSE;
        return platform::schedule_at_restart(platform::u16_view(existing),
                                             new_name ? std::optional<std::u16string_view>(platform::u16_view(new_name))
                                                      : std::nullopt,
                                             flags & MOVEFILE_REPLACE_EXISTING)
                   ? TRUE
                   : FALSE;
    }
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return MoveFileW(existing, new_name);
    std::string from, to;
    if (!mapped(existing, from) || !mapped(new_name, to)) return FALSE;
    if (platform::open_without_delete_sharing(from) || platform::open_without_delete_sharing(to))
        return fail_with<BOOL>(ERROR_SHARING_VIOLATION, FALSE);
    if (rename(from.c_str(), to.c_str()) != 0) return fail_with<BOOL>(error_from_errno(errno, from), FALSE);
    return TRUE;
}

UINT GetTempFileNameW(const WCHAR* path, const WCHAR* prefix, UINT unique, WCHAR* out)
{
    if (!path || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string base(platform::u16_view(path));
    if (!base.empty() && base.back() != u'\\' && base.back() != u'/') base += u'\\';
    base += platform::u16_view(prefix).substr(0, 3);
    auto name_for = [&](UINT n) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", n & 0xFFFF);
        return base + platform::to_utf16(hex) + u".TMP";
    };
    std::u16string result;
    if (unique != 0) {
        unique &= 0xFFFF;
        result = name_for(unique);
    } else {
        UINT start = UINT(getpid()) & 0xFFFF;
        for (UINT k = 0; k < 0x10000 && result.empty(); ++k) {
            UINT n = ((start + k) & 0xFFFF) ? ((start + k) & 0xFFFF) : 1;
            std::u16string candidate = name_for(n);
            std::string p;
            if (!mapped(candidate.c_str(), p)) return 0;
            int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                close(fd);
                result = candidate;
                unique = n;
            } else if (errno != EEXIST) {
                SetLastError(error_from_errno(errno, p));
                return 0;
            }
        }
        if (result.empty()) {
            SetLastError(ERROR_FILE_EXISTS);
            return 0;
        }
    }
    if (result.size() + 1 > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    std::memcpy(out, result.c_str(), (result.size() + 1) * sizeof(WCHAR));
    return unique;
}

BOOL GetDiskFreeSpaceExW(const WCHAR* folder, ULARGE_INTEGER* free_to_caller, ULARGE_INTEGER* total,
                         ULARGE_INTEGER* total_free)
{
    std::string p;
    if (!mapped(folder, p)) return FALSE;
    p = strip_trailing_slash(p);
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct statvfs vfs;
    if (statvfs(p.c_str(), &vfs) != 0) {
        SetLastError(error_from_errno(errno, p));
        return FALSE;
    }
    if (free_to_caller) free_to_caller->QuadPart = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    if (total) total->QuadPart = uint64_t(vfs.f_blocks) * vfs.f_frsize;
    if (total_free) total_free->QuadPart = uint64_t(vfs.f_bfree) * vfs.f_frsize;
    // The machine's disk may be set to any size: "FreeDiskBytes" of system.conf is what every
    // volume then has free.
    if (auto bytes = platform::system_conf_value("FreeDiskBytes")) {
        uint64_t n = std::strtoull(bytes->c_str(), nullptr, 10);
        if (free_to_caller) free_to_caller->QuadPart = n;
        if (total_free) total_free->QuadPart = n;
        if (total && total->QuadPart < n) total->QuadPart = n;
    }
    return TRUE;
}

DWORD GetCurrentDirectoryW(DWORD size, WCHAR* buffer)
{
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) {
        SetLastError(error_from_errno(errno));
        return 0;
    }
    std::u16string dir = platform::to_utf16(cwd);
    if (!buffer || dir.size() + 1 > size) return DWORD(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), (dir.size() + 1) * sizeof(WCHAR));
    return DWORD(dir.size());
}

BOOL SetCurrentDirectoryW(const WCHAR* path)
{
    std::string p;
    if (!mapped(path, p)) return FALSE;
    p = strip_trailing_slash(p);
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return fail_with<BOOL>(error_from_errno(errno, p), FALSE);
    if (!S_ISDIR(st.st_mode)) return fail_with<BOOL>(ERROR_DIRECTORY, FALSE);
    if (chdir(p.c_str()) != 0) return fail_with<BOOL>(error_from_errno(errno, p), FALSE);
    return TRUE;
}

UINT GetSystemDirectoryW(WCHAR* buffer, UINT size)
{
    std::u16string dir = platform::environment_value(u"SystemRoot").value_or(u"C:\\Windows") + u"\\system32";
    if (!buffer || dir.size() + 1 > size) return UINT(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), (dir.size() + 1) * sizeof(WCHAR));
    return UINT(dir.size());
}

}  // namespace win
