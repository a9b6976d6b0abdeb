// The display name of an adapter's network connection: the registry value "Name" of the key
// "SYSTEM\CurrentControlSet\Control\Network\{4D36E972-E325-11CE-BFC1-08002BE10318}\<service>\Connection"
// of HKEY_LOCAL_MACHINE, where the host keeps the name of each adapter's connection by its driver
// service name.
#include <string>

#include <platform/utf16.h>
#include <platform/win_registry.h>

#include "fwupg/debug_log.h"
#include "fwupg/device.h"

namespace {

constexpr const char* kNetworkClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
// The value is read with a byte count of 260: at most 130 wide characters with the terminator.
constexpr win::DWORD kValueBytes = 260;
constexpr size_t kServiceChars = 260;

}  // namespace

namespace fwupg {

uint32_t GetNICDisplayName(const std::string& service, std::u16string* name)
{
    // The service name goes into the key path as at most 260 wide characters.
    std::u16string wideService = platform::to_utf16(service);
    if (wideService.size() > kServiceChars) wideService.resize(kServiceChars);
    const std::u16string keyPath =
        platform::to_utf16(kNetworkClassKey) + u"\\" + wideService + u"\\Connection";

    win::HKEY key = nullptr;
    win::LSTATUS status = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, win::KEY_ALL_ACCESS, &key);
    if (status != win::ERROR_SUCCESS) {
        LogDebugMsg(DBG_DEBUG, "RegOpenKeyExW() Failed!!!: buf= %s\r\n", platform::to_utf8(keyPath).c_str());
        return static_cast<uint32_t>(status);
    }
    char16_t value[kValueBytes / 2] = {};
    win::DWORD size = kValueBytes;  // a value that does not fit the 260 bytes fails the read
    status = win::RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<win::BYTE*>(value), &size);
    win::RegCloseKey(key);
    if (status != win::ERROR_SUCCESS) {
        LogDebugMsg(DBG_DEBUG, "GetNICDisplayNameW2k() get registry 'Name' failed(%lu)\r\n",
                    static_cast<unsigned long>(status));
        return static_cast<uint32_t>(status);
    }
    // The text ends at its terminator, or with the bytes read when it carries none.
    std::u16string text(value, size / 2);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    *name = std::move(text);
    return 0;
}

}  // namespace fwupg
