#include "platform/win_process.h"

#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_handle.h"
#include "platform/testing/bin_dir.h"

namespace fs = std::filesystem;
using platform::testing::TempDir;

namespace {

// The child program copied into a fresh folder as "Child.EXE", which becomes the current folder.
class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(platform::testing::bin_dir() + "/platform_process_child", dir / "Child.EXE");
        old = fs::current_path();
        fs::current_path(dir.path());
    }
    void TearDown() override { fs::current_path(old); }

    // Starts `line` and waits for its end; the exit code, or nothing when it could not start.
    std::optional<win::DWORD> Run(std::u16string line, win::DWORD flags = 0, const char16_t* title = nullptr)
    {
        win::STARTUPINFOW si{sizeof(win::STARTUPINFOW), title};
        win::PROCESS_INFORMATION pi{};
        if (!win::CreateProcessW(nullptr, line.data(), nullptr, nullptr, win::TRUE, flags, nullptr, nullptr, &si, &pi))
            return std::nullopt;
        EXPECT_EQ(win::WaitForSingleObject(pi.hProcess, win::INFINITE), win::WAIT_OBJECT_0);
        win::DWORD code = 0;
        EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
        win::CloseHandle(pi.hProcess);
        win::CloseHandle(pi.hThread);
        return code;
    }

    std::string Slurp(const std::string& name)
    {
        std::ifstream in(dir / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TempDir dir;
    fs::path old;
};

}  // namespace

TEST_F(ProcessTest, ExitCodesTravelInFull)
{
    struct Case {
        const char16_t* line;
        win::DWORD code;
    };
    const Case cases[] = {
        {u"child.exe exit 0", 0},
        {u"child.exe exit 3", 3},
        {u"child.exe exit 1026", 1026},          // does not fit an 8-bit status
        {u"child.exe exit 256", 256},            // whose low byte reads as success
        {u"child.exe exit -1", 0xFFFFFFFF},
        {u"child.exe exit -2147483648", 0x80000000},
        {u"child.exe status 7", 7},              // a program that never calls ExitProcess
        {u"child.exe signal", 128 + 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::to_utf8(c.line));
        EXPECT_EQ(Run(c.line), c.code);
    }
}

TEST_F(ProcessTest, TheChildGetsTheWordsTitleAndNoOtherDescriptors)
{
    int leaked = open("/dev/null", O_RDONLY);  // not close-on-exec: must still stay behind
    ASSERT_GE(leaked, 0);
    EXPECT_EQ(Run(u"CHILD.exe report out.txt  \"two words\" say\\\"hi\\\" C:\\x\\ ", win::DETACHED_PROCESS,
                  u"ZKE Utility for Windows"),
              0u);
    close(leaked);
    std::string report = Slurp("out.txt");
    EXPECT_NE(report.find("arg=CHILD.exe\narg=report\narg=out.txt\narg=two words\narg=say\"hi\"\narg=C:\\x\\\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("cwd=" + dir.path() + "\n"), std::string::npos);
    EXPECT_NE(report.find("title=ZKE Utility for Windows\n"), std::string::npos);
    // The child's own command line is the one it was started with, double and trailing blanks kept.
    EXPECT_NE(report.find("line=CHILD.exe report out.txt  \"two words\" say\\\"hi\\\" C:\\x\\ |\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("stdout_tty_or_file=other\n"), std::string::npos);
    // Standard streams and the exit-code pipe, nothing else.
    EXPECT_NE(report.find("fd=0\nfd=1\nfd=2\nfd=3\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("fd=4"), std::string::npos) << report;
}

TEST_F(ProcessTest, AProgramThatIsNotThereDoesNotStart)
{
    win::SetLastError(0);
    EXPECT_EQ(Run(u"nothere.exe /d x.xml"), std::nullopt);
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Run(u"   "), std::nullopt);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, ARunningProcessIsStillActiveUntilItEnds)
{
    std::u16string line = u"child.exe sleep 3000";
    win::STARTUPINFOW si{sizeof(win::STARTUPINFOW), nullptr};
    win::PROCESS_INFORMATION pi{};
    ASSERT_TRUE(win::CreateProcessW(nullptr, line.data(), nullptr, nullptr, 1, 0, nullptr, nullptr, &si, &pi));
    win::DWORD code = 0;
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, win::STILL_ACTIVE);
    EXPECT_EQ(win::WaitForSingleObject(pi.hProcess, 0), win::WAIT_TIMEOUT);
    EXPECT_EQ(win::WaitForSingleObject(pi.hProcess, win::INFINITE), win::WAIT_OBJECT_0);
    EXPECT_TRUE(win::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(win::CloseHandle(pi.hProcess));
    EXPECT_EQ(win::WaitForSingleObject(pi.hProcess, 0), win::WAIT_FAILED);
}

TEST(CommandLine, SplitFollowsTheSystemsQuotingAndJoinGivesTheWordsBack)
{
    struct Case {
        std::u16string line;
        std::vector<std::u16string> words;
    };
    const std::vector<Case> cases = {
        {u"a  b\tc ", {u"a", u"b", u"c"}},
        {u"\"a b\" c", {u"a b", u"c"}},
        {u"a\\\\\"b c\"", {u"a\\b c"}},           // 2n backslashes before a quote: n, and the quote groups
        {u"a\\\"b", {u"a\"b"}},                   // 2n+1: n and a literal quote
        {u"C:\\x\\y z", {u"C:\\x\\y", u"z"}},     // backslashes elsewhere stay
        {u"\"\" x", {u"", u"x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::to_utf8(c.line));
        EXPECT_EQ(platform::split_command_line(c.line), c.words);
        EXPECT_EQ(platform::split_command_line(platform::join_command_line(c.words)), c.words);
    }
}

TEST(CommandLine, TheOwnLineStartsWithTheProgramAndIsTheSameEachTime)
{
    const char16_t* line = win::GetCommandLineW();
    auto words = platform::split_command_line(line);
    ASSERT_FALSE(words.empty());
    EXPECT_NE(platform::to_utf8(words[0]).find("platform_process_tests"), std::string::npos);
    EXPECT_EQ(win::GetCommandLineW(), line);
}
