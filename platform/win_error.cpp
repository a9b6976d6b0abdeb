#include "platform/win_error.h"

#include <cerrno>
#include <sys/stat.h>

namespace win {
namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_last_error; }

void SetLastError(DWORD code) { t_last_error = code; }

DWORD error_from_errno(int err, const std::string& path)
{
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT: {
        auto slash = path.find_last_of('/');
        if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
        std::string parent = slash == 0 ? "/" : path.substr(0, slash);
        struct stat st;
        return (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ERROR_FILE_NOT_FOUND
                                                                        : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
        return ERROR_HANDLE_DISK_FULL;
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

}  // namespace win
