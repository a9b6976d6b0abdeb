#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/device_store.h"
#include "platform/testing/temp_root.h"
#include "platform/win_error.h"
#include "platform/win_newdev.h"
#include "platform/win_setupapi.h"

namespace dev = platform::devices;
using namespace win;

namespace {
void Write(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}
}  // namespace

TEST(DeviceStore, AdapterDescriptionGivesANetworkDevice)
{
    // Keys as the simulated machine writes them; the unknown ones are ignored.
    auto d = dev::device_from_adapter(
        "# simulated adapter nic1\nfamily=0x00000005\nvid=0x000014E4\ndid=0x0000168E\nsvid=0x0000103C\n"
        "ssid=0x00001798\nbus=0x0000000B\ndevice=0x00000002\nfunction=0x00000003\nchip_id=0x168E2105\n"
        "service_name=\nreg.0x00002000=0x00000001\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->instance_id, "PCI\\VEN_14E4&DEV_168E&SUBSYS_1798103C&REV_15\\4&B&0&13");
    EXPECT_EQ(d->hardware_ids, (std::vector<std::string>{"PCI\\VEN_14E4&DEV_168E&SUBSYS_1798103C&REV_15",
                                                         "PCI\\VEN_14E4&DEV_168E&SUBSYS_1798103C",
                                                         "PCI\\VEN_14E4&DEV_168E&REV_15", "PCI\\VEN_14E4&DEV_168E"}));
    EXPECT_EQ(d->class_guid, dev::kNetClassGuid);
    EXPECT_FALSE(d->driver);  // no service, no driver
    EXPECT_FALSE(dev::device_from_adapter("did=0x1639\n"));
    EXPECT_FALSE(dev::device_from_adapter("vid=banana\ndid=0x1639\n"));
}

TEST(DeviceStore, DevicesFileChangesAndAddsDevices)
{
    platform::testing::TempSystemRoot root;
    Write(root / "adapters/a.adapter", "vid=0x14E4\ndid=0x1639\nservice_name=tvnx\ndriver_major=7\n");
    Write(root / "adapters/a.nvram", "");
    Write(root / "devices",
          "# extra devices\n"
          "[pci\\ven_14e4&dev_1639&subsys_00000000&rev_00\\4&0&0&00]\n"
          "driver_flags=0x00100000\nneeds_restart=1\n"
          "[ROOT\\LEGACY_TVNX\\0000]\nclass={8ECC055D-047F-11D1-A537-0000F8753ED1}\npresent=0\n"
          "driver_version=1.2.3\n");
    auto all = dev::list();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].driver->flags, DNF_INBOX_DRIVER);
    EXPECT_EQ(all[0].driver->inf, "tvnx.inf");
    EXPECT_EQ(all[0].driver->version, uint64_t(7) << 48);
    EXPECT_TRUE(all[0].needs_restart);
    EXPECT_FALSE(all[1].present);
    EXPECT_FALSE(all[1].driver);  // a malformed version is skipped

    dev::Driver updated;
    updated.inf = "oem9.inf";
    updated.version = *dev::parse_version("8.0.1.2");
    ASSERT_TRUE(dev::set_driver(all[0].instance_id, updated));
    all = dev::list();
    EXPECT_EQ(all[0].driver->inf, "oem9.inf");
    EXPECT_EQ(dev::format_version(all[0].driver->version), "8.0.1.2");
    EXPECT_TRUE(all[0].needs_restart);  // the other lines of the section stay
}

TEST(SetupApi, DetailAndPropertySizes)
{
    platform::testing::TempSystemRoot root;
    Write(root / "devices",
          "[X\\1]\nclass={4D36E97D-E325-11CE-BFC1-08002BE10318}\nhardware_ids=X1;X\ncompatible_ids=C\n"
          "driver_inf=x.inf\ndriver_section=X.Install\n");
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &device));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &device));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);

    ASSERT_TRUE(SetupDiBuildDriverInfoList(set, &device, SPDIT_COMPATDRIVER));
    SP_DRVINFO_DATA_V2_W driver{};
    driver.cbSize = sizeof driver;
    ASSERT_TRUE(SetupDiEnumDriverInfoW(set, &device, SPDIT_COMPATDRIVER, 0, &driver));
    SP_DRVINFO_DETAIL_DATA_W detail{};
    detail.cbSize = sizeof detail;
    DWORD required = 0;
    // "X1", "X", then the compatible "C", closed by an empty string: 8 characters.
    EXPECT_FALSE(SetupDiGetDriverInfoDetailW(set, &device, &driver, &detail, sizeof detail, &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, offsetof(SP_DRVINFO_DETAIL_DATA_W, HardwareID) + 8 * 2);
    EXPECT_EQ(std::u16string(detail.SectionName), u"X.Install");
    EXPECT_EQ(detail.CompatIDsOffset, 5u);

    DWORD type = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 12u);  // "X1", "X" and the closing empty string
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_SERVICE, &type, nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);

    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
}

