#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "installer_common/SystemUtils.h"
#include "test_root.h"

namespace {
std::u16string Str(const char16_t* s) { return s ? std::u16string(s) : u"<null>"; }
}

TEST(SystemUtils, BuildHardwareId)
{
    struct Case {
        const char16_t* id;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"14E4163914E41234", u"PCI\\VEN_14E4&DEV_1639&SUBSYS_123414E4"},
        {u"14E41639", u"PCI\\VEN_14E4&DEV_1639"},
        {u"PNP0A03", u"*PNP0A03"},
        {u"14E4163914", u""},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(BuildHardwareId(c.id), c.expected) << Str(c.id).size();
}

TEST(SystemUtils, FindSubstringNoCase)
{
    struct Case {
        const char16_t* text;
        const char16_t* part;
        int index;
    };
    const Case cases[] = {
        {u"PCI\\VEN_14E4&DEV_1639", u"dev_1639", 13},
        {u"abc", u"ABC", 0},
        {u"abc", u"", -1},
        {u"ab", u"abc", -1},
        {u"abc", u"x", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(FindSubstringNoCase(c.text, c.part), c.index) << Str(c.part).size();
}

TEST(SystemUtils, TrimBlanksKeepsLeadingBlanks)
{
    char16_t text[32] = u"  value \t\r\n ";
    EXPECT_EQ(Str(TrimBlanks(text)), u"  value");
    char16_t all[8] = u" \t\n";
    EXPECT_EQ(Str(TrimBlanks(all)), u"");
}

TEST(SystemUtils, FilesFoldersAndDiskSpace)
{
    TestRoot root;
    WriteAll(root.path("C/Windows/system32/drv.sys"), "x");
    EXPECT_EQ(FileExists(u"C:\\WINDOWS\\System32\\DRV.SYS"), 1);
    EXPECT_EQ(FileExists(u"C:\\Windows\\system32"), 0);  // a folder
    EXPECT_EQ(FileExists(u"C:\\Windows\\system32\\none.sys"), 0);
    EXPECT_GT(GetFreeDiskSpace(u"C:\\Windows"), 0u);
    EXPECT_GT(GetFreeDiskSpace(nullptr), 0u);  // the system drive
    EXPECT_EQ(GetFreeDiskSpace(u"C:\\does\\not\\exist"), 0u);

    char16_t folder[260];
    EXPECT_EQ(GetModuleFolder(folder, 260), 1);
    std::string bin = BinPath("");
    bin.pop_back();
    char resolved[4096];
    ASSERT_NE(realpath(bin.c_str(), resolved), nullptr);
    EXPECT_EQ(Str(folder), std::u16string(resolved, resolved + strlen(resolved)));
    char16_t cut[5];
    GetModuleFolder(cut, 5);
    EXPECT_EQ(Str(cut).size(), 4u);
}

TEST(SystemUtils, LanguageHelpers)
{
    TestRoot root;
    struct Case {
        const char* locale;
        const char16_t* code;
    };
    const Case cases[] = {{"", u"en"}, {"SystemLocale=1036", u"fr"}, {"SystemLocale=3082", u"es"},
                          {"SystemLocale=1031", u"de"}, {"SystemLocale=1041", u"ja"}, {"SystemLocale=1049", u"en"}};
    for (const auto& c : cases) {
        WriteAll(root.path("system.conf"), c.locale);
        char16_t code[3];
        GetSystemLanguageCode(code);
        EXPECT_EQ(Str(code), c.code) << c.locale;
    }
    EXPECT_EQ(LanguageCodeToLcid(u"JA"), 2065);
    EXPECT_EQ(LanguageCodeToLcid(u"fr"), 2060);
    EXPECT_EQ(LanguageCodeToLcid(u"en"), 0x809);
    EXPECT_EQ(LanguageCodeToLcid(nullptr), 0x809);
}

TEST(SystemUtils, WrapText)
{
    const std::u16string text =
        u"the quick brown fox jumps over the lazy dog again|and a_word_that_is_much_longer_than_thirty_chars";
    char16_t out[400];
    ASSERT_EQ(WrapText(out, 400, text.c_str(), 30, u"|"), 1);
    EXPECT_EQ(Str(out), u"the quick brown fox jumps|over the lazy dog again|and|a_word_that_is_much_longer_tha|n_thirty_chars|");
    EXPECT_EQ(WrapText(out, 400, text.c_str(), 29, u"|"), 0);              // width too small
    EXPECT_EQ(WrapText(out, text.size(), text.c_str(), 30, u"|"), 0);      // capacity below 1.5 x length
    EXPECT_EQ(WrapText(out, 400, nullptr, 30, u"|"), 0);
}

TEST(SystemUtils, RunProcessAndWait)
{
    TestRoot root;
    std::filesystem::create_directories(root.path("C/Tools"));
    const std::string child = BinPath("platform_process_child");
    auto line = [&](const std::string& args) {
        std::string l = child + " " + args;
        return std::u16string(l.begin(), l.end());
    };
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    auto cwd = [] {
        char now[4096];
        return std::string(getcwd(now, sizeof now) ? now : "");
    };

    int code = 7;
    EXPECT_EQ(RunProcessAndWait(line("exit 1026").c_str(), u"C:\\Tools", &code, 20000), 1);
    EXPECT_EQ(code, 1026);
    EXPECT_EQ(cwd(), before);

    // The child runs in the working folder; an empty folder leaves it in the caller's.
    EXPECT_EQ(RunProcessAndWait(line("report " + root.path("in_tools.txt")).c_str(), u"C:\\Tools", &code, 20000), 1);
    EXPECT_NE(ReadAll(root.path("in_tools.txt")).find("cwd=" + root.path("C/Tools") + "\n"), std::string::npos);
    EXPECT_EQ(RunProcessAndWait(line("report " + root.path("here.txt")).c_str(), u"", &code, 20000), 1);
    EXPECT_NE(ReadAll(root.path("here.txt")).find(std::string("cwd=") + before + "\n"), std::string::npos);

    // A time-out of 0 reports -1 at once and leaves the process running.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunProcessAndWait(line("sleep 3000").c_str(), u"C:\\Tools", &code, 0), 1);
    EXPECT_EQ(code, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(RunProcessAndWait(line("sleep 3000").c_str(), u"C:\\Tools", &code, 50), 1);
    EXPECT_EQ(code, -1);

    code = 7;
    EXPECT_EQ(RunProcessAndWait(u"no_such_program.exe", u"C:\\Tools", &code, 1000), 0);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(cwd(), before);
    EXPECT_EQ(RunProcessAndWait(nullptr, u"", &code, 1000), 0);
    EXPECT_EQ(RunProcessAndWait(line("exit 1").c_str(), nullptr, &code, 1000), 0);
    EXPECT_EQ(RunProcessAndWait(line("exit 1").c_str(), u"", nullptr, 1000), 0);
}

TEST(SystemUtils, IsTerminalServicesEnabled)
{
    TestRoot root;
    struct Case {
        const char* conf;
        int expected;
    };
    const Case cases[] = {
        {"", 1},  // a current server has the terminal suite
        {"OsSuiteMask=0x10", 1},
        {"OsSuiteMask=0x100", 0},
        {"OsSuiteMask=0", 0},
        {"OsPlatformId=1\nOsSuiteMask=0x10", 0},  // the 9x family
        {"OsMajorVersion=4\nOsSuiteMask=0x10", 0},
        {"OsMajorVersion=5\nOsMinorVersion=0\nOsSuiteMask=0x10", 1},
    };
    for (const auto& c : cases) {
        WriteAll(root.path("system.conf"), c.conf);
        EXPECT_EQ(IsTerminalServicesEnabled(), c.expected) << c.conf;
    }
}

// The console switch's output: what is written to the standard output reaches it at once.
TEST(SystemUtils, OpenConsoleOutputMakesTheStandardStreamsUnbuffered)
{
    std::fflush(stdout);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(fcntl(pipeFds[0], F_SETFL, O_NONBLOCK), 0);
    const int saved = dup(1);
    ASSERT_EQ(dup2(pipeFds[1], 1), 1);
    auto drain = [&] {
        std::string got;
        char buffer[256];
        for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) got.append(buffer, size_t(n));
        return got;
    };
    std::printf("held");  // no line end: a buffered stream keeps it
    const std::string before = drain();
    OpenConsoleOutput();
    const std::string flushed = drain();
    std::printf("at once");
    const std::string after = drain();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_EQ(before, "");
    EXPECT_EQ(flushed, "held");
    EXPECT_EQ(after, "at once");
}
