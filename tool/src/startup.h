// Start-up of TIRN: console title, output object and log file, banners and the library search.
#pragma once

#include "user_interface.h"

#include <memory>
#include <string>
#include <vector>

namespace tirn {

inline constexpr const char* kProductTitle = "Stelmar for Windows";

// The log file for a program started as `argv0`; makes the log folders.
std::string GetLogFilePath(const std::string& argv0);

// The running program's own version, "a.b.c.d", or "n/a" when it carries no version record.
std::string GetOwnVersion();

// Sets up the console and the output object (in `ui`), prints the banner and searches for the
// vendor library. True when a library was found.
bool InitializeTool(const std::vector<std::string>& args, std::unique_ptr<UserInterface>& ui);

void PrintBanner(UserInterface& ui, const std::vector<std::string>& args);
void PrintCommandLine(UserInterface& ui, const std::vector<std::string>& args);
void PrintTimestamp(UserInterface& ui, const char* label);
void PrintLibraryVersion(UserInterface& ui);
void PrintExitBanner(UserInterface& ui, int exitCode);

}  // namespace tirn
