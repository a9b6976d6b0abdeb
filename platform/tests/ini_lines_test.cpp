// The INI-file lines of an install section: UpdateInis, UpdateIniFields and Ini2Reg change INI
// files of the system root and move their entries into the registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/registry_store.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "platform/win_registry.h"
#include "platform/win_setupapi_install.h"

using namespace win;
namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::optional<std::string> Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A text value of a key of HKEY_LOCAL_MACHINE.
std::optional<std::string> RegText(const char16_t* key, const char16_t* name)
{
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k)) return std::nullopt;
    char16_t value[256] = {};
    DWORD size = sizeof value - 2, type = 0;
    const LSTATUS e = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    if (e || type != REG_SZ) return std::nullopt;
    return platform::to_utf8(value);
}

// Runs the section [Inst] of an INF whose list section holds `lines` under `directive`.
struct Install {
    BOOL ok;
    DWORD error;
};
Install InstallLines(const platform::testing::TempSystemRoot& root, const std::string& directive, const std::string& lines,
            UINT flags = SPINST_INIFILES | SPINST_INI2REG | SPINST_REGISTRY)
{
    Write(root / "C/pkg/ini.inf", "[Version]\nSignature=\"$Windows NT$\"\n[Inst]\n" + directive +
                                      "=Ini.Lines\n[Ini.Lines]\n" + lines + "[Strings]\nFile=tvn.ini\n");
    HINF inf = SetupOpenInfFileW(u"C:\\pkg\\ini.inf", nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) return {FALSE, GetLastError()};
    SetLastError(0);
    const BOOL ok =
        SetupInstallFromInfSectionW(nullptr, inf, u"Inst", flags, HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, nullptr,
                                    nullptr, nullptr);
    const DWORD error = GetLastError();
    SetupCloseInfFile(inf);
    return {ok, ok ? 0 : error};
}

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
