#include <gtest/gtest.h>

#include "CBaseComponent.h"
#include "PackageFiles.h"
#include "component_fixture.h"
#include "platform/utf16.h"
#include "testkit/component_files.h"

namespace {

std::string U8(const std::u16string& s) { return platform::to_utf8(s); }

// A package file whose key candidates, devices and systems are given as XML, inside a fixed frame.
std::string Package(const std::string& keys, const std::string& devices = "", const std::string& systems = "",
                    const std::string& filename = "dz012345.exe")
{
    return "<tvn_package><filename>" + filename + "</filename><sw_keys>" + keys +
           "</sw_keys><installation><install><install_caps silent=\"No\"/><reboot_required value=\"YES\"/>"
           "</install></installation><prerequisites><required_diskspace size_kb=\"4096\"/><supported_devices>" +
           devices + "</supported_devices><supported_operating_systems>" + systems +
           "</supported_operating_systems></prerequisites></tvn_package>";
}

std::string Key(const std::string& name, const std::string& path)
{
    std::string attr = name.empty() ? "" : " name=\"" + name + "\"";
    return "<sw_keys_and><sw_key" + attr + "><sw_key_expectedpath>" + path + "</sw_key_expectedpath></sw_key></sw_keys_and>";
}

}  // namespace

TEST(PackageFile, KeyFileIsTheFirstCandidateThatExistsElseTheFirstBuilt)
{
    ComponentFolder f;
    std::filesystem::create_directories(f.root() + "/C/tools2");
    std::ofstream(f.root() + "/C/tools2/YXZQFWUpg.exe") << "x";
    struct Case {
        std::string keys;
        std::string keyFile;
    };
    const Case cases[] = {
        {Key("YXZQFWUpg.exe", "C:\\none") + Key("", "C:\\none2\\"), "C:\\none\\YXZQFWUpg.exe"},
        // The second exists: it wins and the walk stops (the third would exist too).
        {Key("YXZQFWUpg.exe", "C:\\none") + Key("", "C:\\tools2\\") + Key("", "C:\\tools2"), "C:\\tools2\\YXZQFWUpg.exe"},
        // A path ending in a backslash gets no second one; a later name replaces the key name.
        {Key("a.exe", "C:\\x\\") + Key("b.exe", "C:\\y"), "C:\\x\\a.exe"},
        // Environment variables are expanded; a candidate too long for 260 characters is no candidate.
        {Key("YXZQFWUpg.exe", "C:\\" + std::string(300, 'p')) + Key("", "%SystemDrive%\\tools2"),
         "C:\\tools2\\YXZQFWUpg.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        f.Write("dz1.xml", Package(c.keys));
        CBaseComponent component;
        ASSERT_EQ(component.ReadPackageFile(u"dz1.xml"), 0);
        EXPECT_EQ(U8(component.KeyFile()), c.keyFile);
    }
}

TEST(PackageFile, FlagsNameDevicesAndSystemsAreRead)
{
    ComponentFolder f;
    f.Write("dz1.xml",
            Package(Key("YXZQFWUpg.exe", "C:\\t"),
                    "<supported_devices_and><supported_device type=\"PCI\">"
                    "<supported_device_data name=\"ven\">14E4</supported_device_data>"
                    "<supported_device_data name=\"dev\">1639</supported_device_data>"
                    "<supported_device_data name=\"subven\">103C</supported_device_data>"
                    "<supported_device_data name=\"subdev\">7055</supported_device_data>"
                    "</supported_device></supported_devices_and>"
                    "<supported_devices_and><supported_device type=\"eisa\"><supported_device_data name=\"id\">PNP0A03"
                    "</supported_device_data></supported_device></supported_devices_and>"
                    "<supported_devices_and><supported_device type=\"scsi\"><supported_device_data name=\"id\">SCSI\\X"
                    "</supported_device_data></supported_device></supported_devices_and>"
                    "<supported_devices_and><supported_device type=\"pnp\"><supported_device_data name=\"id\">ACPI\\Y"
                    "</supported_device_data></supported_device></supported_devices_and>"
                    "<supported_devices_and><supported_device type=\"pci\"><supported_device_data name=\"ven\">14E4"
                    "</supported_device_data></supported_device></supported_devices_and>"
                    "<other_list><supported_device type=\"pnp\"><supported_device_data name=\"id\">NOT\\LISTED"
                    "</supported_device_data></supported_device></other_list>",
                    "<supported_operating_system platform=\"x64\" major=\"6\" minor=\"1\" sr=\"2\" edition=\"SrVr\"/>"
                    "<supported_operating_system major=\"10\" edition=\" dc \"/>"));
    CBaseComponent c;
    ASSERT_EQ(c.ReadPackageFile(u"dz1.xml"), 0);
    EXPECT_EQ(U8(c.PackageBaseName()), "dz012345");
    EXPECT_EQ(c.GetSilentFlag(), 0);
    EXPECT_EQ(c.RebootRequired(), 1);
    EXPECT_EQ(c.RequiredDiskSpace(), 4096);
    std::vector<std::string> devices;
    for (const auto& d : c.SupportedDevices()) devices.push_back(U8(d));
    // The reader lists a parent's later children in reverse order after the first.
    // The lone vendor id makes no id: it stays listed as an empty one, which no device matches.
    std::vector<std::string> expected = {"PCI\\VEN_14E4&DEV_1639&SUBSYS_7055103C", "", "ACPI\\Y", "*PNP0A03"};
    EXPECT_EQ(devices, expected);  // other lists are not read
    ASSERT_EQ(c.SupportedScsiDevices().size(), 1u);
    EXPECT_EQ(U8(c.SupportedScsiDevices()[0]), "SCSI\\X");
    const auto& systems = c.SupportedOperatingSystems();
    ASSERT_EQ(systems.size(), 2u);
    EXPECT_EQ(U8(systems[0].platform), "x64");
    EXPECT_EQ(systems[0].major, 6);
    EXPECT_EQ(systems[0].minor, 1);
    EXPECT_EQ(systems[0].sr, 2);
    EXPECT_EQ(systems[0].edition, 0xFF05);
    EXPECT_EQ(U8(systems[1].platform), "");
    EXPECT_EQ(systems[1].minor, -1);
    EXPECT_EQ(systems[1].sr, -1);
    EXPECT_EQ(systems[1].edition, 0);  // blanks around a keyword make it unknown
    // A second read changes nothing.
    EXPECT_EQ(c.ReadPackageFile(u"dz1.xml"), 1);
    EXPECT_EQ(c.ReadPackageFile(nullptr), 4);
}

TEST(PackageFile, PackageNamesShorterThanTheirExtensionAndLoadFailures)
{
    ComponentFolder f;
    struct Case {
        std::string filename;
        std::string name;
    };
    for (const Case& c : {Case{"dz.e", ""}, Case{"abc", ""}, Case{std::string(200, 'n') + ".exe", std::string(123, 'n')}}) {
        f.Write("dz1.xml", Package(Key("YXZQFWUpg.exe", "C:\\t"), "", "", c.filename));
        CBaseComponent component;
        ASSERT_EQ(component.ReadPackageFile(u"dz1.xml"), 0);
        EXPECT_EQ(U8(component.PackageBaseName()), c.name);
    }
    f.Write("dz2.xml", "<tvn_package><filename>");
    CBaseComponent broken;
    EXPECT_EQ(broken.ReadPackageFile(u"dz2.xml"), 5);
    EXPECT_EQ(broken.ReadPackageFile(u"dz2.xml"), 1);  // the reader stays attached
    CBaseComponent missing;
    EXPECT_EQ(missing.ReadPackageFile(u"nothere.xml"), 3);
}

TEST(PackageFile, TheFirstDzFileHoldingAPackageIsFound)
{
    ComponentFolder f;
    char16_t name[260] = {};
    CBaseComponent c;
    EXPECT_EQ(c.FindPackageFile(name, 260), 0);
    f.Write("dz1.xml", "<tvn_install/>");
    f.Write("dz2.xml", "<broken");
    f.Write("dz3.XML", "<tvn_package/>");
    f.Write("dz4.xml", "<tvn_package/>");
    f.Write("ez0.xml", "<tvn_package/>");
    EXPECT_EQ(c.FindPackageFile(name, 260), 1);
    EXPECT_EQ(U8(name), "dz3.XML");
}

TEST(InstallFile, TheElementIsChosenByTheSystemsMajorVersion)
{
    ComponentFolder f;
    struct Case {
        const char* major;
        std::string xml;
        std::string inf;
        int type;
    };
    const std::string both = "<inf_file filename=\"any.inf\" type=\"legacy\"/><inf_file_nt5 filename=\"nt5.inf\" type=\"VIRTUAL\"/>";
    const Case cases[] = {
        {"5", both, "nt5.inf", kInstallVirtual},
        {"6", both, "any.inf", kInstallLegacy},
        {"5", "<inf_file filename=\"only.inf\" type=\"PNP\"/>", "only.inf", kInstallPnP},
        {"4", "<inf_file filename=\"x.inf\" type=\"other\"/>", "x.inf", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        std::ofstream(f.root() + "/system.conf") << "OsMajorVersion=" << c.major << "\n";
        f.Write("install.xml", "<tvn_install><inf_information>" + c.xml + "</inf_information></tvn_install>");
        CBaseComponent component;
        ASSERT_EQ(component.ReadInstallFile(u"install.xml"), 0);
        EXPECT_EQ(U8(component.GetInfFile()), c.inf);
        EXPECT_EQ(component.InstallTypeValue(), c.type);
    }
}

TEST(InstallFile, SectionServiceAndProgramToStartAreRead)
{
    ComponentFolder f;
    testkit::ComponentInstall i;
    i.section = "Install.NT";
    i.serviceName = "yxnd";
    i.shellFile = "%SystemRoot%\\notes.exe";
    i.shellFolder = "%SystemDrive%\\" + std::string(300, 'd');  // too long once expanded: left unchanged
    f.Write("install.xml", testkit::install_file_xml(i));
    CBaseComponent c;
    ASSERT_EQ(c.ReadInstallFile(u"install.xml"), 0);
    EXPECT_EQ(U8(c.InfSection()), "Install.NT");
    EXPECT_EQ(U8(c.ServiceName()), "yxnd");
    EXPECT_EQ(U8(c.ShellExecuteFile()), "C:\\Windows\\notes.exe");
    EXPECT_EQ(U8(c.ShellExecuteFolder()), "");
    EXPECT_EQ(c.ReadInstallFile(nullptr), 4);
    EXPECT_EQ(c.ReadInstallFile(u"missing.xml"), 3);
    f.Write("empty.xml", "<tvn_install/>");
    EXPECT_EQ(c.ReadInstallFile(u"empty.xml"), 0);
}

TEST(EditionCodes, KeywordsAndProductTypes)
{
    struct Case {
        const char16_t* keyword;
        uint16_t code;
    };
    for (const auto& c : {Case{u"", 0xFFFF}, Case{u"SrVr", 0xFF05}, Case{u"r2core", 0xFF08}, Case{u"DCR2SRVR", 0x0404},
                          Case{u"ebsr2", 0x0207}, Case{u" srvr", 0}, Case{u"workstation", 0}})
        EXPECT_EQ(EditionCodeFromKeyword(c.keyword), c.code) << platform::to_utf8(c.keyword);
    EXPECT_EQ(CurrentEditionCode(8, false), 0x0405);
    EXPECT_EQ(CurrentEditionCode(25, true), 0x0204);
    EXPECT_EQ(CurrentEditionCode(14, false), 0x0102);
    EXPECT_EQ(CurrentEditionCode(1, true), 0xFF04);
}
