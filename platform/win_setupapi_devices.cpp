#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_store.h"
#include "platform/guid.h"
#include "platform/inf_drivers.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/setup_classes.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_handle.h"
#include "platform/win_registry.h"
#include "platform/win_setupapi.h"

namespace win {
namespace {

namespace dev = platform::devices;

struct Member {
    dev::Device device;
    SP_DEVINSTALL_PARAMS_W install{};
    bool list_built = false;  // the compatible-driver list
    bool class_list = false;  // the drivers of one INF (DI_ENUMSINGLEINF)
    std::vector<dev::Driver> class_drivers;
    int selected = -1;        // in class_drivers
    bool registered = true;   // on the machine
};

struct SetObject : platform::HandleObject {
    std::vector<Member> members;
};

std::shared_ptr<SetObject> set_of(HDEVINFO set)
{
    auto s = platform::lookup_handle_as<SetObject>(set);
    if (!s) SetLastError(ERROR_INVALID_HANDLE);
    return s;
}

// The member a device record names; null with the last error set.
Member* member_of(SetObject& set, const SP_DEVINFO_DATA* device)
{
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) return fail_with<Member*>(ERROR_INVALID_USER_BUFFER, nullptr);
    if (device->DevInst == 0 || device->DevInst > set.members.size()) return fail_with<Member*>(ERROR_INVALID_PARAMETER, nullptr);
    return &set.members[device->DevInst - 1];
}

// The installed driver when the device's driver list holds it.
const dev::Driver* listed_driver(const Member& m)
{
    return m.list_built && m.device.driver ? &*m.device.driver : nullptr;
}

void copy_text(const std::string& text, WCHAR* out, size_t capacity)
{
    platform::copy_utf16(platform::to_utf16(text), out, capacity);
}

// REG_MULTI_SZ bytes of a list of ids: each with its NUL, then an empty string.
std::u16string multi_sz(const std::vector<std::string>& ids)
{
    std::u16string out;
    for (const std::string& id : ids) {
        out += platform::to_utf16(id);
        out += u'\0';
    }
    out += u'\0';
    return out;
}

uint64_t date_filetime(const dev::Driver& d)
{
    if (!d.date_year) return 0;
    // Days from 1601-01-01 to the date (proleptic Gregorian), at midnight UTC.
    auto days_from_civil = [](int y, unsigned m, unsigned day) {
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const unsigned yoe = static_cast<unsigned>(y - era * 400);
        const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + static_cast<int>(doe) - 719468;  // days since 1970-01-01
    };
    const int64_t days = days_from_civil(d.date_year, d.date_month, d.date_day) + 134774;  // 1601 → 1970
    return days > 0 ? uint64_t(days) * 86400ULL * 10000000ULL : 0;
}

std::string inf_full_path(const std::string& inf)
{
    if (inf.find('\\') != std::string::npos || inf.find('/') != std::string::npos) return inf;
    return "C:\\Windows\\inf\\" + inf;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCHAR*, HANDLE, DWORD flags)
{
    const bool all = (flags & DIGCF_ALLCLASSES) != 0;
    if (!all && !class_guid) return fail_with<HDEVINFO>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    auto set = std::make_shared<SetObject>();
    for (dev::Device& d : dev::list()) {
        if ((flags & DIGCF_PRESENT) && !d.present) continue;
        if (!all) {
            auto g = platform::parse_guid(d.class_guid);
            if (!g || !(*g == *class_guid)) continue;
        }
        Member m;
        m.device = std::move(d);
        m.install.cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
        set->members.push_back(std::move(m));
    }
    return platform::register_handle(std::move(set));
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
    if (index >= s->members.size()) return fail_with<BOOL>(ERROR_NO_MORE_ITEMS, FALSE);
    device->ClassGuid = platform::parse_guid(s->members[index].device.class_guid).value_or(GUID{});
    device->DevInst = index + 1;
    device->Reserved = 0;
    return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (!params || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
    *params = m->install;
    return TRUE;
}

BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (!params || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
    m->install = *params;
    m->install.DriverPath[MAX_PATH - 1] = 0;
    return TRUE;
}

BOOL SetupDiBuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD driver_type)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (driver_type != SPDIT_COMPATDRIVER && driver_type != SPDIT_CLASSDRIVER) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (driver_type == SPDIT_CLASSDRIVER && (m->install.Flags & DI_ENUMSINGLEINF)) {
        std::vector<platform::inf::DriverNode> nodes;
        if (unsigned e = platform::inf::read_drivers(platform::u16_view(m->install.DriverPath), nodes))
            return fail_with<BOOL>(e, FALSE);
        m->class_drivers.clear();
        for (auto& n : nodes) m->class_drivers.push_back(std::move(n.driver));
        m->class_list = true;
        m->selected = -1;
        return TRUE;
    }
    m->list_built = true;
    return TRUE;
}

