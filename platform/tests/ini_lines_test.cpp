// The INI-file lines of an install section: UpdateInis, UpdateIniFields and Ini2Reg change INI
// files of the system root and move their entries into the registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "ini_lines_support.h"
#include "platform/registry_store.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"

using namespace win;
using namespace ini_lines_test;
namespace fs = std::filesystem;

namespace {

const std::string kTvn = "; settings\r\n[Tvn]\r\nMode=1\r\nSpeed = auto \r\n; kept\r\nmode=2\r\n\r\n[Other]\r\nx=2\r\n";

}  // namespace

TEST(SetupIniLines, UpdateInisAndUpdateIniFieldsChangeOnlyWhatTheyName)
{
    const std::string fields = "[Tvn]\r\nDrivers=a.drv OLD.drv,b.drv ; note\r\n";
    struct Case {
        std::string name;
        std::string directive;
        std::string line;
        std::optional<std::string> before;  // C:\Windows\tvn.ini; none: missing
        std::optional<std::string> after;
    };
    const Case cases[] = {
        // UpdateInis
        {"new entry added at the end of its section", "UpdateInis", "%File%, Tvn, , \"Level=3\"\n", kTvn,
         "; settings\r\n[Tvn]\r\nMode=1\r\nSpeed = auto \r\n; kept\r\nmode=2\r\nLevel=3\r\n\r\n[Other]\r\nx=2\r\n"},
        {"new entry replaces the first of its key", "UpdateInis", "tvn.ini, tvn, , \"MODE=5\"\n", kTvn,
         "; settings\r\n[Tvn]\r\nMODE=5\r\nSpeed = auto \r\n; kept\r\nmode=2\r\n\r\n[Other]\r\nx=2\r\n"},
        {"old key replaced whatever its value", "UpdateInis", "tvn.ini, Tvn, \"speed=slow\", \"Rate=9\"\n", kTvn,
         "; settings\r\n[Tvn]\r\nMode=1\r\nRate=9\r\n; kept\r\nmode=2\r\n\r\n[Other]\r\nx=2\r\n"},
        {"old key missing: nothing", "UpdateInis", "tvn.ini, Tvn, \"Rate=1\", \"Rate=9\"\n", kTvn, kTvn},
        {"flags 1: the value must match too", "UpdateInis", "tvn.ini, Tvn, \"Speed=slow\", \"Rate=9\", 1\n", kTvn,
         kTvn},
        {"flags 1: key and value match", "UpdateInis", "tvn.ini, Tvn, \"Speed=AUTO\", \"Rate=9\", 1\n", kTvn,
         "; settings\r\n[Tvn]\r\nMode=1\r\nRate=9\r\n; kept\r\nmode=2\r\n\r\n[Other]\r\nx=2\r\n"},
        {"no new entry: every entry of the key removed, comments kept", "UpdateInis", "tvn.ini, Tvn, \"Mode\"\n",
         kTvn, "; settings\r\n[Tvn]\r\nSpeed = auto \r\n; kept\r\n\r\n[Other]\r\nx=2\r\n"},
        {"a '*' key removes every entry of the section", "UpdateInis", "tvn.ini, Tvn, \"*=*\"\n", kTvn,
         "; settings\r\n[Tvn]\r\n; kept\r\n\r\n[Other]\r\nx=2\r\n"},
        {"flags 2: the old key renamed, its value kept, the other entry of the new key gone", "UpdateInis",
         "tvn.ini, Tvn, \"Speed=x\", \"Mode=y\", 2\n", kTvn,
         "; settings\r\n[Tvn]\r\nMode=auto\r\n; kept\r\n\r\n[Other]\r\nx=2\r\n"},
        {"flags 3: the old value does not match", "UpdateInis", "tvn.ini, Tvn, \"Speed=x\", \"Mode=y\", 3\n", kTvn,
         kTvn},
        {"a missing section is added at the end, LF lines stay LF", "UpdateInis", "tvn.ini, New, , \"a=b\"\n",
         "[Tvn]\nMode=1", "[Tvn]\nMode=1\n[New]\na=b\n"},
        {"a missing file is made", "UpdateInis", "tvn.ini, Tvn, , \"a=b\"\n", std::nullopt, "[Tvn]\r\na=b\r\n"},
        {"a missing file stays missing when nothing is added", "UpdateInis", "tvn.ini, Tvn, \"a\"\n", std::nullopt,
         std::nullopt},
        {"a removal from a file in a missing folder changes nothing", "UpdateInis",
         "%24%\\None\\tvn.ini, Tvn, \"a\"\n", std::nullopt, std::nullopt},
        {"of two sections of one name the first is changed", "UpdateInis", "tvn.ini, Tvn, , \"a=b\"\n",
         "[Tvn]\r\nx=1\r\n[Tvn]\r\ny=2\r\n", "[Tvn]\r\nx=1\r\na=b\r\n[Tvn]\r\ny=2\r\n"},
        {"a UTF-16 file stays UTF-16", "UpdateInis", "tvn.ini, Tvn, , \"a=b\"\n",
         std::string("\xFF\xFE[\0T\0v\0n\0]\0\r\0\n\0", 16),
         std::string("\xFF\xFE[\0T\0v\0n\0]\0\r\0\n\0a\0=\0b\0\r\0\n\0", 26)},
        // UpdateIniFields
        {"a field replaced; separators made blanks, the comment dropped", "UpdateIniFields",
         "tvn.ini, Tvn, Drivers, old.drv, new.drv\n", fields, "[Tvn]\r\nDrivers=a.drv new.drv b.drv\r\n"},
        {"a field removed", "UpdateIniFields", "tvn.ini, Tvn, drivers, OLD.DRV\n", fields,
         "[Tvn]\r\nDrivers=a.drv b.drv\r\n"},
        {"a field added, flags 2 separating by commas", "UpdateIniFields", "tvn.ini, Tvn, Drivers, , c.drv, 2\n",
         fields, "[Tvn]\r\nDrivers=a.drv,OLD.drv,b.drv,c.drv\r\n"},
        {"flags 1: the old field as a pattern", "UpdateIniFields", "tvn.ini, Tvn, Drivers, o?d*, x.drv, 1\n", fields,
         "[Tvn]\r\nDrivers=a.drv x.drv b.drv\r\n"},
        {"without flags 1 a pattern is text", "UpdateIniFields", "tvn.ini, Tvn, Drivers, o?d*, x.drv\n", fields,
         "[Tvn]\r\nDrivers=a.drv OLD.drv b.drv x.drv\r\n"},
        {"a field already there is not added twice", "UpdateIniFields", "tvn.ini, Tvn, Drivers, , b.drv\n", fields,
         fields},
        {"a missing entry is made for a new field", "UpdateIniFields", "tvn.ini, Tvn, Extra, gone.drv, c.drv\n",
         fields, fields + "Extra=c.drv\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        fs::create_directories(root / "C/Windows");
        if (c.before) Write(root / "C/Windows/tvn.ini", *c.before);
        const Install r = InstallLines(root, c.directive, c.line);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), c.after);
    }
}

