// How TIRN finds and binds the vendor library in its working folder.
#include "tirn_harness.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace tirn_test;

namespace {

const std::string kAdapter = OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.0\n");

}  // namespace

TEST(Binding, LinesForEachLibrarySet)
{
    struct Lib {
        std::string built, as;
    };
    struct Case {
        std::string name;
        std::vector<Lib> libs;
        std::vector<std::string> expectedLog;  // in this order, each with CR LF
        std::vector<std::string> loaded;       // journal "load" lines, in order
        std::string kept;
        std::string version = "3.1.4.15";
    };
    const Case cases[] = {
        {"text file before the library",
         {{"", "bad.so"}, {"fake_oem.so", "vendor.so"}},
         {"Attempting to load DLL bad.so", "Load failed for DLL bad.so", "DLL bad.so is not an TIRN library",
          "Attempting to load DLL vendor.so", "DLL vendor.so identified as an TIRN library"},
         {"load vendor.so"},
         "vendor.so"},
        {"other library stays loaded",
         {{"not_vendor.so", "not_vendor.so"}, {"fake_oem.so", "vendor.so"}},
         {"Attempting to load DLL not_vendor.so", "DLL not_vendor.so is not an TIRN library",
          "Attempting to load DLL vendor.so", "DLL vendor.so identified as an TIRN library"},
         {"load not_vendor.so", "load vendor.so"},
         "vendor.so"},
        {"later candidates are not opened",
         {{"fake_oem.so", "a_vendor.so"}, {"fake_oem.so", "b_vendor.so"}},
         {"Attempting to load DLL a_vendor.so", "DLL a_vendor.so identified as an TIRN library"},
         {"load a_vendor.so"},
         "a_vendor.so"},
        {"names sort by byte value",
         {{"fake_oem.so", "Zeta.so"}, {"fake_oem.so", "alpha.so"}},
         {"Attempting to load DLL Zeta.so", "DLL Zeta.so identified as an TIRN library"},
         {"load Zeta.so"},
         "Zeta.so"},
        {"partial library is enough to be kept",
         {{"fake_partial.so", "vendor.so"}},
         {"DLL vendor.so identified as an TIRN library"},
         {"load vendor.so"},
         "vendor.so",
         "n/a"},  // this one carries no version record
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb;
        for (const auto& l : c.libs) {
            if (l.built.empty())
                sb.WriteFile(l.as, "this is not a shared library\n");
            else
                sb.AddLibrary(l.built, l.as);
        }
        sb.WriteFile("readme.txt", "not a candidate");
        sb.Control(kAdapter);
        RunResult r = sb.Run({"-c"});
        EXPECT_EQ(r.exitCode, 0);
        std::string log = sb.Log();
        size_t pos = 0;
        for (const auto& line : c.expectedLog) {
            size_t at = log.find(line + "\r\n", pos);
            EXPECT_NE(at, std::string::npos) << line;
            if (at != std::string::npos) pos = at;
        }
        EXPECT_EQ(sb.Calls("load "), c.loaded);
        EXPECT_TRUE(Contains(r.out, "Upgrade library: " + c.kept + " (ver " + c.version + ")\r\n")) << r.out;
        EXPECT_FALSE(Contains(log, "readme.txt"));
        EXPECT_FALSE(Contains(r.out, "Attempting"));  // binding lines go to the log only
    }
}

TEST(Binding, EachFunctionIsBoundOnceWhenPresentAndRetriedWhenMissing)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.1\nfw=PXE|pxe.bin|1.0.0|1.0.1\n"));
    sb.Run({"-s"});
    std::string log = sb.Log();
    const std::string present = "Retrieving API function oem_do_full_flash_PCI from vendor library -- present\r\n";
    ASSERT_TRUE(Contains(log, present));
    EXPECT_EQ(log.find(present), log.rfind(present));  // two flashes, one lookup
    EXPECT_EQ(sb.Calls("oem_do_full_flash_PCI").size(), 2u);

    Sandbox partial;
    partial.AddLibrary("fake_partial.so", "vendor.so");
    partial.Control(OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.1\nfw=PXE|pxe.bin|1.0.0|1.0.1\n"));
    RunResult r = partial.Run({"-s"});
    // Each missing function fails with 13, which counts as a failed flash.
    EXPECT_EQ(r.exitCode, 0);
    log = partial.Log();
    const std::string missing = "Retrieving API function oem_do_full_flash_PCI from vendor library -- not present\r\n";
    size_t first = log.find(missing);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find(missing, first + 1), std::string::npos);
    EXPECT_TRUE(Contains(log, "Update complete.  Flash result: 13\r\r\n"));
}

