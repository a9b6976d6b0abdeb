// The one output object of TIRN: console echo (unless silent), the log file and the live log.
#pragma once

#include "platform/livelog.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>

namespace tirn {

// Levels of the lines the tool writes: normal output and the library binding lines.
constexpr int kLevelNormal = 6;
constexpr int kLevelBinding = 4;

// Saves the console state at construction and restores the text attributes at destruction.
// A console that cannot be queried (no terminal) is left untouched.
class ConsoleState {
public:
    ConsoleState(unsigned columns, unsigned rows);
    ~ConsoleState();
    ConsoleState(const ConsoleState&) = delete;
    ConsoleState& operator=(const ConsoleState&) = delete;

private:
    bool terminal_ = false;
};

class UserInterface {
public:
    // `liveLogPath` is the receiver's socket; it is looked up once, here.
    UserInterface(std::string logPath, unsigned columns, unsigned rows, const std::string& liveLogPath);
    ~UserInterface();
    UserInterface(const UserInterface&) = delete;
    UserInterface& operator=(const UserInterface&) = delete;

    void SetFlags(bool silent, bool debug, bool assumeYes);
    bool Silent() const { return silent_; }

    // Console and log.
    void Print(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Log (and live log) only.
    void Log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Console only; nothing when silent.
    void Console(const char* format, ...) __attribute__((format(printf, 2, 3)));

    void Write(int level, const char* format, va_list args);
    void WriteConsole(const char* format, va_list args);
    void CloseLog();

    const std::string& LogPath() const { return logPath_; }

private:
    std::string logPath_;
    bool silent_ = false;
    bool debug_ = false;
    bool assumeYes_ = false;
    FILE* log_ = nullptr;
    bool logRefused_ = false;  // a link or other non-regular file at the log's name: no log this run
    ConsoleState console_;
    platform::LiveLogSender liveLog_;
};

// printf into a std::string.
std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log file's line ends: every LF becomes CR LF, so "\r\n" becomes CR CR LF.
std::string ToLogText(const std::string& text);

}  // namespace tirn