TEST(SetupIniLines, FilesNamedByDirectoryIdOrPathAndLinesRunInOrder)
{
    platform::testing::TempSystemRoot root;
    fs::create_directories(root / "C/Windows/system32");
    fs::create_directories(root / "C/Tools");
    Write(root / "C/pkg/ini.inf", "[Version]\nSignature=\"$Windows NT$\"\n"
                                  "[Inst]\nUpdateIniFields=Fields\nUpdateInis=First, Second\n"
                                  "[First]\n%11%\\sys.ini, A, , \"k=1\"\nC:\\Tools\\tool.ini, B, , \"k=2\"\n"
                                  "[Second]\n%11%\\sys.ini, A, \"k\", \"k=3\"\n"
                                  "[Fields]\n%11%\\sys.ini, A, k, , f\n");
    HINF inf = SetupOpenInfFileW(u"C:\\pkg\\ini.inf", nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetupInstallFromInfSectionW(nullptr, inf, u"Inst", SPINST_INIFILES, nullptr, nullptr, 0, nullptr,
                                            nullptr, nullptr, nullptr));
    SetupCloseInfFile(inf);
    // The UpdateInis lines ran first, in order, then the field was added.
    EXPECT_EQ(Read(root / "C/Windows/system32/sys.ini"), "[A]\r\nk=3 f\r\n");
    EXPECT_EQ(Read(root / "C/Tools/tool.ini"), "[B]\r\nk=2\r\n");
}

TEST(SetupIniLines, Ini2RegMovesEntriesIntoTheRegistry)
{
    platform::testing::TempSystemRoot root;
    Write(root / "C/Windows/tvn.ini", kTvn);
    // Every entry of the section, the file left as it is.
    Install r = InstallLines(root, "Ini2Reg", "tvn.ini, Tvn, , HKLM, Software\\Tvn\\All\n");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(RegText(u"Software\\Tvn\\All", u"Speed"), "auto");
    EXPECT_EQ(RegText(u"Software\\Tvn\\All", u"Mode"), "2");  // the later entry last
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), kTvn);
    // One key, removed from the file afterwards (flags 1).
    r = InstallLines(root, "Ini2Reg", "tvn.ini, Tvn, Speed, HKR, Moved, 1\n");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(RegText(u"Moved", u"Speed"), "auto");
    EXPECT_FALSE(RegText(u"Moved", u"Mode"));
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), "; settings\r\n[Tvn]\r\nMode=1\r\n; kept\r\nmode=2\r\n\r\n[Other]\r\nx=2\r\n");
    // Not asked for: nothing moves.
    r = InstallLines(root, "Ini2Reg", "tvn.ini, Tvn, Mode, HKLM, Software\\Tvn\\Not\n", SPINST_INIFILES | SPINST_REGISTRY);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(platform::registry::key_exists("Software\\Tvn\\Not"));
}

