#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "installer_common/CCmpLog.h"
#include "installer_common/Log.h"
#include "installer_common/LogSupport.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "test_root.h"

namespace {

const std::string kMainLog = "C/tvnsystem/log/tvnsetup.log";

bool Digits(const std::string& s, size_t at, size_t n)
{
    if (at + n > s.size()) return false;
    for (size_t i = at; i < at + n; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// Times and dates vary: "HH:MM:SS" becomes "T" and "M/D/YYYY" becomes "D".
std::string MaskTimes(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (Digits(s, i, 2) && s[i + 2] == ':' && Digits(s, i + 3, 2) && s[i + 5] == ':' && Digits(s, i + 6, 2)) {
            out += "T";
            i += 8;
            continue;
        }
        size_t j = i, k;
        auto number = [&](size_t min, size_t max) {
            k = j;
            while (k < s.size() && k - j < max && Digits(s, k, 1)) ++k;
            bool ok = k - j >= min;
            j = k;
            return ok;
        };
        if (Digits(s, i, 1) && number(1, 2) && j < s.size() && s[j++] == '/' && number(1, 2) && j < s.size() &&
            s[j++] == '/' && number(4, 4)) {
            out += "D";
            i = j;
            continue;
        }
        out += s[i++];
    }
    return out;
}

struct Appended {
    const TestRoot& root;
    std::string file;
    size_t from = ReadAll(root.path(file)).size();
    std::string get() const { return ReadAll(root.path(file)).substr(from); }
};

}  // namespace

TEST(CCmpLog, TypeAndSeverityDecideFileAndPrefix)
{
    struct Row {
        bool verbose;
        int type;
        int severity;
        const char* main;
        const char* verboseText;
    };
    const Row rows[] = {
        {true, 0, 0, "x=5\r\n", ""},
        {true, 0, 2, "**ERROR** - x=5\r\n", ""},
        {true, 1, 0, "", "[T]::component.cpp[120] x=5\r\n"},
        {true, 1, 1, "", "[T]::component.cpp[120] **WARNING** - x=5\r\n"},
        {true, 2, 3, "", "**CRITICAL** - x=5\r\n"},
        {true, 2, 0, "", "x=5\r\n"},
        {true, 3, 2, "**ERROR** - x=5\r\n", "[T]::component.cpp[120] **ERROR** - x=5\r\n"},
        {true, 3, 7, "x=5\r\n", "x=5\r\n"},
        {true, 4, 1, "**WARNING** - x=5\r\n", "**WARNING** - x=5\r\n"},
        {true, 4, 3, "**CRITICAL** - x=5\r\n", "**CRITICAL** - x=5\r\n"},
        {true, 5, 1, "", ""},
        {true, -1, 0, "", ""},
        {false, 1, 0, "", ""},
        {false, 2, 2, "", ""},
        {false, 3, 1, "**WARNING** - x=5\r\n", ""},
        {false, 4, 0, "x=5\r\n", ""},
    };
    TestRoot root;
    for (bool verbose : {true, false}) {
        CCmpLog log(verbose ? u"v.log" : u"quiet.log", u"C:\\logs\\");
        log.SetVerbose(verbose);
        ASSERT_EQ(log.Open(), 0);
        for (const Row& r : rows) {
            if (r.verbose != verbose) continue;
            Appended main{root, kMainLog}, v{root, "C/logs/v.log"};
            log.Write(r.type, r.severity, u".\\component.cpp", 120, u"x=%d\r\n", 5);
            EXPECT_EQ(main.get(), r.main) << "type " << r.type << " severity " << r.severity;
            EXPECT_EQ(MaskTimes(v.get()), r.verboseText) << "type " << r.type << " severity " << r.severity;
        }
        EXPECT_EQ(log.Close(), 0);
    }
    EXPECT_FALSE(Exists(root.path("C/logs/quiet.log")));  // verbose off: no verbose file at all
}

TEST(CCmpLog, FrontEndPrefixesAndPercentSigns)
{
    TestRoot root;
    CCmpLog log(u"v.log", nullptr);
    log.SetVerbose(1);
    ASSERT_EQ(log.Open(), 0);
    LogContext context;
    context.Set(&log, u"[Pelar]");

    LogVerbose(&context, u".\\component.cpp", 120, u"x=%d\r\n", 5);
    LogMessage(&context, u"a.cpp", 1, u"100%% done\r\n");
    LogMessage(&context, u"a.cpp", 2, u"%s\r\n", u"100% sure, %d %s %n");
    LogTrace(&context, u"a.cpp", 3, u"never\r\n");
    LogMessageA(&context, "b.cpp", 4, "narrow %s %d%%\r\n", "text", 7);
    LogVerboseA(&context, "C:\\src\\b.cpp", 5, "n=%s\r\n", "abc");
    std::u16string longText(2000, u'x');
    LogMessage(&context, u"a.cpp", 6, u"%s\r\n", longText.c_str());
    log.Close();

    EXPECT_EQ(ReadAll(root.path(kMainLog)),
              "100% done\r\n100% sure, %d %s %n\r\nnarrow text 7%\r\n" + std::string(1021, 'x') + "\r\n");
    EXPECT_EQ(MaskTimes(ReadAll(root.path("C/tvnsystem/log/v.log"))),
              "[T]::component.cpp[120] [Pelar] x=5\r\n[T]::b.cpp[5] [Pelar] n=abc\r\n");
}

TEST(CCmpLog, SessionBannersAndTrailer)
{
    TestRoot root;
    CCmpLog log(u"v.log", nullptr);
    log.SetVerbose(1);
    ASSERT_EQ(log.Open(), 0);
    log.BeginSession();
    log.EndSession(3);
    log.Close();
    const std::string rule(75, '=');
    const std::string trailer = "\r\n\r\nLog Session End. [T]\r\nReturn Code (3)\r\n" + rule + "\r\n\r\n";
    EXPECT_EQ(MaskTimes(ReadAll(root.path(kMainLog))),
              rule + "\r\nSource:          installer_common_tests\r\nVersion:         1.2.3.4\r\n"
                     "Log Date:        D T\r\n\r\nLog Session Start...\r\n\r\n" + trailer);
    EXPECT_EQ(MaskTimes(ReadAll(root.path("C/tvnsystem/log/v.log"))),
              rule + "\r\nSource:          installer_common_tests\r\nVersion:         1.2.3.4\r\n"
                     "Stub Version:    \r\nLog Date:        D T\r\n\r\nVerbose Log Session Start ...\r\n\r\n" + trailer);
}

TEST(CCmpLog, TextGoesOutInTheAnsiCodePage)
{
    struct Case {
        const char* codePage;
        const char16_t* text;
        std::string bytes;
    };
    const Case cases[] = {
        {"", u"Gr\u00f6\u00dfe \u20ac \u30c6", "Gr\xf6\xdf" "e \x80 ?"},  // default 1252: no katakana
        {"AnsiCodePage=932\n", u"\u30c6\u30b9\u30c8 A", "\x83\x65\x83\x58\x83\x67 A"},
        {"AnsiCodePage=65001\n", u"\u00e9", "\xc3\xa9"},
    };
    for (const auto& c : cases) {
        TestRoot root;
        WriteAll(root.path("system.conf"), c.codePage);
        CCmpLog log(nullptr, nullptr);
        ASSERT_EQ(log.Open(), 0);
        log.Write(0, 0, nullptr, 0, u"%s", c.text);
        log.Close();
        EXPECT_EQ(ReadAll(root.path(kMainLog)), c.bytes) << c.codePage;
    }
}

TEST(CCmpLog, OpenCreatesMissingFoldersAndReportsFailures)
{
    TestRoot root;
    {
        CCmpLog log(u"v.log", u"C:\\deep\\er\\logs\\");
        log.SetVerbose(1);
        ASSERT_EQ(log.Open(), 0);
        log.Write(4, 0, nullptr, 0, u"both\r\n");
        log.Close();
    }
    EXPECT_EQ(ReadAll(root.path("C/deep/er/logs/v.log")), "both\r\n");
    EXPECT_EQ(ReadAll(root.path(kMainLog)), "both\r\n");

    // A folder that cannot be created: "C:\blocked" is a file.
    WriteAll(root.path("C/blocked"), "");
    CCmpLog blocked(u"v.log", u"C:\\blocked\\logs\\");
    blocked.SetVerbose(1);
    EXPECT_EQ(blocked.Open(), CCmpLog::kOpenFailed);

    // A folder longer than 260 characters once expanded: no verbose record, the main one works.
    std::u16string longFolder = u"C:\\" + std::u16string(300, u'a') + u"\\";
    CCmpLog tooLong(u"v.log", longFolder.c_str());
    EXPECT_EQ(tooLong.GetErrorCode(), CCmpLog::kPathTooLong);
    EXPECT_EQ(tooLong.GetVerboseLogName(), nullptr);
    tooLong.SetVerbose(1);
    EXPECT_EQ(tooLong.Open(), 0);
    tooLong.Write(4, 0, nullptr, 0, u"main only\r\n");
    tooLong.Close();
    EXPECT_EQ(ReadAll(root.path(kMainLog)), "both\r\nmain only\r\n");
}

TEST(CCmpLog, DestructorClosesTheFiles)
{
    TestRoot root;
    {
        CCmpLog log(u"v.log", nullptr);
        log.SetVerbose(1);
        ASSERT_EQ(log.Open(), 0);
    }
    // Exclusive opens succeed only when no handle of the logger is left open.
    for (const char16_t* path : {u"C:\\tvnsystem\\log\\tvnsetup.log", u"C:\\tvnsystem\\log\\v.log"}) {
        win::HANDLE h = win::CreateFileW(path, win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, win::INVALID_HANDLE_VALUE);
        win::CloseHandle(h);
    }
}

TEST(CCmpLog, RelocateVerboseLog)
{
    struct Case {
        const char* name;
        const char16_t* newName;
        const char16_t* newFolder;
        const char* existingTarget;  // nullptr: nothing at the new path
        bool oldEmpty;
        bool moves;
        std::string targetAfter;
    };
    const Case cases[] = {
        {"same name and folder", u"comp.log", u"C:\\logs\\", nullptr, false, false, ""},
        {"empty name", u"", u"C:\\logs\\", nullptr, false, false, ""},
        {"null name", nullptr, u"C:\\logs\\", nullptr, false, false, ""},
        {"rename", u"host.log", u"C:\\logs\\", nullptr, false, true, "old\r\nafter\r\n"},
        {"rename to another folder", u"host.log", u"C:\\other\\", nullptr, false, true, "old\r\nafter\r\n"},
        {"merge into existing", u"host.log", u"C:\\logs\\", "host\r\n", false, true, "host\r\nold\r\nafter\r\n"},
        {"old log empty", u"host.log", u"C:\\logs\\", "host\r\n", true, false, "host\r\n"},
        {"rename fails: folder missing", u"host.log", u"C:\\missing\\", nullptr, false, false, ""},
    };
    for (const auto& c : cases) {
        TestRoot root;
        std::string folder = c.newFolder && std::u16string(c.newFolder) == u"C:\\other\\" ? "C/other" : "C/logs";
        if (std::string(c.name) == "rename to another folder") WriteAll(root.path("C/other/keep"), "");
        if (c.existingTarget) WriteAll(root.path(folder + "/host.log"), c.existingTarget);
        CCmpLog log(u"comp.log", u"C:\\logs\\");
        log.SetVerbose(1);
        ASSERT_EQ(log.Open(), 0);
        if (!c.oldEmpty) log.Write(2, 0, nullptr, 0, u"old\r\n");
        log.RelocateVerboseLog(c.newName, c.newFolder);
        log.Write(2, 0, nullptr, 0, u"after\r\n");
        log.Close();
        if (c.moves) {
            EXPECT_EQ(std::u16string(log.GetVerboseLogName()), u"host.log") << c.name;
            EXPECT_EQ(std::u16string(log.GetVerboseLogFolder()), std::u16string(c.newFolder)) << c.name;
            EXPECT_FALSE(Exists(root.path("C/logs/comp.log"))) << c.name;
            EXPECT_EQ(ReadAll(root.path(folder + "/host.log")), c.targetAfter) << c.name;
        } else {
            EXPECT_EQ(std::u16string(log.GetVerboseLogName()), u"comp.log") << c.name;
            EXPECT_EQ(ReadAll(root.path("C/logs/comp.log")), c.oldEmpty ? "after\r\n" : "old\r\nafter\r\n") << c.name;
            if (c.existingTarget) {
                EXPECT_EQ(ReadAll(root.path(folder + "/host.log")), c.targetAfter) << c.name;
            }
        }
    }
}

TEST(CCmpLog, TempLogNamesUseFifteenBitNumbers)
{
    unsigned highest = 0;
    for (unsigned seed = 0; seed < 2000; ++seed) highest = std::max(highest, TempLogNumber(seed));
    EXPECT_LE(highest, 0x7FFFu);
    EXPECT_GT(highest, 0x4000u);  // the whole 15-bit range is used, not a smaller cut

    TestRoot root;
    CCmpLog log(nullptr, nullptr);
    ASSERT_NE(log.GetVerboseLogName(), nullptr);
    std::u16string name(log.GetVerboseLogName());
    std::string narrow(name.begin(), name.end());
    ASSERT_GE(narrow.size(), 8u);
    ASSERT_LE(narrow.size(), 11u);
    EXPECT_EQ(narrow.substr(0, 3), "_DZ") << narrow;
    EXPECT_EQ(narrow.substr(narrow.size() - 4), ".TMP") << narrow;
    EXPECT_EQ(narrow.find_first_not_of("0123456789ABCDEF", 3), narrow.size() - 4) << narrow;
    EXPECT_EQ(std::u16string(log.GetVerboseLogFolder()), u"C:\\tvnsystem\\log\\");
}

TEST(CCmpLog, TwoProcessesAppendingLoseNoLine)
{
    TestRoot root;
    constexpr int kLines = 400;
    auto writeLines = [](const char16_t* tag) {
        CCmpLog log(u"v.log", nullptr);
        log.SetVerbose(1);
        if (log.Open() != 0) return false;
        for (int i = 0; i < kLines; ++i) log.Write(4, 2, nullptr, 0, u"%s line %d\r\n", tag, i);
        return log.Close() == 0;
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(writeLines(u"child") ? 0 : 1);
    EXPECT_TRUE(writeLines(u"parent"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    for (const std::string& file : {kMainLog, std::string("C/tvnsystem/log/v.log")}) {
        std::string text = ReadAll(root.path(file));
        std::set<std::string> seen;
        size_t pos = 0, lines = 0;
        while (pos < text.size()) {
            size_t end = text.find("\r\n", pos);
            ASSERT_NE(end, std::string::npos);
            std::string line = text.substr(pos, end - pos);
            const std::string head = "**ERROR** - ";
            EXPECT_EQ(line.substr(0, head.size()), head) << line;
            std::string rest = line.substr(std::min(line.size(), head.size()));
            EXPECT_TRUE(rest.rfind("child line ", 0) == 0 || rest.rfind("parent line ", 0) == 0) << line;
            seen.insert(line);
            ++lines;
            pos = end + 2;
        }
        EXPECT_EQ(lines, size_t(2 * kLines)) << file;
        EXPECT_EQ(seen.size(), size_t(2 * kLines)) << file;
    }
}
