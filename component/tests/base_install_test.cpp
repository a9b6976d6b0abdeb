// The base component's own install of its driver package by the install file's INF type, the
// program it opens afterwards, and its installed, version and system questions, against machine
// fixtures of the test kit.
#include <gtest/gtest.h>

#include <filesystem>

#include "CBaseComponent.h"
#include "component_fixture.h"
#include "installer_common/CService.h"
#include "installer_common/SystemUtils.h"
#include "platform/device_store.h"
#include "platform/utf16.h"
#include "platform/win_library.h"
#include "testkit/component_files.h"
#include "testkit/component_machine.h"

namespace {

const testkit::MachineDevice kAdapter = {
    "PCI\\VEN_8086&DEV_1572&SUBSYS_00018086&REV_01\\3&11583659&0&00",
    {"PCI\\VEN_8086&DEV_1572&SUBSYS_00018086&REV_01", "PCI\\VEN_8086&DEV_1572"}};

// A component folder with the driver package "tvnx.inf" (model PCI\VEN_8086&DEV_1572) and its
// driver file, and package files from `install` and `package`.
struct Package : ComponentFolder {
    Package(testkit::ComponentInstall install, testkit::ComponentPackage package = {})
    {
        Write("tvnx.inf", testkit::driver_package_inf("tvnx", "PCI\\VEN_8086&DEV_1572"));
        Write("tvnx.sys", "driver 7.2");
        Write("run.sh", "#!/bin/sh\necho opened > opened.txt\n");
        std::filesystem::permissions(file("run.sh"), std::filesystem::perms::owner_all);
        testkit::write_component_files(folder(), "dz012345.xml", package, install);
    }
};

testkit::ComponentInstall Inf(const std::string& type, const std::string& name = "tvnx.inf")
{
    testkit::ComponentInstall i;
    i.infFile = name;
    i.type = type;
    return i;
}

// The plug-in's folder is where the driver update finds the package: a module loaded from the
// component folder stands for the plug-in.
struct PluginHere {
    explicit PluginHere(const ComponentFolder& f)
    {
        f.CopyBuilt("installer_test_plugin.so", "plugin.so");
        module = win::LoadLibraryW(platform::to_utf16(f.file("plugin.so")).c_str());
        SetInstanceHandle(module);
    }
    ~PluginHere()
    {
        SetInstanceHandle(nullptr);
        win::FreeLibrary(module);
    }
    win::HMODULE module = nullptr;
};

struct NoOverwrite : CBaseComponent {
    NoOverwrite() { m_noOverwrite = 1; }
};

int Install(CBaseComponent& c, std::u16string& message, const char16_t* lang = u"en")
{
    char16_t text[512] = u"untouched";
    int result = c.Install(1, nullptr, text, 512, lang);
    message = text;
    return result;
}

}  // namespace

TEST(BaseInstall, LegacyInstallsTheWholeInfOrItsSection)
{
    struct Case {
        std::string name;
        testkit::ComponentInstall install;
        std::string reboot;
        int result;
    };
    testkit::ComponentInstall section = Inf("LEGACY");
    section.section = "Ostra.NT";
    const Case cases[] = {
        {"whole INF", Inf("LEGACY"), "no", 1},
        {"whole INF, the package asks for a reboot", Inf("legacy"), "yes", 2},
        {"one section", section, "no", 1},
        {"no such INF", Inf("LEGACY", "none.inf"), "no", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::ComponentPackage p;
        p.reboot = c.reboot;
        Package f(c.install, p);
        CBaseComponent component;
        component.Initialize();
        std::u16string message;
        EXPECT_EQ(Install(component, message), c.result);
        EXPECT_EQ(message, u"untouched");  // the legacy path writes no message
        bool installed = c.result != 0;
        EXPECT_EQ(CService(u"tvnx").Exists(), installed ? 1 : 0);
        EXPECT_EQ(f.ReadRoot("C/Windows/system32/drivers/tvnx.sys"), installed ? "driver 7.2" : "");
        EXPECT_EQ(component.IsInstalled(), installed ? 1 : 0);
    }
}

TEST(BaseInstall, VirtualInstallMakesTheServicesRootDevice)
{
    Package f(Inf("VIRTUAL"));
    CBaseComponent component;
    component.Initialize();
    std::u16string message;
    int result = Install(component, message);
    EXPECT_EQ(CService(u"tvnx").Exists(), 1);
    std::vector<std::string> roots;
    for (const auto& d : platform::devices::list())
        if (d.instance_id.rfind("ROOT\\", 0) == 0) roots.push_back(d.instance_id);
    // Named after the service alone, not "LEGACY_TVNX".
    EXPECT_EQ(roots, std::vector<std::string>{"ROOT\\TVNX\\0000"});
    // Such a node has no hardware id the package's driver could be installed for, which the
    // support library reports as a failed install: the result says so, without a message.
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message, u"untouched");
}

