// The modes of TIRN and their exit codes, run end to end against the stand-in library.
#include "tirn_harness.h"

#include <gtest/gtest.h>

using namespace tirn_test;

namespace {

const std::string kOlder = OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.1\n");
const std::string kCurrent = OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.0\n");

}  // namespace

TEST(Modes, ExitCodeOfEveryMode)
{
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::string control;
        int exitCode;
        std::string expectedCall;  // journal line prefix that must appear ("" for none)
    };
    const Case cases[] = {
        {"list", {"-c"}, kOlder, 0, ""},
        {"discovery written", {"-d", "report.xml"}, kOlder, 1, "oem_do_discovery_with_files report=report.xml"},
        {"discovery silent", {"-s", "-d", "report.xml"}, kOlder, 1, "oem_do_discovery_with_files"},
        {"discovery result 0 but no file", {"-d", "report.xml"}, kOlder + "discovery_writes=0\n", 0, ""},
        {"discovery failed", {"-d", "report.xml"}, kOlder + "discovery=12\n", 0, ""},
        {"report update 1", {"-u", "report.xml"}, kOlder + "flash_with_file=1\n", 2, "oem_do_flash_with_file report=report.xml"},
        {"report update 2", {"-u", "report.xml"}, kOlder + "flash_with_file=2\n", 2, ""},
        {"report update 0", {"-u", "report.xml"}, kOlder + "flash_with_file=0\n", 0, ""},
        {"report update 106", {"-u", "report.xml"}, kOlder + "flash_with_file=106\n", 0, ""},
        {"-u before -yx", {"-yx", "-u", "r.xml"}, kOlder + "flash_with_file=1\n", 2, "oem_do_flash_with_file report=r.xml"},
        {"-yx", {"-yx"}, kOlder, 0, ""},
        {"-v", {"-v", "versions.txt"}, kOlder, 0, ""},
        {"version report", {"-v"}, kOlder, 1, ""},
        {"version report, query fails", {"/V"}, kOlder + "info=102\n", 102, ""},
        {"version check older", {"-n"}, kOlder, 4, ""},
        {"version check same", {"-n"}, kCurrent, 5, ""},
        {"silent updated", {"-s"}, kOlder, 1, "oem_do_full_flash_PCI"},
        {"silent nothing to do", {"-s"}, kCurrent, 3, ""},
        {"silent flash failed", {"-s"}, kOlder + "flash=3\n", 0, ""},
        {"silent flash already installed", {"-s"}, kOlder + "flash=2\n", 1, ""},
        {"query: init failed", {"-c"}, kOlder + "info=101\n", 101, ""},
        {"query: discovery failed", {"-d", "r.xml"}, kOlder + "info=102\n", 102, ""},
        {"query: no folder", {"-n"}, kOlder + "info=108\n", 108, ""},
        {"second query fails", {"-c"}, kOlder + "info2=102\n", 102, ""},
        {"code beyond eight bits", {"-c"}, kOlder + "info=300\n", 255, ""},
        {"records cannot be allocated", {"-c"}, kOlder + "count=4000000000\n", 14, ""},
        {"usage", {"-h"}, kOlder, 0, ""},
        {"rejected pair", {"-c", "-s"}, kOlder, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(c.control);
        RunResult r = sb.Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        if (!c.expectedCall.empty()) {
            EXPECT_FALSE(sb.Calls(c.expectedCall).empty());
        }
        std::string log = sb.Log();
        bool usage = Contains(log, "USAGE: ");
        EXPECT_EQ(Contains(log, "Exiting with code " + std::to_string(c.exitCode) + "\r\n"), !usage);
        // The adapter query runs before every mode.
        if (!usage) {
            EXPECT_FALSE(sb.Calls("oem_get_adapter_info records=none").empty());
        }
    }
}

