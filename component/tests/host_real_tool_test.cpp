// The whole path: kestra_host loads Pelaris.so, whose Install runs the real console tool (under
// this system's program name) with the real vendor library on a simulated machine.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "host_runner.h"
#include "testkit/component_files.h"
#include "testkit/component_machine.h"
#include "platform/testing/bin_dir.h"

namespace {

// A component folder with the built plug-in, tool and libraries, its package files, and the kit's
// demo machine and firmware folder.
void MakeDemoComponent(ComponentFolder& f)
{
    f.CopyBuilt("Pelaris.so", "Pelaris.so");
    f.CopyBuilt("TIRN", "YXZQFWUpg.exe");
    f.CopyBuilt("LibALDN_ZkFwUpg.so", "LibALDN_ZkFwUpg.so");
    f.CopyBuilt("YXMAPIa.so", "YXMAPIa.so");
    testkit::write_component_files(f.folder(), "dz012345.xml", testkit::ComponentPackage{}, testkit::ComponentInstall{});
    const std::string fwgen = platform::testing::bin_dir() + "/fwgen";
    ASSERT_EQ(std::system(("'" + fwgen + "' demo '" + f.root() + "' '" + f.file("FW") + "' >/dev/null 2>&1").c_str()), 0);
}

}  // namespace

TEST(HostRealTool, DiscoveryAndUpdateFromTheReportThroughThePlugin)
{
    ComponentFolder f;
    ASSERT_NO_FATAL_FAILURE(MakeDemoComponent(f));
    testkit::add_service(f.root(), {"cvnd2"});  // the driver the family's dependency check wants

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
    ASSERT_NO_FATAL_FAILURE(MakeDemoComponent(f));
    testkit::add_service(f.root(), {"cvnd2"});

    HostReport d = RunHost(f.folder(), {"/d", "report.xml"}, {"KESTRA_ACTIONS=install"});
    ASSERT_EQ(d["install.result"], "3") << d.out;
    std::filesystem::resize_file(f.file("FW/mbi_e1.bin"), 3000);  // the E1 board's only package, cut

    HostReport u = RunHost(f.folder(), {"/u", "report.xml"}, {"KESTRA_ACTIONS=install"});
    EXPECT_EQ(u["install.result"], "0") << u.out;
    EXPECT_EQ(u["install.message"], "Error reading XML file.\\r\\n");
    EXPECT_NE(ComponentFolder::Read(f.file("report.xml")).find("action_status value=\"103\""), std::string::npos);
}
