#include "platform/service_store.h"

#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/state_file.h"

namespace platform::services {
namespace {

constexpr std::string_view kStateNames[] = {"", "stopped", "start_pending", "stop_pending", "running"};

std::string entry_path(std::string_view name) { return services_dir() + "/" + registry::fold(name) + ".service"; }

// A service name that can be a file name: no separators, line breaks or leading dot.
bool valid_name(std::string_view name)
{
    return !name.empty() && name.size() <= 256 && name.front() != '.' &&
           name.find_first_of("/\\\r\n") == std::string_view::npos;
}

}  // namespace

std::string services_dir() { return root_path("services"); }
std::string database_lock_path() { return root_path("services/.dblock"); }
std::string services_key(std::string_view name)
{
    return "System\\CurrentControlSet\\Services\\" + std::string(name);
}

std::string format_service(const Service& s)
{
    std::string out;
    out += "name=" + s.name + "\n";
    out += "display=" + s.display + "\n";
    out += "type=" + std::to_string(s.type) + "\n";
    out += "binary=" + s.binary + "\n";
    out += "state=" + std::string(kStateNames[static_cast<uint32_t>(s.state)]) + "\n";
    out += "on_start=" + s.on_start + "\n";
    out += "on_stop=" + s.on_stop + "\n";
    if (s.delete_pending) out += "delete_pending=1\n";
    return out;
}

std::optional<Service> parse_service(std::string_view text)
{
    Service s;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "name") s.name = value;
        else if (key == "display") s.display = value;
        else if (key == "binary") s.binary = value;
        else if (key == "type") s.type = static_cast<uint32_t>(std::strtoul(std::string(value).c_str(), nullptr, 0));
        else if (key == "on_start") s.on_start = value;
        else if (key == "on_stop") s.on_stop = value;
        else if (key == "delete_pending") s.delete_pending = value == "1";
        else if (key == "state")
            for (uint32_t i = 1; i < std::size(kStateNames); ++i)
                if (value == kStateNames[i]) s.state = static_cast<State>(i);
    }
    if (!valid_name(s.name)) return std::nullopt;
    return s;
}

std::optional<Service> find(std::string_view name)
{
    if (!valid_name(name)) return std::nullopt;
    auto text = read_file(entry_path(name));
    if (!text) return std::nullopt;
    auto s = parse_service(*text);
    if (s && registry::fold(s->name) != registry::fold(name)) return std::nullopt;
    return s;
}

bool update(std::string_view name, const std::function<bool(Service&)>& change)
{
    if (!valid_name(name)) return false;
    FileLock lock(root_path("services/.lock"));
    auto s = find(name);
    if (!s || !change(*s)) return false;
    if (s->name.empty()) return std::remove(entry_path(name).c_str()) == 0;
    return replace_file(entry_path(name), format_service(*s));
}

bool add(const Service& service)
{
    if (!valid_name(service.name)) return false;
    FileLock lock(root_path("services/.lock"));
    if (find(service.name)) return false;
    return replace_file(entry_path(service.name), format_service(service));
}

bool install(const Service& service, uint32_t start_type)
{
    if (!add(service)) return false;
    const std::string key = services_key(service.name);
    return registry::set_dword(key, "Type", service.type) && registry::set_dword(key, "Start", start_type) &&
           registry::set_dword(key, "ErrorControl", 1) && registry::set_string(key, "ImagePath", service.binary) &&
           registry::set_string(key, "DisplayName", service.display);
}

}  // namespace platform::services
