#include "platform/guid.h"

#include <cstdio>

namespace platform {

std::string format_guid(const win::GUID& g)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::optional<win::GUID> parse_guid(std::string_view text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) return std::nullopt;
    uint8_t bytes[16];
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            continue;
        }
        auto digit = [](char c) {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        int hi = digit(text[i]), lo = i + 1 < text.size() ? digit(text[i + 1]) : -1;
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[n++] = uint8_t(hi << 4 | lo);
        ++i;
    }
    win::GUID g{};
    g.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
    g.Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
    return g;
}

}  // namespace platform

#include "platform/paths.h"
#include "platform/setup_classes.h"

namespace platform {

std::optional<std::string_view> setup_class_guid(std::string_view name)
{
    for (const SetupClass& c : kSetupClasses)
        if (iequals(c.name, name)) return c.guid;
    return std::nullopt;
}

}  // namespace platform