TEST(Binding, NoLibraryStillEndsWithTheBannerAndCodeZero)
{
    struct Case {
        std::vector<std::string> args;
    };
    const Case cases[] = {{{"-c"}}, {{}}, {{"-debug", "-n"}}};
    for (const auto& c : cases) {
        Sandbox sb;
        sb.WriteFile("bad.so", "text");
        RunResult r = sb.Run(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(Contains(r.out, "Error: No vendor library found.  Installation aborting.\n"));
        std::string log = sb.Log();
        EXPECT_TRUE(Contains(log, "Exiting with code 0\r\n"));
        EXPECT_FALSE(Contains(log, "Found "));
        EXPECT_EQ(r.out.substr(r.out.size() - 78), std::string(77, '-') + "\n");
    }
}

TEST(Binding, DebugLogRequest)
{
    struct Case {
        std::string lib;
        std::string control;
        int exitCode;
        bool errorLine;
    };
    const Case cases[] = {
        {"fake_oem.so", "debug=0\n", 3, false},
        {"fake_oem.so", "debug=7\n", 0, true},
        {"fake_partial.so", "debug=7\n", 3, false},  // no such function: counts as success
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lib + " " + c.control);
        Sandbox sb;
        sb.AddLibrary(c.lib, "vendor.so");
        sb.Control(OneAdapter("fw=MBA|mba.bin|1.0.0|1.0.0\n") + c.control);
        RunResult r = sb.Run({"-debug", "-s"});
        EXPECT_EQ(r.exitCode, c.exitCode);
        std::string log = sb.Log();
        EXPECT_EQ(Contains(log, "ERROR: Can't create library debug log file or append messages to it\r\n"), c.errorLine);
        EXPECT_EQ(Contains(log, "Exiting with code"), !c.errorLine);
        if (c.lib == "fake_oem.so") {
            EXPECT_EQ(sb.Calls("oem_get_debug_info"), std::vector<std::string>{"oem_get_debug_info ./libdbg.log"});
        }
    }
}

// A link at the name of the library's debug log (in the tool folder) or of the tool's own log is
// refused with a message: the linked file keeps its bytes, and the run goes on without that file.
TEST(Binding, ALinkAtALogsNameIsRefusedAndTheRunGoesOn)
{
    struct Case {
        const char* name;
        bool toolLog;  // else the library's debug log
    } const cases[] = {{"debug_log", false}, {"tool_log", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb;
        sb.AddLibrary("fake_oem.so", "vendor.so");
        sb.Control(kAdapter + "debug=0\n");
        sb.WriteFile("elsewhere.txt", "keep");
        const std::string at = c.toolLog ? sb.LogFolder() + "/tirn.log" : sb.work + "/libdbg.log";
        std::filesystem::create_directories(sb.LogFolder());
        std::filesystem::create_symlink(sb.work + "/elsewhere.txt", at);

        const RunResult r = sb.Run({"-debug", "-s"});
        EXPECT_EQ(r.exitCode, 3) << r.out;
        EXPECT_EQ(ReadFile(sb.work + "/elsewhere.txt"), "keep");
        EXPECT_TRUE(std::filesystem::is_symlink(at));
        if (c.toolLog) {
            EXPECT_TRUE(Contains(r.out, "tirn.log is a link or not a regular file")) << r.out;
        } else {
            const std::string log = sb.Log();  // a silent run says it in its log
            EXPECT_TRUE(Contains(log, "libdbg.log is a link or not a regular file")) << log;
            EXPECT_TRUE(sb.Calls("oem_get_debug_info").empty());
            EXPECT_TRUE(Contains(log, "Exiting with code 3"));
        }
    }
}

// Backups the library kept aside in the tool folder are named in the tool's log on every run;
// their fingerprint files and other backup files are not.
TEST(Binding, KeptBackupsAreNamedInTheToolsLog)
{
    Sandbox sb;
    sb.AddLibrary("fake_oem.so", "vendor.so");
    sb.Control(kAdapter);
    for (const char* name : {"NVMDump#_001122334455.BIN.unverified-1", "NVMDump#_001122334455.BIN.unverified-1.sha256",
                             "NVMCfgDump#_001122334455.BIN.unverified-2", "NVMDump#_001122334455.BIN"})
        sb.WriteFile(name, "x");
    // The library's machine-wide list names kept backups of other folders too (and backups that
    // are not kept, and kept ones of this folder, which are named once by their name).
    const std::string other = sb.root + "/other tool";
    const std::string list = sb.root + "/C/ProgramData/FwUpg/Backups/";
    std::filesystem::create_directories(other);
    std::filesystem::create_directories(list);
    std::ofstream(other + "/NVMDump#_001122334455.BIN.unverified-3") << "x";
    std::ofstream(other + "/NVMDump#_001122334466.BIN") << "x";
    std::ofstream(list + "00000000000000000000000000000001")
        << "00:11:22:33:44:55 1639\n" << other << "/NVMDump#_001122334455.BIN.unverified-3\n";
    std::ofstream(list + "00000000000000000000000000000002")
        << "00:11:22:33:44:66 1639\n" << other << "/NVMDump#_001122334466.BIN\n";
    std::ofstream(list + "00000000000000000000000000000003")
        << "00:11:22:33:44:55 1639\n" << sb.work << "/NVMDump#_001122334455.BIN.unverified-1\n";
    std::ofstream(list + "00000000000000000000000000000004")
        << "00:11:22:33:44:55 1639\n" << other << "/NVMDump#_001122334455.BIN.unverified-9\n";  // gone
    sb.Run({"-c"});
    const std::string log = sb.Log();
    auto named = [&](const std::string& file) { return Contains(log, ": " + file + ". Check it"); };
    EXPECT_TRUE(named(other + "/NVMDump#_001122334455.BIN.unverified-3")) << log;
    EXPECT_FALSE(named(other + "/NVMDump#_001122334466.BIN"));
    EXPECT_FALSE(named(other + "/NVMDump#_001122334455.BIN.unverified-9"));
    EXPECT_FALSE(named(sb.work + "/NVMDump#_001122334455.BIN.unverified-1")) << "named once, by its name";
    EXPECT_TRUE(named("NVMDump#_001122334455.BIN.unverified-1")) << log;
    EXPECT_TRUE(named("NVMCfgDump#_001122334455.BIN.unverified-2")) << log;
    EXPECT_FALSE(named("NVMDump#_001122334455.BIN.unverified-1.sha256"));
    EXPECT_FALSE(named("NVMDump#_001122334455.BIN"));
}
