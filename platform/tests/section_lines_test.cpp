// The registry, log-configuration and profile-item lines of an install section, its numeric
// fields and the directory ids inside its strings.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/debug_channel.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/state_file.h"
#include "platform/testing/temp_root.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_setupapi_install.h"
#include "ini_lines_support.h"

using namespace win;
namespace fs = std::filesystem;
namespace reg = platform::registry;

namespace {

void Write(const std::string& path, const std::string& text) { ASSERT_TRUE(platform::replace_file(path, text)); }
std::optional<std::string> Read(const std::string& path) { return platform::read_file(path); }

using Bytes = std::vector<uint8_t>;
using Stored = std::pair<uint32_t, Bytes>;  // type and data

Bytes Utf16(std::u16string_view text)
{
    Bytes out;
    for (char16_t c : text) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}
Stored Sz(std::u16string_view text) { return {1, Utf16(std::u16string(text) + u'\0')}; }
// A multi-string from its strings, each ended by a NUL, the list by another.
Stored Multi(std::initializer_list<std::u16string_view> strings)
{
    std::u16string all;
    for (auto s : strings) all += std::u16string(s) + u'\0';
    return {7, Utf16(all + u'\0')};
}
Stored Dword(uint32_t v) { return {4, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}}; }

// A value of a key of HKEY_LOCAL_MACHINE as the store holds it.
std::optional<Stored> Value(const std::string& key, const std::string& name)
{
    const reg::Hive hive = reg::read_hive(reg::Root::LocalMachine);
    const reg::Key* k = hive.find(key);
    const reg::Value* v = k ? k->find_value(name) : nullptr;
    if (!v) return std::nullopt;
    return Stored{v->type, v->data};
}

void Seed(const std::string& key, const std::string& name, const Stored& value)
{
    ASSERT_TRUE(reg::set_raw(key, name, value.first, value.second));
}

using Result = ini_lines_test::Install;
using ini_lines_test::InstallSection;

// Runs one registry line under `directive`.
Result RegistryLine(const std::string& directive, const std::string& line)
{
    return InstallSection("[Inst]\n" + directive + "=Lines\n[Lines]\n" + line + "\n", SPINST_REGISTRY);
}

}  // namespace

