#include "platform/console.h"

#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool set_console_title(std::string_view title)
{
    if (!isatty(STDOUT_FILENO)) return false;
    std::string seq = "\033]0;" + std::string(title) + "\007";
    std::fwrite(seq.data(), 1, seq.size(), stdout);
    std::fflush(stdout);
    return true;
}

std::optional<ConsoleSize> console_size()
{
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) return std::nullopt;
    return ConsoleSize{ws.ws_col, ws.ws_row};
}

void reset_console_attributes()
{
    if (!isatty(STDOUT_FILENO)) return;
    std::fputs("\033[0m", stdout);
    std::fflush(stdout);
}

}  // namespace platform