BOOL SetupDiEnumDriverInfoW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD driver_type, DWORD index,
                            SP_DRVINFO_DATA_V2_W* driver)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (!driver || (driver->cbSize != sizeof(SP_DRVINFO_DATA_V2_W) && driver->cbSize != kDrvInfoDataV1Size))
        return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
    const bool from_class = driver_type == SPDIT_CLASSDRIVER && m->class_list;
    const dev::Driver* d = from_class ? (index < m->class_drivers.size() ? &m->class_drivers[index] : nullptr)
                                      : (index == 0 ? listed_driver(*m) : nullptr);
    if (!d) return fail_with<BOOL>(ERROR_NO_MORE_ITEMS, FALSE);
    const DWORD size = driver->cbSize;
    std::memset(reinterpret_cast<uint8_t*>(driver) + sizeof(DWORD), 0, size - sizeof(DWORD));
    driver->DriverType = driver_type;
    copy_text(d->description, driver->Description, 256);
    copy_text(d->manufacturer, driver->MfgName, 256);
    copy_text(d->provider, driver->ProviderName, 256);
    if (size == sizeof(SP_DRVINFO_DATA_V2_W)) {
        const uint64_t ft = date_filetime(*d);
        driver->DriverDate = FILETIME{DWORD(ft), DWORD(ft >> 32)};
        driver->DriverVersion = d->version;
    }
    // Names the entry for SetupDiSetSelectedDriverW.
    driver->Reserved = from_class ? ULONG_PTR(index + 1) : 0;
    return TRUE;
}

BOOL SetupDiGetDriverInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_V2_W* driver,
                                    SP_DRVINSTALL_PARAMS* params)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (!driver || !params || params->cbSize != sizeof(SP_DRVINSTALL_PARAMS))
        return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
    const dev::Driver* d = listed_driver(*m);
    if (!d) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    *params = SP_DRVINSTALL_PARAMS{sizeof(SP_DRVINSTALL_PARAMS), d->rank, d->flags, 0, 0};
    return TRUE;
}

