#include "platform/win_newdev.h"

#include <string>
#include <vector>

#include "platform/device_store.h"
#include "platform/inf_drivers.h"
#include "platform/inf_file.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_setupapi.h"

namespace win {
namespace {

namespace devices = platform::devices;

bool has_id(const devices::Device& device, std::u16string_view id)
{
    for (const std::string& each : device.hardware_ids)
        if (platform::inf::same_name(platform::to_utf16(each), id)) return true;
    return false;
}

}  // namespace

BOOL UpdateDriverForPlugAndPlayDevicesW(HANDLE, const WCHAR* hardware_id, const WCHAR* inf_path, DWORD flags,
                                        BOOL* reboot)
{
    if (reboot) *reboot = FALSE;
    if (!hardware_id || !*hardware_id || !inf_path || !*inf_path)
        return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (flags & ~(INSTALLFLAG_FORCE | INSTALLFLAG_READONLY | INSTALLFLAG_NONINTERACTIVE))
        return fail_with<BOOL>(ERROR_INVALID_FLAGS, FALSE);
    std::vector<platform::inf::DriverNode> nodes;
    if (unsigned e = platform::inf::read_drivers(platform::u16_view(inf_path), nodes)) return fail_with<BOOL>(e, FALSE);

    const std::u16string_view id = platform::u16_view(hardware_id);
    const devices::Driver* driver = nullptr;
    for (const auto& node : nodes)
        for (const std::u16string& each : node.hardware_ids)
            if (!driver && platform::inf::same_name(each, id)) driver = &node.driver;
    if (!driver) return fail_with<BOOL>(ERROR_NO_COMPAT_DRIVERS, FALSE);

    bool found = false, updated = false, restart = false;
    for (const devices::Device& device : devices::list()) {
        if (!device.present || !has_id(device, id)) continue;
        found = true;
        if (!(flags & INSTALLFLAG_FORCE) && device.driver && device.driver->version >= driver->version) continue;
        if (!devices::set_driver(device.instance_id, *driver)) return fail_with<BOOL>(ERROR_GEN_FAILURE, FALSE);
        updated = true;
        restart = restart || device.needs_restart;
    }
    if (!found) return fail_with<BOOL>(ERROR_NO_SUCH_DEVINST, FALSE);
    if (!updated) return fail_with<BOOL>(ERROR_NO_MORE_ITEMS, FALSE);
    if (reboot) *reboot = restart;
    return TRUE;
}

}  // namespace win
