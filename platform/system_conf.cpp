#include "platform/system_conf.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/paths.h"
#include "platform/utf16.h"

namespace platform {
namespace {
std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}
}  // namespace

std::optional<std::string> system_conf_value(std::string_view key)
{
    std::ifstream in(root_path("system.conf"));
    std::string line;
    while (std::getline(in, line)) {
        std::string_view l = trim(line);
        if (l.empty() || l[0] == '#' || l[0] == ';') continue;
        auto eq = l.find('=');
        if (eq == std::string_view::npos) continue;
        if (iequals(trim(l.substr(0, eq)), key)) return std::string(trim(l.substr(eq + 1)));
    }
    return std::nullopt;
}

long system_conf_number(std::string_view key, long fallback)
{
    auto v = system_conf_value(key);
    if (!v || v->empty()) return fallback;
    errno = 0;
    char* end = nullptr;
    long n = std::strtol(v->c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return fallback;
    return n;
}

std::string computer_name()
{
    auto name = system_conf_value("ComputerName");
    return name && !name->empty() ? *name : "TVNHOST";
}

bool is_local_machine(std::u16string_view name)
{
    while (!name.empty() && name.front() == u'\\') name.remove_prefix(1);
    return name.empty() || iequals(to_utf8(name), computer_name());
}

}  // namespace platform
