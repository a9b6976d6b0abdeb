#include "platform/win_library.h"

#include <dlfcn.h>
#include <cctype>
#include <link.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/kv_text.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_newdev.h"
#include "platform/win_sysinfo.h"

namespace win {
namespace {

struct Export {
    const char* name;
    FARPROC function;
};

template <typename F>
FARPROC as_proc(F* f)
{
    return reinterpret_cast<FARPROC>(f);
}

// Every function a module of this machine can offer without a shared object of its own. The
// table is made on first use: a plug-in's load may reach this file before its initialisers ran.
FARPROC served(const std::string& name)
{
    static const Export kServed[] = {
        {"VerSetConditionMask", as_proc(&VerSetConditionMask)},
        {"VerifyVersionInfoA", as_proc(&VerifyVersionInfoA)},
        {"UpdateDriverForPlugAndPlayDevicesW", as_proc(&UpdateDriverForPlugAndPlayDevicesW)},
    };
    for (const Export& e : kServed)
        if (name == e.name) return e.function;
    return nullptr;
}

constexpr char kStandInHeader[] = "[stand-in module]";

// A module: a shared object (dl set) or a stand-in with its export list. A shared object's HMODULE
// is its load base, an address inside it as everywhere on this platform; a stand-in's is the
// record's address. Records live until the process ends, so a stale HMODULE stays recognisable.
struct Module {
    HMODULE handle = nullptr;
    std::string name;  // file name, for GetModuleHandleA
    void* dl = nullptr;
    std::vector<std::string> exports;
    bool always_loaded = false;
    int loads = 0;
};

std::mutex g_lock;
std::vector<std::unique_ptr<Module>>& modules()
{
    static std::vector<std::unique_ptr<Module>> list = [] {
        std::vector<std::unique_ptr<Module>> l;
        auto system = [&](const char* name, std::vector<std::string> exports) {
            auto m = std::make_unique<Module>();
            m->name = name;
            m->exports = std::move(exports);
            m->always_loaded = true;
            m->handle = m.get();
            l.push_back(std::move(m));
        };
        system("ntdll.dll", {"VerSetConditionMask"});
        system("kernel32.dll", {"VerifyVersionInfoA"});
        return l;
    }();
    return list;
}

Module* find_module(HMODULE handle)
{
    for (auto& m : modules())
        if (m->handle == handle && (m->always_loaded || m->loads > 0)) return m.get();
    return nullptr;
}

bool same_name(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string base_name(const std::string& path)
{
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The export list of a stand-in file, or nothing when the file is not one.
std::optional<std::vector<std::string>> read_stand_in(const std::string& path)
{
    // The header first, so that a shared object is not read whole.
    std::ifstream in(path, std::ios::binary);
    std::string text(sizeof kStandInHeader - 1, '\0');
    if (!in.read(text.data(), std::streamsize(text.size())) || text != kStandInHeader) return std::nullopt;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::vector<std::string> exports;
    for (const platform::KvLine& line : platform::parse_kv(text)) {
        if (!line.ok || line.key != "exports") continue;
        size_t start = 0;
        while (start <= line.value.size()) {
            size_t end = line.value.find(';', start);
            if (end == std::string::npos) end = line.value.size();
            if (end > start) exports.push_back(line.value.substr(start, end - start));
            start = end + 1;
        }
    }
    return exports;
}

}  // namespace

HMODULE LoadLibraryW(const WCHAR* path)
{
    std::string p;
    if (!path) return fail_with<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
    if (DWORD e = platform::map_win_path(platform::u16_view(path), p)) return fail_with<HMODULE>(e, nullptr);
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return fail_with<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);

    auto stand_in = read_stand_in(p);
    void* dl = nullptr;
    if (!stand_in) {
        dl = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!dl) return fail_with<HMODULE>(ERROR_BAD_EXE_FORMAT, nullptr);
    }
    std::lock_guard<std::mutex> guard(g_lock);
    // Loading the same file again counts another load of the same module.
    const std::string name = base_name(p);
    for (auto& m : modules()) {
        if (m->always_loaded || m->loads == 0 || !same_name(m->name, name)) continue;
        if (dl ? m->dl == dl : (!m->dl && m->exports == *stand_in)) {
            if (dl) dlclose(dl);
            ++m->loads;
            return m->handle;
        }
    }
    auto m = std::make_unique<Module>();
    m->name = name;
    m->dl = dl;
    if (stand_in) m->exports = std::move(*stand_in);
    m->loads = 1;
    m->handle = m.get();
    struct link_map* map = nullptr;
    if (dl && dlinfo(dl, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_addr)
        m->handle = reinterpret_cast<HMODULE>(map->l_addr);
    modules().push_back(std::move(m));
    return modules().back()->handle;
}

BOOL FreeLibrary(HMODULE module)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Module* m = find_module(module);
    if (!m || m->always_loaded) return fail_with<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (--m->loads == 0 && m->dl) {
        dlclose(m->dl);
        m->dl = nullptr;
    }
    return TRUE;
}

HMODULE GetModuleHandleA(const char* name)
{
    if (!name) return fail_with<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
    std::lock_guard<std::mutex> guard(g_lock);
    for (auto& m : modules())
        if ((m->always_loaded || m->loads > 0) && same_name(m->name, name)) return m->handle;
    return fail_with<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!name) return fail_with<FARPROC>(ERROR_INVALID_PARAMETER, nullptr);
    std::lock_guard<std::mutex> guard(g_lock);
    Module* m = find_module(module);
    if (!m) return fail_with<FARPROC>(ERROR_INVALID_HANDLE, nullptr);
    FARPROC f = nullptr;
    if (m->dl) {
        f = reinterpret_cast<FARPROC>(dlsym(m->dl, name));
    } else {
        for (const std::string& e : m->exports)
            if (e == name) f = served(e);
    }
    return f ? f : fail_with<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
}

namespace {
UINT g_error_mode = 0;
}

UINT SetErrorMode(UINT mode)
{
    std::lock_guard<std::mutex> guard(g_lock);
    UINT before = g_error_mode;
    g_error_mode = mode;
    return before;
}

UINT GetErrorMode()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_error_mode;
}

}  // namespace win
