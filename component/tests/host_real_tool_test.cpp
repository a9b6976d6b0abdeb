// The whole path: kestra_host loads Pelaris.so, whose Install runs the real console tool (under
// this system's program name) with the real vendor library on a simulated machine.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>

#include "component_fixture.h"
#include "host_runner.h"
#include "platform/testing/bin_dir.h"
#include "sim/adapter_builder.h"
#include "testkit/component_files.h"
#include "testkit/component_machine.h"

namespace {

// The plug-in with this system's tool, the vendor library and the simulated management library in
// the component folder, the demo machine, and its firmware in the folder's FW.
void MakeComponentMachine(const ComponentFolder& f)
{
    f.CopyBuilt("Pelaris.so", "Pelaris.so");
    f.CopyBuilt("TIRN", "YXZQFWUpg.exe");
    f.CopyBuilt("LibALDN_ZkFwUpg.so", "LibALDN_ZkFwUpg.so");
    f.CopyBuilt("YXMAPIa.so", "YXMAPIa.so");
    testkit::write_component_files(f.folder(), "dz012345.xml", testkit::ComponentPackage{}, testkit::ComponentInstall{});
    std::string fwgen = platform::testing::bin_dir() + "/fwgen";
    ASSERT_EQ(std::system(("'" + fwgen + "' demo '" + f.root() + "' '" + f.file("FW") + "' >/dev/null 2>&1").c_str()), 0);
    testkit::add_service(f.root(), {"cvnd2"});  // the driver the family's dependency check wants
}

}  // namespace

TEST(HostRealTool, DiscoveryAndUpdateFromTheReportThroughThePlugin)
{
    ComponentFolder f;
    MakeComponentMachine(f);
    if (HasFatalFailure()) return;

    // The tool's version check finds older firmware on the adapters: an update is available.
    HostReport older = RunHost(f.folder(), {}, {"KESTRA_ACTIONS=props"});
    EXPECT_EQ(older["property5.state"], "2") << older.out;
    EXPECT_EQ(older["property5.text"].rfind("At least 1 NIC on the system has older firmware", 0), 0u);

    HostReport d = RunHost(f.folder(), {"/d", "report.xml", "/verbose_log"},
                           {"KESTRA_ACTIONS=install", "KESTRA_LOG_HANDOVER=1"});
    EXPECT_EQ(d["install.result"], "3") << d.out;
    EXPECT_EQ(d["install.message"], "All firmware discovery successful.Details in xml file.\\r\\n");
    std::string before = ComponentFolder::Read(f.file("report.xml"));
    EXPECT_NE(before.find("zk_rom_discovery"), std::string::npos);
    // The tool's own lines came through the live log into the host's verbose log.
    std::string verbose = f.ReadRoot("C/tvnsystem/log/dz012345.exe.log");
    EXPECT_NE(verbose.find("Upgrade library: LibALDN_ZkFwUpg.so"), std::string::npos) << verbose;

    HostReport u = RunHost(f.folder(), {"/u", "report.xml"}, {"KESTRA_ACTIONS=install"});
    EXPECT_EQ(u["install.result"], "2") << u.out;
    EXPECT_EQ(u["install.message"], "Read the XML file and completed upgrade successfully.\\r\\n");

    // Discovery again: the adapters now report other versions.
    HostReport again = RunHost(f.folder(), {"/d", "after.xml"}, {"KESTRA_ACTIONS=install"});
    EXPECT_EQ(again["install.result"], "3");
    EXPECT_NE(ComponentFolder::Read(f.file("after.xml")), before);

    // Now the version check finds the same firmware everywhere.
    HostReport same = RunHost(f.folder(), {}, {"KESTRA_ACTIONS=props"});
    EXPECT_EQ(same["property5.state"], "1") << same.out;
    EXPECT_EQ(same["property5.text"].rfind("All NICs in the system for which there is a corresponding firmware", 0), 0u);

    // The version report on a healthy machine (the host's file name is not passed on).
    for (const std::vector<std::string>& args : {std::vector<std::string>{"/v"}, {"/v", "versions.xml"}}) {
        HostReport v = RunHost(f.folder(), args, {"KESTRA_ACTIONS=install"});
        EXPECT_EQ(v["install.result"], "1") << v.out;
        EXPECT_EQ(v["install.message"], "Version report completed successfully.\\r\\n");
    }
    // A tool that cannot run (its vendor library gone) gives no version report.
    std::filesystem::rename(f.file("LibALDN_ZkFwUpg.so"), f.file("LibALDN_ZkFwUpg.so.away"));
    HostReport broken = RunHost(f.folder(), {"/v"}, {"KESTRA_ACTIONS=install"});
    EXPECT_EQ(broken["install.result"], "0") << broken.out;
    EXPECT_EQ(broken["install.message"],
              "An error occured during discovering hardware. See yxzqfwupg.log for more information.\\r\\n");
    std::filesystem::rename(f.file("LibALDN_ZkFwUpg.so.away"), f.file("LibALDN_ZkFwUpg.so"));

    // A version check that cannot look at the adapters reads as the same version.
    std::filesystem::rename(f.root() + "/adapters", f.root() + "/adapters.away");
    HostReport none = RunHost(f.folder(), {}, {"KESTRA_ACTIONS=props"});
    EXPECT_EQ(none["property5.state"], "1") << none.out;
}

