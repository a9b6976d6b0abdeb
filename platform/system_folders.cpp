#include "platform/system_folders.h"

#include "platform/paths.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::string program_path()
{
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string program_folder()
{
    std::string p = program_path();
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string system_drive() { return "C:"; }

std::string system_drive_path()
{
    std::string p = map_path(system_drive() + "\\");
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string log_root(bool create)
{
    // Each level is looked up without regard to case before it is made, so an existing
    // "TVNSystem" is used rather than a second folder beside it.
    std::string path = system_drive_path();
    if (create) mkdir(path.c_str(), 0755);  // the system drive of a fresh root
    for (const char* name : {"tvnsystem", "log"}) {
        path = resolve_case_insensitive((path == "/" ? "" : path) + "/" + name);
        if (create) mkdir(path.c_str(), 0755);
    }
    return path;
}

}  // namespace platform