TEST(Modes, AdapterQueryFailureMessages)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kOlder + "info=101\n");
    RunResult r = sb.Run({"-c"});
    EXPECT_TRUE(Contains(r.out, "No supported adapters found!\nFailed to get NIC information! Aborting installation.\n"));
    std::string log = sb.Log();
    EXPECT_FALSE(Contains(log, "Failed to get NIC"));  // console only
    EXPECT_TRUE(Contains(log, "Attempt to get NIC information failed with code 101\r\n"));
    EXPECT_TRUE(Contains(log, "Vendor code 101:  101 - RET_FAKE : fake text for 101.\r\r\n\r\n"));
    EXPECT_FALSE(Contains(r.out, "Vendor code"));

    Sandbox low;
    low.AddLibrary("fake_oem.so", "vendor.so");
    low.Control(kOlder + "info=12\n");
    EXPECT_EQ(low.Run({"-c"}).exitCode, 12);
    EXPECT_FALSE(Contains(low.Log(), "Vendor code"));
    EXPECT_TRUE(low.Calls("oem_text_for_error_code").empty());

    Sandbox huge;
    huge.AddLibrary("fake_oem.so", "vendor.so");
    huge.Control(kOlder + "count=4000000000\n");
    r = huge.Run({"-c"});
    EXPECT_TRUE(Contains(r.out, "Found 4000000000 adapters\n"));
    EXPECT_TRUE(Contains(huge.Log(), "Unable to allocate memory for adapter information.\r\n"));
    EXPECT_TRUE(huge.Calls("oem_get_adapter_info records=array").empty());
}

TEST(Modes, ToolPassesItsArraySizeAndTrustsNoLargerCount)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    // The counting call reports one adapter while three exist: only one record is asked for.
    sb.Control(kOlder + OneAdapter("fw=PXE|pxe.bin|1.0.0|1.0.1\n") + OneAdapter("") + "count=1\n");
    RunResult r = sb.Run({"-c"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(sb.Calls("oem_get_adapter_info records=array capacity=1 ").empty());
    EXPECT_TRUE(Contains(r.out, "NIC 0: "));
    EXPECT_FALSE(Contains(r.out, "NIC 1: "));
}

TEST(Modes, ListingText)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control("adapter=Dual Port 10G|PCI\\VEN_14E4&DEV_1650|0x14e4|0x1650|0x103c|0x22fa|1|0x81|3|7|PCI Slot 4|00101801A2B3\n"
               "fw=MBA|mba.bin|1.2.70000|1.2.3\n"
               "fw=IPMI|ipmi.bin|7.4.3|7.4.12\n"
               "adapter=Second|DEV2|1|2|3|4|0|0|0|0||AB\n");
    RunResult r = sb.Run({"-c"});
    const std::string expected =
        "Found 2 adapters\n"
        "NIC 0: Dual Port 10G at PCI\\VEN_14E4&DEV_1650\n"
        "Nic is flagged as supported.\n"
        "\tPCI-ID: 14e4-1650-103c-22fa\n"
        "\tSlot Number: PCI Slot 4\n"
        "\tSegment: 0001\n"
        "\tBus:device.function: 129:03.07\n"
        "\tMAC address: 00101801A2B3\n"
        "Firmware inventory:\n"
        "\tFirmware type\tCurrent version\tAvailable version\n"
        "\tMBA\t\t1.2.11170\t\t1.2.3\r\n"
        "\tIPMI\t\t7.4.3\t\t7.4.12\r\n"
        "\n"
        "NIC 1: Second at DEV2\n"
        "Nic is flagged as supported.\n"
        "\tPCI-ID: 0001-0002-0003-0004\n"
        "\tSlot Number: \n"
        "\tSegment: 0000\n"
        "\tBus:device.function: 00:00.00\n"
        "\tMAC address: AB          \n"
        "Firmware inventory:\n"
        "\tFirmware type\tCurrent version\tAvailable version\n"
        "\n";
    EXPECT_TRUE(Contains(r.out, expected)) << r.out;
    std::string log = sb.Log();
    EXPECT_TRUE(Contains(log, "\tMAC address: 00101801A2B3\r\n\tFirmware types: 2\r\nFirmware inventory:\r\n"));
    EXPECT_TRUE(Contains(log, "\tMBA\t\t1.2.11170\t\t1.2.3\r\r\n\tFile name: mba.bin\r\n"));
    EXPECT_TRUE(Contains(log, "Looking for FW in " + sb.FwFolder() + "\r\n"));
    EXPECT_FALSE(sb.Calls("oem_get_adapter_info records=none folder=" + sb.FwFolder()).empty());
}

