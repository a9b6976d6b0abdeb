// The command line of TIRN: the option flag word, its parsing and the rules that say which
// options may be combined.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tirn {

enum OptionFlag : uint32_t {
    kOptDebug = 0x1,
    kOptList = 0x2,          // -c
    kOptDiscovery = 0x4,     // -d <file>
    kOptRewrite = 0x8,       // -e
    kOptForce = 0x10,        // -f
    kOptDowngrade = 0x20,    // -g
    kOptVersionCheck = 0x40, // -n
    kOptYx = 0x80,           // -yx
    kOptUnused = 0x100,      // no option sets it; it still has its place in the rules
    kOptSilent = 0x200,      // -s
    kOptUpdate = 0x400,      // -u <file>
    kOptVersion = 0x800,     // -v <file>; -v as the last argument: the version report
    kOptAssumeYes = 0x1000,  // -y
};

// The file argument of -d, -u and -v holds at most this many UTF-16 units (plus the NUL).
constexpr size_t kMaxFileArgumentUnits = 259;

struct ParsedOptions {
    uint32_t flags = 0;
    std::string file;  // the file argument (UTF-8); the last of -d/-u/-v wins
    // -v was the last argument, without a file: the update manager's version report, which
    // succeeds (exit code 1) once the tool has run with its library and found the adapters.
    bool versionReport = false;
};

// Parses the arguments after the program name (args[0]) into `out`, OR-ing bits as it goes.
// A leading '/' of each option argument is rewritten to '-' in place. False at the first help
// option, unknown argument, missing file argument (except after a final -v, the version report),
// or file argument too long to hold; the bits
// gathered up to there stay in `out`.
bool ParseOptions(std::vector<std::string>& args, ParsedOptions& out);

// True when every pair of set bits may be combined.
bool ValidateOptionCombination(uint32_t flags);

// The bits that have a row in the rules, in row and column order.
extern const uint32_t kCompatibilityBits[12];

// The usage text, one entry per printed line; the first is "USAGE: <name> " and the option
// summary. `argv0` is the program's first argument.
std::vector<std::string> UsageLines(const std::string& argv0);

}  // namespace tirn
