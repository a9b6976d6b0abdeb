// Host switches the plug-in reads at start-up and when it answers the install state, through
// kestra_host: the rewrite and downgrade promotions of the Quenta family's state, the
// no-overwrite and console switches, and the 64-bit check that start-up logs.
#include <gtest/gtest.h>

#include "host_folder.h"

namespace {

constexpr const char* kOlderStart = "At least 1 NIC on the system has older firmware";
constexpr const char* kSameStart = "All NICs in the system for which there is a corresponding firmware version in this "
                                   "component have the same version";
constexpr const char* kNewerStart = "All NICs in the system for which there is a corresponding firmware version in the "
                                    "component are either the same or newer";

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

}  // namespace

// A rewrite switch makes "same" an update, a downgrade switch makes "newer" one, and only for the
// family whose tool can rewrite and downgrade; the text stays that of the version found.
TEST(HostStartSwitches, RewriteAndDowngradePromoteTheQuentaStateToAnUpdate)
{
    struct Case {
        std::string tool;
        std::vector<std::string> args;
        std::string versionCheckExit;  // 5 same, 6 newer
        std::string state;
        const char* text;
    };
    const std::string q = "ZKNVMUpdate.exe", y = "YXZQFWUpg.exe";
    const Case cases[] = {
        {q, {}, "5", "1", kSameStart},
        {q, {"/e"}, "5", "2", kSameStart},
        {q, {"/rewrite"}, "5", "2", kSameStart},
        {q, {"/g"}, "5", "1", kSameStart},  // a downgrade does not rewrite the same version
        {q, {}, "6", "3", kNewerStart},
        {q, {"/G"}, "6", "2", kNewerStart},
        {q, {"/downgrade"}, "6", "2", kNewerStart},
        {q, {"/E"}, "6", "3", kNewerStart},
        {q, {"/g"}, "4", "2", kOlderStart},
        // Another family's state stays what the version check found.
        {y, {"/e"}, "5", "1", kSameStart},
        {y, {"/g"}, "6", "3", kNewerStart},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += " " + a;
        SCOPED_TRACE(c.tool + line + " version check " + c.versionCheckExit);
        HostFolder f(c.tool);
        testkit::add_service(f.root(), {"q1rexpress"});  // the Quenta family's driver
        f.Write("fake_tool.ini", "exit=1\nexit_if=/N " + c.versionCheckExit + "\n");
        HostReport r = RunHost(f.folder(), c.args, {"KESTRA_ACTIONS=props"});
        EXPECT_EQ(r["property5.state"], c.state) << r.out;
        EXPECT_TRUE(StartsWith(r["property5.text"], c.text)) << r["property5.text"];
        EXPECT_EQ(Count(f.Calls(), "command=" + c.tool + " /N |"), 1u) << f.Calls();
    }
}

// Start-up reads "/no_overwrite" anywhere in the host line, case aside, and logs what it found
// and whether the system is 64-bit; the 64-bit line follows the processor architecture of a
// system of the NT platform.
TEST(HostStartSwitches, StartUpLogsTheNoOverwriteSwitchAndTheSystemsWidth)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> facts;
        std::string noOverwrite;
        std::string width;  // "" when no line may be written
    };
    const Case cases[] = {
        {{}, {}, "/no_overwrite ABSENT", "Operating system is 64-bit x64 based."},
        {{"/NO_OVERWRITE"}, {{"ProcessorArchitecture", "0"}}, "/no_overwrite DETECTED",
         "Operating system is not 64-bit but 32-bit."},
        {{"/No_Overwrite"}, {{"ProcessorArchitecture", "6"}}, "/no_overwrite DETECTED",
         "Operating system is 64-bit IA-64 based."},
        {{"/no_overwrit"}, {{"ProcessorArchitecture", "10"}}, "/no_overwrite ABSENT",
         "Operating system is 64-bit SysWOW64 based ."},
        {{}, {{"ProcessorArchitecture", "12"}}, "/no_overwrite ABSENT", ""},
        {{}, {{"OsPlatformId", "1"}}, "/no_overwrite ABSENT", ""},  // not the NT platform
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.noOverwrite + " / " + (c.width.empty() ? "no width line" : c.width));
        HostFolder f;
        testkit::add_system_facts(f.root(), c.facts);
        std::vector<std::string> args = c.args;
        args.push_back("/verbose_log");
        HostReport r = RunHost(f.folder(), args, {"KESTRA_ACTIONS=props", "KESTRA_LOG_HANDOVER=1"});
        const std::string log = f.ReadRoot("C/tvnsystem/log/dz012345.exe.log");
        EXPECT_EQ(Count(log, "\r\n" + c.noOverwrite + "\r\n"), 1u) << log;
        EXPECT_EQ(Count(log, "Detecting if 64-bit operating system... \r\n"), 1u);
        EXPECT_EQ(Count(log, "    - Operating system is "), c.width.empty() ? 0u : 1u);
        if (!c.width.empty()) {
            EXPECT_EQ(Count(log, "    - " + c.width + "\r\n"), 1u);
        }
    }
}

// "/consoleout" opens the console for the plug-in's output; the run answers as without it.
TEST(HostStartSwitches, TheConsoleSwitchLeavesTheRunAsItIs)
{
    for (const char* consoleSwitch : {"/consoleout", "/ConsoleOut"}) {
        SCOPED_TRACE(consoleSwitch);
        HostFolder f;
        f.Write("fake_tool.ini", "exit=1\n");
        HostReport r = RunHost(f.folder(), {"/d", "r.xml", consoleSwitch}, {});
        EXPECT_EQ(r["interface_version"], "100");
        EXPECT_EQ(r["property1"], "Adapter Firmware");
        EXPECT_EQ(r["install.result"], "3") << r.out;
        EXPECT_EQ(Count(f.Calls(), "command=YXZQFWUpg.exe  /d r.xml "), 1u) << f.Calls();
    }
}