TEST(Modes, MoreThanTwentyEntriesAreCutToTwentyEverywhere)
{
    std::string entries;
    for (int i = 0; i < 20; ++i) entries += "fw=T" + std::to_string(i) + "|f" + std::to_string(i) + ".bin|1.0.0|1.0.0\n";
    std::string control = OneAdapter(entries + "fwcount=25\n");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    for (const auto& c : {Case{{"-c"}, 0}, Case{{"-n"}, 5}, Case{{"-s", "-f"}, 1}}) {
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(control);
        RunResult r = sb.Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        if (c.args[0] == "-c") {
            EXPECT_TRUE(Contains(r.out, "\tT19\t\t1.0.0\t\t1.0.0\r\n\n"));
            EXPECT_TRUE(Contains(sb.Log(), "\tFirmware types: 25\r\n"));
        }
        if (c.args[0] == "-s") {
            EXPECT_EQ(sb.Calls("oem_do_full_flash_PCI").size(), 20u);
        }
    }
}

TEST(Modes, DiscoveryAndReportUpdateTexts)
{
    struct Case {
        std::vector<std::string> args;
        std::string control;
        std::string expected;  // on the console
        std::string absent;
    };
    const Case cases[] = {
        {{"-d", "out.xml"}, "", "Discovery report written to out.xml.\nLibrary result: 0\n", "Library response"},
        {{"-d", "out.xml"}, "discovery=107\n", "Found 1 adapters\nLibrary response:  107 - RET_FAKE : fake text for 107.\r\n\n", "written"},
        {{"-d", "out.xml"}, "discovery=12\n", "Found 1 adapters\n---", "Library response"},
        {{"-d", "out.xml"}, "discovery_writes=0\n", "Found 1 adapters\n---", "Library response"},
        {{"-u", "in.xml"}, "flash_with_file=0\n", "Flashing from discovery report at in.xml.\nLibrary result: 0\n---", "Library response"},
        {{"-u", "in.xml"}, "flash_with_file=10\n", "Library result: 10\n---", "Library response"},
        {{"-u", "in.xml"}, "flash_with_file=106\n", "Library result: 106\nLibrary response:  106 - RET_FAKE : fake text for 106.\r\n\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(kOlder + c.control);
        RunResult r = sb.Run(c.args);
        EXPECT_TRUE(Contains(r.out, c.expected)) << r.out;
        if (!c.absent.empty()) {
            EXPECT_FALSE(Contains(r.out, c.absent));
        }
    }
}

TEST(Modes, VersionCheckScanOrder)
{
    struct Case {
        std::string name;
        std::string control;
        int exitCode;
    };
    const Case cases[] = {
        {"newer hides a later older entry of the same adapter",
         OneAdapter("fw=A|a|2.0.0|1.0.0\nfw=B|b|1.0.0|2.0.0\n") + OneAdapter("fw=C|c|1.0.0|1.0.0\n"), 6},
        {"older in a later adapter wins over newer",
         OneAdapter("fw=A|a|2.0.0|1.0.0\nfw=B|b|1.0.0|2.0.0\n") + OneAdapter("fw=C|c|1.0.0|1.0.1\n"), 4},
        {"older first stops the scan", OneAdapter("fw=A|a|1.0.0|1.1.0\n") + OneAdapter("fw=C|c|3.0.0|1.0.0\n"), 4},
        {"no entries at all", OneAdapter("") + OneAdapter(""), 5},
        {"major decides before minor", OneAdapter("fw=A|a|2.0.0|1.9.9\n"), 6},
        {"build compares unsigned", OneAdapter("fw=A|a|1.0.4294967295|1.0.1\n"), 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(c.control);
        RunResult r = sb.Run({"-n"});
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(Contains(sb.Log(), "Component version check returning " + std::to_string(c.exitCode) + "\r\n"));
    }
}
