#include "run.h"

#include "kept_backups.h"
#include "modes.h"
#include "startup.h"
#include "stop_request.h"
#include "update_loop.h"
#include "user_interface.h"
#include "vendor_library.h"

#include "platform/safe_file.h"

#include <exception>

namespace tirn {

namespace {

constexpr const char* kUnexpected =
    "An unexpected error has occurred.  Firmware update will not be completed.\n";

void PrintUsage(UserInterface& ui, const std::string& argv0)
{
    for (const std::string& line : UsageLines(argv0)) ui.Print(kLevelNormal, "%s", line.c_str());
}

int run_selected_mode(UserInterface& ui, const ParsedOptions& options, AdapterList& list, FILE* input)
{
    uint32_t f = options.flags;
    if (f & kOptList) return ListAdapters(ui, list);
    if (f & kOptDiscovery) return RunDiscovery(ui, options.file);
    if (f & kOptUpdate) return FlashFromDiscoveryFile(ui, options.file);
    if (f & kOptYx) return 0;       // accepted for callers that pass it; does nothing
    // -v with a file does nothing, as for the callers that pass one; the version report (-v alone)
    // has printed the tool's and the library's versions at start-up and found the adapters.
    if (f & kOptVersion) return options.versionReport ? 1 : 0;
    if (f & kOptVersionCheck) return CheckComponentVersion(ui, list);
    return UpdateAdapters(ui, f, list, input);
}

}  // namespace

int ProcessExitCode(long long code)
{
    if (code < 0 || code > 255) return 255;
    return static_cast<int>(code);
}

int RunMode(UserInterface& ui, const ParsedOptions& options, FILE* input)
{
    AdapterList list;
    uint32_t rc = GetAdapterList(ui, list);
    if (rc != 0) {
        ui.Console("Failed to get NIC information! Aborting installation.\n");
        ui.Log(kLevelNormal, "Attempt to get NIC information failed with code %u\n", rc);
        if (rc > 100) ui.Log(kLevelNormal, "Vendor code %u: %s\n", rc, ErrorText(rc).c_str());
        return ProcessExitCode(rc);
    }
    try {
        return run_selected_mode(ui, options, list, input);
    } catch (const std::exception& e) {
        ui.Print(kLevelNormal, "%s (%s)", kUnexpected, e.what());
    } catch (...) {
        ui.Print(kLevelNormal, "%s", kUnexpected);
    }
    return 0;
}

int RunTool(std::vector<std::string> args)
{
    std::unique_ptr<UserInterface> ui;
    try {
        CatchStopSignals();
        const std::string argv0 = args.empty() ? std::string() : args[0];
        bool libraryFound = InitializeTool(args, ui);
        if (!ui) return 0;

        ParsedOptions options;
        bool valid = ParseOptions(args, options) && ValidateOptionCombination(options.flags);
        ui->SetFlags(options.flags & kOptSilent, options.flags & kOptDebug, options.flags & kOptAssumeYes);
        if (!valid) {
            PrintUsage(*ui, argv0);
            return 0;
        }
        // A link or other non-regular file at the debug log's name is refused, and the run goes on
        // without the library's debug log; a log that cannot be made ends the run as before.
        if ((options.flags & kOptDebug) && platform::name_state("./libdbg.log") == platform::NameState::NotRegular) {
            ui->Print(kLevelNormal, "libdbg.log is a link or not a regular file: it is left as it is, and the library "
                      "keeps no debug log this run.\n");
        } else if ((options.flags & kOptDebug) && tirn::oem_get_debug_info(u"./libdbg.log") != 0) {
            ui->Print(kLevelNormal, "ERROR: Can't create library debug log file or append messages to it\n");
            return 0;
        }
        int result = EndIfStopped(*ui, libraryFound ? RunMode(*ui, options, stdin) : 0);
        LogKeptBackups(*ui);
        PrintExitBanner(*ui, result);
        return result;
    } catch (...) {
        // Only allocation failures can get here; the run ends without a result to report.
        return 0;
    }
}

}  // namespace tirn