// A board whose only package went bad after the report was written: the update from the report
// fails that board's item, so the plug-in reports an error, never "completed successfully".
TEST(HostRealTool, AnUpdateThatFailsABoardIsNoSuccess)
{
    ComponentFolder f;
    MakeComponentMachine(f);
    if (HasFatalFailure()) return;

    HostReport d = RunHost(f.folder(), {"/d", "report.xml"}, {"KESTRA_ACTIONS=install"});
    ASSERT_EQ(d["install.result"], "3") << d.out;
    std::filesystem::resize_file(f.file("FW/mbi_e1.bin"), 3000);  // the E1 board's only package, cut

    HostReport u = RunHost(f.folder(), {"/u", "report.xml"}, {"KESTRA_ACTIONS=install"});
    EXPECT_EQ(u["install.result"], "0") << u.out;
    EXPECT_EQ(u["install.message"], "Error reading XML file.\\r\\n");
    EXPECT_NE(ComponentFolder::Read(f.file("report.xml")).find("action_status value=\"103\""), std::string::npos);
}

namespace {

// The PCI ids and MAC address of every E1-E3 port part (words +0, +4, +16, +20 of the 400-byte
// parts at 300 + 400 x port and, but on E1 boards, 2068 + 400 x port), by board.
std::map<std::string, std::string> PortIdentities(const std::string& root)
{
    std::map<std::string, std::string> ids;
    for (const auto& e : std::filesystem::directory_iterator(root + "/adapters")) {
        const std::string board = e.path().stem().string();
        if (e.path().extension() != ".nvram" || board.rfind("e4-", 0) == 0 || board.rfind("e", 0) != 0) continue;
        const std::string nv = ComponentFolder::Read(e.path().string());
        if (nv.size() < 2872) continue;
        std::string& id = ids[board];
        for (size_t part : {300u, 700u, 2068u, 2468u})
            for (size_t word : {0u, 4u, 16u, 20u})
                if (part < 2024 || board.rfind("e1-", 0) != 0) id += nv.substr(part + word, 4);
    }
    return ids;
}

// The kit's verifier of the board's family, chosen by the demo's board names.
int Verify(const std::filesystem::path& nvram)
{
    const std::string board = nvram.stem().string();
    const char* verb = board.rfind("e4-", 0) == 0 ? "e4-verify"
                       : board.rfind("l-", 0) == 0 ? "verify --legacy"
                       : board.rfind("e1-", 0) == 0 ? "verify --e1"
                                                     : "verify";
    const std::string fwgen = platform::testing::bin_dir() + "/fwgen";
    return std::system(("'" + fwgen + "' " + verb + " '" + nvram.string() + "' >/dev/null 2>&1").c_str());
}

}  // namespace

