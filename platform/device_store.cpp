#include "platform/device_store.h"

#include <cstdio>

#include "platform/kv_text.h"
#include "platform/paths.h"
#include "platform/state_file.h"

namespace platform::devices {
namespace {

std::vector<std::string> split_ids(std::string_view text)
{
    std::vector<std::string> out;
    while (!text.empty()) {
        size_t semi = text.find(';');
        std::string_view id = text.substr(0, semi);
        if (!id.empty()) out.emplace_back(id);
        text.remove_prefix(semi == std::string_view::npos ? text.size() : semi + 1);
    }
    return out;
}

std::string hex(uint32_t value, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

Driver& driver_of(Device& d)
{
    if (!d.driver) d.driver.emplace();
    return *d.driver;
}

// Applies one line of a devices-file section; unknown keys and bad values are skipped.
void apply(Device& d, const std::string& key, const std::string& value)
{
    if (key == "class") d.class_guid = value;
    else if (key == "hardware_ids") d.hardware_ids = split_ids(value);
    else if (key == "compatible_ids") d.compatible_ids = split_ids(value);
    else if (key == "present") d.present = value != "0";
    else if (key == "service") d.service = value;
    else if (key == "needs_restart") d.needs_restart = value == "1";
    else if (key == "driver_inf") driver_of(d).inf = value;
    else if (key == "driver_section") driver_of(d).section = value;
    else if (key == "driver_desc") driver_of(d).description = value;
    else if (key == "driver_mfg") driver_of(d).manufacturer = value;
    else if (key == "driver_provider") driver_of(d).provider = value;
    else if (key == "driver_version") {
        if (auto v = parse_version(value)) driver_of(d).version = *v;
    } else if (key == "driver_date") {
        unsigned y = 0, m = 0, day = 0;
        if (std::sscanf(value.c_str(), "%4u-%2u-%2u", &y, &m, &day) == 3 && m >= 1 && m <= 12 && day >= 1 && day <= 31) {
            Driver& drv = driver_of(d);
            drv.date_year = uint16_t(y);
            drv.date_month = uint16_t(m);
            drv.date_day = uint16_t(day);
        }
    } else if (key == "driver_flags") {
        if (auto v = parse_u32(value)) driver_of(d).flags = *v;
    } else if (key == "driver_rank") {
        if (auto v = parse_u32(value)) driver_of(d).rank = *v;
    }
}

}  // namespace

std::string devices_path() { return root_path("devices"); }

std::optional<uint64_t> parse_version(std::string_view text)
{
    uint64_t out = 0;
    for (int part = 0; part < 4; ++part) {
        size_t dot = text.find('.');
        if ((part < 3) == (dot == std::string_view::npos)) return std::nullopt;
        auto v = parse_u32(text.substr(0, dot));
        if (!v || *v > 0xFFFF) return std::nullopt;
        out = out << 16 | *v;
        text.remove_prefix(part < 3 ? dot + 1 : text.size());
    }
    return out;
}

std::string format_version(uint64_t v)
{
    return std::to_string(v >> 48) + "." + std::to_string(v >> 32 & 0xFFFF) + "." + std::to_string(v >> 16 & 0xFFFF) +
           "." + std::to_string(v & 0xFFFF);
}

std::vector<Section> parse_devices(std::string_view text)
{
    std::vector<Section> out;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            out.push_back(Section{std::string(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        size_t eq = line.find('=');
        if (out.empty() || eq == std::string_view::npos) continue;
        out.back().lines.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    return out;
}

std::string format_devices(const std::vector<Section>& sections)
{
    std::string out;
    for (const Section& s : sections) {
        out += "[" + s.instance_id + "]\n";
        for (const auto& [k, v] : s.lines) out += k + "=" + v + "\n";
    }
    return out;
}

std::optional<Device> device_from_adapter(std::string_view adapter_text)
{
    std::optional<uint32_t> vid, did;
    uint32_t svid = 0, ssid = 0, bus = 0, dev = 0, fn = 0, chip = 0, major = 0, minor = 0, build = 0;
    std::string service;
    struct U32 {
        const char* key;
        uint32_t* out;
    };
    const U32 numbers[] = {{"svid", &svid}, {"ssid", &ssid}, {"bus", &bus}, {"device", &dev},
                           {"function", &fn}, {"chip_id", &chip}, {"driver_major", &major},
                           {"driver_minor", &minor}, {"driver_build", &build}};
    for (const KvLine& l : parse_kv(adapter_text)) {
        if (!l.ok) continue;
        if (l.key == "vid") vid = parse_u32(l.value);
        else if (l.key == "did") did = parse_u32(l.value);
        else if (l.key == "service_name") service = l.value;
        for (const U32& n : numbers)
            if (l.key == n.key)
                if (auto v = parse_u32(l.value)) *n.out = *v;
    }
    if (!vid || !did) return std::nullopt;
    const std::string base = "PCI\\VEN_" + hex(*vid & 0xFFFF, 4) + "&DEV_" + hex(*did & 0xFFFF, 4);
    const std::string subsys = "&SUBSYS_" + hex(ssid & 0xFFFF, 4) + hex(svid & 0xFFFF, 4);
    const std::string rev = "&REV_" + hex(((chip >> 8) & 0xF) << 4 | (chip & 0xF), 2);
    const std::string vendor = "PCI\\VEN_" + hex(*vid & 0xFFFF, 4);
    Device d;
    d.instance_id = base + subsys + rev + "\\4&" + hex(bus, 1) + "&0&" + hex((dev & 0x1F) * 8 + (fn & 7), 2);
    d.class_guid = kNetClassGuid;
    d.from_adapter = true;
    d.hardware_ids = {base + subsys + rev, base + subsys, base + rev, base};
    d.compatible_ids = {vendor + "&CC_020000", vendor + "&CC_0200", "PCI\\CC_020000", "PCI\\CC_0200"};
    d.service = service;
    if (!service.empty()) {
        Driver& drv = driver_of(d);
        drv.inf = service + ".inf";
        drv.section = service + ".ndi";
        drv.description = "Network adapter";
        drv.version = uint64_t(major & 0xFFFF) << 48 | uint64_t(minor & 0xFFFF) << 32 | uint64_t(build & 0xFFFF) << 16;
    }
    return d;
}

std::vector<Device> list()
{
    std::vector<Device> out;
    const std::string adapters = root_path("adapters");
    for (const std::string& name : list_dir_sorted(adapters)) {
        if (name.size() <= 8 || name.compare(name.size() - 8, 8, ".adapter") != 0) continue;
        if (auto text = read_file(adapters + "/" + name))
            if (auto d = device_from_adapter(*text)) out.push_back(std::move(*d));
    }
    const size_t derived = out.size();
    for (const Section& s : parse_devices(read_file(devices_path()).value_or(""))) {
        Device* d = nullptr;
        for (size_t i = 0; i < derived && !d; ++i)
            if (iequals(out[i].instance_id, s.instance_id)) d = &out[i];
        if (!d) {
            out.push_back(Device{});
            d = &out.back();
            d->instance_id = s.instance_id;
        }
        for (const auto& [k, v] : s.lines) apply(*d, k, v);
    }
    return out;
}

bool remove_section(std::string_view instance_id)
{
    FileLock lock(root_path("devices.lock"));
    if (!lock.held()) return false;
    std::vector<Section> sections = parse_devices(read_file(devices_path()).value_or(""));
    const size_t before = sections.size();
    std::erase_if(sections, [&](const Section& s) { return iequals(s.instance_id, instance_id); });
    if (sections.size() == before) return false;
    return replace_file(devices_path(), format_devices(sections));
}

bool set_keys(std::string_view instance_id, const std::vector<std::pair<std::string, std::string>>& keys)
{
    if (instance_id.empty() || instance_id.find_first_of("\r\n[]") != std::string_view::npos) return false;
    for (const auto& [k, v] : keys)
        if ((k + v).find_first_of("\r\n") != std::string::npos) return false;
    FileLock lock(root_path("devices.lock"));
    if (!lock.held()) return false;
    std::vector<Section> sections = parse_devices(read_file(devices_path()).value_or(""));
    Section* s = nullptr;
    for (Section& each : sections)
        if (iequals(each.instance_id, instance_id)) s = &each;
    if (!s) {
        sections.push_back(Section{std::string(instance_id), {}});
        s = &sections.back();
    }
    for (const auto& [key, value] : keys) {
        bool replaced = false;
        for (auto& [k, v] : s->lines)
            if (k == key) {
                v = value;
                replaced = true;
            }
        if (!replaced) s->lines.emplace_back(key, value);
    }
    return replace_file(devices_path(), format_devices(sections));
}

bool set_driver(std::string_view instance_id, const Driver& drv)
{
    std::vector<std::pair<std::string, std::string>> keys = {
        {"driver_inf", drv.inf},         {"driver_section", drv.section},   {"driver_desc", drv.description},
        {"driver_mfg", drv.manufacturer}, {"driver_provider", drv.provider}, {"driver_version", format_version(drv.version)}};
    char date[32];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", drv.date_year, drv.date_month, drv.date_day);
    if (drv.date_year) keys.emplace_back("driver_date", date);
    keys.emplace_back("driver_flags", "0x" + hex(drv.flags, 8));
    keys.emplace_back("driver_rank", std::to_string(drv.rank));
    return set_keys(instance_id, keys);
}

}  // namespace platform::devices
