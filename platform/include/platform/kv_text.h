// "key=value" text, the form of the simulated machine's description files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// "key=value" lines in file order; blank lines and lines starting with '#' are skipped, a trailing
// CR is dropped, and a line without '=' gives a pair with `ok` false so the caller can report it.
struct KvLine {
    std::string key;
    std::string value;
    bool ok = true;
};
std::vector<KvLine> parse_kv(std::string_view text);

// A u32 written in decimal or with a 0x prefix in hexadecimal; nothing for any other text.
std::optional<uint32_t> parse_u32(std::string_view text);

}  // namespace platform
