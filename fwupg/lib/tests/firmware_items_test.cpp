// Firmware items of simulated adapters of the three families: active and image versions, the
// proposed action, the data-file branch, and the adapter information record they fill.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <platform/utf16.h>
#include <testkit/fwdata.h>

#include "discovery_test_support.h"
#include "fwupg/device.h"
#include "fwupg/nic_fw_data.h"

namespace {

using disctest::World;
namespace f5 = yxmapi::fw5;

struct Item {
    std::string type, active, file, version, action;
    bool operator==(const Item&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Item& i)
{
    return os << "{" << i.type << "," << i.active << "," << i.file << "," << i.version << "," << i.action << "}";
}

std::vector<Item> Items(const Device& d)
{
    std::vector<Item> out;
    for (const Firmware& f : d.m_Firmwares)
        out.push_back({f.m_TypeName, f.m_ActiveVersion, f.m_ImageFile, f.m_ImageVersion, f.m_Action});
    return out;
}

uint32_t Packed(uint8_t a, uint8_t b, uint8_t c)
{
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8;
}

TEST(FirmwareItems, Family5MbiActions)
{
    struct Case {
        const char* what;
        uint32_t packed;
        std::vector<std::pair<yxmapi::TextField, std::string>> texts;
        std::string active, action;
    };
    const std::vector<Case> cases = {
        {"same version", Packed(7, 12, 0), {}, "7.12.0", "rewrite"},
        {"newer on the adapter", Packed(7, 12, 1), {}, "7.12.1", "downgrade"},
        {"older on the adapter", Packed(7, 11, 9), {}, "7.11.9", "upgrade"},
        {"no MBI: MBA version, forced upgrade", 0, {{f5::kMba, "MBA 7.13.5"}}, "7.13.5", "upgrade"},
        {"no MBI and no MBA", 0, {}, "0.0.0", "upgrade"},
        {"sub-components too old: MBA version, forced", Packed(7, 12, 0),
         {{f5::kText4, "BC 7.13.23"}, {f5::kMba, "MBA 7.13.9"}}, "7.13.9", "upgrade"},
    };
    for (const Case& c : cases) {
        World w;
        sim::AdapterDef a = disctest::Port(0, 0);
        a.mbi_packed = c.packed;
        for (const auto& [field, text] : c.texts) a.fw_text(field, text);
        w.Add(a);
        const std::string mbi = w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
        ASSERT_TRUE(w.Discover()) << c.what;
        ASSERT_EQ(g_Devices.size(), 1u) << c.what;
        EXPECT_EQ(Items(g_Devices[0]), (std::vector<Item>{{"MBI", c.active, mbi, "7.12.0", c.action}})) << c.what;
    }
}

TEST(FirmwareItems, Family6MbiVersionFromLowBytes)
{
    struct Case {
        std::string mbi, mba, active, action;
    };
    for (const Case& c : {Case{"7.12.0", "", "7.12.0", "rewrite"}, Case{"7.12.5", "", "7.12.5", "downgrade"},
                          Case{"0.0.0", "MBA 8.1.0", "8.1.0", "downgrade"}}) {
        World w;
        sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyE4, 0);
        a.fw_text(yxmapi::fw6::kMbi, c.mbi);
        if (!c.mba.empty()) a.fw_text(yxmapi::fw6::kMba, c.mba);
        w.Add(a);
        const std::string mbi = w.Mbi("e4.bin", 0x1077, 0x1634, 0x1077, 0xE4F1, 7, 12, 0);
        ASSERT_TRUE(w.Discover()) << c.mbi;
        ASSERT_EQ(g_Devices.size(), 1u) << c.mbi;
        EXPECT_EQ(Items(g_Devices[0]), (std::vector<Item>{{"MBI", c.active, mbi, "7.12.0", c.action}})) << c.mbi;
    }
}

// An adapter without a fitting MBI must not hand its forced upgrade to the next adapter.
TEST(FirmwareItems, ForcedUpgradeDoesNotLeakToAnotherAdapter)
{
    World w;
    sim::AdapterDef untrusted = disctest::Port(0, 0, 1);
    untrusted.svid = 0x103C;
    untrusted.ssid = 0x22FA;  // served, but no package in the folder fits it
    untrusted.fw_text(f5::kMba, "MBA 7.13.5");
    sim::AdapterDef fitting = disctest::Port(1, 0, 2);
    fitting.mbi_packed = Packed(7, 12, 0);
    w.Add(untrusted);
    w.Add(fitting);
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    ASSERT_TRUE(w.Discover());
    ASSERT_EQ(g_Devices.size(), 1u);
    ASSERT_EQ(g_Devices[0].m_Firmwares.size(), 1u);
    EXPECT_EQ(g_Devices[0].m_Firmwares[0].m_Action, "rewrite");
}

TEST(FirmwareItems, LegacyWithoutImagesSkipsAndAddsPendingCcm)
{
    World w;
    sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyLegacy, 0);
    a.fw_text(yxmapi::fw4::kBootcode, "bc 7.10.3");
    a.fw_text(yxmapi::fw4::kPxe, "7.8.0");
    w.Add(a);
    ASSERT_TRUE(w.Discover(true));
    ASSERT_EQ(g_AllDevices.size(), 1u);
    EXPECT_EQ(Items(g_AllDevices[0]), (std::vector<Item>{{"Bootcode", "bc 7.10.3", "", "", "skip"},
                                                         {"PXE", "7.8.0", "", "", "skip"},
                                                         {"CCM", "0.0.0", "", "", "skip"}}));
    EXPECT_TRUE(g_AllDevices[0].m_bCcmPending);
}

