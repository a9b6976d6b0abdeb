// The plug-in as the host sees it: kestra_host loads Pelaris.so from a component folder holding a
// stand-in update tool, asks its properties and calls Install.
#include <gtest/gtest.h>

#include <algorithm>

#include "host_folder.h"
#include "platform/utf16.h"
#include "platform/win_process.h"
#include "platform/testing/bin_dir.h"

namespace {

// The lines `nm` prints for the built plug-in with `options`.
std::vector<std::string> PluginSymbols(const std::string& options)
{
    std::string lib = platform::testing::bin_dir() + "/Pelaris.so";
    std::vector<std::string> lines;
    if (FILE* p = popen(("nm " + options + " '" + lib + "'").c_str(), "r")) {
        char line[2048];
        while (fgets(line, sizeof line, p)) {
            std::string s(line);
            s.erase(s.find_last_not_of('\n') + 1);
            lines.push_back(s);
        }
        pclose(p);
    }
    return lines;
}

constexpr const char* kMsg7 = "All firmware discovery successful.Details in xml file.\\r\\n";
constexpr const char* kMsg85 = "An error occured during discovering hardware. See yxzqfwupg.log for more information.\\r\\n";
constexpr const char* kMsg135 =
    "All firmware is up to date.  No updates were performed.  See yxzqfwupg.log for more information.\\r\\n";
constexpr const char* kMsg145 = "An error occured during the firmware installation or update process.  See "
                                "yxzqfwupg.log for more information.\\r\\n";
constexpr const char* kMsg155 = "All firmware installations were successful.  See yxzqfwupg.log for more information.\\r\\n";

}  // namespace

TEST(HostInstall, HostLinesGiveTheToolsCommandResultAndMessage)
{
    struct Case {
        std::vector<std::string> args;
        int exitCode;  // the tool's
        std::string command;  // "" when no tool may start
        std::string result;
        std::string message;
        bool silent = false;
    };
    const std::string t = "YXZQFWUpg.exe";
    const Case cases[] = {
        {{"/d", "report.xml", "/s"}, 1, t + "  /d report.xml ", "3", kMsg7},
        {{"-D", "x.xml"}, 3, t + "  /d x.xml", "3", kMsg7},
        {{"/d"}, 1, "", "0", "XML file name should follow /d option.\\r\\n"},
        {{"/d", "a.xml", "/u", "b.xml"}, 0, t + "  /d a.xml ", "0", kMsg85},
        {{"/u", "r.xml"}, 2, t + "  /u r.xml ", "2", "Read the XML file and completed upgrade successfully.\\r\\n"},
        {{"/u", "r.xml"}, 3, t + "  /u r.xml ", "3", kMsg135},
        {{"/u", "r.xml"}, 1026, t + "  /u r.xml ", "2",
         "All EEPROM updates were successful.  A reboot is required to be able to update the flash rom. See log for "
         "more information.\\r\\n"},
        {{"/u", "r.xml"}, 0, t + "  /u r.xml ", "0", "Error reading XML file.\\r\\n"},
        {{"/u"}, 2, "", "0", "XML file name should follow /u option.\\r\\n"},
        {{"/V"}, 1, t + "  /v ", "1", "Version report completed successfully.\\r\\n"},
        {{"/v", "versions.xml"}, 3, t + "  /v ", "1", "Version report completed successfully.\\r\\n"},
        {{"/v"}, 0, t + "  /v ", "0", kMsg85},
        {{"/VERBOSE_LOG"}, 2, t + "     ", "2", kMsg155},
        {{"/E"}, 3, t + " /s  /f   ", "3", kMsg135, true},
        // This system's tool refuses -e and -g beside -f: force goes alone.
        {{"/rewrite"}, 1, t + "   /f   ", "2", kMsg155},
        {{"/downgrade"}, 0, t + "   /f   ", "0", kMsg145},  // no discovery of "owngrade"
        {{}, -1, t + "     ", "0", kMsg145},
        {{}, 1026, t + "     ", "0", kMsg145},
        {{}, 255, t + "     ", "0", kMsg145},
        // Whole 32-bit codes: cut to their low byte these would read as 2, a success.
        {{}, 258, t + "     ", "0", kMsg145},
        {{}, -254, t + "     ", "0", kMsg145},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += " " + a;
        SCOPED_TRACE("host line:" + line + " exit " + std::to_string(c.exitCode));
        HostFolder f;
        f.Write("fake_tool.ini", "exit=" + std::to_string(c.exitCode) + "\n");
        HostReport r = f.Host(c.args, {std::string("KESTRA_SILENT=") + (c.silent ? "1" : "0")});
        EXPECT_EQ(r["install.result"], c.result) << r.out;
        EXPECT_EQ(r["install.message"], c.message);
        if (c.command.empty()) {
            EXPECT_EQ(f.Calls(), "");
        } else {
            EXPECT_EQ(f.Calls().substr(0, f.Calls().find('\n') + 1), "command=" + c.command + "|\n");
        }
    }
}

