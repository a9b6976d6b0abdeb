#include "startup.h"

#include "vendor_library.h"

#include "platform/console.h"
#include "platform/livelog.h"
#include "platform/paths.h"
#include "platform/system_folders.h"
#include "platform/version_note.h"

#include <ctime>
#include <exception>

namespace tirn {

namespace {

constexpr const char* kRule = "-----------------------------------------------------------------------------\n";
constexpr const char* kNotice = "Copyright (c) the Stelmar developers. All rights reserved.";

struct LogName {
    const char* program;
    const char* file;
};

// Programs started under one of these bare names get a log of their own.
constexpr LogName kLogNames[] = {
    {"ostranicfwupg.exe", "OstraNicFwUpg.log"},
    {"ostrefwupg.exe", "OstreFwUpg.log"},
    {"zknvmupdate.exe", "ZKNVMUpdate.log"},
    {"yxnicfwupg.exe", "YXNICFWUpg.log"},
    {"yxzqfwupg.exe", "YXZQFWUpg.log"},
};

std::string version_text(const platform::VersionNote& note)
{
    const auto& v = note.version;
    return Format("%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
}

}  // namespace

std::string GetLogFilePath(const std::string& argv0)
{
    std::string folder = platform::log_root(true);
    std::string file = "tirn.log";
    for (const auto& row : kLogNames)
        if (platform::iequals(argv0, row.program)) file = row.file;
    return folder + "/" + file;
}

std::string GetOwnVersion()
{
    auto note = platform::read_version_note(platform::program_path());
    return note ? version_text(*note) : "n/a";
}

void PrintTimestamp(UserInterface& ui, const char* label)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[64] = "";
    if (localtime_r(&now, &local)) std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
    ui.Log(kLevelNormal, "%s: %s\n", label, text);
}

void PrintCommandLine(UserInterface& ui, const std::vector<std::string>& args)
{
    std::string line = "Command line supplied:\n\t";
    for (const auto& a : args) line += a + " ";
    ui.Log(kLevelNormal, "%s\n", line.c_str());
}

void PrintBanner(UserInterface& ui, const std::vector<std::string>& args)
{
    ui.Print(kLevelNormal, "%s", kRule);
    ui.Print(kLevelNormal, "%s (%s)\n", kProductTitle, GetOwnVersion().c_str());
    ui.Print(kLevelNormal, "%s\n", kNotice);
    ui.Print(kLevelNormal, "%s", kRule);
    PrintCommandLine(ui, args);
    PrintTimestamp(ui, "Upgrade began");
}

void PrintLibraryVersion(UserInterface& ui)
{
    const std::string& name = VendorLibraryName();
    auto note = platform::read_version_note("./" + name);
    if (!note)
        ui.Print(kLevelNormal, "Upgrade library: %s (ver n/a)\r\n", name.c_str());
    else
        ui.Print(kLevelNormal, "Upgrade library: %s (ver %s)\r\n", name.c_str(), version_text(*note).c_str());
}

void PrintExitBanner(UserInterface& ui, int exitCode)
{
    PrintTimestamp(ui, "Upgrade completed");
    ui.Log(kLevelNormal, "Exiting with code %d\n", exitCode);
    ui.Print(kLevelNormal, "%s", kRule);
}

bool InitializeTool(const std::vector<std::string>& args, std::unique_ptr<UserInterface>& ui)
{
    try {
        platform::set_console_title(kProductTitle);
        ui = std::make_unique<UserInterface>(GetLogFilePath(args.empty() ? std::string() : args[0]), 121, 65,
                                             platform::live_log_socket_path(platform::kLiveLogClass,
                                                                            platform::kLiveLogTitle));
        PrintBanner(*ui, args);
        if (LoadVendorLibrary(ui.get()) != 0) {
            ui->Print(kLevelNormal, "Error: No vendor library found.  Installation aborting.\n");
            return false;
        }
        PrintLibraryVersion(*ui);
        return true;
    } catch (...) {
        if (ui) ui->Print(kLevelNormal, "Error initializing FW upgrade software.\n");
        return false;
    }
}

}  // namespace tirn
