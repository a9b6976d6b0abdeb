#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace platform {

std::string system_root()
{
    const char* r = std::getenv("FWUPG_SYSTEM_ROOT");
    std::string root = (r && *r) ? r : "/";
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

std::string root_path(std::string_view relative)
{
    std::string root = system_root();
    while (!relative.empty() && relative.front() == '/') relative.remove_prefix(1);
    if (root == "/") return "/" + std::string(relative);
    return root + "/" + std::string(relative);
}

std::string normalize_slashes(std::string_view path)
{
    std::string out(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::vector<std::string> list_dir_sorted(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(std::move(n));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string resolve_case_insensitive(const std::string& path)
{
    if (path.empty()) return path;
    std::string out = path[0] == '/' ? "/" : "";
    size_t pos = path[0] == '/' ? 1 : 0;
    bool resolving = true;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        std::string comp = path.substr(pos, next - pos);
        pos = next + 1;
        if (comp.empty()) continue;
        std::string dir = out.empty() ? "." : out;
        if (resolving && comp != "." && comp != "..") {
            struct stat st;
            std::string exact = (out.empty() || out == "/" ? out : out + "/") + comp;
            if (stat(exact.c_str(), &st) != 0) {
                bool found = false;
                for (const auto& n : list_dir_sorted(dir)) {
                    if (iequals(n, comp)) {
                        comp = n;
                        found = true;
                        break;
                    }
                }
                if (!found) resolving = false;
            }
        }
        if (!out.empty() && out.back() != '/') out += '/';
        out += comp;
    }
    return out.empty() ? path : out;
}

FolderAndName split_folder(std::string_view path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {".", std::string(path)};
    return {slash == 0 ? "/" : std::string(path.substr(0, slash)), std::string(path.substr(slash + 1))};
}

namespace {

bool has_drive(std::string_view p) { return p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':'; }

// The components of a path below a drive's root with "." and ".." taken away by their text, as
// the system takes them away: a ".." at the root stays at the root. Starts with '/' unless empty.
std::string collapse_dots(std::string_view rest)
{
    std::vector<std::string_view> parts;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (std::string_view part : parts) out += "/" + std::string(part);
    return out;
}

}  // namespace

std::string drive_full_path(std::string_view path)
{
    std::string p = normalize_slashes(path);
    if (!has_drive(p) || (p.size() >= 3 && p[2] == '/')) return std::string(path);
    const std::string drive(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))));
    std::string folder;
    char cwd[PATH_MAX], drive_root[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) && ::realpath(root_path(drive).c_str(), drive_root)) {
        const std::string here = cwd, top = drive_root;
        if (here == top || here.rfind(top + "/", 0) == 0) folder = here.substr(top.size());
    }
    return drive + ":" + folder + "/" + p.substr(2);
}

std::string map_path(std::string_view path)
{
    std::string p = normalize_slashes(path);
    if (has_drive(p)) {
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
        if (p.size() >= 3 && p[2] == '/') {
            p = root_path(std::string(1, drive) + collapse_dots(p.substr(3)));
        } else {
            p = p.substr(2);  // drive-relative: the current folder stands for it
            if (p.empty()) p = ".";
        }
    }
    return resolve_case_insensitive(p);
}

}  // namespace platform