TEST(HostInstall, AnotherFamilysToolGetsItsOwnSwitchesTitleAndTexts)
{
    HostFolder f("YxNicFwUpg.exe");
    f.Write("fake_tool.ini", "exit=2\n");
    HostReport r = f.Host({"/rewrite", "/downgrade"});
    EXPECT_EQ(r["install.result"], "2");
    EXPECT_EQ(r["install.message"],
              "All firmware installations were successful.  See YxNicFwUpg.log for more information.\\r\\n");
    std::string calls = f.Calls();
    EXPECT_NE(calls.find("command=YxNicFwUpg.exe   /f  /e  /g |\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("title=ZKE Aldern KV9 Varnelle Utility for Windows\n"), std::string::npos);
}

TEST(HostInstall, AnUpdateFromAReportNeedsTheHostVersionForTheFamiliesThatAskForIt)
{
    struct Case {
        std::string tool;
        std::vector<std::string> env;
        std::string result;
        bool runs;
    };
    const Case cases[] = {
        {"YxNicFwUpg.exe", {"KESTRA_NO_VERSION=1"}, "3", false},
        {"YxNicFwUpg.exe", {"KESTRA_VERSION="}, "3", false},
        {"YxNicFwUpg.exe", {}, "2", true},
        {"YXZQFWUpg.exe", {"KESTRA_NO_VERSION=1"}, "2", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool + (c.env.empty() ? "" : " " + c.env[0]));
        HostFolder f(c.tool);
        f.Write("fake_tool.ini", "exit=2\n");
        HostReport r = f.Host({"/u", "r.xml"}, c.env);
        EXPECT_EQ(r["install.result"], c.result) << r.out;
        if (!c.runs) {
            EXPECT_EQ(r["install.message"],
                      "Sorvel component executed from an unsupported KESTRA release.  KESTRA version 6.0 or later is "
                      "required for proper firmware install.\\r\\n");
        }
        EXPECT_EQ(!f.Calls().empty(), c.runs);
    }
    HostFolder f;
    f.Write("fake_tool.ini", "exit=2\n");
    f.Host({"/u", "r.xml"});
    EXPECT_NE(f.Calls().find("KESTRA_VERSION=6.0\n"), std::string::npos);
}

TEST(HostInstall, MessagesComeInTheMachinesLanguage)
{
    HostFolder f;
    std::ofstream(f.root() + "/system.conf") << "SystemLocale=1031\n";
    f.Write("fake_tool.ini", "exit=2\n");
    HostReport r = f.Host({});
    EXPECT_EQ(r["install.message"], "Alle Firmware-Installationen waren erfolgreich.  Weitere Informationen in "
                                    "yxzqfwupg.log.\\r\\n");
}

TEST(HostInstall, LiveLogLinesReachTheHostsLogInEveryRunAlsoOnAGuiThread)
{
    for (const char* gui : {"0", "1"}) {
        SCOPED_TRACE(std::string("gui ") + gui);
        HostFolder f;
        f.Write("fake_tool.ini", "exit=1\nline=1 to both\nline=2 to verbose\nline=4 to trace\nline=6 tool line\n");
        HostReport r = f.Host({"/d", "r.xml", "/verbose_log"},
                              {"KESTRA_LOG_HANDOVER=1", "KESTRA_ACTIONS=install,install", std::string("KESTRA_GUI=") + gui});
        EXPECT_EQ(r["property9"], "1") << r.out;
        EXPECT_EQ(r["install.result"], "3") << r.out;
        EXPECT_EQ(r["host.verbose_log"], "C:\\tvnsystem\\log\\dz012345.exe.log");
        std::string verbose = f.ReadRoot("C/tvnsystem/log/dz012345.exe.log");
        std::string main = f.ReadRoot("C/tvnsystem/log/tvnsetup.log");
        // Two runs, each line of each run where its level sends it.
        EXPECT_EQ(Count(main, "to both\r\n"), 2u);
        EXPECT_EQ(Count(verbose, "to both\r\n"), 2u);
        EXPECT_EQ(Count(verbose, "to verbose\r\n"), 2u);
        EXPECT_EQ(Count(verbose, "tool line\r\n"), 2u);
        EXPECT_EQ(Count(main + verbose, "to trace"), 0u);
        EXPECT_EQ(Count(main, "to verbose"), 0u);
        // The plug-in's own start-up lines are in the host's verbose log too.
        EXPECT_NE(verbose.find("Locating package definition file"), std::string::npos);
        EXPECT_NE(verbose.find("[Pelar] Key file for TIRN: YXZQFWUpg.exe"), std::string::npos);
    }
}

TEST(HostInstall, PropertiesAnsweredThroughTheExports)
{
    HostFolder f;
    for (const char* lang : {"en", "de"}) {
        HostReport r = RunHost(f.folder(), {}, {"KESTRA_ACTIONS=props", std::string("KESTRA_LANG=") + lang});
        EXPECT_EQ(r["interface_version"], "100");
        EXPECT_EQ(r["property1"], std::string(lang) == "de" ? "Adapter-Firmware" : "Adapter Firmware");
        EXPECT_EQ(r["property2"], std::string(lang) == "de" ? "Aktualisiert Firmware." : "Updates firmware.\\nLine two.");
        EXPECT_EQ(r["property4"], "2.4.17");
        EXPECT_EQ(r["property6"], "0");  // the package says not silent
        EXPECT_EQ(r["property7"], "0");
        EXPECT_EQ(r["property8"], "1");
        EXPECT_EQ(r["property3"], "See Information below.\\r\\n");
    }
}

TEST(HostInstall, AFolderWithoutAKnownToolBuildsNoComponent)
{
    ComponentFolder f;
    f.CopyBuilt("Pelaris.so", "Pelaris.so");
    f.CopyBuilt("fake_update_tool", "Other.exe");
    HostReport r = RunHost(f.folder(), {}, {});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r["interface_version"], "100");
    EXPECT_NE(r.out.find("property1 not handled"), std::string::npos);
    EXPECT_EQ(r["install.result"], "0");
    EXPECT_EQ(r["install.message"], "");
}

TEST(HostInstall, OnlyTheThreeFunctionsAreExported)
{
    std::vector<std::string> names;
    for (const auto& line : PluginSymbols("-D --defined-only")) names.push_back(line.substr(line.rfind(' ') + 1));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"GetInterfaceVersion", "GetProperty", "Install"}));
}