// A console update cut by an erasing power loss in the E3 board's second write into its first
// 4 KiB leaves the only copy of the board's MAC addresses in a backup in the console tool's folder.
// The update manager's run, from the plug-in's component folder, finds that backup, programs it back
// and updates the board; it never reports success while the board is damaged. The console update
// that follows finishes every board, each with its own MAC addresses and PCI ids.
TEST(HostRealTool, ThePluginFindsTheConsoleToolsLeftoverAndNeverReportsSuccessOnADamagedBoard)
{
    ComponentFolder f;
    MakeComponentMachine(f);
    if (HasFatalFailure()) return;
    const std::string bin = platform::testing::bin_dir();
    const auto identities = PortIdentities(f.root());
    ASSERT_FALSE(identities.empty());

    // The console tool in a folder of its own, with the same firmware.
    const std::string console = f.root() + "/console";
    std::filesystem::create_directories(console);
    for (const char* built : {"TIRN", "LibALDN_ZkFwUpg.so", "YXMAPIa.so"})
        std::filesystem::copy_file(bin + "/" + built, console + "/" + built);
    std::filesystem::copy(f.file("FW"), console + "/FW", std::filesystem::copy_options::recursive);
    auto tirn = [&](const std::string& args) {
        const int status = std::system(("cd '" + console + "' && ./TIRN " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(tirn("-d report.xml"), 1);
    sim::FaultRule cut;
    cut.ordinal = 67;
    cut.adapter = "e3-57810-p0";
    cut.nth = 2;
    cut.from = 0;
    cut.to = 0x1000;
    cut.cut_after = 4;
    cut.exit_after_cut = true;
    cut.erase_sector = 4096;
    sim::Control control;
    control.faults.push_back(cut);
    sim::write_control(f.root(), control);
    EXPECT_EQ(tirn("-u report.xml"), 75) << "the power loss was not reached";
    sim::write_control(f.root(), sim::Control{});
    const std::string e3 = f.root() + "/adapters/e3-57810.nvram";
    ASSERT_NE(Verify(e3), 0) << "the cut left a board that verifies";
    bool left = false;
    for (const auto& e : std::filesystem::directory_iterator(console))
        left |= e.path().filename().string().rfind("NVMDump#_", 0) == 0;
    ASSERT_TRUE(left) << "the cut run left no backup";

    HostReport d = RunHost(f.folder(), {"/d", "report.xml"}, {"KESTRA_ACTIONS=install"});
    EXPECT_EQ(d["install.result"], "3") << d.out;
    HostReport u = RunHost(f.folder(), {"/u", "report.xml"}, {"KESTRA_ACTIONS=install"});
    if (u["install.result"] == "2") {
        EXPECT_EQ(Verify(e3), 0) << "success reported on a damaged board";
        EXPECT_EQ(PortIdentities(f.root()), identities) << "success reported with other MAC addresses or PCI ids";
    }
    EXPECT_EQ(u["install.result"], "2") << "the console tool's leftover was not used:\n" << u.out;

    // The console update again: nothing is left to repair, every board ends updated.
    ASSERT_EQ(tirn("-d report2.xml"), 1);
    tirn("-u report2.xml");
    for (const auto& e : std::filesystem::directory_iterator(f.root() + "/adapters"))
        if (e.path().extension() == ".nvram") {
            EXPECT_EQ(Verify(e.path()), 0) << e.path();
        }
    EXPECT_EQ(PortIdentities(f.root()), identities);
    for (const auto& e : std::filesystem::directory_iterator(console))
        EXPECT_NE(e.path().filename().string().rfind("NVMDump#_", 0), 0u) << e.path().filename() << " stays";
    HostReport same = RunHost(f.folder(), {}, {"KESTRA_ACTIONS=props"});
    EXPECT_EQ(same["property5.state"], "1") << "an item is not updated:\n" << same.out;
}
