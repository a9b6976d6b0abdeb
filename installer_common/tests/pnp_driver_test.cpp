#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "installer_common/CWin2000PnPDriver.h"
#include "installer_common/SystemUtils.h"
#include "platform/device_store.h"
#include "platform/win_library.h"
#include "test_root.h"

namespace fs = std::filesystem;
namespace dev = platform::devices;

namespace {

// A network driver package: two catalogs, a file list with and without source names and an
// '@' file, version 7.2.0.0 for the 1639 adapters.
const char kNetInf[] =
    "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\nProvider=%Tvn%\n"
    "CatalogFile=tvnx.cat\nCatalogFile.ntamd64=tvnx64.cat\nDriverVer=03/14/2024,7.2.0.0\n"
    "[Manufacturer]\n%Tvn%=Tvn,NTamd64\n"
    "[Tvn.NTamd64]\n%Nic%=tvnx.ndi,PCI\\VEN_14E4&DEV_1639\n"
    "[tvnx.ndi]\nCopyFiles=drv.files,@file.dll,no.such.section\n"
    "[drv.files]\ndrv.sys\ntvnx.dll,tvnsrc.dll\n,\n"
    "[Strings]\nTvn=\"Tvn Networks\"\nNic=\"Tvn NetXtreme II\"\n";

const std::vector<CStr> kStaged = {u"net.inf",    u"net.in_",    u"tvnx.cat", u"tvnx.ca_",
                                   u"tvnx64.cat", u"tvnx64.ca_", u"file.dll", u"file.dl_",
                                   u"drv.sys",    u"drv.sy_",    u"tvnsrc.dll", u"tvnsrc.dl_"};

// A machine with the plug-in in C:\plugin (the current folder) beside the driver package, and two
// 1639 adapters of which the second needs a restart after a driver update.
struct PnpMachine : TestRoot {
    PnpMachine()
    {
        fs::create_directories(path("C/plugin"));
        fs::copy_file(BinPath("installer_test_plugin.so"), path("C/plugin/Pelaris.so"));
        plugin = win::LoadLibraryW(u"C:\\plugin\\Pelaris.so");
        SetInstanceHandle(plugin);
        if (chdir(path("C/plugin").c_str()) != 0) ADD_FAILURE();
        WriteAll(path("C/plugin/net.inf"), kNetInf);
        for (const char* name : {"tvnx.cat", "tvnx64.cat", "file.dll", "drv.sys", "drv.sy_", "tvnsrc.dll"})
            WriteAll(path(std::string("C/plugin/") + name), name);
        WriteAll(path("adapters/a.adapter"), "vid=0x14E4\ndid=0x1639\nbus=1\nservice_name=tvnx\ndriver_major=7\n");
        WriteAll(path("adapters/b.adapter"), "vid=0x14E4\ndid=0x1639\nbus=2\nservice_name=tvnx\ndriver_major=7\n");
        WriteAll(path("devices"), "[" + dev::list().at(1).instance_id + "]\nneeds_restart=1\n");
    }
    ~PnpMachine()
    {
        SetInstanceHandle(nullptr);
        win::FreeLibrary(plugin);
    }
    void InstallNewdev(const std::string& exports)
    {
        WriteAll(path("C/Windows/system32/newdev.dll"), "[stand-in module]\nexports=" + exports + "\n");
    }
    win::HMODULE plugin = nullptr;
};

}  // namespace

TEST(PnPDriver, HardwareIdsAndStagingNames)
{
    CWin2000PnPDriver driver(u"net.inf", 1);
    driver.AddHardwareId(u"PCI\\VEN_14E4&DEV_1639");
    driver.AddHardwareId(u"PCI\\VEN_14E4&DEV_1639");
    driver.AddHardwareId(u"pci\\ven_14e4&dev_1639");  // other letter case: a second entry
    driver.AddDeviceId(u"14E4163914E41234");
    EXPECT_EQ(driver.GetHardwareIds(), (std::vector<CStr>{u"PCI\\VEN_14E4&DEV_1639", u"pci\\ven_14e4&dev_1639",
                                                          u"PCI\\VEN_14E4&DEV_1639&SUBSYS_123414E4"}));

    driver.AddFile(u"net.inf");
    driver.AddFile(u"drv.sys");
    driver.AddFile(u"drv.sys");  // listed already
    driver.AddFile(u"a.b");
    driver.AddFile(u"README");
    driver.AddFile(u"");
    driver.AddFile(nullptr);
    EXPECT_EQ(driver.GetStagingFiles(), (std::vector<CStr>{u"net.inf", u"net.in_", u"drv.sys", u"drv.sy_", u"a.b",
                                                           u"a.b_", u"README", u"README._"}));
}

