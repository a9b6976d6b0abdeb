#include "platform/win_module.h"

#include <climits>
#include <cstring>
#include <link.h>
#include <string>
#include <unistd.h>

#include "platform/system_folders.h"
#include "platform/utf16.h"
#include "platform/win_error.h"

namespace {

struct Search {
    uintptr_t address;
    bool found = false;
    bool is_program = false;
    uintptr_t base = 0;
    std::string name;
};

int find_object(struct dl_phdr_info* info, size_t, void* data)
{
    auto* s = static_cast<Search*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (s->address >= start && s->address < start + ph.p_memsz) {
            s->found = true;
            s->base = info->dlpi_addr;
            s->name = info->dlpi_name ? info->dlpi_name : "";
            s->is_program = s->name.empty();
            return 1;
        }
    }
    return 0;
}

Search find(const void* address)
{
    Search s;
    s.address = reinterpret_cast<uintptr_t>(address);
    dl_iterate_phdr(find_object, &s);
    return s;
}

}  // namespace

namespace platform {
win::HMODULE module_of(const void* address)
{
    Search s = find(address);
    // The program may be loaded at base 0 (not position-independent): keep NULL distinct from
    // "not found" by answering with the address itself, which is inside the module.
    if (!s.found) return nullptr;
    return s.base ? reinterpret_cast<win::HMODULE>(s.base) : const_cast<void*>(address);
}
}  // namespace platform

namespace win {

DWORD GetModuleFileNameW(HMODULE module, WCHAR* out, DWORD size)
{
    std::string path;
    if (!module) {
        path = platform::program_path();
    } else {
        Search s = find(module);
        if (!s.found) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (s.is_program) {
            path = platform::program_path();
        } else {
            char buf[PATH_MAX];
            path = realpath(s.name.c_str(), buf) ? buf : s.name;
        }
    }
    std::u16string w = platform::to_utf16(path);
    if (!out || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    platform::ConvertResult r = platform::copy_utf16(w, out, size);
    if (r.truncated) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    SetLastError(ERROR_SUCCESS);
    return DWORD(r.written);
}

}  // namespace win
