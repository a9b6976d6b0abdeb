#include "options.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace tirn;

namespace {

bool parse(std::vector<std::string> args, ParsedOptions& out)
{
    args.insert(args.begin(), "TIRN");
    return ParseOptions(args, out);
}

}  // namespace

TEST(ParseOptions, SpellingsSelectTheirBitOrFail)
{
    struct Case {
        std::vector<std::string> args;
        bool ok;
        uint32_t flags;
    };
    const Case cases[] = {
        {{"-c"}, true, kOptList},
        {{"/C"}, true, kOptList},
        {{"-C"}, true, kOptList},
        {{"/c/"}, false, 0},           // compared whole
        {{"?"}, false, 0},
        {{"/?"}, false, 0},            // becomes "-?", which is no option
        {{"-h"}, false, 0},
        {{"/HELP"}, false, 0},
        {{"-s", "-help", "-c"}, false, kOptSilent},  // bits before the stop are kept
        {{"-Debug"}, true, kOptDebug},
        {{"-REWRITE"}, true, kOptRewrite},
        {{"/e"}, true, kOptRewrite},
        {{"-f"}, true, kOptForce},
        {{"-downgrade", "-G"}, true, kOptDowngrade},
        {{"-N"}, true, kOptVersionCheck},
        {{"-yx"}, true, kOptYx},
        {{"-YX", "-y"}, true, kOptYx | kOptAssumeYes},
        {{"-s"}, true, kOptSilent},
        {{"x-no_overwritey"}, true, 0},   // contains the word: accepted and ignored
        {{"-no_overwrite", "-c"}, true, kOptList},
        {{"/no_overwrite"}, true, 0},     // the '/' becomes '-' first
        {{"-NO_OVERWRITE"}, false, 0},    // case-sensitive
        {{"--c"}, false, 0},
        {{""}, false, 0},
        {{"-d"}, false, kOptDiscovery},   // file argument missing
        {{"-u", "-c"}, true, kOptUpdate}, // whatever follows is the file
        {{"-v", "x"}, true, kOptVersion},
        {{"-v"}, true, kOptVersion},            // the version report: no file
        {{"-s", "/V"}, true, kOptSilent | kOptVersion},
        {{"-u"}, false, kOptUpdate},            // only -v goes without its file
    };
    for (const auto& c : cases) {
        ParsedOptions out;
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(parse(c.args, out), c.ok) << line;
        EXPECT_EQ(out.flags, c.flags) << line;
    }
}

TEST(ParseOptions, FileArgumentLastWinsAndLeadingSlashIsRewrittenInPlace)
{
    std::vector<std::string> args{"TIRN", "/d", "first.xml", "/u", "/second.xml"};
    ParsedOptions out;
    ASSERT_TRUE(ParseOptions(args, out));
    EXPECT_EQ(out.file, "/second.xml");  // a file argument is taken as it stands
    EXPECT_EQ(args[1], "-d");
    EXPECT_EQ(args[3], "-u");
    EXPECT_EQ(args[4], "/second.xml");
}

TEST(ParseOptions, FileArgumentThatDoesNotFitIsRefused)
{
    ParsedOptions out;
    EXPECT_TRUE(parse({"-d", std::string(259, 'a')}, out));
    EXPECT_EQ(out.file.size(), 259u);
    ParsedOptions longer;
    EXPECT_FALSE(parse({"-d", std::string(260, 'a')}, longer));
    EXPECT_TRUE(longer.file.empty());
    // The limit counts UTF-16 units, not bytes: 259 two-byte characters fit.
    std::string wide;
    for (int i = 0; i < 259; ++i) wide += "\xc3\xa9";
    ParsedOptions accented;
    EXPECT_TRUE(parse({"-u", wide}, accented));
    // A character outside the basic plane takes two units.
    ParsedOptions astral;
    EXPECT_FALSE(parse({"-u", std::string(258, 'a') + "\xf0\x9f\x98\x80"}, astral));
}

// The allowed partners of each option, as a reader of the rules would list them.
TEST(ValidateOptionCombination, EveryPairFollowsTheRules)
{
    const std::map<uint32_t, std::set<uint32_t>> partners = {
        {kOptList, {}},
        {kOptDiscovery, {kOptSilent}},
        {kOptRewrite, {kOptDowngrade, kOptSilent, kOptAssumeYes, kOptUnused}},
        {kOptForce, {kOptSilent, kOptAssumeYes, kOptUnused}},
        {kOptDowngrade, {kOptRewrite, kOptSilent, kOptAssumeYes, kOptUnused}},
        {kOptVersionCheck, {}},
        {kOptYx, {kOptSilent, kOptUpdate, kOptAssumeYes}},
        {kOptUnused, {kOptRewrite, kOptForce, kOptDowngrade, kOptSilent, kOptUpdate, kOptAssumeYes}},
        {kOptSilent, {kOptDiscovery, kOptRewrite, kOptForce, kOptDowngrade, kOptYx, kOptUnused, kOptUpdate, kOptVersion}},
        {kOptUpdate, {kOptYx, kOptUnused, kOptSilent, kOptAssumeYes}},
        {kOptVersion, {kOptSilent}},
        {kOptAssumeYes, {kOptRewrite, kOptForce, kOptDowngrade, kOptYx, kOptUnused, kOptUpdate}},
    };
    ASSERT_EQ(partners.size(), 12u);
    int checked = 0;
    for (const auto& [a, allowedA] : partners) {
        EXPECT_TRUE(ValidateOptionCombination(a)) << std::hex << a;
        EXPECT_TRUE(ValidateOptionCombination(a | kOptDebug)) << std::hex << a;
        for (const auto& [b, allowedB] : partners) {
            if (a == b) continue;
            bool expected = allowedA.count(b) != 0;
            EXPECT_EQ(allowedB.count(a) != 0, expected) << "rules not symmetric";
            EXPECT_EQ(ValidateOptionCombination(a | b), expected) << std::hex << a << " with " << b;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 132);
}

TEST(ValidateOptionCombination, LargerSetsFailOnAnyForbiddenPair)
{
    struct Case {
        uint32_t flags;
        bool ok;
    };
    const Case cases[] = {
        {0, true},
        {kOptDebug, true},
        {kOptSilent | kOptForce, true},
        {kOptRewrite | kOptDowngrade | kOptSilent | kOptDebug, true},
        {kOptUpdate | kOptYx | kOptSilent, true},
        {kOptUpdate | kOptYx | kOptAssumeYes, true},
        {kOptUpdate | kOptYx | kOptSilent | kOptAssumeYes, false},  // -s with -y
        {kOptRewrite | kOptForce, false},
        {kOptDowngrade | kOptForce | kOptSilent, false},
        {kOptList | kOptSilent, false},
        {kOptVersionCheck | kOptSilent, false},
        {kOptDiscovery | kOptUpdate, false},
    };
    for (const auto& c : cases) EXPECT_EQ(ValidateOptionCombination(c.flags), c.ok) << std::hex << c.flags;
}

TEST(UsageLines, ProgramNameIsCutAtFolderAndExtension)
{
    struct Case {
        std::string argv0, name;
    };
    const Case cases[] = {
        {"C:\\tools\\YXZQFWUpg.exe", "YXZQFWUpg"},
        {"/opt/x.y/TIRN", "TIRN"},
        {"a.b.c", "a.b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        auto lines = UsageLines(c.argv0);
        ASSERT_EQ(lines.size(), 11u);
        EXPECT_EQ(lines[0], "USAGE: " + c.name + " [-c] [-d <filename>] [-e] [-f] [-g] [-h] [-s] [-u <filename>] [-y]\n");
    }
}