namespace {
// A network driver package for two adapters, version 7.2.0.0.
const char kNetInf[] =
    "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\nProvider=%Tvn%\nDriverVer=03/14/2024,7.2.0.0\n"
    "[Manufacturer]\n%Tvn%=Tvn,NTamd64\n"
    "[Tvn.NTamd64]\n%Nic% = tvnx.ndi, PCI\\VEN_14E4&DEV_1639, PCI\\VEN_14E4&DEV_164A\n"
    "[tvnx.ndi]\nCopyFiles=drv\n"
    "[Strings]\nTvn=\"Tvn Networks\"\nNic=\"Tvn NetXtreme II\"\n";
}  // namespace

TEST(NewDev, DriverUpdateOfTheDevicesOfAHardwareId)
{
    platform::testing::TempSystemRoot root;
    Write(root / "adapters/a.adapter", "vid=0x14E4\ndid=0x1639\nbus=1\nservice_name=tvnx\ndriver_major=7\n");
    Write(root / "adapters/b.adapter", "vid=0x14E4\ndid=0x1639\nbus=2\nservice_name=tvnx\ndriver_major=7\n");
    Write(root / "adapters/c.adapter", "vid=0x14E4\ndid=0x164A\nbus=3\n");
    Write(root / "C/pkg/net.inf", kNetInf);
    Write(root / "C/pkg/other.inf", "[Version]\nSignature=\"$Windows NT$\"\n[Manufacturer]\nX=Models\n[Models]\nd=s,PCI\\VEN_1\n");
    const auto instance = [](size_t i) { return dev::list().at(i).instance_id; };
    Write(root / "devices", "[" + instance(1) + "]\nneeds_restart=1\n");

    struct Case {
        const char16_t* id;
        const char16_t* inf;
        DWORD flags;
        BOOL result;
        DWORD error;
        BOOL reboot;
    };
    const Case cases[] = {
        {u"PCI\\VEN_14E4&DEV_164A", u"C:\\pkg\\net.inf", 0, TRUE, 0, FALSE},       // no driver before
        {u"pci\\ven_14e4&dev_1639", u"C:\\pkg\\net.inf", 0, TRUE, 0, TRUE},        // 7.0 -> 7.2, one needs a restart
        {u"PCI\\VEN_14E4&DEV_1639", u"C:\\pkg\\net.inf", 0, FALSE, ERROR_NO_MORE_ITEMS, FALSE},  // already 7.2
        {u"PCI\\VEN_14E4&DEV_1639", u"C:\\pkg\\net.inf", INSTALLFLAG_FORCE, TRUE, 0, TRUE},
        {u"PCI\\VEN_14E4&DEV_1639", u"C:\\pkg\\other.inf", 0, FALSE, ERROR_NO_COMPAT_DRIVERS, FALSE},
        {u"PCI\\VEN_14E4&DEV_1639", u"C:\\pkg\\none.inf", 0, FALSE, ERROR_FILE_NOT_FOUND, FALSE},
        {u"PCI\\VEN_14E4&DEV_1639", u"C:\\pkg\\net.inf", 8, FALSE, ERROR_INVALID_FLAGS, FALSE},
        {u"", u"C:\\pkg\\net.inf", 0, FALSE, ERROR_INVALID_PARAMETER, FALSE},
    };
    for (const auto& c : cases) {
        BOOL reboot = 7;
        SetLastError(0);
        EXPECT_EQ(UpdateDriverForPlugAndPlayDevicesW(nullptr, c.id, c.inf, c.flags, &reboot), c.result);
        if (!c.result) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(reboot, c.reboot);
    }
    auto all = dev::list();
    ASSERT_EQ(all.size(), 3u);
    for (const auto& d : all) {
        ASSERT_TRUE(d.driver) << d.instance_id;
        EXPECT_EQ(d.driver->version, dev::parse_version("7.2.0.0"));
        EXPECT_EQ(d.driver->inf, "C:\\pkg\\net.inf");
        EXPECT_EQ(d.driver->section, "tvnx.ndi");
        EXPECT_EQ(d.driver->description, "Tvn NetXtreme II");
        EXPECT_EQ(d.driver->provider, "Tvn Networks");
        EXPECT_EQ(d.driver->date_year, 2024);
    }

    // An id the INF offers but no present device has.
    Write(root / "C/pkg/more.inf", std::string(kNetInf) + "[Tvn]\nx=s,PCI\\VEN_14E4&DEV_9999\n");
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesW(nullptr, u"PCI\\VEN_14E4&DEV_9999", u"C:\\pkg\\more.inf", 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_DEVINST);
}

