#include "platform/system_conf.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/paths.h"

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

}  // namespace platform
