#include "options.h"

#include "platform/paths.h"
#include "platform/utf16.h"

#include <array>
#include <string_view>

namespace tirn {

const uint32_t kCompatibilityBits[12] = {
    kOptList, kOptDiscovery, kOptRewrite, kOptForce, kOptDowngrade, kOptVersionCheck,
    kOptYx, kOptUnused, kOptSilent, kOptUpdate, kOptVersion, kOptAssumeYes,
};

namespace {

// Row r, column c: 1 when the option of row r may be combined with that of column c.
constexpr std::array<std::array<uint8_t, 12>, 12> kAllowed = {{
    //  c  d  e  f  g  n yx 100 s  u  v  y
    {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},  // -c
    {{0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},  // -d
    {{0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1}},  // -e
    {{0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1}},  // -f
    {{0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1}},  // -g
    {{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},  // -n
    {{0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1}},  // -yx
    {{0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 1}},  // 0x100
    {{0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 0}},  // -s
    {{0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1}},  // -u
    {{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}},  // -v
    {{0, 0, 1, 1, 1, 0, 1, 1, 0, 1, 0, 1}},  // -y
}};

enum class Kind { Help, Flag, FlagWithFile, Ignored, Unknown };

struct Match {
    Kind kind;
    uint32_t bit;
};

Match classify(std::string_view arg)
{
    auto is = [arg](std::initializer_list<std::string_view> names) {
        for (auto n : names)
            if (platform::iequals(arg, n)) return true;
        return false;
    };
    if (is({"-h", "?", "-help"})) return {Kind::Help, 0};
    if (is({"-c"})) return {Kind::Flag, kOptList};
    if (is({"-d"})) return {Kind::FlagWithFile, kOptDiscovery};
    if (is({"-debug"})) return {Kind::Flag, kOptDebug};
    if (is({"-e", "-rewrite"})) return {Kind::Flag, kOptRewrite};
    if (is({"-f"})) return {Kind::Flag, kOptForce};
    if (is({"-g", "-downgrade"})) return {Kind::Flag, kOptDowngrade};
    if (is({"-n"})) return {Kind::Flag, kOptVersionCheck};
    if (arg.find("-no_overwrite") != std::string_view::npos) return {Kind::Ignored, 0};
    if (is({"-yx"})) return {Kind::Flag, kOptYx};
    if (is({"-s"})) return {Kind::Flag, kOptSilent};
    if (is({"-u"})) return {Kind::FlagWithFile, kOptUpdate};
    if (is({"-v"})) return {Kind::FlagWithFile, kOptVersion};
    if (is({"-y"})) return {Kind::Flag, kOptAssumeYes};
    return {Kind::Unknown, 0};
}

}  // namespace

bool ParseOptions(std::vector<std::string>& args, ParsedOptions& out)
{
    for (size_t i = 1; i < args.size(); ++i) {
        std::string& arg = args[i];
        if (!arg.empty() && arg[0] == '/') arg[0] = '-';
        Match m = classify(arg);
        switch (m.kind) {
        case Kind::Help:
        case Kind::Unknown:
            return false;
        case Kind::Ignored:
            break;
        case Kind::Flag:
            out.flags |= m.bit;
            break;
        case Kind::FlagWithFile:
            out.flags |= m.bit;
            if (i + 1 >= args.size()) {
                // The update manager asks for its version report with a final "/v" alone.
                out.versionReport = m.bit == kOptVersion;
                return out.versionReport;
            }
            out.versionReport = false;
            // A longer name would be cut to another file's name: refuse it instead.
            if (platform::to_utf16(args[i + 1]).size() > kMaxFileArgumentUnits) return false;
            out.file = args[++i];
            break;
        }
    }
    return true;
}

bool ValidateOptionCombination(uint32_t flags)
{
    for (size_t r = 0; r < 12; ++r) {
        if (!(flags & kCompatibilityBits[r])) continue;
        for (size_t c = 0; c < 12; ++c)
            if (!kAllowed[r][c] && (flags & kCompatibilityBits[c])) return false;
    }
    return true;
}

std::vector<std::string> UsageLines(const std::string& argv0)
{
    std::string name = argv0;
    if (size_t sep = name.find_last_of("\\/"); sep != std::string::npos) name.erase(0, sep + 1);
    if (size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    return {
        "USAGE: " + name + " [-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n",
        "With no options, interactively upgrade firmware.\n",
        "-c  Display currently installed firmware information.\n",
        "-d <filename>  Generate XML discovery report to <filename>.\n",
        "-e  Enable re-write if the current firmware is the same, and upgrade if the current firmware is older.\n",
        "-f  Force all firmware changes to occur.\n",
        "-g  Enable downgrade if the current firmware is newer, and upgrade if the current firmware is older.\n",
        "-h  Display this help menu.\n",
        "-s  Silently (non-interactively) upgrade firmware. \n",
        "-u <filename>  Read XML discovery report from <filename> and perform firmware upgrade.\n",
        "-y  Assume default repsonse for all prompts.\n",
    };
}

}  // namespace tirn