TEST(SetupRegistryLines, AddRegFlags)
{
    struct Case {
        std::string name;
        std::optional<Stored> before;  // Software\T, value "V"
        std::string line;
        DWORD error;
        std::optional<Stored> after;
    };
    const Case cases[] = {
        {"append adds the strings not there yet, without case and once each", Multi({u"a", u"B"}),
         "HKLM,Software\\T,V,0x10008,b,c,C,d", 0, Multi({u"a", u"B", u"c", u"d"})},
        {"append to a missing value makes it", std::nullopt, "HKLM,Software\\T,V,0x10008,x,x", 0, Multi({u"x"})},
        {"append to a value of another type is refused", Sz(u"s"), "HKLM,Software\\T,V,0x10008,x", ERROR_INVALID_DATA,
         Sz(u"s")},
        {"append without the multi-string type is refused", Sz(u"s"), "HKLM,Software\\T,V,0x8,x", ERROR_INVALID_DATA,
         Sz(u"s")},
        {"a multi-string without append replaces", Multi({u"a"}), "HKLM,Software\\T,V,0x10000,b", 0, Multi({u"b"})},
        {"no-clobber keeps a value that is there", Sz(u"old"), "HKLM,Software\\T,V,0x2,new", 0, Sz(u"old")},
        {"no-clobber sets a missing value", std::nullopt, "HKLM,Software\\T,V,0x2,new", 0, Sz(u"new")},
        {"overwrite-only resets a value that is there", Sz(u"old"), "HKLM,Software\\T,V,0x20,new", 0, Sz(u"new")},
        {"overwrite-only leaves a missing value missing", std::nullopt, "HKLM,Software\\T,V,0x20,new", 0, std::nullopt},
        {"key-only (0x10) sets no value", std::nullopt, "HKLM,Software\\T,V,0x10,new", 0, std::nullopt},
        {"key-only common (0x2000) sets no value", Sz(u"old"), "HKLM,Software\\T,V,0x2000,new", 0, Sz(u"old")},
        {"delete-value removes the value", Sz(u"old"), "HKLM,Software\\T,V,0x4", 0, std::nullopt},
        {"the 32-bit view is this registry", std::nullopt, "HKLM,Software\\T,V,0x4000,new", 0, Sz(u"new")},
        {"an unknown value type is refused", Sz(u"old"), "HKLM,Software\\T,V,0x30000,new", ERROR_INVALID_DATA,
         Sz(u"old")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        ASSERT_TRUE(reg::set_string("Software\\T", "Other", "kept"));
        if (c.before) Seed("Software\\T", "V", *c.before);
        const Result r = RegistryLine("AddReg", c.line);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(Value("Software\\T", "V"), c.after);
        EXPECT_EQ(Value("Software\\T", "Other"), Sz(u"kept"));
    }

    // Overwrite-only makes no key for the value it did not find; key-only makes the key.
    platform::testing::TempSystemRoot root;
    EXPECT_TRUE(RegistryLine("AddReg", "HKLM,Software\\New,V,0x20,x").ok);
    EXPECT_FALSE(reg::key_exists("Software\\New"));
    EXPECT_TRUE(RegistryLine("AddReg", "HKLM,Software\\New\\Deep,,0x2000").ok);
    EXPECT_TRUE(reg::key_exists("Software\\New\\Deep"));
    // Delete-value without a value name deletes the key with what is below it.
    EXPECT_TRUE(RegistryLine("AddReg", "HKLM,Software\\New,,0x4").ok);
    EXPECT_FALSE(reg::key_exists("Software\\New"));
}

TEST(SetupRegistryLines, ARegistryThatCannotBeWrittenFailsTheInstall)
{
    platform::testing::TempSystemRoot root;
    // A folder where the root's file goes: it reads as empty and cannot be replaced.
    fs::create_directories(reg::hive_path(reg::Root::LocalMachine));
    const Result r = RegistryLine("AddReg", "HKLM,Software\\T,V,,x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, DWORD(ERROR_WRITE_FAULT));
    EXPECT_TRUE(fs::is_directory(reg::hive_path(reg::Root::LocalMachine)));
}

TEST(SetupRegistryLines, DelRegFlags)
{
    struct Case {
        std::string name;
        std::string line;
        DWORD error;
        bool key_kept;               // Software\K
        std::optional<Stored> list;  // Software\K, "List"
    };
    const Stored list = Multi({u"a", u"B", u"c", u"b"});
    const Case cases[] = {
        {"no value name deletes the key", "HKLM,Software\\K", 0, false, std::nullopt},
        {"an empty value name deletes the key (32-bit view)", "HKLM,Software\\K,,0x4000", 0, false, std::nullopt},
        {"key-only common deletes the key whatever value it names", "HKLM,Software\\K,List,0x2000", 0, false,
         std::nullopt},
        {"a value name deletes that value alone", "HKLM,Software\\K,List", 0, true, std::nullopt},
        {"delete-string removes every match without case", "HKLM,Software\\K,List,0x18002,b", 0, true,
         Multi({u"a", u"c"})},
        {"delete-string of a string not there changes nothing", "HKLM,Software\\K,List,0x18002,z", 0, true, list},
        {"delete-string of a missing value is nothing to do", "HKLM,Software\\K,None,0x18002,b", 0, true, list},
        {"delete-string without a string is refused", "HKLM,Software\\K,List,0x18002", ERROR_INVALID_DATA, true, list},
        {"a missing key is nothing to delete", "HKLM,Software\\Gone", 0, true, list},
        {"a whole root is never deleted", "HKLM,,,0x2000", ERROR_INVALID_DATA, true, list},
        {"flags that are no number", "HKLM,Software\\K,List,x", ERROR_INVALID_DATA, true, list},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        Seed("Software\\K", "List", list);
        ASSERT_TRUE(reg::set_string("Software\\K\\Sub\\Deep", "x", "1"));
        ASSERT_TRUE(reg::set_string("Software\\Keep", "x", "1"));
        const Result r = RegistryLine("DelReg", c.line);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(reg::key_exists("Software\\K"), c.key_kept);
        EXPECT_EQ(reg::key_exists("Software\\K\\Sub\\Deep"), c.key_kept);
        EXPECT_EQ(Value("Software\\K", "List"), c.list);
        EXPECT_TRUE(reg::key_exists("Software\\Keep"));
    }
}

TEST(SetupRegistryLines, NumericFieldsAreDecimalUnlessHex)
{
    const std::pair<std::string, std::optional<uint32_t>> cases[] = {
        {"010", 10}, {"08", 8},       {"0x10", 16},          {"0X1f", 31}, {"-1", 0xFFFFFFFF},
        {"0", 0},    {"0x", std::nullopt}, {"1a", std::nullopt}, {"09x", std::nullopt}};
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        platform::testing::TempSystemRoot root;
        const Result r = RegistryLine("AddReg", "HKLM,Software\\N,V,0x10001," + text);
        EXPECT_EQ(r.error, value ? 0u : DWORD(ERROR_INVALID_DATA));
        EXPECT_EQ(Value("Software\\N", "V"), value ? std::optional<Stored>(Dword(*value)) : std::nullopt);
    }
    // The flags field reads the same way: "016" is 16, key-only (octal 14 would delete the value),
    // "020" is 20, delete-value (octal 16 would be key-only).
    platform::testing::TempSystemRoot root;
    Seed("Software\\N", "V", Sz(u"old"));
    EXPECT_TRUE(RegistryLine("AddReg", "HKLM,Software\\N,V,016,new").ok);
    EXPECT_EQ(Value("Software\\N", "V"), Sz(u"old"));
    EXPECT_TRUE(RegistryLine("AddReg", "HKLM,Software\\N,V,020,new").ok);
    EXPECT_EQ(Value("Software\\N", "V"), std::nullopt);
}

TEST(SetupRegistryLines, DirectoryIdsInsideStringsOfEveryDirective)
{
    struct Case {
        std::string name;
        std::string value;  // field 5 of an AddReg line
        std::u16string stored;
    };
    const Case cases[] = {
        {"inside a string", "\"Tool=%11%\\tool.exe\"", u"Tool=C:\\Windows\\system32\\tool.exe"},
        {"two ids, quoted", "\"%10%;%24%\\x\"", u"C:\\Windows;C:\\x"},
        {"a Strings value is taken as written", "%FromStrings%", u"%11%\\kept"},
        {"a Strings value of a number comes first", "%16422%", u"numbered"},
        {"%% is a percent sign", "%%11%%", u"%11%"},
        {"an unknown id stays as written", "%99%\\x", u"%99%\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        const Result r = InstallSection("[Inst]\nAddReg=Lines\n[Lines]\nHKLM,Software\\D,V,," + c.value +
                                            "\n[Strings]\nFromStrings=\"%11%\\kept\"\n16422=numbered\n",
                                        SPINST_REGISTRY);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(Value("Software\\D", "V"), Sz(c.stored));
    }

    // The INI lines and Ini2Reg read their fields the same way.
    platform::testing::TempSystemRoot root;
    fs::create_directories(root / "C/Windows");
    const Result r = InstallSection("[Inst]\nUpdateInis=Ini\nIni2Reg=ToReg\n"
                                    "[Ini]\ntvn.ini, Tvn, , \"Tool=%11%\\tool.exe\"\n"
                                    "[ToReg]\n%10%\\tvn.ini, Tvn, Tool, HKLM, Software\\FromIni\n",
                                    SPINST_INIFILES | SPINST_INI2REG);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Read(root / "C/Windows/tvn.ini"), "[Tvn]\r\nTool=C:\\Windows\\system32\\tool.exe\r\n");
    EXPECT_EQ(Value("Software\\FromIni", "Tool"), Sz(u"C:\\Windows\\system32\\tool.exe"));
}

