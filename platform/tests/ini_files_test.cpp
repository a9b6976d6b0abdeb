// INI files as the section install and the profile calls find, read and write them: their
// encodings kept byte for byte, names compared without case beyond ASCII, paths and links that
// stay on the machine, FIFOs refused without waiting, and a failed write that leaves the file.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "ini_lines_support.h"
#include "platform/win_setupapi_inf.h"

using namespace win;
using namespace ini_lines_test;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// The bytes of a UTF-16LE file with its byte-order mark.
std::string Utf16File(std::u16string_view text)
{
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

}  // namespace

TEST(IniFiles, EachFileKeepsItsEncodingAndTakesNewTextOnlyWhenItCanHoldIt)
{
    const std::string utf16_torn = Utf16File(u"[Tvn]\r\nA=1\r\n") + "\x41";
    struct Case {
        std::string name;
        std::string conf;  // system.conf
        std::string directive, lines;  // the INF is UTF-8 text
        std::string before, after;     // after == before: unchanged
        DWORD error = ERROR_SUCCESS;
    };
    const Case cases[] = {
        {"an 8-bit byte of a line no change touches stays", "", "UpdateInis", "tvn.ini, Tvn, , \"Level=3\"\n",
         "[Tvn]\r\nName=Caf\xE9\r\n", "[Tvn]\r\nName=Caf\xE9\r\nLevel=3\r\n"},
        {"new text goes in as Windows-1252", "", "UpdateInis", "tvn.ini, Tvn, , \"Owner=Zo\xC3\xAB\"\n", "[Tvn]\r\n",
         "[Tvn]\r\nOwner=Zo\xEB\r\n"},
        {"a character Windows-1252 lacks is refused, not mangled", "", "UpdateInis",
         "tvn.ini, Tvn, , \"Owner=\xD1\x84\"\n", "[Tvn]\r\nName=Caf\xE9\r\n", "[Tvn]\r\nName=Caf\xE9\r\n",
         ERROR_NO_UNICODE_TRANSLATION},
        {"the machine's own code page holds it", "AnsiCodePage=1251\n", "UpdateInis",
         "tvn.ini, Tvn, , \"Owner=\xD1\x84\"\n", "[Tvn]\r\n", "[Tvn]\r\nOwner=\xF4\r\n"},
        {"a code page the machine does not know keeps every byte", "AnsiCodePage=12345\n", "UpdateInis",
         "tvn.ini, Tvn, , \"Level=3\"\n", "[Tvn]\r\nName=Caf\xE9\r\n", "[Tvn]\r\nName=Caf\xE9\r\nLevel=3\r\n"},
        {"and takes no 8-bit text", "AnsiCodePage=12345\n", "UpdateInis", "tvn.ini, Tvn, , \"Owner=Zo\xC3\xAB\"\n",
         "[Tvn]\r\n", "[Tvn]\r\n", ERROR_NO_UNICODE_TRANSLATION},
        {"a byte the code page does not define stays in a line that is rebuilt", "", "UpdateIniFields",
         "tvn.ini, Tvn, Drivers, old.drv, new.drv\n", "[Tvn]\r\nDrivers=a\x81.drv old.drv\r\n",
         "[Tvn]\r\nDrivers=a\x81.drv new.drv\r\n"},
        {"section and key names match without case beyond ASCII", "", "UpdateInis",
         "tvn.ini, CAF\xC3\x89, \"\xC3\xA9tat\", \"\xC3\x89TAT=2\"\n", "[Caf\xE9]\r\n\xC9tat=1\r\n",
         "[Caf\xE9]\r\n\xC9TAT=2\r\n"},
        {"a header followed by a comment is a header", "", "UpdateInis", "tvn.ini, Tvn, , \"Level=3\"\n",
         "[Tvn] ; comment\r\nMode=1\r\n", "[Tvn] ; comment\r\nMode=1\r\nLevel=3\r\n"},
        {"a UTF-16 file takes what Windows-1252 lacks", "", "UpdateInis", "tvn.ini, Tvn, , \"Owner=\xD1\x84\"\n",
         Utf16File(u"[Tvn]\r\n"), Utf16File(u"[Tvn]\r\nOwner=\u0444\r\n")},
        {"a UTF-16 line that is no valid UTF-16 stays as it was", "", "UpdateInis", "tvn.ini, Tvn, , \"b=2\"\n",
         Utf16File(u"[Tvn]\r\nx=\xD800\r\n"), Utf16File(u"[Tvn]\r\nx=\xD800\r\nb=2\r\n")},
        {"a UTF-16 file ending in half a character is not changed", "", "UpdateInis", "tvn.ini, Tvn, , \"b=2\"\n",
         utf16_torn, utf16_torn, ERROR_INVALID_DATA},
        {"a file with the UTF-8 byte-order mark stays UTF-8", "", "UpdateInis",
         "tvn.ini, Tvn, , \"Owner=Zo\xC3\xAB\"\n", "\xEF\xBB\xBF[Tvn]\r\n", "\xEF\xBB\xBF[Tvn]\r\nOwner=Zo\xC3\xAB\r\n"},
        {"each line keeps its own end, a new one takes the first line's", "", "UpdateInis",
         "tvn.ini, Tvn, \"A\", \"A=9\"\ntvn.ini, Tvn, , \"C=3\"\n", "[Tvn]\nA=1\r\nB=2\n", "[Tvn]\nA=9\r\nB=2\nC=3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        Write(root / "system.conf", c.conf);
        Write(root / "C/Windows/tvn.ini", c.before);
        const Install r = InstallLines(root, c.directive, c.lines);
        EXPECT_EQ(r.ok, c.error == ERROR_SUCCESS);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), c.after);
    }
}

