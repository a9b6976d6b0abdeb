#include "platform/win_shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/utf16.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"
#include "platform/win_process.h"

namespace win {

namespace {

HINSTANCE Result(intptr_t code) { return reinterpret_cast<HINSTANCE>(code); }

bool IsAbsolute(std::u16string_view path)
{
    return (path.size() >= 2 && path[1] == u':') || (!path.empty() && (path[0] == u'\\' || path[0] == u'/'));
}

}  // namespace

HINSTANCE ShellExecuteW(void*, const WCHAR* verb, const WCHAR* file, const WCHAR* parameters,
                        const WCHAR* directory, int)
{
    if (!file || !*file) return Result(SE_ERR_FNF);
    std::u16string name(platform::u16_view(file));
    std::u16string folder = directory ? std::u16string(platform::u16_view(directory)) : std::u16string();
    std::u16string path = name;
    if (!IsAbsolute(name) && !folder.empty()) {
        std::u16string inFolder = folder + u"\\" + name;
        std::string mapped;
        struct stat st {};
        if (!platform::map_win_path(inFolder, mapped) && stat(mapped.c_str(), &st) == 0) path = inFolder;
    }
    std::string target;
    if (platform::map_win_path(path, target)) return Result(SE_ERR_PNF);
    struct stat st {};
    if (stat(target.c_str(), &st) != 0) {
        size_t slash = target.find_last_of('/');
        struct stat parent {};
        bool folderThere = slash != std::string::npos && stat(target.substr(0, slash).c_str(), &parent) == 0;
        return Result(folderThere || slash == std::string::npos ? SE_ERR_FNF : SE_ERR_PNF);
    }
    if (verb && std::u16string_view(platform::u16_view(verb)) != u"open") return Result(SE_ERR_NOASSOC);
    if (!S_ISREG(st.st_mode) || access(target.c_str(), X_OK) != 0) return Result(SE_ERR_NOASSOC);

    std::u16string line = platform::join_command_line({platform::to_utf16(target)});
    if (parameters && *parameters) line += u" " + std::u16string(platform::u16_view(parameters));
    STARTUPINFOW si{sizeof(STARTUPINFOW), nullptr};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return Result(SE_ERR_OOM);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return Result(42);
}

}  // namespace win
