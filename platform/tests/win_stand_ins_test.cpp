#include <fstream>
#include <iterator>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msvc_format.h"
#include "platform/restart.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_env.h"
#include "platform/win_error.h"
#include "platform/win_file.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"
#include "platform/win_time.h"

using namespace win;

namespace {

// A system root with a drive C: holding "C:\d\f.txt".
struct Machine : platform::testing::TempSystemRoot {
    Machine()
    {
        std::filesystem::create_directories(*this / "C/d");
        FILE* f = std::fopen((*this / "C/d/f.txt").c_str(), "w");
        std::fputs("data", f);
        std::fclose(f);
    }
};

HANDLE Open(const char16_t* path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING)
{
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(WinFiles, OpenErrorsCarryTheWindowsCodes)
{
    Machine m;
    struct Case {
        const char16_t* path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    };
    const Case cases[] = {
        {u"C:\\d\\missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {u"C:\\nofolder\\x.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"C:\\nofolder\\x.txt", GENERIC_WRITE, CREATE_NEW, ERROR_PATH_NOT_FOUND},
        {u"C:\\d", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"C:\\d\\f.txt", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        {u"\\\\server\\share\\x.txt", GENERIC_READ, OPEN_EXISTING, ERROR_BAD_NETPATH},
        {u"C:\\d\\f.txt", GENERIC_READ, 9, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(Open(c.path, c.access, FILE_SHARE_READ, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error) << platform::to_utf8(c.path);
    }
    HANDLE h = Open(u"C:\\D\\F.TXT", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);  // opened, and it was there already
    EXPECT_EQ(GetFileSize(h, nullptr), 4u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));  // a closed handle stays invalid
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(WinFiles, SharingModesHoldAcrossProcesses)
{
    Machine m;
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    };
    const Case cases[] = {
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},            // first denies writing
        {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_READ, true},  // the first only reads
        {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ, FILE_SHARE_READ, false},  // second would deny the first's writing
        {GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ | FILE_APPEND_DATA,
         FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},        // exclusive
        {0, 0, GENERIC_READ, 0, true},                                                     // attributes only
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        HANDLE first = Open(u"C:\\d\\f.txt", c.firstAccess, c.firstShare);
        ASSERT_NE(first, INVALID_HANDLE_VALUE) << i;
        // The second open comes from another process.
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HANDLE second = Open(u"C:\\d\\f.txt", c.secondAccess, c.secondShare);
            _exit(second != INVALID_HANDLE_VALUE ? 0 : GetLastError() == ERROR_SHARING_VIOLATION ? 32 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.secondOpens ? 0 : 32) << "case " << i;
        CloseHandle(first);
    }
    // Once the holder closes, the file opens again.
    HANDLE excl = Open(u"C:\\d\\f.txt", GENERIC_READ, 0);
    ASSERT_NE(excl, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(u"C:\\d\\f.txt", GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(excl);
    HANDLE again = Open(u"C:\\d\\f.txt", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(WinFiles, CreateAlwaysDoesNotTruncateAFileItMayNotOpen)
{
    Machine m;
    HANDLE reader = Open(u"C:\\d\\f.txt", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(u"C:\\d\\f.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(GetFileSize(reader, nullptr), 4u);
    CloseHandle(reader);
}

TEST(WinFiles, PathOperations)
{
    Machine m;
    EXPECT_EQ(GetFileAttributesW(u"C:\\d"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(u"c:\\D\\f.TXT"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(u"C:\\d\\none"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_FALSE(CreateDirectoryW(u"C:\\d", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryW(u"C:\\x\\y", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectoryW(u"C:\\x", nullptr));

    EXPECT_TRUE(MoveFileW(u"C:\\d\\f.txt", u"C:\\x\\g.txt"));
    EXPECT_FALSE(MoveFileW(u"C:\\d\\f.txt", u"C:\\x\\h.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE h = Open(u"C:\\d\\new.txt", GENERIC_WRITE, 0, CREATE_NEW);
    CloseHandle(h);
    EXPECT_FALSE(MoveFileW(u"C:\\d\\new.txt", u"C:\\x\\g.txt"));  // never replaces
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    EXPECT_FALSE(DeleteFileW(u"C:\\x"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileW(u"C:\\x\\g.txt"));
    EXPECT_FALSE(DeleteFileW(u"C:\\x\\g.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    char16_t name[MAX_PATH];
    EXPECT_EQ(GetTempFileNameW(u"C:\\d", u"_DZXY", 0x12ABC, name), 0x2ABCu);
    EXPECT_EQ(std::u16string(name), u"C:\\d\\_DZ2ABC.TMP");
    EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);  // a given number creates nothing
    UINT picked = GetTempFileNameW(u"C:\\d", u"_DZ", 0, name);
    EXPECT_NE(picked, 0u);
    EXPECT_EQ(GetFileAttributesW(name), FILE_ATTRIBUTE_NORMAL);  // 0: a free number, file created
}

TEST(WinEnvironment, ExpandsNamesIgnoringCaseWithMachineDefaults)
{
    setenv("FwTestVar", "val", 1);
    unsetenv("SystemDrive");
    struct Case {
        const char16_t* text;
        const char16_t* expanded;
    };
    const Case cases[] = {
        {u"%systemdrive%\\tvnsystem\\log\\", u"C:\\tvnsystem\\log\\"},
        {u"%FWTESTVAR%-%fwtestvar%", u"val-val"},
        {u"%nosuchvar%\\x", u"%nosuchvar%\\x"},
        {u"50% and %windir%", u"50% and %windir%"},  // "% and %" is no known name
        {u"%windir%\\x", u"C:\\Windows\\x"},
        {u"no refs", u"no refs"},
    };
    for (const auto& c : cases) {
        char16_t out[128];
        DWORD needed = ExpandEnvironmentStringsW(c.text, out, 128);
        EXPECT_EQ(std::u16string(out), c.expanded) << platform::to_utf8(c.text);
        EXPECT_EQ(needed, std::u16string(c.expanded).size() + 1);
    }
    char16_t small[4] = u"abc";
    EXPECT_EQ(ExpandEnvironmentStringsW(u"%windir%", small, 4), 11u);  // too small: nothing written
    EXPECT_EQ(std::u16string(small), u"abc");
    unsetenv("FwTestVar");
}

TEST(MsvcFormat, ConversionsFollowTheSystemsConventions)
{
    EXPECT_EQ(platform::format_msvc(u"%s|%S|%hs|%ls|%c|%C", u"wide", "narrow", "h", u"l", u'\u00e9', 'n'),
              u"wide|narrow|h|l|\u00e9|n");
    EXPECT_EQ(platform::format_msvc("%s|%S|%ws", "narrow", u"wide", u"w"), "narrow|wide|w");
    EXPECT_EQ(platform::format_msvc(u"%5s|%-5s|%.2s|%*d|%-*d|", u"ab", u"ab", u"abcd", 4, 7, 3, 8),
              u"   ab|ab   |ab|   7|8  |");
    EXPECT_EQ(platform::format_msvc(u"%d %u %x %X %08lX %I64d %lld %zu", -5, 5u, 255u, 255u, 0xBEEFu,
                                    (long long)-1234567890123LL, 7LL, size_t(9)),
              u"-5 5 ff FF 0000BEEF -1234567890123 7 9");
    EXPECT_EQ(platform::format_msvc(u"%.3f|%e|%%|%q|%", 1.5, 100.0), u"1.500|1.000000e+02|%|%q|%");
    EXPECT_EQ(platform::format_msvc(u"%s|%hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)),
              u"(null)|(null)");
    int ignored = 0;
    EXPECT_EQ(platform::format_msvc(u"a%nb%d", &ignored, 3), u"ab3");  // %n writes nothing
    EXPECT_EQ(ignored, 0);
    // A surrogate pair is never cut by a precision.
    EXPECT_EQ(platform::format_msvc(u"%.1s|%.2s", u"\U0001F600x", u"\U0001F600x"), u"|\U0001F600");
    // Widths are bounded.
    EXPECT_EQ(platform::format_msvc(u"%999999999d", 1).size(), 65535u);
}

TEST(WinTime, FixedUsFormats)
{
    SYSTEMTIME t{2024, 3, 5, 8, 15, 4, 9, 0};  // Friday 8 March 2024, 15:04:09
    struct Case {
        bool date;
        DWORD flags;
        const char16_t* text;
    };
    const Case cases[] = {
        {true, DATE_SHORTDATE, u"3/8/2024"},
        {true, DATE_LONGDATE, u"Friday, March 8, 2024"},
        {false, 0, u"3:04:09 PM"},
        {false, TIME_NOSECONDS, u"3:04 PM"},
        {false, TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER, u"15:04:09"},
        {false, TIME_NOSECONDS | TIME_NOTIMEMARKER, u"3:04"},
    };
    for (const auto& c : cases) {
        char16_t out[64];
        int n = c.date ? GetDateFormatW(LOCALE_SYSTEM_DEFAULT, c.flags, &t, nullptr, out, 64)
                       : GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, c.flags, &t, nullptr, out, 64);
        EXPECT_EQ(std::u16string(out), c.text);
        EXPECT_EQ(n, int(std::u16string(c.text).size() + 1));
    }
    char16_t tiny[4];
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, tiny, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    // 2024-03-08 15:04:09 UTC as a file time, shown in a fixed time zone two hours east.
    FILETIME utc = platform::filetime_from_u64((1709910249ULL + 11644473600ULL) * 10000000ULL);
    setenv("TZ", "XST-2", 1);
    tzset();
    FILETIME local;
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    EXPECT_EQ(st.wHour, 17);
    EXPECT_EQ(st.wMinute, 4);
    EXPECT_EQ(st.wDay, 8);
    EXPECT_EQ(st.wDayOfWeek, 5);
    unsetenv("TZ");
    tzset();
}

namespace {
std::string Text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(WinFiles, CopyFileKeepsTheSharingRules)
{
    Machine m;
    struct Case {
        const char16_t* from;
        const char16_t* to;
        BOOL fail_if_exists;
        DWORD error;  // 0: copied
    };
    const Case cases[] = {
        {u"C:\\d\\f.txt", u"C:\\d\\g.txt", TRUE, 0},
        {u"C:\\d\\f.txt", u"C:\\d\\g.txt", TRUE, ERROR_FILE_EXISTS},
        {u"C:\\d\\f.txt", u"C:\\d\\g.txt", FALSE, 0},
        {u"C:\\d\\none.txt", u"C:\\d\\h.txt", FALSE, ERROR_FILE_NOT_FOUND},
        {u"C:\\d\\f.txt", u"C:\\none\\h.txt", FALSE, ERROR_PATH_NOT_FOUND},
        {u"C:\\d", u"C:\\d\\h.txt", FALSE, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CopyFileW(c.from, c.to, c.fail_if_exists), c.error == 0) << platform::to_utf8(c.to);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error) << platform::to_utf8(c.to);
        }
    }
    EXPECT_EQ(Text(m / "C/d/g.txt"), "data");
    EXPECT_FALSE(std::filesystem::exists(m / "C/d/h.txt"));

    // A target held open without write sharing (a driver in use) cannot be copied over, nor is it
    // truncated; a source open for writing cannot be copied either.
    std::ofstream(m / "C/d/g.txt") << "old";
    HANDLE busy = Open(u"C:\\d\\g.txt", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CopyFileW(u"C:\\d\\f.txt", u"C:\\d\\g.txt", FALSE));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Text(m / "C/d/g.txt"), "old");
    HANDLE writer = Open(u"C:\\d\\f.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_FALSE(CopyFileW(u"C:\\d\\f.txt", u"C:\\d\\k.txt", FALSE));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(writer);
    CloseHandle(busy);
    EXPECT_TRUE(CopyFileW(u"C:\\d\\f.txt", u"C:\\d\\g.txt", FALSE));
    EXPECT_EQ(Text(m / "C/d/g.txt"), "data");

    EXPECT_TRUE(SetFileAttributesW(u"C:\\d\\g.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(std::filesystem::status(m / "C/d/g.txt").permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
    EXPECT_TRUE(SetFileAttributesW(u"C:\\d\\g.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(std::filesystem::status(m / "C/d/g.txt").permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
    EXPECT_FALSE(SetFileAttributesW(u"C:\\d\\none", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(WinFiles, OperationsDelayedUntilTheRestart)
{
    Machine m;
    std::ofstream(m / "C/d/drv.sys") << "old driver";
    std::ofstream(m / "C/d/new.tmp") << "new driver";
    std::ofstream(m / "C/d/gone.sys") << "x";
    std::ofstream(m / "C/d/keep.sys") << "kept";
    std::ofstream(m / "C/d/other.tmp") << "other";

    EXPECT_TRUE(MoveFileExW(u"C:\\d\\new.tmp", u"C:\\d\\drv.sys", MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(MoveFileExW(u"C:\\d\\gone.sys", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(MoveFileExW(u"C:\\d\\other.tmp", u"C:\\d\\keep.sys", MOVEFILE_DELAY_UNTIL_REBOOT));  // no replace
    EXPECT_FALSE(MoveFileExW(u"C:\\d\\f.txt", nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // Nothing happens before the restart.
    EXPECT_EQ(Text(m / "C/d/drv.sys"), "old driver");
    EXPECT_TRUE(std::filesystem::exists(m / "C/d/gone.sys"));

    EXPECT_EQ(platform::restart_machine(), 1);  // keep.sys exists and may not be replaced
    EXPECT_EQ(Text(m / "C/d/drv.sys"), "new driver");
    EXPECT_FALSE(std::filesystem::exists(m / "C/d/new.tmp"));
    EXPECT_FALSE(std::filesystem::exists(m / "C/d/gone.sys"));
    EXPECT_EQ(Text(m / "C/d/keep.sys"), "kept");
    EXPECT_EQ(platform::restart_machine(), 0);  // the list is done
    EXPECT_TRUE(std::filesystem::exists(m / "C/d/other.tmp"));

    // A file held open without delete sharing can be neither deleted nor moved now; with delete
    // sharing it can.
    HANDLE held = Open(u"C:\\d\\drv.sys", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_FALSE(DeleteFileW(u"C:\\d\\drv.sys"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(MoveFileW(u"C:\\d\\drv.sys", u"C:\\d\\moved.sys"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(MoveFileExW(u"C:\\d\\keep.sys", u"C:\\d\\drv.sys", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(held);
    held = Open(u"C:\\d\\drv.sys", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_TRUE(MoveFileW(u"C:\\d\\drv.sys", u"C:\\d\\moved.sys"));
    EXPECT_TRUE(DeleteFileW(u"C:\\d\\moved.sys"));
    CloseHandle(held);

    // A FIFO is deleted without waiting for a writer.
    ASSERT_EQ(mkfifo((m / "C/d/pipe").c_str(), 0600), 0);
    EXPECT_TRUE(DeleteFileW(u"C:\\d\\pipe"));

    // Without the delay the move happens now, replacing only when asked to.
    EXPECT_FALSE(MoveFileExW(u"C:\\d\\other.tmp", u"C:\\d\\keep.sys", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExW(u"C:\\d\\other.tmp", u"C:\\d\\keep.sys", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Text(m / "C/d/keep.sys"), "other");
}