TEST(IniFiles, Ini2RegReadsTheFileInItsEncoding)
{
    platform::testing::TempSystemRoot root;
    Write(root / "C/Windows/tvn.ini", "[Tvn]\r\nName=Caf\xE9\r\nOther=1\r\n");
    Write(root / "C/Windows/wide.ini", Utf16File(u"[Tvn]\r\nName=\u0444\r\n"));
    const Install r = InstallLines(root, "Ini2Reg",
                                   "tvn.ini, TVN, name, HKLM, Software\\Ansi, 1\n"
                                   "wide.ini, Tvn, , HKLM, Software\\Wide\n");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(RegText(u"Software\\Ansi", u"Name"), "Caf\xC3\xA9");
    EXPECT_EQ(RegText(u"Software\\Wide", u"Name"), "\xD1\x84");
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), "[Tvn]\r\nOther=1\r\n");
}

TEST(IniFiles, NamesAndLinksStayOnTheMachine)
{
    platform::testing::TempDir outside;
    Write(outside / "tvn.ini", "[Tvn]\r\n");
    using Setup = std::function<void(const platform::testing::TempSystemRoot&)>;
    auto link = [](std::string target, std::string at) {
        return [=](const platform::testing::TempSystemRoot& root) {
            fs::create_directories(fs::path(root / at).parent_path());
            fs::create_symlink(target, root / at);
        };
    };
    struct Case {
        std::string name;
        Setup setup;
        std::string ini;                      // as the line names it
        std::optional<std::string> written;   // the file (in the root) that gets "a=b"
        DWORD error = ERROR_SUCCESS;
    };
    const Case cases[] = {
        {"'..' stops at the drive's root", nullptr, "%11%\\..\\..\\..\\..\\..\\up.ini", "C/up.ini"},
        {"'..' in a full path", nullptr, "C:\\Windows\\..\\..\\..\\full.ini", "C/full.ini"},
        {"a drive-relative name is on the drive", nullptr, "C:rel.ini", "C/rel.ini"},
        {"a drive-relative name with '..'", nullptr, "C:..\\..\\rel.ini", "C/rel.ini"},
        {"a link that stays inside is followed", link("../Shared/tvn.ini", "C/Windows/tvn.ini"), "tvn.ini",
         "C/Shared/tvn.ini"},
        {"a link leading out is refused", link(outside / "tvn.ini", "C/Windows/tvn.ini"), "tvn.ini", std::nullopt,
         ERROR_ACCESS_DENIED},
        {"a relative link leading out is refused",
         [&](const auto& root) {
             fs::create_symlink(fs::relative(outside / "tvn.ini", root / "C/Windows"), root / "C/Windows/tvn.ini");
         },
         "tvn.ini", std::nullopt, ERROR_ACCESS_DENIED},
        {"a folder link leading out is refused", link(outside.path(), "C/Windows/Out"), "C:\\Windows\\Out\\tvn.ini",
         std::nullopt, ERROR_ACCESS_DENIED},
        {"a dangling link leading out creates nothing", link(outside / "none.ini", "C/Windows/tvn.ini"), "tvn.ini",
         std::nullopt, ERROR_ACCESS_DENIED},
        {"links in a ring",
         [&](const auto& root) {
             link("b.ini", "C/Windows/a.ini")(root);
             link("a.ini", "C/Windows/b.ini")(root);
         },
         "a.ini", std::nullopt, ERROR_CANT_RESOLVE_FILENAME},
        {"a folder at the name", [](const auto& root) { fs::create_directories(root / "C/Windows/tvn.ini"); },
         "tvn.ini", std::nullopt, ERROR_ACCESS_DENIED},
        {"a FIFO at the name is refused, not waited on",
         [](const auto& root) { ASSERT_EQ(mkfifo((root / "C/Windows/tvn.ini").c_str(), 0600), 0); }, "tvn.ini",
         std::nullopt, ERROR_ACCESS_DENIED},
        {"a Windows folder the environment puts off the machine is none",
         [&](const auto&) { setenv("SystemRoot", outside.path().c_str(), 1); }, "tvn.ini", std::nullopt,
         ERROR_INVALID_DATA},
    };
    const bool had_system_root = std::getenv("SystemRoot") != nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        fs::create_directories(root / "C/Windows/system32");
        Write(root / "C/Shared/tvn.ini", "[Tvn]\r\n");
        if (c.setup) c.setup(root);
        const Install r = InstallLines(root, "UpdateInis", c.ini + ", Tvn, , \"a=b\"\n");
        if (!had_system_root) unsetenv("SystemRoot");
        EXPECT_EQ(r.ok, c.error == ERROR_SUCCESS);
        EXPECT_EQ(r.error, c.error);
        if (c.written) {
            EXPECT_EQ(Read(root / *c.written), "[Tvn]\r\na=b\r\n");
        }
        // Nothing changed off the machine, and links stay links.
        EXPECT_EQ(Read(outside / "tvn.ini"), "[Tvn]\r\n");
        EXPECT_FALSE(fs::exists(outside / "none.ini"));
        EXPECT_FALSE(fs::exists(fs::path(root.path()).parent_path() / "up.ini"));
        if (c.setup && c.error == ERROR_SUCCESS) {
            EXPECT_TRUE(fs::is_symlink(root / "C/Windows/tvn.ini"));
        }
    }
}

