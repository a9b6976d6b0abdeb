#include "testkit/component_files.h"

#include <gtest/gtest.h>

// The kit's package and install files against text written by hand from the format description.
TEST(ComponentFiles, PackageFileMatchesHandWrittenText)
{
    testkit::ComponentPackage p;
    p.filename = "dz77.exe";
    p.version = "7.2.1";
    p.names = {{"en", "Firmware"}, {"de", "Firmware DE"}};
    p.descriptions = {{"en", "Updates <all>"}};
    p.keyName = "YXZQFWUpg.exe";
    p.keyPaths = {"C:\\a\\", "C:\\b"};
    p.silent = "no";
    p.reboot = "yes";
    p.diskKb = "512";
    p.pci = {{"14E4", "1639", "103C", "7055"}};
    p.otherDevices = {{"eisa", "PNP0A03"}};
    p.operatingSystems = {"major=\"6\" edition=\"srvr\""};
    const char* expected = R"(<?xml version="1.0" encoding="UTF-8"?>
<tvn_package>
  <filename>dz77.exe</filename>
  <version value="7.2.1"/>
  <name>
    <name_xlate lang="en">Firmware</name_xlate>
    <name_xlate lang="de">Firmware DE</name_xlate>
  </name>
  <description>
    <description_xlate lang="en"><![CDATA[Updates <all>]]></description_xlate>
  </description>
  <sw_keys>
    <sw_keys_and>
      <sw_key name="YXZQFWUpg.exe">
        <sw_key_expectedpath>C:\a\</sw_key_expectedpath>
      </sw_key>
    </sw_keys_and>
    <sw_keys_and>
      <sw_key name="YXZQFWUpg.exe">
        <sw_key_expectedpath>C:\b</sw_key_expectedpath>
      </sw_key>
    </sw_keys_and>
  </sw_keys>
  <installation>
    <install>
      <install_caps silent="no"/>
      <reboot_required value="yes"/>
    </install>
  </installation>
  <prerequisites>
    <required_diskspace size_kb="512"/>
    <supported_devices>
      <supported_devices_and>
        <supported_device type="pci">
          <supported_device_data name="ven">14E4</supported_device_data>
          <supported_device_data name="dev">1639</supported_device_data>
          <supported_device_data name="subven">103C</supported_device_data>
          <supported_device_data name="subdev">7055</supported_device_data>
        </supported_device>
      </supported_devices_and>
      <supported_devices_and>
        <supported_device type="eisa">
          <supported_device_data name="id">PNP0A03</supported_device_data>
        </supported_device>
      </supported_devices_and>
    </supported_devices>
    <supported_operating_systems>
      <supported_operating_system major="6" edition="srvr"/>
    </supported_operating_systems>
  </prerequisites>
</tvn_package>
)";
    EXPECT_EQ(testkit::package_file_xml(p), expected);
}

TEST(ComponentFiles, InstallFileMatchesHandWrittenText)
{
    testkit::ComponentInstall i;
    i.element = "inf_file_nt5";
    i.infFile = "b57.inf";
    i.type = "LEGACY";
    i.serviceName = "b57nd";
    i.shellFile = "%SystemRoot%\\notepad.exe";
    EXPECT_EQ(testkit::install_file_xml(i), R"(<?xml version="1.0" encoding="UTF-8"?>
<tvn_install>
  <inf_information>
    <inf_file_nt5 filename="b57.inf" type="LEGACY" service_name="b57nd"/>
  </inf_information>
  <ShellExecute>
    <ShellExecute_Info file="%SystemRoot%\notepad.exe"/>
  </ShellExecute>
</tvn_install>
)");
}
