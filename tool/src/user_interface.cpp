#include "user_interface.h"

#include "platform/console.h"
#include "platform/safe_file.h"
#include "platform/utf16.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace tirn {

std::string FormatV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = FormatV(format, args);
    va_end(args);
    return s;
}

std::string ToLogText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

ConsoleState::ConsoleState(unsigned, unsigned)
{
    // The window is never resized; only whether there is a terminal to restore matters.
    terminal_ = platform::console_size().has_value();
}

ConsoleState::~ConsoleState()
{
    if (terminal_) platform::reset_console_attributes();
}

UserInterface::UserInterface(std::string logPath, unsigned columns, unsigned rows, const std::string& liveLogPath)
    : logPath_(std::move(logPath)), console_(columns, rows), liveLog_(liveLogPath)
{
}

UserInterface::~UserInterface() { CloseLog(); }

void UserInterface::SetFlags(bool silent, bool debug, bool assumeYes)
{
    silent_ = silent;
    debug_ = debug;
    assumeYes_ = assumeYes;
}

void UserInterface::CloseLog()
{
    if (log_) std::fclose(log_);
    log_ = nullptr;
}

void UserInterface::Write(int level, const char* format, va_list args)
{
    if (!log_) {
        if (logRefused_) return;
        const int fd = platform::open_log_for_append(logPath_);
        if (fd < 0 && errno == ELOOP) {
            logRefused_ = true;
            Console("%s is a link or not a regular file: it is left as it is, and this run keeps no log.\n",
                    logPath_.c_str());
            return;
        }
        log_ = fd >= 0 ? fdopen(fd, "ab") : nullptr;
        if (!log_) {
            unsigned long err = static_cast<unsigned long>(errno);
            if (fd >= 0) close(fd);
            Console("UserInterface::Write(): fopen() %s failed %lu\n", logPath_.c_str(), err);
            return;
        }
    }
    std::string line = FormatV(format, args);
    std::string text = ToLogText(line);
    std::fwrite(text.data(), 1, text.size(), log_);
    std::fflush(log_);
    if (liveLog_.connected()) liveLog_.send(static_cast<uint64_t>(level), platform::to_utf16(line));
}

void UserInterface::WriteConsole(const char* format, va_list args)
{
    if (silent_) return;
    std::string text = FormatV(format, args);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void UserInterface::Print(int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    WriteConsole(format, args);
    Write(level, format, again);
    va_end(again);
    va_end(args);
}

void UserInterface::Log(int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Write(level, format, args);
    va_end(args);
}

void UserInterface::Console(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteConsole(format, args);
    va_end(args);
}

}  // namespace tirn
