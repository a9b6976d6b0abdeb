#include "platform/win_find.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"

namespace {

struct Search : platform::HandleObject {
    std::string folder;
    std::vector<std::string> names;
    size_t next = 0;
};

bool Fill(Search& s, win::WIN32_FIND_DATAW* data)
{
    while (s.next < s.names.size()) {
        const std::string& name = s.names[s.next++];
        std::u16string wide = platform::to_utf16(name);
        if (wide.size() >= win::MAX_PATH) continue;
        struct stat st {};
        if (stat((s.folder + "/" + name).c_str(), &st) != 0) continue;
        *data = {};
        data->dwFileAttributes = S_ISDIR(st.st_mode) ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_NORMAL;
        data->nFileSizeHigh = win::DWORD(uint64_t(st.st_size) >> 32);
        data->nFileSizeLow = win::DWORD(st.st_size);
        platform::copy_utf16(wide, data->cFileName, win::MAX_PATH);
        return true;
    }
    return false;
}

}  // namespace

namespace win {

HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data)
{
    if (!pattern || !data) return fail_with(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::u16string text(platform::u16_view(pattern));
    size_t cut = text.find_last_of(u"\\/");
    std::u16string folder = cut == std::u16string::npos ? u"." : text.substr(0, cut == 0 ? 1 : cut);
    std::string part = platform::to_utf8(cut == std::u16string::npos ? text : text.substr(cut + 1));
    auto search = std::make_shared<Search>();
    if (DWORD e = platform::map_win_path(folder, search->folder)) return fail_with(e, INVALID_HANDLE_VALUE);
    struct stat st {};
    if (stat(search->folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return fail_with(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    for (const std::string& name : platform::list_dir_sorted(search->folder))
        if (fnmatch(part.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0) search->names.push_back(name);
    if (!Fill(*search, data)) return fail_with(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    return platform::register_handle(search);
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data)
{
    auto search = platform::lookup_handle_as<Search>(handle);
    if (!search || !data) return fail_with(ERROR_INVALID_HANDLE, FALSE);
    if (!Fill(*search, data)) return fail_with(ERROR_NO_MORE_FILES, FALSE);
    return TRUE;
}

BOOL FindClose(HANDLE handle)
{
    if (!platform::lookup_handle_as<Search>(handle)) return fail_with(ERROR_INVALID_HANDLE, FALSE);
    return CloseHandle(handle);
}

}  // namespace win
