// The operating-system facts, the file search and the shell's open over a system root.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_find.h"
#include "platform/win_fs.h"
#include "platform/win_osinfo.h"
#include "platform/win_shell.h"

using namespace win;

namespace {

struct Machine : platform::testing::TempSystemRoot {
    void Conf(const std::string& text) const { std::ofstream(*this / "system.conf") << text; }
    void File(const std::string& relative, const std::string& text = "") const
    {
        std::filesystem::create_directories(std::filesystem::path(*this / relative).parent_path());
        std::ofstream(*this / relative) << text;
    }
};

intptr_t Code(HINSTANCE h) { return reinterpret_cast<intptr_t>(h); }

}  // namespace

TEST(OsInfo, VersionProductTypeAndMetricsComeFromTheMachine)
{
    Machine m;
    DWORD type = 0;
    EXPECT_TRUE(GetProductInfo(10, 0, 0, 0, &type));
    EXPECT_EQ(type, 7u);  // a standard server unless the machine says otherwise
    EXPECT_EQ(GetSystemMetrics(SM_SERVERR2), 0);
    m.Conf("OsMajorVersion=5\nOsMinorVersion=2\nOsBuildNumber=3790\nProductType=8\nSystemMetric89=1\n");
    EXPECT_EQ(GetVersion(), 5u | 2u << 8 | 3790u << 16);
    DWORD major = 0, minor = 0, build = 0;
    RtlGetNtVersionNumbers(&major, &minor, &build);
    EXPECT_EQ(major, 5u);
    EXPECT_EQ(minor, 2u);
    EXPECT_EQ(build, 3790u);
    EXPECT_TRUE(GetProductInfo(5, 2, 0, 0, &type));
    EXPECT_EQ(type, 8u);
    EXPECT_EQ(GetSystemMetrics(SM_SERVERR2), 1);
    EXPECT_FALSE(GetProductInfo(5, 2, 0, 0, nullptr));
}

TEST(OsInfo, TheMachinesFreeDiskSpaceMayBeSetBeyondThirtyTwoBits)
{
    Machine m;
    std::filesystem::create_directories(m / "C");
    m.Conf("FreeDiskBytes=3298534883328\n");
    ULARGE_INTEGER free{}, total{}, totalFree{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"C:\\", &free, &total, &totalFree));
    EXPECT_EQ(free.QuadPart, 3298534883328ull);
    EXPECT_EQ(totalFree.QuadPart, 3298534883328ull);
    EXPECT_GE(total.QuadPart, 3298534883328ull);
}

TEST(FindFile, PatternsMatchWithoutCaseInNameOrder)
{
    Machine m;
    m.File("C/Windows/system32/drivers/b.SYS");
    m.File("C/Windows/system32/drivers/a.sys");
    m.File("C/Windows/system32/drivers/c.txt");
    WIN32_FIND_DATAW data{};
    HANDLE h = FindFirstFileW(u"C:\\Windows\\system32\\drivers\\*.sys", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"a.sys");
    EXPECT_TRUE(FindNextFileW(h, &data));
    EXPECT_EQ(std::u16string(data.cFileName), u"b.SYS");
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));

    h = FindFirstFileW(u"C:\\WINDOWS\\System32\\Drivers\\A.SYS", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    EXPECT_EQ(FindFirstFileW(u"C:\\Windows\\system32\\drivers\\x.sys", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileW(u"C:\\Windows\\nothing\\x.sys", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(ShellOpen, ResultsAndTheProgramStartsInItsFolder)
{
    Machine m;
    m.File("C/app/run.sh", "#!/bin/sh\npwd > started.txt\n");
    std::filesystem::permissions(m / "C/app/run.sh", std::filesystem::perms::owner_all);
    m.File("C/app/readme.txt", "text");
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"open", u"missing.exe", nullptr, u"C:\\app", SW_HIDE)), SE_ERR_FNF);
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"open", u"C:\\none\\x.exe", nullptr, nullptr, SW_HIDE)), SE_ERR_PNF);
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"open", u"readme.txt", nullptr, u"C:\\app", SW_HIDE)), SE_ERR_NOASSOC);
    EXPECT_EQ(Code(ShellExecuteW(nullptr, u"print", u"run.sh", nullptr, u"C:\\app", SW_HIDE)), SE_ERR_NOASSOC);
    EXPECT_GT(Code(ShellExecuteW(nullptr, u"open", u"run.sh", nullptr, u"C:\\app", SW_HIDE)), 32);
    // The shell does not wait for the program.
    std::string started = m / "C/app/started.txt";
    auto written = [&] { return std::filesystem::exists(started) && std::filesystem::file_size(started) > 0; };
    for (int i = 0; i < 500 && !written(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(started);
    std::string folder;
    std::getline(in, folder);
    EXPECT_EQ(std::filesystem::canonical(folder), std::filesystem::canonical(m / "C/app"));
}
