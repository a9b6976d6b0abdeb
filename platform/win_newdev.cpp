#include "platform/win_newdev.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/device_store.h"
#include "platform/inf_file.h"
#include "platform/state_file.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_fs.h"
#include "platform/win_setupapi.h"
#include "platform/win_setupapi_inf.h"

namespace win {
namespace {

namespace inf = platform::inf;
namespace devices = platform::devices;

// What the INF offers for one hardware id.
struct Offer {
    std::u16string description;
    std::u16string section;
    std::u16string manufacturer;
};

const std::u16string* value(const inf::Line& line, size_t index)
{
    return index < line.values.size() ? &line.values[index] : nullptr;
}

const inf::Line* find_line(const inf::File& file, std::u16string_view section, std::u16string_view key)
{
    if (const inf::Section* s = file.find(section))
        for (const inf::Line& line : s->lines)
            if (line.key && inf::same_name(*line.key, key)) return &line;
    return nullptr;
}

bool find_offer(const inf::File& file, std::u16string_view id, Offer& out)
{
    const inf::Section* manufacturers = file.find(u"Manufacturer");
    if (!manufacturers) return false;
    for (const inf::Line& mfg : manufacturers->lines) {
        if (mfg.values.empty()) continue;
        std::vector<std::u16string> models{mfg.values[0]};
        for (size_t i = 1; i < mfg.values.size(); ++i) models.push_back(mfg.values[0] + u"." + mfg.values[i]);
        for (const std::u16string& name : models) {
            const inf::Section* s = file.find(name);
            if (!s) continue;
            for (const inf::Line& model : s->lines)
                for (size_t i = 1; i < model.values.size(); ++i)
                    if (inf::same_name(model.values[i], id)) {
                        out = Offer{model.key.value_or(u""), model.values[0], mfg.key.value_or(u"")};
                        return true;
                    }
        }
    }
    return false;
}

// "mm/dd/yyyy,a.b.c.d" into the driver record; a missing or bad part stays 0.
void read_driver_ver(const inf::File& file, devices::Driver& driver)
{
    const inf::Line* line = find_line(file, u"Version", u"DriverVer");
    if (!line) return;
    if (const std::u16string* date = value(*line, 0)) {
        unsigned m = 0, d = 0, y = 0;
        if (std::sscanf(platform::to_utf8(*date).c_str(), "%u/%u/%u", &m, &d, &y) == 3 && m <= 12 && d <= 31 &&
            y <= 0xFFFF) {
            driver.date_month = uint16_t(m);
            driver.date_day = uint16_t(d);
            driver.date_year = uint16_t(y);
        }
    }
    if (const std::u16string* version = value(*line, 1))
        driver.version = devices::parse_version(platform::to_utf8(*version)).value_or(0);
}

bool has_id(const devices::Device& device, const std::string& id)
{
    for (const std::string& each : device.hardware_ids)
        if (inf::same_name(platform::to_utf16(each), platform::to_utf16(id))) return true;
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
    std::string path;
    if (DWORD e = platform::map_win_path(platform::u16_view(inf_path), path)) return fail_with<BOOL>(e, FALSE);
    std::optional<std::string> bytes = platform::read_file(path);
    if (!bytes) return fail_with<BOOL>(error_from_errno(errno, path), FALSE);
    inf::ParseResult parsed = inf::parse(inf::decode(*bytes));
    if (!parsed.ok) return fail_with<BOOL>(ERROR_GENERAL_SYNTAX, FALSE);

    Offer offer;
    if (!find_offer(parsed.file, platform::u16_view(hardware_id), offer))
        return fail_with<BOOL>(ERROR_NO_COMPAT_DRIVERS, FALSE);
    devices::Driver driver;
    driver.inf = platform::to_utf8(platform::u16_view(inf_path));
    driver.section = platform::to_utf8(offer.section);
    driver.description = platform::to_utf8(offer.description);
    driver.manufacturer = platform::to_utf8(offer.manufacturer);
    if (const inf::Line* provider = find_line(parsed.file, u"Version", u"Provider"); provider && value(*provider, 0))
        driver.provider = platform::to_utf8(*value(*provider, 0));
    read_driver_ver(parsed.file, driver);

    const std::string id = platform::to_utf8(platform::u16_view(hardware_id));
    bool found = false, updated = false, restart = false;
    for (const devices::Device& device : devices::list()) {
        if (!device.present || !has_id(device, id)) continue;
        found = true;
        if (!(flags & INSTALLFLAG_FORCE) && device.driver && device.driver->version >= driver.version) continue;
        if (!devices::set_driver(device.instance_id, driver)) return fail_with<BOOL>(ERROR_GEN_FAILURE, FALSE);
        updated = true;
        restart = restart || device.needs_restart;
    }
    if (!found) return fail_with<BOOL>(ERROR_NO_SUCH_DEVINST, FALSE);
    if (!updated) return fail_with<BOOL>(ERROR_NO_MORE_ITEMS, FALSE);
    if (reboot) *reboot = restart;
    return TRUE;
}

}  // namespace win