TEST(BaseInstall, PlugAndPlayUpdatesThePresentSupportedDevices)
{
    struct Case {
        std::string name;
        std::vector<testkit::PciDevice> supported;
        bool adapterPresent;
        int result;
        std::u16string message;
        bool updated;
    };
    const Case cases[] = {
        {"present adapter", {{"8086", "1572", "", ""}}, true, 1, u"untouched", true},
        {"no supported devices", {}, true, 0, u"No supported devices were specified.", false},
        {"supported adapter absent", {{"8086", "1572", "", ""}}, false, 0, u"No devices were found to install.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::ComponentPackage p;
        p.pci = c.supported;
        Package f(Inf("PNP"), p);
        testkit::add_newdev(f.root());
        if (c.adapterPresent) testkit::add_device(f.root(), kAdapter);
        PluginHere plugin(f);
        CBaseComponent component;
        component.Initialize();
        std::u16string message;
        EXPECT_EQ(Install(component, message), c.result);
        EXPECT_EQ(message, c.message);
        bool updated = false;
        for (const auto& d : platform::devices::list())
            if (d.instance_id == kAdapter.instanceId && d.driver)
                updated = d.driver->version == platform::devices::parse_version("7.2.0.0");
        EXPECT_EQ(updated, c.updated);
    }
}

TEST(BaseInstall, NoOverwriteLeavesADeviceThatRunsTheSameDriverService)
{
    testkit::ComponentPackage p;
    p.pci = {{"8086", "1572", "", ""}};
    Package f(Inf("PNP"), p);
    testkit::add_newdev(f.root());
    testkit::add_device(f.root(), kAdapter);
    PluginHere plugin(f);
    {
        CBaseComponent first;  // the package's driver goes onto the adapter
        first.Initialize();
        std::u16string message;
        ASSERT_EQ(Install(first, message), 1);
    }
    // Without the update library a device that is updated fails the install.
    std::filesystem::remove(f.root() + "/C/Windows/system32/newdev.dll");
    CBaseComponent overwrite;
    overwrite.Initialize();
    std::u16string message;
    EXPECT_EQ(Install(overwrite, message), 0);
    EXPECT_EQ(message, u"An error occurred during installation.");
    // With no-overwrite the device is left out and the update is told that the driver is in
    // place, which is success without touching a device.
    NoOverwrite again;
    again.Initialize();
    EXPECT_EQ(Install(again, message), 1);
}

TEST(BaseInstall, TheProgramOpenedAfterwardsAndTheUnknownType)
{
    struct Case {
        std::string name;
        std::string type;
        std::string shellFile;
        const char16_t* lang;
        int result;
        std::u16string message;
        bool opened;
    };
    const Case cases[] = {
        {"legacy, then the program", "LEGACY", "run.sh", u"en", 1, u"untouched", true},
        {"a program that is not there", "LEGACY", "none.sh", u"en", 0,
         u"An error occurred during the ShellExecute command.", false},
        // No install type: the program still runs, and the result stays a failure.
        {"unknown type", "", "run.sh", u"en", 0, u"Unknown INF file type -- installation will not continue.", true},
        {"unknown type, Japanese", "", "", u"ja", 0, u"不明なINFファイル タイプです -- インストールを続行できません", false},
        {"unknown type, German reads English", "", "", u"de", 0,
         u"Unknown INF file type -- installation will not continue.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::ComponentInstall i = Inf(c.type);
        i.shellFile = c.shellFile;
        Package f(i);
        i.shellFolder = f.folder();
        testkit::write_component_files(f.folder(), "dz012345.xml", {}, i);
        CBaseComponent component;
        component.Initialize();
        std::u16string message;
        EXPECT_EQ(Install(component, message, c.lang), c.result);
        EXPECT_EQ(message, c.message);
        for (int n = 0; n < 500 && c.opened && !std::filesystem::exists(f.file("opened.txt")); ++n)
            usleep(10000);
        EXPECT_EQ(std::filesystem::exists(f.file("opened.txt")), c.opened);
    }
}

TEST(BaseInstall, VersionAnswersFromTheKeyFile)
{
    struct Case {
        std::string packageVersion;
        int status;
    };
    // The key file is a small program of file version 1.2.3.10; "1.2" reads as 1.2.0.0.
    const Case cases[] = {{"1.2.3.10", 1}, {"2.10", 0}, {"1.2.3.11", 0}, {"1.2", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.packageVersion);
        testkit::ComponentPackage p;
        p.version = c.packageVersion;
        Package f(testkit::ComponentInstall{}, p);
        f.CopyBuilt("cfv_probe_new", "key.dll");
        CBaseComponent component;
        component.Initialize();
        component.SetKeyFile(platform::to_utf16(f.file("key.dll")).c_str());
        EXPECT_EQ(component.GetVersionStatus(), c.status);
        char16_t text[16] = {};
        EXPECT_EQ(component.GetCurrentVersion(text, 16), 1);
        EXPECT_EQ(std::u16string(text), u"1.2.3.10");
        EXPECT_EQ(component.GetCurrentVersion(text, 8), 0);
    }
}

TEST(BaseInstall, ServerLevelAndHealthDriver)
{
    ComponentFolder f;
    CBaseComponent component;
    int edition = 0;
    EXPECT_EQ(component.GetRegOSEdition(&edition), 0);
    EXPECT_EQ(edition, -1);
    testkit::add_registry_dword(f.root(), "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Server\\ServerLevels",
                                "ServerCore", 1);
    EXPECT_EQ(component.GetRegOSEdition(&edition), 1);
    EXPECT_EQ(edition, 1);  // the number itself, not its bytes read as text
    // With terminal services (the machine's default) the device is looked for in the global
    // names; without them in the session's.
    EXPECT_EQ(component.IsHealthDriverPresent(), 0);
    testkit::add_dos_device(f.root(), "Tvnhlth");
    EXPECT_EQ(component.IsHealthDriverPresent(), 0);
    testkit::add_dos_device(f.root(), "Global/Tvnhlth");
    EXPECT_EQ(component.IsHealthDriverPresent(), 1);
    testkit::add_system_facts(f.root(), {{"OsSuiteMask", "0"}});
    EXPECT_EQ(component.IsHealthDriverPresent(), 1);
    std::filesystem::remove(f.root() + "/dosdevices/Tvnhlth");
    EXPECT_EQ(component.IsHealthDriverPresent(), 0);
}
