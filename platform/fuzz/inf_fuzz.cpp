// Fuzz target of the INF reader: any bytes decode, parse and are walked without a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/inf_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto text = platform::inf::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto result = platform::inf::parse(text);
    size_t total = 0;
    for (const auto& section : result.file.sections)
        for (const auto& line : section.lines) total += line.values.size() + (line.key ? line.key->size() : 0);
    return total == size_t(-1);
}