TEST(SetupApi, RootDevicesGetTheDriverOfTheirInf)
{
    platform::testing::TempSystemRoot root;
    Write(root / "C/pkg/net.inf", kNetInf);
    GUID net{};
    DWORD count = 0;
    ASSERT_TRUE(SetupDiClassGuidsFromNameW(u"Net", &net, 1, &count));
    HDEVINFO set = SetupDiCreateDeviceInfoList(&net, nullptr);
    SP_DEVINFO_DATA a{sizeof(SP_DEVINFO_DATA), {}, 0, 0};
    SP_DEVINFO_DATA b{sizeof(SP_DEVINFO_DATA), {}, 0, 0};
    ASSERT_TRUE(SetupDiCreateDeviceInfoW(set, u"legacy_tvnx", &net, nullptr, nullptr, DICD_GENERATE_ID, &a));
    ASSERT_TRUE(SetupDiCreateDeviceInfoW(set, u"LEGACY_TVNX", &net, nullptr, nullptr, DICD_GENERATE_ID, &b));
    EXPECT_TRUE(dev::list().empty());  // nothing is on the machine before it is registered
    // Installing needs a registered device and a selected driver.
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &a));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_DEVINST);
    ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &a, SPRDI_FIND_DUPS, nullptr, nullptr, nullptr));
    ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &b, SPRDI_FIND_DUPS, nullptr, nullptr, nullptr));
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &a));
    EXPECT_EQ(GetLastError(), ERROR_NO_DRIVER_SELECTED);
    EXPECT_FALSE(SetupDiCreateDeviceInfoW(set, u"ROOT\\LEGACY_TVNX\\0001", &net, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVINST_ALREADY_EXISTS);

    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(set, &a, &params));
    std::u16string inf = u"C:\\pkg\\net.inf";
    std::copy(inf.begin(), inf.end(), params.DriverPath);
    params.Flags |= DI_ENUMSINGLEINF;
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsW(set, &a, &params));
    ASSERT_TRUE(SetupDiBuildDriverInfoList(set, &a, SPDIT_CLASSDRIVER));
    SP_DRVINFO_DATA_V2_W driver{};
    driver.cbSize = sizeof driver;
    ASSERT_TRUE(SetupDiEnumDriverInfoW(set, &a, SPDIT_CLASSDRIVER, 0, &driver));
    EXPECT_FALSE(SetupDiEnumDriverInfoW(set, &a, SPDIT_CLASSDRIVER, 1, &driver));
    ASSERT_TRUE(SetupDiEnumDriverInfoW(set, &a, SPDIT_CLASSDRIVER, 0, &driver));
    EXPECT_EQ(std::u16string(driver.Description), u"Tvn NetXtreme II");
    ASSERT_TRUE(SetupDiSetSelectedDriverW(set, &a, &driver));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &a));
    SetupDiDestroyDeviceInfoList(set);

    auto all = dev::list();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].instance_id, "ROOT\\LEGACY_TVNX\\0000");
    EXPECT_EQ(all[1].instance_id, "ROOT\\LEGACY_TVNX\\0001");
    ASSERT_TRUE(all[0].driver);
    EXPECT_EQ(all[0].driver->section, "tvnx.ndi");
    EXPECT_EQ(all[0].driver->inf, "C:\\pkg\\net.inf");
    EXPECT_FALSE(all[1].driver);
}