TEST(FirmwareItems, LegacyFromDataFile)
{
    World w;
    sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyLegacy, 0);
    a.fw_text(yxmapi::fw4::kBootcode, "7.10.3");
    a.fw_text(yxmapi::fw4::kPxe, "7.10.4");
    a.fw_text(yxmapi::fw4::kIscsi, "7.10.2");
    a.fw_text(yxmapi::fw4::kNcsi, "1.0.0");
    w.Add(a);
    w.File("NICFWData.xml",
           testkit::nicfwdata_xml({{"Legacy board", "14E4", "1639", "14E4", "1639",
                                    {{"bootcode", "7.10.3"}, {"bcFile", "bc.bin"}, {"pxe", "7.10.3"},
                                     {"pxeFile", "pxe.bin"}, {"iscsi", "7.10.3"}, {"iscsiFile", "ib.bin"},
                                     {"ncsi", "1.0.0"}, {"ncsiFile", "n/a"}, {"ccmFile", "n/a"}}}}));
    ASSERT_EQ(do_discover_with_zkfwdata(w.fw().c_str()), 0u);
    ASSERT_TRUE(w.Discover(true));
    ASSERT_EQ(g_AllDevices.size(), 1u);
    EXPECT_EQ(Items(g_AllDevices[0]), (std::vector<Item>{{"Bootcode", "7.10.3", "bc.bin", "7.10.3", "rewrite"},
                                                         {"PXE", "7.10.4", "pxe.bin", "7.10.3", "downgrade"},
                                                         {"iSCSI", "7.10.2", "ib.bin", "7.10.3", "upgrade"},
                                                         {"NCSI", "1.0.0", "", "", ""}}));
}

TEST(FirmwareItems, MbiPackageVersionPerFamily)
{
    struct Pkg {
        const char* what;
        sim::AdapterDef adapter;
        uint16_t vid, did, svid, ssid;
        uint8_t a, b, c;
        std::string version;  // empty: no version
    };
    sim::AdapterDef f5 = disctest::Port(0, 0);
    sim::AdapterDef f6 = sim::make_adapter(yxmapi::kFamilyE4, 0);
    sim::AdapterDef f4 = sim::make_adapter(yxmapi::kFamilyLegacy, 0);
    const std::vector<Pkg> cases = {
        {"57710-class", f5, 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 13, 23, "7.13.23"},
        {"E4", f6, 0x1077, 0x1634, 0x1077, 0xE4F1, 7, 13, 23, "7.13.23"},
        {"bytes are signed", f5, 0x14E4, 0x168E, 0x14E4, 0x1006, 200, 1, 2, "-56.1.2"},
        {"another board's package", f5, 0x14E4, 0x168E, 0x14E4, 0x9999, 7, 13, 23, ""},
        {"legacy family has no packages", f4, 0x14E4, 0x1639, 0x14E4, 0x1639, 7, 13, 23, ""},
    };
    for (const Pkg& c : cases) {
        World w;
        w.Add(c.adapter);
        const std::string file = w.Mbi("p.bin", c.vid, c.did, c.svid, c.ssid, c.a, c.b, c.c);
        ASSERT_TRUE(w.Discover(true)) << c.what;
        ASSERT_EQ(g_AllDevices.size(), 1u) << c.what;
        std::string version = "unchanged";
        EXPECT_EQ(g_AllDevices[0].GetImageVersion(kFwMbi, file, &version), !c.version.empty()) << c.what;
        EXPECT_EQ(version, c.version.empty() ? "unchanged" : c.version) << c.what;
    }
    // A path that does not fit the engines' 256-byte name buffer is refused, not cut.
    World w;
    w.Add(f5);
    ASSERT_TRUE(w.Discover(true));
    std::string version;
    EXPECT_FALSE(g_AllDevices[0].GetImageVersion(kFwPhy, "/" + std::string(300, 'x') + ".bin", &version));
    EXPECT_TRUE(g_AllDevices[0].GetImageVersion(kFwPhy, "/x.bin", &version));
}

template <class T>
T At(const VendorAdaptInfo& r, size_t offset)
{
    T v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&r) + offset, sizeof v);
    return v;
}

std::string WideAt(const VendorAdaptInfo& r, size_t offset)
{
    std::u16string s;
    for (size_t i = offset;; i += 2) {
        const char16_t c = At<char16_t>(r, i);
        if (!c) break;
        s += c;
    }
    return platform::to_utf8(s);
}