TEST(SetupLogConfig, PassedOverWithoutADeviceRefusedWithOne)
{
    const std::string inf = "[Inst]\nLogConfig=Conf\nAddReg=Lines\n[Conf]\nIRQConfig=5\n[Lines]\nHKLM,Software\\L,V,,x\n";
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    struct Case {
        std::string name;
        UINT flags;
        SP_DEVINFO_DATA* device;
        DWORD error;
        bool message;
    };
    const Case cases[] = {
        {"no device: the other lines run", SPINST_LOGCONFIG | SPINST_REGISTRY, nullptr, 0, false},
        {"a device: refused before any line runs", SPINST_LOGCONFIG | SPINST_REGISTRY, &device, ERROR_NOT_SUPPORTED,
         true},
        {"a device, log configurations not asked for", SPINST_REGISTRY, &device, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        platform::CapturingDebugChannel channel;
        platform::DebugChannel* previous = platform::set_debug_channel(&channel);
        const Result r = InstallSection(inf, c.flags, c.device);
        platform::set_debug_channel(previous);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(Value("Software\\L", "V"), c.error ? std::nullopt : std::optional<Stored>(Sz(u"x")));
        ASSERT_EQ(channel.texts.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_NE(channel.texts[0].find("devices have no resources to configure"), std::string::npos);
        }
    }
}

TEST(SetupProfileItems, GroupsAndShortcutsOfTheAllUsersStartMenu)
{
    const std::string programs = "C/ProgramData/Start Menu/Programs/";
    const std::string tool_link = "[Shortcut]\r\nTarget=C:\\Program Files\\Tvn\\tool.exe\r\n"
                                  "CommandLine=\"C:\\Program Files\\Tvn\\tool.exe\"\r\nWorkingFolder=C:\\Program Files\\Tvn\r\n";
    struct Case {
        std::string name;
        std::string items;    // item sections [I1] (and [I2])
        std::string planted;  // a file made first, below the Programs folder
        DWORD error;
        std::string path;                  // below the Programs folder
        std::optional<std::string> after;  // its content; "/" for a folder; none: not there
    };
    const Case cases[] = {
        {"a shortcut in the group SubDir names", "[I1]\nName=Tvn Tool\nCmdLine=16422,Tvn,tool.exe\nSubDir=Tvn\\Tools\n"
                                                 "WorkingDir=16422,Tvn\n",
         "", 0, "Tvn/Tools/Tvn Tool.lnk", tool_link},
        {"a shortcut in Programs, target without a sub-folder, no working folder",
         "[I1]\nName=Sys\nCmdLine=11,tool.exe\n", "", 0, "Sys.lnk",
         "[Shortcut]\r\nTarget=C:\\Windows\\system32\\tool.exe\r\nCommandLine=\"C:\\Windows\\system32\\tool.exe\"\r\n"
         "WorkingFolder=\r\n"},
        {"a shortcut replaces the one there", "[I1]\nName=Sys\nCmdLine=11,tool.exe\n", "Sys.lnk", 0, "Sys.lnk",
         "[Shortcut]\r\nTarget=C:\\Windows\\system32\\tool.exe\r\nCommandLine=\"C:\\Windows\\system32\\tool.exe\"\r\n"
         "WorkingFolder=\r\n"},
        {"a shell folder by number (24: the all-users Startup folder)",
         "[I1]\nName=Sys,0x8\nCmdLine=11,tool.exe\nSubDir=24\n", "", 0, "Startup/Sys.lnk",
         "[Shortcut]\r\nTarget=C:\\Windows\\system32\\tool.exe\r\nCommandLine=\"C:\\Windows\\system32\\tool.exe\"\r\n"
         "WorkingFolder=\r\n"},
        {"a group", "[I1]\nName=Tvn Tools,4\n", "", 0, "Tvn Tools", "/"},
        {"a group below SubDir", "[I1]\nName=Tools,0x4\nSubDir=Tvn\n", "", 0, "Tvn/Tools", "/"},
        {"a shortcut deleted", "[I1]\nName=Old,2\n", "Old.lnk", 0, "Old.lnk", std::nullopt},
        {"deleting a missing shortcut", "[I1]\nName=Old,2\n", "", 0, "Old.lnk", std::nullopt},
        {"an empty group deleted", "[I1]\nName=Tvn,6\n", "Tvn/", 0, "Tvn", std::nullopt},
        {"a group still holding a file is kept", "[I1]\nName=Tvn,6\n", "Tvn/x.lnk", ERROR_DIR_NOT_EMPTY, "Tvn/x.lnk",
         "planted"},
        {"a current-user item is refused before any item is made",
         "[I1]\nName=Mine,0\nCmdLine=11,tool.exe\n[I2]\nName=Theirs,1\nCmdLine=11,tool.exe\n", "",
         ERROR_NOT_SUPPORTED, "Mine.lnk", std::nullopt},
        {"a per-user shell folder is refused", "[I1]\nName=Sys,8\nCmdLine=11,tool.exe\nSubDir=2\n", "",
         ERROR_NOT_SUPPORTED, "Sys.lnk", std::nullopt},
        {"a per-user shell folder is refused before any item is made",
         "[I1]\nName=Mine\nCmdLine=11,tool.exe\n[I2]\nName=Sys,8\nCmdLine=11,tool.exe\nSubDir=2\n", "",
         ERROR_NOT_SUPPORTED, "Mine.lnk", std::nullopt},
        {"a name that leaves the folder", "[I1]\nName=..\\..\\evil\nCmdLine=11,tool.exe\n", "", ERROR_INVALID_NAME,
         "../../evil.lnk", std::nullopt},
        {"a SubDir that leaves the folder", "[I1]\nName=Evil\nCmdLine=11,tool.exe\nSubDir=..\\..\n", "",
         ERROR_INVALID_DATA, "../../Evil.lnk", std::nullopt},
        {"a shortcut without its command line", "[I1]\nName=Sys\n", "", ERROR_INVALID_DATA, "Sys.lnk", std::nullopt},
        {"a command line of an unknown folder id", "[I1]\nName=Sys\nCmdLine=99,tool.exe\n", "", ERROR_INVALID_DATA,
         "Sys.lnk", std::nullopt},
        {"an item section without its name", "[I1]\nCmdLine=11,tool.exe\n", "", ERROR_INVALID_DATA, "Sys.lnk",
         std::nullopt},
        {"a folder where the shortcut goes is left", "[I1]\nName=Sys\nCmdLine=11,tool.exe\n", "Sys.lnk/",
         ERROR_ACCESS_DENIED, "Sys.lnk", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempSystemRoot root;
        if (!c.planted.empty()) {
            const std::string planted = root / (programs + c.planted);
            if (planted.back() == '/')
                fs::create_directories(planted);
            else
                Write(planted, "planted");
        }
        platform::CapturingDebugChannel channel;
        platform::DebugChannel* previous = platform::set_debug_channel(&channel);
        const Result r = InstallSection("[Inst]\nProfileItems=I1,Missing\nProfileItems=I2\n" + c.items,
                                        SPINST_PROFILEITEMS);
        platform::set_debug_channel(previous);
        EXPECT_EQ(r.error, c.error);
        const std::string path = root / (programs + c.path);
        std::optional<std::string> after;
        if (fs::is_directory(path))
            after = "/";
        else
            after = Read(path);
        EXPECT_EQ(after, c.after);
        if (c.error == ERROR_NOT_SUPPORTED) {
            ASSERT_EQ(channel.texts.size(), 1u);
            EXPECT_NE(channel.texts[0].find("profile"), std::string::npos) << channel.texts[0];
        }
    }
}

TEST(SetupProfileItems, AFolderOfTheEnvironmentOffTheMachineIsNoFolder)
{
    // The environment stands for the machine's: a value that is no path of its drives (a host
    // path, or nothing) must not lead an item's files off the machine.
    platform::testing::TempSystemRoot root;
    platform::testing::TempDir host;
    const std::string outside = host.path() + "/Profile";
    for (const std::string& value : {outside, std::string()}) {
        SCOPED_TRACE("ALLUSERSPROFILE=" + value);
        setenv("ALLUSERSPROFILE", value.c_str(), 1);
        platform::CapturingDebugChannel channel;
        platform::DebugChannel* previous = platform::set_debug_channel(&channel);
        const Result made = InstallSection("[Inst]\nProfileItems=I1\n[I1]\nName=Tvn\nCmdLine=11,tool.exe\nSubDir=Tvn\n",
                                           SPINST_PROFILEITEMS);
        const Result group = InstallSection("[Inst]\nProfileItems=I1\n[I1]\nName=Tvn,4\n", SPINST_PROFILEITEMS);
        platform::set_debug_channel(previous);
        unsetenv("ALLUSERSPROFILE");
        EXPECT_EQ(made.error, ERROR_NOT_SUPPORTED);
        EXPECT_EQ(group.error, ERROR_NOT_SUPPORTED);
        EXPECT_FALSE(fs::exists(outside));
        EXPECT_FALSE(fs::exists("/Start Menu"));
        EXPECT_EQ(channel.texts.size(), 2u);
    }
}
