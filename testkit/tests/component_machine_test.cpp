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
    testkit::add_registry_dword(root, "SOFTWARE\\Levels", "ServerCore", 0x01020304);
    testkit::add_dos_device(root, "Tvnhlth");

    EXPECT_EQ(Read(root + "/system.conf"), "OsMajorVersion=5\nFreeDiskBytes=1024\n");
    EXPECT_EQ(Read(root + "/services/cvedrv.service"),
              "name=CVEDRV\ndisplay=CVEDRV\ntype=1\nbinary=\\SystemRoot\\system32\\drivers\\CVEDRV.sys\n"
              "state=stopped\non_start=running\non_stop=stopped\n");
    EXPECT_EQ(Read(root + "/services/winmgmt.service").find("state=running\n") != std::string::npos, true);
    EXPECT_EQ(Read(root + "/registry/HKEY_LOCAL_MACHINE.reg"),
              "[System\\CurrentControlSet\\Services\\CVEDRV]\nvalue 4 01000000 Type\nvalue 4 03000000 Start\n"
              "value 4 01000000 ErrorControl\nvalue 4 01000000 DeleteFlag\n"
              "[System\\CurrentControlSet\\Services\\winmgmt]\nvalue 4 01000000 Type\nvalue 4 03000000 Start\n"
              "value 4 01000000 ErrorControl\n[SOFTWARE\\Levels]\nvalue 4 04030201 ServerCore\n");
    EXPECT_EQ(Read(root + "/dosdevices/Tvnhlth"), "");
    EXPECT_EQ(Read(root + "/devices"), "[PCI\\VEN_1&DEV_2\\0]\nclass={4D36E972-E325-11CE-BFC1-08002BE10318}\n"
                                       "hardware_ids=PCI\\VEN_1&DEV_2&REV_01;PCI\\VEN_1&DEV_2\npresent=1\n");
    EXPECT_EQ(Read(root + "/C/Windows/system32/drivers/x.sys"), "");
    EXPECT_EQ(Read(root + "/wmi/ROOT/CIMV2/Win32_ComputerSystem.instances"),
              "[instance]\nModel=sz:Ostra 9\nName=sz:TVNHOST\n");
    testkit::add_newdev(root);
    EXPECT_EQ(Read(root + "/C/Windows/system32/newdev.dll"),
              "[stand-in module]\nexports=UpdateDriverForPlugAndPlayDevicesW\n");
    EXPECT_EQ(testkit::driver_package_inf("tvnx", "PCI\\VEN_1&DEV_2"),
              "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
              "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Ostra%\r\n"
              "DriverVer=03/14/2024,7.2.0.0\r\n\r\n[DestinationDirs]\r\nDefaultDestDir=12\r\n\r\n"
              "[Manufacturer]\r\n%Ostra%=Ostra\r\n\r\n[Ostra]\r\n%Nic%=Ostra.NT,PCI\\VEN_1&DEV_2\r\n\r\n"
              "[Ostra.NT]\r\nCopyFiles=Ostra.Drv\r\n\r\n[Ostra.NT.Services]\r\nAddService=tvnx,2,Ostra.Service\r\n\r\n"
              "[Ostra.Service]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\n"
              "ServiceBinary=%12%\\tvnx.sys\r\n\r\n[Ostra.Drv]\r\ntvnx.sys\r\n\r\n"
              "[Strings]\r\nOstra=\"Ostra Networks\"\r\nNic=\"Ostra Server Adapter\"\r\n");
    EXPECT_EQ(testkit::dependency_xml({"A", "B"}),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<componentdependencies>\n  <dependent_hardware>\n"
              "    <platforms>\n      <platform model=\"A\"/>\n      <platform model=\"B\"/>\n    </platforms>\n"
              "  </dependent_hardware>\n</componentdependencies>\n");
}