// The attach step runs at load, possibly before other files' initialisers. Everything it reaches
// must be constant-initialised; the one dynamic initialiser the plug-in has (standard streams, which
// the attach step sets up itself) is the only one allowed.
TEST(HostInstall, NothingTheAttachStepReachesWaitsForDynamicInitialisation)
{
    std::vector<std::string> initialisers;
    for (const auto& line : PluginSymbols(""))
        if (size_t at = line.find("_GLOBAL__sub_I_"); at != std::string::npos) initialisers.push_back(line.substr(at + 15));
    EXPECT_EQ(initialisers, std::vector<std::string>{"SystemUtils.cpp"});
}

// The host line holds each of the host's arguments as one word, so that a file name with blanks,
// quotes, slashes or dashes reaches the tool whole and none of its parts reads as a switch.
TEST(HostInstall, FileNamesWithBlanksAndQuotesReachTheToolAsOneWord)
{
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::string result;  // the tool exits with 1
        std::vector<std::u16string> toolWords;
    };
    const Case cases[] = {
        {"blanks and quotes", {"/d", "my report \"v2\".xml", "/s"}, "3",
         {u"YXZQFWUpg.exe", u"/d", u"my report \"v2\".xml"}},
        // " -d" inside the name is no discovery request beside the update.
        {"a dash after a blank", {"/u", "old -d reports\\r.xml"}, "2",
         {u"YXZQFWUpg.exe", u"/u", u"old -d reports\\r.xml"}},
        // " /s" inside the name neither ends it nor reads as a switch; backslashes before the end
        // and before a quote stay as they are.
        {"a slash after a blank, backslashes", {"/u", "a /s b\\\"c\\"}, "2",
         {u"YXZQFWUpg.exe", u"/u", u"a /s b\\\"c\\"}},
        // An absolute POSIX path reads neither as " /v" nor as the end of the name.
        {"an absolute POSIX path", {"/d", "/var/report.xml"}, "3", {u"YXZQFWUpg.exe", u"/d", u"/var/report.xml"}},
        {"a slash inside a plain name", {"-D", "dir/verbose_log.xml"}, "3",
         {u"YXZQFWUpg.exe", u"/d", u"dir/verbose_log.xml"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostFolder f;
        f.Write("fake_tool.ini", "exit=1\n");
        HostReport r = f.Host(c.args);
        EXPECT_EQ(r["install.result"], c.result) << r.out;
        std::string calls = f.Calls();
        ASSERT_EQ(calls.rfind("command=", 0), 0u) << calls;
        std::string command = calls.substr(8, calls.find("|\n") - 8);
        EXPECT_EQ(platform::split_command_line(platform::to_utf16(command)), c.toolWords) << command;
        EXPECT_EQ(Count(calls, "command="), 1u);
    }
}

// "--help" and "-h" print the host's usage, its switches and its settings, and exit 0 before any
// plug-in is loaded: in a folder without one (a load would end with 3), with a silent run asked
// for. "-h" as the file name after /d is no request for help.
TEST(HostInstall, HelpPrintsTheUsageWithoutLoadingThePlugin)
{
    ComponentFolder f;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}, {"/v", "-h"}}) {
        HostReport r = RunHost(f.folder(), args, {"KESTRA_SILENT=1"});
        EXPECT_NE(r.out.find("Usage: kestra_host"), std::string::npos) << r.out;
        for (const char* word : {"/d FILE", "/u FILE", "/v", "KESTRA_PLUGIN", "KESTRA_COMPONENT_DIR", "KESTRA_SILENT",
                                 "KESTRA_ACTIONS", "KESTRA_VERSION"})
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
        EXPECT_EQ(r.out.find("interface_version="), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("install.result="), std::string::npos) << r.out;
    }
    HostReport notHelp = RunHost(f.folder(), {"/d", "-h"}, {}, 3);
    EXPECT_EQ(notHelp.out.find("Usage: kestra_host"), std::string::npos) << notHelp.out;
}
