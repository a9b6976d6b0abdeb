// Fuzz target of the INF reader: any bytes decode, parse (with directory ids) and are walked
// without a fault.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/inf_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto text = platform::inf::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    // Even directory ids stand for a folder, odd ones for none, so both ways of a reference run.
    const auto result = platform::inf::parse(text, [](unsigned dirid) -> std::optional<std::u16string> {
        if (dirid % 2) return std::nullopt;
        return u"C:\\Windows\\%10%";
    });
    size_t total = 0;
    for (const auto& section : result.file.sections)
        for (const auto& line : section.lines) total += line.values.size() + (line.key ? line.key->size() : 0);
    return total == size_t(-1);
}
