// Facts about the simulated machine: "<system root>/system.conf", one "Key=Value" a line, keys
// compared without case, lines beginning with '#' or ';' ignored. Read afresh on every call, so a
// test can change the machine between calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::optional<std::string> system_conf_value(std::string_view key);
// The value as a decimal (or 0x-prefixed hexadecimal) number, or `fallback` when it is missing or
// not a number.
long system_conf_number(std::string_view key, long fallback);

// The machine's name: "ComputerName" of system.conf, "TVNHOST" when missing.
std::string computer_name();
// True for the machine itself: no name, an empty one, or its own name (with or without leading
// backslashes, compared without case). Every other machine is out of reach: there is no network.
bool is_local_machine(std::u16string_view name);

}  // namespace platform