TEST(SetupIniLines, Ini2RegFlagsSayWhetherAnExistingSubKeyTakesTheValuesAndWhetherEntriesLeave)
{
    const std::string removed = "; settings\r\n[Tvn]\r\n; kept\r\n\r\n[Other]\r\nx=2\r\n";
    struct Case {
        std::string name;
        bool existing;  // the sub-key holds Mode=old and Keep=k before
        std::string flags;
        std::optional<std::string> mode, speed;
        std::string ini_after;
    };
    const Case cases[] = {
        {"no flags, a new sub-key: the values move, the file stays", false, "", "2", "auto", kTvn},
        {"bit 1 clear: an existing sub-key keeps what it holds", true, "0", "old", std::nullopt, kTvn},
        {"bit 0 alone, existing sub-key: nothing moved, so nothing leaves the file", true, "1", "old", std::nullopt,
         kTvn},
        {"bit 0, a new sub-key: the values move and leave the file", false, "1", "2", "auto", removed},
        {"bit 1: the existing sub-key's values are replaced", true, "2", "2", "auto", kTvn},
        {"bits 0 and 1: replaced, and the entries leave the file", true, "3", "2", "auto", removed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        Write(root / "C/Windows/tvn.ini", kTvn);
        if (c.existing) {
            HKEY k = nullptr;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tvn\\K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                      nullptr),
                      ERROR_SUCCESS);
            for (const char16_t* v : {u"Mode", u"Keep"}) {
                const std::u16string data = v[0] == u'M' ? u"old" : u"k";
                RegSetValueExW(k, v, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), DWORD(data.size() + 1) * 2);
            }
            RegCloseKey(k);
        }
        const Install r = InstallLines(root, "Ini2Reg", "tvn.ini, Tvn, , HKLM, Software\\Tvn\\K, " + c.flags + "\n");
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(RegText(u"Software\\Tvn\\K", u"Mode"), c.mode);
        EXPECT_EQ(RegText(u"Software\\Tvn\\K", u"Speed"), c.speed);
        EXPECT_EQ(RegText(u"Software\\Tvn\\K", u"Keep"), c.existing ? std::optional<std::string>("k") : std::nullopt);
        EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), c.ini_after);
    }
}

TEST(SetupIniLines, LinesThatCannotRunFailTheInstallAndChangeNothing)
{
    struct Case {
        std::string name;
        std::string directive;
        std::string line;
        DWORD error;
    };
    const Case cases[] = {
        {"no section", "UpdateInis", "tvn.ini\n", ERROR_INVALID_DATA},
        {"flags that are no number", "UpdateInis", "tvn.ini, Tvn, , \"a=b\", x\n", ERROR_INVALID_DATA},
        {"a rename without its new entry", "UpdateInis", "tvn.ini, Tvn, \"Mode\", , 2\n", ERROR_INVALID_DATA},
        {"an unknown directory id", "UpdateInis", "%99%\\tvn.ini, Tvn, , \"a=b\"\n", ERROR_INVALID_DATA},
        {"a folder that does not exist", "UpdateInis", "%24%\\None\\tvn.ini, Tvn, , \"a=b\"\n", ERROR_PATH_NOT_FOUND},
        {"a field line without its entry key", "UpdateIniFields", "tvn.ini, Tvn\n", ERROR_INVALID_DATA},
        {"an unknown registry root", "Ini2Reg", "tvn.ini, Tvn, , HKXX, Software\\Tvn\n", ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        Write(root / "C/Windows/tvn.ini", kTvn);
        const Install r = InstallLines(root, c.directive, c.line);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), kTvn);
    }

    platform::testing::TempSystemRoot root;
    Write(root / "C/Windows/tvn.ini", kTvn);
    // A file in use by a handle that does not share writing.
    HANDLE held = CreateFileW(u"C:\\Windows\\tvn.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Install r = InstallLines(root, "UpdateInis", "tvn.ini, Tvn, , \"a=b\"\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ERROR_SHARING_VIOLATION);
    CloseHandle(held);
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), kTvn);
    // Work this machine does not do is refused before any line runs.
    Write(root / "C/pkg/ini.inf", "[Version]\nSignature=\"$Windows NT$\"\n"
                                  "[Inst]\nUpdateInis=Lines\nBitReg=Item\n[Lines]\ntvn.ini, Tvn, , \"a=b\"\n");
    HINF inf = SetupOpenInfFileW(u"C:\\pkg\\ini.inf", nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SetupInstallFromInfSectionW(nullptr, inf, u"Inst", SPINST_INIFILES | SPINST_BITREG, nullptr,
                                             nullptr, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    SetupCloseInfFile(inf);
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), kTvn);
}
