// The display name of an adapter's network connection: the registry value "Name" of the key
// "SYSTEM\CurrentControlSet\Control\Network\{4D36E972-E325-11CE-BFC1-08002BE10318}\<service>\Connection"
// of HKEY_LOCAL_MACHINE. On this platform the network-class key is served by the management
// library that stands for the machine, which knows each adapter's connection by its driver
// service name.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include <platform/utf16.h>

#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/yxmapi_client.h"
#include "yxmapi/sim_control.h"

namespace {

constexpr const char* kNetworkClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
// The value is read with a byte count of 260: at most 130 wide characters with the terminator.
constexpr size_t kValueBytes = 260;
constexpr size_t kServiceChars = 260;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorMoreData = 234;

// The machine's connection-name source: the management library that the front end has bound
// (looked up among the loaded objects, never loaded here).
YxSimConnectionNameFn ConnectionNameSource()
{
    void* lib = dlopen(yxmapi::kLibraryFileName, RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    auto fn = reinterpret_cast<YxSimConnectionNameFn>(dlsym(lib, "yxsim_connection_name"));
    dlclose(lib);  // drops only the reference taken above
    return fn;
}

}  // namespace

namespace fwupg {

uint32_t GetNICDisplayName(const std::string& service, std::u16string* name)
{
    // The service name goes into the key path as at most 260 wide characters.
    std::u16string wideService = platform::to_utf16(service);
    if (wideService.size() > kServiceChars) wideService.resize(kServiceChars);
    const std::string keyPath = std::string(kNetworkClassKey) + "\\" + platform::to_utf8(wideService) + "\\Connection";

    char value[kValueBytes * 3] = {};  // UTF-8 may take up to three bytes per wide character
    const YxSimConnectionNameFn source = ConnectionNameSource();
    const uint32_t status =
        source ? source(platform::to_utf8(wideService).c_str(), value, sizeof value) : uint32_t{YXSIM_E_NOT_FOUND};
    if (status != 0 && status != YXSIM_E_BUFFER_TOO_SMALL) {
        LogDebugMsg(DBG_DEBUG, "RegOpenKeyExW() Failed!!!: buf= %s\r\n", keyPath.c_str());
        return kErrorFileNotFound;
    }
    std::u16string wide = platform::to_utf16(std::string(value, strnlen(value, sizeof value)));
    // A value that does not fit the 260 bytes fails the read.
    if (status != 0 || (wide.size() + 1) * 2 > kValueBytes) {
        LogDebugMsg(DBG_DEBUG, "GetNICDisplayNameW2k() get registry 'Name' failed(%lu)\r\n",
                    static_cast<unsigned long>(kErrorMoreData));
        return kErrorMoreData;
    }
    *name = std::move(wide);
    return 0;
}

}  // namespace fwupg
