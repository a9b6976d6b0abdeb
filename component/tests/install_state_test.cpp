// The install-state decision in the component itself, for the states a whole run through the
// host cannot reach (the base component's own installed check, a version status out of range),
// the record's size, and the list of present devices.
#include <gtest/gtest.h>

#include "CBaseComponent.h"
#include "CComponent.h"
#include "FamilyComponents.h"
#include "component_fixture.h"
#include "platform/utf16.h"
#include "testkit/component_files.h"
#include "testkit/component_machine.h"

namespace {

const testkit::MachineDevice kAdapter = {
    "PCI\\VEN_8086&DEV_1572&SUBSYS_00018086&REV_01\\3&11583659&0&00",
    {"PCI\\VEN_8086&DEV_1572&SUBSYS_00018086&REV_01", "PCI\\VEN_8086&DEV_1572&SUBSYS_00018086",
     "PCI\\VEN_8086&DEV_1572&REV_01", "PCI\\VEN_8086&DEV_1572", "PCI\\VEN_8086&CC_020000"}};

PelarisInstallState StateOf(CBaseComponent& c)
{
    PelarisInstallState s{};
    EXPECT_EQ(c.GetProperty(5, &s, int(sizeof s), u"en"), 1);
    return s;
}

struct StatusSeven : YXZQTIRNComponent {
    int GetVersionStatus() override { return 7; }
};

}  // namespace

TEST(InstallState, TheBaseComponentsInstalledCheckGivesStatesFourAndFive)
{
    ComponentFolder f;
    testkit::add_device(f.root(), kAdapter);
    f.Write("key.exe", "");
    struct Case {
        const char16_t* device;
        const char16_t* keyFile;
        int state;
    };
    const Case cases[] = {
        {u"PCI\\VEN_1234&DEV_5678", u"key.exe", 4},     // installed, hardware absent
        {u"pci\\ven_8086&dev_1572", u"missing.exe", 5},  // present (case aside), not installed
        {u"PCI\\VEN_1234&DEV_5678", u"missing.exe", 6},
    };
    for (const auto& c : cases) {
        CBaseComponent component;
        component.AddSupportedDevice(c.device);
        component.SetKeyFile(c.keyFile);
        EXPECT_EQ(StateOf(component).state, c.state) << platform::to_utf8(c.device);
    }
}

TEST(InstallState, AVersionStatusOutOfRangeLeavesStateEight)
{
    ComponentFolder f;
    testkit::add_service(f.root(), {"cvnd2"});
    StatusSeven component;
    PelarisInstallState s = StateOf(component);
    EXPECT_EQ(s.state, 8);
    EXPECT_EQ(s.text[0], 0);
}

TEST(InstallState, ARecordTooSmallIsLeftAlone)
{
    ComponentFolder f;
    CBaseComponent component;
    PelarisInstallState s{};
    s.state = 99;
    EXPECT_EQ(component.GetProperty(5, &s, int(sizeof s) - 1, u"en"), 0);
    EXPECT_EQ(s.state, 99);
}

TEST(InstallState, TheCurrentVersionTextNeedsRoomForItsNul)
{
    YXZQTIRNComponent component;
    char16_t out[32] = u"x";
    EXPECT_EQ(component.GetCurrentVersion(out, 24), 0);
    EXPECT_EQ(std::u16string(out), u"x");
    EXPECT_EQ(component.GetCurrentVersion(out, 25), 1);
    EXPECT_EQ(std::u16string(out), u"See Information below.\r\n");
}

TEST(InstallState, StartUpListsEveryIdOfThePresentDevicesButRevisionsAndClassCodes)
{
    ComponentFolder f;
    testkit::add_device(f.root(), kAdapter);
    testkit::ComponentPackage p;
    p.pci = {{"8086", "1572", "8086", "0001"}};
    testkit::write_component_files(f.folder(), "dz012345.xml", p, testkit::ComponentInstall{});
    CBaseComponent component;
    component.Initialize();
    std::vector<std::string> ids;
    for (const auto& e : component.PnpDevices())
        if (platform::to_utf8(platform::u16_view(e.hardwareId.c_str())).find("8086&DEV_1572") != std::string::npos)
            ids.push_back(platform::to_utf8(platform::u16_view(e.hardwareId.c_str())));
    EXPECT_EQ(ids, (std::vector<std::string>{"PCI\\VEN_8086&DEV_1572&SUBSYS_00018086", "PCI\\VEN_8086&DEV_1572"}));
    EXPECT_EQ(component.IsHardwarePresent(), 1);
    // With first ids only, the adapter's id carries its revision and matches no package id.
    component.BuildPnPDeviceList(1);
    EXPECT_EQ(component.FindDevice(u"PCI\\VEN_8086&DEV_1572&SUBSYS_00018086"), 0);
    EXPECT_EQ(component.CountDeviceMatches(u"ven_8086&dev_1572"), 1);
}