BOOL SetupDiGetDriverInfoDetailW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_V2_W* driver,
                                 SP_DRVINFO_DETAIL_DATA_W* detail, DWORD size, DWORD* required)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    const dev::Driver* d = listed_driver(*m);
    if (!driver || !d) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const std::u16string hardware = multi_sz(m->device.hardware_ids);
    const std::u16string compatible = multi_sz(m->device.compatible_ids);
    // The hardware id, then the compatible ids, as one multi-string behind the fixed part.
    std::u16string ids = hardware.substr(0, hardware.size() - 1) + compatible;
    const DWORD needed = DWORD(offsetof(SP_DRVINFO_DETAIL_DATA_W, HardwareID) + ids.size() * sizeof(WCHAR));
    if (required) *required = needed;
    if (detail) {
        if (detail->cbSize != sizeof(SP_DRVINFO_DETAIL_DATA_W) || size < sizeof(SP_DRVINFO_DETAIL_DATA_W))
            return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
        std::memset(reinterpret_cast<uint8_t*>(detail) + sizeof(DWORD), 0, sizeof(SP_DRVINFO_DETAIL_DATA_W) - sizeof(DWORD));
        copy_text(d->section, detail->SectionName, 256);
        copy_text(inf_full_path(d->inf), detail->InfFileName, MAX_PATH);
        copy_text(d->description, detail->DrvDescription, 256);
        detail->CompatIDsOffset = DWORD(hardware.size() - 1);
        detail->CompatIDsLength = DWORD(compatible.size());
    }
    if (!detail || size < needed) return fail_with<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(detail->HardwareID, ids.data(), ids.size() * sizeof(WCHAR));
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                       BYTE* buffer, DWORD size, DWORD* required)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    std::u16string value;
    DWORD value_type = REG_SZ;
    switch (property) {
    case SPDRP_HARDWAREID:
    case SPDRP_COMPATIBLEIDS: {
        const auto& ids = property == SPDRP_HARDWAREID ? m->device.hardware_ids : m->device.compatible_ids;
        if (ids.empty()) return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
        value = multi_sz(ids);
        value_type = REG_MULTI_SZ;
        break;
    }
    case SPDRP_SERVICE:
        if (m->device.service.empty()) return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
        value = platform::to_utf16(m->device.service) + u'\0';
        break;
    case SPDRP_CLASSGUID:
        if (m->device.class_guid.empty()) return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
        value = platform::to_utf16(m->device.class_guid) + u'\0';
        break;
    case SPDRP_DEVICEDESC:
        if (!m->device.driver || m->device.driver->description.empty()) return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
        value = platform::to_utf16(m->device.driver->description) + u'\0';
        break;
    default:
        return fail_with<BOOL>(ERROR_INVALID_DATA, FALSE);
    }
    const DWORD needed = DWORD(value.size() * sizeof(WCHAR));
    if (required) *required = needed;
    if (type) *type = value_type;
    if (!buffer || size < needed) return fail_with<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(buffer, value.data(), needed);
    return TRUE;
}

BOOL SetupDiDestroyDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    m->list_built = false;
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    if (!set_of(set)) return FALSE;
    return CloseHandle(set);
}

}  // namespace win

namespace win {

BOOL SetupDiClassGuidsFromNameW(const WCHAR* class_name, GUID* list, DWORD size, DWORD* required)
{
    if (!class_name || !required) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    auto text = platform::setup_class_guid(platform::to_utf8(platform::u16_view(class_name)));
    *required = text ? 1 : 0;
    if (!text) return TRUE;
    if (!list || size < 1) return fail_with<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    list[0] = *platform::parse_guid(*text);
    return TRUE;
}

HDEVINFO SetupDiCreateDeviceInfoList(const GUID*, HANDLE)
{
    return platform::register_handle(std::make_shared<SetObject>());
}

BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, const WCHAR* instance_id, HANDLE, DWORD, SP_DEVINFO_DATA* device)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    const std::string id = platform::to_utf8(platform::u16_view(instance_id));
    for (dev::Device& d : dev::list()) {
        if (!platform::iequals(d.instance_id, id)) continue;
        Member m;
        m.device = std::move(d);
        m.install.cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
        s->members.push_back(std::move(m));
        if (device) {
            if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
            device->ClassGuid = platform::parse_guid(s->members.back().device.class_guid).value_or(GUID{});
            device->DevInst = DWORD(s->members.size());
            device->Reserved = 0;
        }
        return TRUE;
    }
    return fail_with<BOOL>(ERROR_NO_SUCH_DEVINST, FALSE);
}

BOOL SetupDiRemoveDevice(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (m->device.from_adapter) return fail_with<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    const bool had_section = dev::remove_section(m->device.instance_id);
    const bool had_key = platform::registry::delete_tree("System\\CurrentControlSet\\Enum\\" + m->device.instance_id);
    if (!had_section && !had_key) return fail_with<BOOL>(ERROR_NO_SUCH_DEVINST, FALSE);
    return TRUE;
}

}  // namespace win

