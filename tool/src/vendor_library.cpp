#include "vendor_library.h"

#include "stop_request.h"
#include "user_interface.h"

#include "platform/paths.h"
#include "platform/system_folders.h"

#include <dlfcn.h>
#include <fnmatch.h>

namespace tirn {

namespace {

constexpr uint32_t kNoLibrary = 13;

struct VendorLibrary {
    void* module = nullptr;
    std::string name;
    UserInterface* logger = nullptr;
};

VendorLibrary g_library;

// One slot per library function the tool calls, empty until bound.
struct VendorApiTable {
    void* discovery = nullptr;
    void* fullFlash = nullptr;
    void* flashWithFile = nullptr;
    void* adapterInfo = nullptr;
    void* errorText = nullptr;
    void* debugInfo = nullptr;
};

VendorApiTable g_api;

void log_binding(const char* format, const std::string& arg, const char* arg2 = nullptr)
{
    if (!g_library.logger) return;
    if (arg2)
        g_library.logger->Log(kLevelBinding, format, arg.c_str(), arg2);
    else
        g_library.logger->Log(kLevelBinding, format, arg.c_str());
}

template <typename Fn>
Fn bound(const char* name, void*& slot)
{
    if (!slot && !BindVendorFunction(name, &slot)) return nullptr;
    return reinterpret_cast<Fn>(slot);
}

}  // namespace

uint32_t LoadVendorLibrary(UserInterface* logger)
{
    if (g_library.module) return 0;
    if (logger) g_library.logger = logger;
    for (const std::string& name : platform::list_dir_sorted(".")) {
        if (fnmatch("*.so", name.c_str(), 0) != 0) continue;
        log_binding("Attempting to load DLL %s\n", name);
        // "./" keeps the search in the current folder; a bare name would search system paths.
        void* module = dlopen(("./" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) log_binding("Load failed for DLL %s\n", name);
        if (module && dlsym(module, "oem_get_adapter_info")) {
            log_binding("DLL %s identified as an TIRN library\n", name);
            g_library.module = module;
            g_library.name = name;
            return 0;
        }
        // A library that opened but is not the vendor library stays open.
        log_binding("DLL %s is not an TIRN library\n", name);
    }
    return kNoLibrary;
}

bool BindVendorFunction(const char* name, void** slot)
{
    if (!g_library.module && LoadVendorLibrary(nullptr) != 0) return false;
    *slot = dlsym(g_library.module, name);
    log_binding("Retrieving API function %s from vendor library -- %s\n", name, *slot ? "present" : "not present");
    return *slot != nullptr;
}

const std::string& VendorLibraryName() { return g_library.name; }

std::string GetFirmwareFolder() { return platform::program_folder() + "/FW"; }

// A stopped run calls the library no more: each adapter call then ends as cancelled.
uint32_t oem_get_adapter_info(VendorAdaptInfo* records, uint32_t* count, const char16_t* fwFolder)
{
    if (StopSignal()) return RET_FWUPG_CANCELLED;
    auto fn = bound<oem_get_adapter_info_fn>("oem_get_adapter_info", g_api.adapterInfo);
    return fn ? fn(records, count, fwFolder) : kNoLibrary;
}

uint32_t oem_do_discovery_with_files(const char16_t* reportFile, const char16_t* fwFolder)
{
    if (StopSignal()) return RET_FWUPG_CANCELLED;
    auto fn = bound<oem_do_discovery_with_files_fn>("oem_do_discovery_with_files", g_api.discovery);
    return fn ? fn(reportFile, fwFolder) : kNoLibrary;
}

uint32_t oem_do_flash_with_file(const char16_t* reportFile, const char16_t* fwFolder)
{
    if (StopSignal()) return RET_FWUPG_CANCELLED;
    auto fn = bound<oem_do_flash_with_file_fn>("oem_do_flash_with_file", g_api.flashWithFile);
    return fn ? fn(reportFile, fwFolder) : kNoLibrary;
}

uint32_t oem_do_full_flash_PCI(const char16_t* imageFile, uint32_t force, uint32_t segment, uint32_t bus,
                               uint32_t device, uint32_t function)
{
    if (StopSignal()) return RET_FWUPG_CANCELLED;
    auto fn = bound<oem_do_full_flash_PCI_fn>("oem_do_full_flash_PCI", g_api.fullFlash);
    return fn ? fn(imageFile, force ? 1u : 0u, segment, bus, device, function) : kNoLibrary;
}

const char* oem_text_for_error_code(uint32_t code)
{
    auto fn = bound<oem_text_for_error_code_fn>("oem_text_for_error_code", g_api.errorText);
    return fn ? fn(code) : nullptr;
}

uint32_t oem_get_debug_info(const char16_t* logFile)
{
    auto fn = bound<oem_get_debug_info_fn>("oem_get_debug_info", g_api.debugInfo);
    return fn ? fn(logFile) : 0;
}

}  // namespace tirn
