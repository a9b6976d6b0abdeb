#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_common/DeviceList.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "test_root.h"

namespace {

// An adapter description as the simulated machine keeps it (only the keys the device list reads).
const char kAdapter[] =
    "# simulated adapter nic0\n"
    "vid=0x000014E4\ndid=0x00001639\nsvid=0x000014E4\nssid=0x00001234\n"
    "bus=0x00000003\ndevice=0x00000000\nfunction=0x00000001\nchip_id=0x16390100\n"
    "service_name=tvnx\ndriver_major=0x00000007\ndriver_minor=0x00000002\ndriver_build=0x0000000E\n";

// Devices beside the adapter: the four-id case, a device without a driver, an in-box driver, an
// absent one, and one of a class outside the setup class table.
const char kDevices[] =
    "[PCI\\VEN_8086&DEV_10FB&SUBSYS_000C8086&REV_01\\3&1&0&08]\n"
    "class={4D36E972-E325-11CE-BFC1-08002BE10318}\n"
    "hardware_ids=PCI\\VEN_8086&DEV_10FB&SUBSYS_000C8086&REV_01;PCI\\VEN_8086&DEV_10FB&SUBSYS_000C8086;"
    "PCI\\VEN_8086&DEV_10FB&REV_01;PCI\\VEN_8086&DEV_10FB\n"
    "driver_inf=oem7.inf\ndriver_section=IXGBE.ndi\ndriver_desc=Ten gigabit\ndriver_version=3.9.58.9101\n"
    "[PCI\\VEN_8086&DEV_1521\\3&1&0&10]\n"
    "class={4D36E972-E325-11CE-BFC1-08002BE10318}\n"
    "hardware_ids=pci\\ven_8086&dev_1521&subsys_00018086;PCI\\VEN_8086&DEV_1521&CC_0200\n"
    "[ACPI\\PNP0A03\\0]\n"
    "class={4D36E97D-E325-11CE-BFC1-08002BE10318}\n"
    "hardware_ids=ACPI\\PNP0A03;*PNP0A03\n"
    "driver_inf=machine.inf\ndriver_flags=0x00100000\ndriver_version=10.0.0.1\n"
    "[USB\\VID_0000&PID_0000\\GONE]\n"
    "class={36FC9E60-C465-11CF-8056-444553540000}\n"
    "present=0\nhardware_ids=USB\\VID_0000&PID_0000\n"
    "[SWD\\ODD\\1]\n"
    "class={11111111-2222-3333-4444-555555555555}\n"
    "hardware_ids=SWD\\ODD\n";

void MakeMachine(const TestRoot& root)
{
    WriteAll(root.path("adapters/nic0.adapter"), kAdapter);
    WriteAll(root.path("devices"), kDevices);
}

std::vector<std::u16string> Ids(const win::BYTE* buffer)
{
    std::vector<std::u16string> out;
    for (auto* p = reinterpret_cast<const char16_t*>(buffer); *p; p += std::char_traits<char16_t>::length(p) + 1)
        out.emplace_back(p);
    return out;
}

std::vector<std::u16string> Found(char16_t** list)
{
    std::vector<std::u16string> out;
    for (char16_t** p = list; p && *p; ++p) out.emplace_back(*p);
    CWin2000DeviceList::FreeHardwareIdList(list);
    return out;
}

}  // namespace

TEST(DeviceList, BuildListsPresentDevicesWithTheirDrivers)
{
    TestRoot root;
    MakeMachine(root);
    CWin2000DeviceList list;
    list.Build(1);
    ASSERT_EQ(list.GetCount(), 5u);  // the absent device is not listed
    EXPECT_EQ(list.GetDevice(5), nullptr);

    const W2KDEVINST* nic = list.GetDevice(0);
    EXPECT_EQ(std::u16string(nic->GetDriverVersionString()), u"7.2.14.0");
    EXPECT_EQ(platform::to_utf8(nic->m_detail.InfFileName), "C:\\Windows\\inf\\tvnx.inf");
    EXPECT_EQ(platform::to_utf8(nic->m_detail.SectionName), "tvnx.ndi");

    // A device without a driver after one with a driver has zero driver facts.
    EXPECT_EQ(std::u16string(list.GetDevice(1)->GetDriverVersionString()), u"3.9.58.9101");
    EXPECT_EQ(list.GetDevice(2)->TestDriverFlags(~0u), 0u);
    EXPECT_EQ(list.GetDevice(2)->m_detail.InfFileName[0], u'\0');
    EXPECT_EQ(std::u16string(list.GetDevice(2)->GetDriverVersionString()), u"0.0.0.0");
    EXPECT_EQ(list.GetDevice(3)->TestDriverFlags(win::DNF_INBOX_DRIVER), win::DNF_INBOX_DRIVER);
    EXPECT_EQ(W2KDEVINST().TestDriverFlags(~0u), 0u);
    EXPECT_TRUE(W2KDEVINST().GetDriverVersionString().empty());

    list.Build(1);
    EXPECT_EQ(list.GetCount(), 10u);  // a second build lists everything again
}

