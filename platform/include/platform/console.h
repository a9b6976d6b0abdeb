// Console stand-ins: the window title and the console size of a terminal.
#pragma once

#include <optional>
#include <string_view>

namespace platform {

struct ConsoleSize {
    unsigned columns = 0;
    unsigned rows = 0;
};

// Sets the terminal's title with an OSC sequence, only when standard output is a terminal
// (a pipe or file never receives control sequences). True when the sequence was written.
bool set_console_title(std::string_view title);

// The size of the terminal on standard output; nothing when it is not a terminal.
std::optional<ConsoleSize> console_size();

// Resets the terminal's text attributes (SGR 0), only when standard output is a terminal.
void reset_console_attributes();

}  // namespace platform