TEST(AdapterInfoRecord, FieldsAtTheirOffsets)
{
    World w;
    sim::AdapterDef a = disctest::Port(0, 0, 3);
    a.device = 2;
    a.slot = 0x1A;
    a.mbi_packed = Packed(7, 10, 1);
    a.connection_name = "Ethernet 3";
    w.Add(a);
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    ASSERT_TRUE(w.Discover());
    ASSERT_EQ(g_Devices.size(), 1u);
    auto record = std::make_unique<VendorAdaptInfo>();
    std::memset(record.get(), 0xAB, sizeof *record);
    g_Devices[0].fillVendorAdaptInfo(record.get());
    const VendorAdaptInfo& r = *record;
    EXPECT_EQ(WideAt(r, 0), g_Devices[0].ProductName());
    EXPECT_NE(WideAt(r, 0), "");
    EXPECT_EQ(WideAt(r, 2048), "Ethernet 3");
    EXPECT_EQ(At<uint32_t>(r, 2560), 0x14E4u);
    EXPECT_EQ(At<uint32_t>(r, 2564), 0x168Eu);
    EXPECT_EQ(At<uint32_t>(r, 2568), 0x14E4u);
    EXPECT_EQ(At<uint32_t>(r, 2572), 0x1006u);
    EXPECT_EQ(At<uint32_t>(r, 2576), 0u);
    EXPECT_EQ(At<uint32_t>(r, 2580), 3u);
    EXPECT_EQ(At<uint32_t>(r, 2584), 2u);
    EXPECT_EQ(At<uint32_t>(r, 2588), 0u);
    EXPECT_EQ(WideAt(r, 2592), "0000001A");
    EXPECT_EQ(WideAt(r, 2624), a.mac);
    EXPECT_EQ(At<uint32_t>(r, 2664), 1u);
    EXPECT_EQ(WideAt(r, 2668), "MBI");
    EXPECT_EQ(WideAt(r, 2668 + 512), "mbi.bin");  // the file's name only
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2560), 7u);
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2564), 10u);
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2568), 1u);
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2572), 7u);
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2576), 12u);
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2580), 0u);
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2584), 0xABABABABu);  // reserved word of the entry
    EXPECT_EQ(At<uint32_t>(r, 2668 + 2588), 0xABABABABu);  // the second entry is not touched
    EXPECT_EQ(At<uint32_t>(r, 54428), 0xABABABABu);        // reserved word of the record
}

// Wide texts that do not fit their field are cut and terminated.
TEST(AdapterInfoRecord, LongTextsAreCutAndTerminated)
{
    World w;
    sim::AdapterDef a = disctest::Port(0, 0);
    a.mac = std::string(19, 'M');
    w.Add(a);
    const std::string longName(1100, 'P');
    w.File("NICFWData.xml", testkit::nicfwdata_xml({{longName, "14E4", "168E", "14E4", "1006",
                                                     {{"mbi", "7.12.0"}, {"mbiFile", "mbi.bin"}}}}));
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    ASSERT_EQ(do_discover_with_zkfwdata(w.fw().c_str()), 0u);
    ASSERT_TRUE(w.Discover());
    ASSERT_EQ(g_Devices.size(), 1u);
    auto record = std::make_unique<VendorAdaptInfo>();
    std::memset(record.get(), 0xAB, sizeof *record);
    g_Devices[0].fillVendorAdaptInfo(record.get());
    EXPECT_EQ(WideAt(*record, 0), std::string(1023, 'P'));
    EXPECT_EQ(WideAt(*record, 2624), std::string(19, 'M'));
    EXPECT_EQ(WideAt(*record, 2668 + 512), "mbi.bin");  // as the data file names it
}

// The caller's count is the capacity of its array: a second call that finds more adapters than
// the first writes no more records than there is room for.
TEST(AdapterInfoExport, CountFirstThenNoMoreThanCapacity)
{
    World w;
    w.Add(disctest::Port(0, 0, 1));
    w.Add(disctest::Port(1, 0, 2));
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    const std::u16string folder = platform::to_utf16(w.fw());
    uint32_t count = 0;
    ASSERT_EQ(oem_get_adapter_info(nullptr, &count, folder.c_str()), 0u);
    EXPECT_EQ(count, 2u);
    std::vector<VendorAdaptInfo> records(2);
    std::memset(records.data(), 0xAB, sizeof(VendorAdaptInfo) * 2);
    count = 1;
    ASSERT_EQ(oem_get_adapter_info(records.data(), &count, folder.c_str()), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(At<uint32_t>(records[0], 2580), 1u);
    EXPECT_EQ(At<uint32_t>(records[0], 2664), 1u);
    EXPECT_EQ(WideAt(records[0], 2668), "MBI");
    EXPECT_EQ(At<uint32_t>(records[0], 2668 + 2572), 7u);
    EXPECT_EQ(At<uint32_t>(records[0], 54428), 0xABABABABu);
    EXPECT_EQ(At<uint32_t>(records[1], 2580), 0xABABABABu);
}

}  // namespace