TEST(IniFiles, ADriveRelativeNameIsInTheDrivesCurrentFolder)
{
    platform::testing::TempSystemRoot root;
    fs::create_directories(root / "C/Work/Sub");
    const fs::path before = fs::current_path();
    fs::current_path(root / "C/Work/Sub");
    const Install r = InstallLines(root, "UpdateInis", "C:..\\here.ini, Tvn, , \"a=b\"\n");
    fs::current_path(before);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Read(root / "C/Work/here.ini"), "[Tvn]\r\na=b\r\n");
}

TEST(IniFiles, AWriteThatFailsUnderAFileSizeLimitLeavesTheFileAsItWas)
{
    platform::testing::TempSystemRoot root;
    std::string text = "[Tvn]\r\n";
    for (int i = 0; i < 400; ++i) text += "Key" + std::to_string(i) + "=value number " + std::to_string(i) + "\r\n";
    Write(root / "C/Windows/tvn.ini", text);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = text.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Install r = InstallLines(root, "UpdateInis", "tvn.ini, Tvn, , \"Level=3\"\n");
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), text);
    // No half-written new file stays beside it.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root / "C/Windows")) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"tvn.ini"});
}

TEST(IniFiles, SectionNamesOfTheProfileCall)
{
    platform::testing::TempDir outside;
    Write(outside / "x.ini", "[Outside]\r\n");
    struct Case {
        std::string name;
        std::function<void(const platform::testing::TempSystemRoot&)> setup;  // makes C:\x.ini
        std::u16string names;  // each with its NUL
    };
    auto file = [](std::string bytes) {
        return [=](const platform::testing::TempSystemRoot& root) { Write(root / "C/x.ini", bytes); };
    };
    const Case cases[] = {
        {"headers with comments and blanks, in the ANSI code page",
         file("[A] ; note\r\n[ B ]\r\nk=v\r\n[C\r\n  [Caf\xE9]\r\n"), u"A\0B\0Caf\u00e9\0"s},
        {"a UTF-16 file", file(Utf16File(u"[\u0444]\r\n[B]\r\n")), u"\u0444\0B\0"s},
        {"a FIFO has none, at once", [](const auto& root) { ASSERT_EQ(mkfifo((root / "C/x.ini").c_str(), 0600), 0); },
         u""},
        {"a link leading off the machine has none",
         [&](const auto& root) { fs::create_symlink(outside / "x.ini", root / "C/x.ini"); }, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        fs::create_directories(root / "C");
        c.setup(root);
        char16_t buffer[64];
        const DWORD n = GetPrivateProfileSectionNamesW(buffer, 64, u"C:\\x.ini");
        EXPECT_EQ(std::u16string(buffer, n), c.names);
        EXPECT_EQ(buffer[n], u'\0');
    }
}
