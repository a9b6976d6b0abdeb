#include "testkit/component_machine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/testing/temp_root.h"

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

// The machine files the kit writes for the plug-in's checks, against text written by hand from
// the formats of the service database, the registry, the devices file and WMI classes.
TEST(ComponentMachine, FilesMatchHandWrittenText)
{
    platform::testing::TempDir dir;
    const std::string root = dir.path();
    testkit::add_system_facts(root, {{"OsMajorVersion", "5"}, {"FreeDiskBytes", "1024"}});
    testkit::add_service(root, {"CVEDRV", false, true});
    testkit::add_device(root, {"PCI\\VEN_1&DEV_2\\0", {"PCI\\VEN_1&DEV_2&REV_01", "PCI\\VEN_1&DEV_2"}});
    testkit::add_driver_file(root, "x.sys");
    testkit::set_computer_model(root, "Ostra 9");

    EXPECT_EQ(Read(root + "/system.conf"), "OsMajorVersion=5\nFreeDiskBytes=1024\n");
    EXPECT_EQ(Read(root + "/services/cvedrv.service"),
              "name=CVEDRV\ndisplay=CVEDRV\ntype=1\nbinary=\\SystemRoot\\system32\\drivers\\CVEDRV.sys\n"
              "state=stopped\non_start=running\non_stop=stopped\n");
    EXPECT_EQ(Read(root + "/services/winmgmt.service").find("state=running\n") != std::string::npos, true);
    EXPECT_EQ(Read(root + "/registry/HKEY_LOCAL_MACHINE.reg"),
              "[System\\CurrentControlSet\\Services\\CVEDRV]\nvalue 4 01000000 Type\nvalue 4 03000000 Start\n"
              "value 4 01000000 ErrorControl\nvalue 4 01000000 DeleteFlag\n"
              "[System\\CurrentControlSet\\Services\\winmgmt]\nvalue 4 01000000 Type\nvalue 4 03000000 Start\n"
              "value 4 01000000 ErrorControl\n");
    EXPECT_EQ(Read(root + "/devices"), "[PCI\\VEN_1&DEV_2\\0]\nclass={4D36E972-E325-11CE-BFC1-08002BE10318}\n"
                                       "hardware_ids=PCI\\VEN_1&DEV_2&REV_01;PCI\\VEN_1&DEV_2\npresent=1\n");
    EXPECT_EQ(Read(root + "/C/Windows/system32/drivers/x.sys"), "");
    EXPECT_EQ(Read(root + "/wmi/ROOT/CIMV2/Win32_ComputerSystem.instances"),
              "[instance]\nModel=sz:Ostra 9\nName=sz:TVNHOST\n");
    EXPECT_EQ(testkit::dependency_xml({"A", "B"}),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<componentdependencies>\n  <dependent_hardware>\n"
              "    <platforms>\n      <platform model=\"A\"/>\n      <platform model=\"B\"/>\n    </platforms>\n"
              "  </dependent_hardware>\n</componentdependencies>\n");
}