namespace win {
namespace {

std::string enum_key(const std::string& instance_id) { return "System\\CurrentControlSet\\Enum\\" + instance_id; }

bool instance_taken(const SetObject& set, const std::string& id)
{
    for (const Member& m : set.members)
        if (platform::iequals(m.device.instance_id, id)) return true;
    for (const dev::Device& d : dev::list())
        if (platform::iequals(d.instance_id, id)) return true;
    return platform::registry::key_exists(enum_key(id));
}

}  // namespace

BOOL SetupDiCreateDeviceInfoW(HDEVINFO set, const WCHAR* name, const GUID* class_guid, const WCHAR*, HANDLE,
                              DWORD flags, SP_DEVINFO_DATA* device)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    if (!name || !*name || !class_guid) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (device && device->cbSize != sizeof(SP_DEVINFO_DATA)) return fail_with<BOOL>(ERROR_INVALID_USER_BUFFER, FALSE);
    std::string id = platform::to_utf8(platform::u16_view(name));
    if (id.find_first_of("\r\n[]") != std::string::npos) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (flags & DICD_GENERATE_ID) {
        if (id.find('\\') != std::string::npos) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
        for (char& c : id) c = char(std::toupper(static_cast<unsigned char>(c)));
        std::string candidate;
        for (unsigned n = 0; n < 10000; ++n) {
            char number[8];
            std::snprintf(number, sizeof number, "%04u", n);
            candidate = "ROOT\\" + id + "\\" + number;
            if (!instance_taken(*s, candidate)) break;
        }
        id = candidate;
    } else if (instance_taken(*s, id)) {
        return fail_with<BOOL>(ERROR_DEVINST_ALREADY_EXISTS, FALSE);
    }
    Member m;
    m.device.instance_id = id;
    m.device.class_guid = platform::format_guid(*class_guid);
    m.install.cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    m.registered = false;
    s->members.push_back(std::move(m));
    if (device) {
        device->ClassGuid = *class_guid;
        device->DevInst = DWORD(s->members.size());
        device->Reserved = 0;
    }
    return TRUE;
}

BOOL SetupDiRegisterDeviceInfo(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD, void*, void*, SP_DEVINFO_DATA*)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (m->registered) return TRUE;
    if (!dev::set_keys(m->device.instance_id, {{"class", m->device.class_guid}, {"present", "1"}}) ||
        !platform::registry::set_string(enum_key(m->device.instance_id), "ClassGUID", m->device.class_guid))
        return fail_with<BOOL>(ERROR_GEN_FAILURE, FALSE);
    m->registered = true;
    return TRUE;
}

BOOL SetupDiSetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DRVINFO_DATA_V2_W* driver)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (!driver) {
        m->selected = -1;
        return TRUE;
    }
    if (!m->class_list || driver->Reserved == 0 || driver->Reserved > m->class_drivers.size())
        return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    m->selected = int(driver->Reserved - 1);
    return TRUE;
}

BOOL SetupDiCallClassInstaller(DWORD function, HDEVINFO set, SP_DEVINFO_DATA* device)
{
    auto s = set_of(set);
    if (!s) return FALSE;
    Member* m = member_of(*s, device);
    if (!m) return FALSE;
    if (function != DIF_INSTALLDEVICE) return fail_with<BOOL>(ERROR_DI_DO_DEFAULT, FALSE);
    if (!m->registered) return fail_with<BOOL>(ERROR_NO_SUCH_DEVINST, FALSE);
    if (m->selected < 0) return fail_with<BOOL>(ERROR_NO_DRIVER_SELECTED, FALSE);
    const dev::Driver& d = m->class_drivers[size_t(m->selected)];
    if (!dev::set_driver(m->device.instance_id, d)) return fail_with<BOOL>(ERROR_GEN_FAILURE, FALSE);
    m->device.driver = d;
    return TRUE;
}

}  // namespace win