TEST(PnPDriver, WithoutIdsNothingIsLoaded)
{
    TestRoot root;  // no newdev.dll: loading it would give 2
    struct Case {
        int selective, current, result;
    };
    for (const Case c : {Case{1, 1, 0}, Case{1, 0, 1}, Case{0, 1, 1}, Case{0, 0, 1}}) {
        CWin2000PnPDriver driver(u"net.inf", 0);
        EXPECT_EQ(driver.Update(c.selective, c.current), c.result) << c.selective << c.current;
    }
}

TEST(PnPDriver, NewdevMissingOrWithoutTheFunction)
{
    PnpMachine m;
    CWin2000PnPDriver driver(u"net.inf", 0);
    driver.AddHardwareId(u"PCI\\VEN_14E4&DEV_1639");
    EXPECT_EQ(driver.Update(0, 0), 2);
    m.InstallNewdev("UpdateDriverForPlugAndPlayDevicesA");
    EXPECT_EQ(driver.Update(0, 0), 3);
    WriteAll(m.path("C/Windows/system32/newdev.dll"), "not a module");
    EXPECT_EQ(driver.Update(0, 0), 2);
    // Nothing was staged, no device changed, and the error mode is as before.
    EXPECT_FALSE(Exists(m.path("C/TVNSYSTEM")));
    EXPECT_EQ(dev::list().at(0).driver->version, dev::parse_version("7.0.0.0"));
    EXPECT_EQ(win::GetErrorMode(), 0u);
    EXPECT_EQ(win::GetModuleHandleA("newdev.dll"), nullptr);  // unloaded again
}

TEST(PnPDriver, StagesThePackageAndUpdatesEveryId)
{
    PnpMachine m;
    m.InstallNewdev("UpdateDriverForPlugAndPlayDevicesW");
    CWin2000PnPDriver driver(u"net.inf", 0);
    driver.AddHardwareId(u"PCI\\VEN_14E4&DEV_1639");
    driver.AddHardwareId(u"PCI\\VEN_14E4&DEV_9999");  // no such device: fails, the others still run
    EXPECT_EQ(driver.Update(0, 0), 4);
    EXPECT_EQ(driver.GetRebootFlags(), 1);  // the second adapter needs a restart
    EXPECT_EQ(driver.GetStagingFiles(), kStaged);
    for (const CStr& name : kStaged) {
        const std::string file(name.begin(), name.end());
        const bool twin = file.back() == '_' && file != "drv.sy_";
        EXPECT_EQ(Exists(m.path("C/TVNSYSTEM/pnpdrvs/" + file)), !twin) << file;
    }
    EXPECT_EQ(ReadAll(m.path("C/TVNSYSTEM/pnpdrvs/net.inf")), kNetInf);
    for (const auto& d : dev::list()) {
        ASSERT_TRUE(d.driver);
        EXPECT_EQ(d.driver->version, dev::parse_version("7.2.0.0"));
        EXPECT_EQ(d.driver->inf, "C:\\TVNSYSTEM\\pnpdrvs\\net.inf");
    }

    // The same driver again: without force the devices keep theirs and the update fails; with
    // force it installs, and an object's reboot flags are never reset.
    CWin2000PnPDriver again(u"net.inf", 0);
    again.AddHardwareId(u"PCI\\VEN_14E4&DEV_1639");
    EXPECT_EQ(again.Update(0, 0), 4);
    EXPECT_EQ(again.GetRebootFlags(), 0);
    CWin2000PnPDriver forced(u"net.inf", 1);
    forced.AddHardwareId(u"PCI\\VEN_14E4&DEV_1639");
    EXPECT_EQ(forced.Update(0, 0), 0);
    EXPECT_EQ(forced.GetRebootFlags(), 1);
    // A staged file left read-only is replaced all the same.
    fs::permissions(m.path("C/TVNSYSTEM/pnpdrvs/drv.sys"), fs::perms::owner_read);
    WriteAll(m.path("C/plugin/drv.sys"), "new driver");
    EXPECT_EQ(forced.StageFiles(u"C:\\TVNSYSTEM\\pnpdrvs"), 0);  // the missing twins
    EXPECT_EQ(ReadAll(m.path("C/TVNSYSTEM/pnpdrvs/drv.sys")), "new driver");
}