TEST(DeviceList, PerClassBuildWalksTheClassTable)
{
    TestRoot root;
    MakeMachine(root);
    CWin2000DeviceList list;
    list.Build(0);
    // Network first (the SCSI class has none), then the system device; the device of a class
    // outside the table is not listed.
    ASSERT_EQ(list.GetCount(), 4u);
    win::DWORD bytes = 2048;
    win::BYTE buffer[2048] = {};
    ASSERT_EQ(list.GetHardwareIds(3, buffer, &bytes), 1);
    EXPECT_EQ(Ids(buffer), (std::vector<std::u16string>{u"ACPI\\PNP0A03", u"*PNP0A03"}));

    CWin2000DeviceList empty;
    TestRoot bare;
    empty.Build(0);
    EXPECT_EQ(empty.GetCount(), 0u);
}

TEST(DeviceList, HardwareIdSizeProtocol)
{
    TestRoot root;
    MakeMachine(root);
    CWin2000DeviceList list;
    list.Build(1);
    const std::u16string expected = std::u16string(u"PCI\\VEN_14E4&DEV_1639&SUBSYS_123414E4&REV_10") + u'\0' +
                                    u"PCI\\VEN_14E4&DEV_1639&SUBSYS_123414E4" + u'\0' + u"PCI\\VEN_14E4&DEV_1639&REV_10" +
                                    u'\0' + u"PCI\\VEN_14E4&DEV_1639" + u'\0' + u'\0';
    const win::DWORD needed = win::DWORD(expected.size() * 2);

    win::DWORD bytes = 2048;
    EXPECT_EQ(list.GetHardwareIds(0, nullptr, &bytes), 0);
    EXPECT_EQ(bytes, needed);
    std::vector<win::BYTE> buffer(needed);
    bytes = needed - 1;
    EXPECT_EQ(list.GetHardwareIds(0, buffer.data(), &bytes), 0);
    EXPECT_EQ(bytes, needed);
    EXPECT_EQ(list.GetHardwareIds(0, buffer.data(), &bytes), 1);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), expected.size()), expected);

    bytes = 77;
    EXPECT_EQ(list.GetHardwareIds(list.GetCount(), buffer.data(), &bytes), 0);
    EXPECT_EQ(bytes, 77u);
    EXPECT_EQ(list.GetHardwareIds(0, buffer.data(), nullptr), 0);
}

TEST(DeviceList, FindHardwareIdRanksIds)
{
    TestRoot root;
    MakeMachine(root);
    CWin2000DeviceList list;
    list.Build(1);
    struct Case {
        const char16_t* id;
        std::vector<std::u16string> found;
    };
    const Case cases[] = {
        // The four-id device: the bare id wins over the subsystem one.
        {u"pci\\ven_8086&dev_10fb", {u"PCI\\VEN_8086&DEV_10FB"}},
        // No bare id: the subsystem id, never the one with a class code; ids are upper-cased.
        {u"PCI\\VEN_8086&DEV_1521", {u"PCI\\VEN_8086&DEV_1521&SUBSYS_00018086"}},
        // Two devices match, in list order.
        {u"VEN_8086", {u"PCI\\VEN_8086&DEV_10FB&SUBSYS_000C8086", u"PCI\\VEN_8086&DEV_1521&SUBSYS_00018086"}},
        {u"PCI\\VEN_14E4&DEV_1639&SUBSYS_123414E4", {u"PCI\\VEN_14E4&DEV_1639&SUBSYS_123414E4"}},
        {u"PCI\\VEN_FFFF", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Found(list.FindHardwareId(c.id)), c.found) << platform::to_utf8(c.id);
    CWin2000DeviceList::FreeHardwareIdList(nullptr);
}

TEST(DeviceList, RecordCopiesDoNotOwnTheDriverList)
{
    TestRoot root;
    MakeMachine(root);
    W2KDEVINST outlived;
    {
        CWin2000DeviceList list;
        list.Build(1);
        { W2KDEVINST copy = *list.GetDevice(0); }
        // The copy's end left the device's driver list alone.
        W2KDEVINST* d = list.GetDevice(0);
        win::SP_DRVINFO_DATA_V2_W driver{};
        driver.cbSize = sizeof driver;
        EXPECT_TRUE(win::SetupDiEnumDriverInfoW(d->m_set, &d->m_device, win::SPDIT_COMPATDRIVER, 0, &driver));
        outlived = *d;
    }
    // After the list is gone, its set is refused instead of followed.
    win::DWORD needed = 0;
    EXPECT_EQ(outlived.GetRegistryProperty(win::SPDRP_HARDWAREID, nullptr, nullptr, 0, &needed), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
}

TEST(DeviceList, DeviceHandleOfAPathWithoutADevice)
{
    TestRoot root;
    CDeviceHandle none(u"\\\\.\\TvnNoSuchDevice");
    EXPECT_FALSE(none.IsOpen());
    WriteAll(root.path("dosdevices/TvnCtl"), "");
    CDeviceHandle handle(u"\\\\.\\TvnCtl");
    ASSERT_TRUE(handle.IsOpen());
    char out[16] = {}, in[4] = {};
    win::DWORD returned = 5;
    EXPECT_EQ(handle.IoControlEx(0x220004, out, sizeof out, in, sizeof in, &returned), 0);
    EXPECT_EQ(returned, 0u);
    handle.Close();
    EXPECT_FALSE(handle.IsOpen());
}
