// Adapter discovery on the simulated machine: which functions become usable, which are listed at
// all, which are never kept, their identifiers, and what failing queries do.
#include <gtest/gtest.h>

#include <libxml/parser.h>

#include <string>
#include <vector>

#include <platform/utf16.h>
#include <testkit/fwdata.h>

#include "discovery_test_support.h"
#include "fwupg/device.h"
#include "fwupg/discovery_report.h"
#include "fwupg/nic_fw_data.h"

namespace {

using disctest::Port;
using disctest::World;

std::vector<std::string> Ids(const std::vector<Device>& list)
{
    std::vector<std::string> out;
    for (const Device& d : list) out.push_back(platform::to_utf8(d.m_ID));
    return out;
}

std::vector<uint32_t> Functions(const std::vector<Device>& list)
{
    std::vector<uint32_t> out;
    for (const Device& d : list) out.push_back(d.Function());
    return out;
}

TEST(Discovery, TwoPortBoardWithFittingMbi)
{
    World w;
    w.Add(Port(0, 0));
    w.Add(Port(1, 1));
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    ASSERT_TRUE(w.Discover());
    EXPECT_EQ(Functions(g_Devices), std::vector<uint32_t>{0});
    EXPECT_EQ(Functions(g_AllDevices), (std::vector<uint32_t>{0, 1}));
    ASSERT_EQ(g_Devices.size(), 1u);
    ASSERT_EQ(g_Devices[0].m_Firmwares.size(), 1u);
    EXPECT_EQ(g_Devices[0].m_Firmwares[0].m_TypeName, "MBI");
    EXPECT_EQ(g_Devices[0].m_Firmwares[0].m_ImageFile, w.fw() + "/mbi.bin");
}

TEST(Discovery, WithoutFittingImageOnlyDumpModeLists)
{
    struct Case {
        bool dump;
        std::vector<uint32_t> usable, all;
    };
    for (const Case& c : {Case{false, {}, {}}, Case{true, {0}, {0, 1}}}) {
        World w;
        w.Add(Port(0, 0));
        w.Add(Port(1, 1));
        // A package for another board fits neither port.
        w.Mbi("other.bin", 0x14E4, 0x168E, 0x14E4, 0x9999, 7, 12, 0);
        ASSERT_TRUE(w.Discover(c.dump));
        EXPECT_EQ(Functions(g_Devices), c.usable) << c.dump;
        EXPECT_EQ(Functions(g_AllDevices), c.all) << c.dump;
    }
}

TEST(Discovery, UnservedAdaptersAreNeverKept)
{
    World w;
    sim::AdapterDef family7 = sim::make_adapter(7, 0);
    sim::AdapterDef noOemRow = sim::make_adapter(yxmapi::kFamily57710, 1);
    noOemRow.ssid = 0x0001;
    sim::AdapterDef served = sim::make_adapter(yxmapi::kFamily57710, 2);
    for (const auto& a : {family7, noOemRow, served}) w.Add(a);
    ASSERT_TRUE(w.Discover(/*dumpMode=*/true));
    EXPECT_EQ(Ids(g_AllDevices), std::vector<std::string>{"14E4.168E.14E4.1006"});
}

// While the firmware data file is loaded, only the models it lists are kept.
TEST(Discovery, DataFileKeepsOnlyListedModels)
{
    World w;
    sim::AdapterDef listed = sim::make_adapter(yxmapi::kFamily57710, 0);
    sim::AdapterDef unlisted = sim::make_adapter(yxmapi::kFamilyLegacy, 1);
    w.Add(listed);
    w.Add(unlisted);
    w.File("NICFWData.xml", testkit::nicfwdata_xml({{"Listed", "14E4", "168E", "14E4", "1006", {}}}));
    ASSERT_EQ(do_discover_with_zkfwdata(w.fw().c_str()), 0u);
    ASSERT_TRUE(w.Discover(true));
    EXPECT_EQ(Ids(g_AllDevices), std::vector<std::string>{"14E4.168E.14E4.1006"});
}

TEST(Discovery, IdentifierFromConnectionNameElseFourIds)
{
    struct Case {
        const char* what;
        std::string service, connection;
        std::string id;
    };
    const std::string long129(129, 'n'), long130(130, 'n');
    const std::vector<Case> cases = {
        {"connection name", "svc0", "Ethernet 3", "Ethernet 3"},
        {"non-ASCII connection name", "svc0", "Verbindung \xC3\xBC", "Verbindung \xC3\xBC"},
        {"no service name", "", "Ethernet 3", "14E4.1639.14E4.0906"},
        {"no connection name", "svc0", "", "14E4.1639.14E4.0906"},
        {"129 characters fit the value", "svc0", long129, long129},
        {"130 characters do not", "svc0", long130, "14E4.1639.14E4.0906"},
    };
    for (const Case& c : cases) {
        World w;
        sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyLegacy, 0);
        a.ssid = 0x0906;
        a.service_name = c.service;
        a.connection_name = c.connection;
        w.Add(a);
        ASSERT_TRUE(w.Discover(true)) << c.what;
        EXPECT_EQ(Ids(g_AllDevices), std::vector<std::string>{c.id}) << c.what;
    }
}

TEST(Discovery, FailingQueriesTakeTheirPaths)
{
    struct Case {
        uint32_t ordinal;
        std::string adapter;  // empty: every call
        bool result;
        std::vector<std::string> ids;
    };
    const std::vector<Case> cases = {
        {49, "", false, {}},
        {50, "", true, {}},
        {18, "", true, {"14E4.168E.14E4.1006", "14E4.1639.14E4.1639"}},
        {51, "nic0", true, {"Legacy"}},
        {77, "nic0", true, {"Legacy"}},
    };
    for (const Case& c : cases) {
        World w;
        sim::AdapterDef a = sim::make_adapter(yxmapi::kFamily57710, 0);
        a.connection_name = "E1";
        sim::AdapterDef b = sim::make_adapter(yxmapi::kFamilyLegacy, 1);
        b.connection_name = "Legacy";
        w.Add(a);
        w.Add(b);
        w.Fail(c.ordinal, c.adapter);
        EXPECT_EQ(w.Discover(true), c.result) << c.ordinal;
        EXPECT_EQ(Ids(g_AllDevices), c.ids) << c.ordinal;
    }
}

// Identical boards without connection names share their identifier; a report entry still finds
// its own board by its PCI location.
TEST(Discovery, ReportEntryOfIdenticalBoardsFindsItsOwnBoard)
{
    World w;
    w.Add(Port(0, 0, 1));
    w.Add(Port(1, 0, 2));
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    ASSERT_TRUE(w.Discover());
    ASSERT_EQ(g_Devices.size(), 2u);
    ASSERT_EQ(g_Devices[0].m_ID, g_Devices[1].m_ID);

    const std::string entry =
        "<device><device_id value=\"14E4.168E.14E4.1006\" /><busnumber value=\"0002\" />"
        "<devicenumber value=\"0000\" /><funcnumber value=\"0000\" /></device>";
    xmlDoc* doc = xmlReadMemory(entry.data(), static_cast<int>(entry.size()), nullptr, nullptr, 0);
    ASSERT_NE(doc, nullptr);
    Device* found = fwupg::FindReportDevice(xmlDocGetRootElement(doc), g_Devices);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Bus(), 2u);
    xmlFreeDoc(doc);
}

}  // namespace
