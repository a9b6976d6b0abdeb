// The discovery report: exact text against golden files, values that need escaping, the package
// version from the component description file, and the rules by which a report is read back.
#include <gtest/gtest.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <platform/utf16.h>
#include <testkit/fwdata.h>

#include "discovery_test_support.h"
#include "fwupg/device.h"
#include "fwupg/discovery_report.h"
#include "fwupg/frame_work.h"
#include "fwupg/nic_fw_data.h"

namespace {

using disctest::World;

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The golden file; with FWUPG_UPDATE_GOLDEN set, `actual` replaces it first (for review).
std::string Golden(const std::string& name, const std::string& actual)
{
    const std::string path = (std::filesystem::path(FWUPG_DISCOVERY_GOLDEN_DIR) / name).string();
    if (std::getenv("FWUPG_UPDATE_GOLDEN")) std::ofstream(path, std::ios::binary) << actual;
    return Read(path);
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string WriteReport(const World& w)
{
    const std::string path = w.root() + "/report.xml";
    EXPECT_TRUE(WriteDiscoveryXml(path.c_str(), AnyUsableDeviceNeedsReboot()));
    return Read(path);
}

// A two-port 57710-class board whose first port has a connection name, an MBI package for it, and
// a component description file in the working folder.
TEST(DiscoveryReport, GoldenTwoPortBoard)
{
    World w;
    sim::AdapterDef p0 = disctest::Port(0, 0, 4);
    p0.mbi_packed = 7 << 24 | 10 << 16 | 1 << 8;
    p0.connection_name = "Ethernet 3";
    p0.slot = 0x2C;
    w.Add(p0);
    w.Add(disctest::Port(1, 1, 4));
    w.Mbi("mbi_57810.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    WriteText(w.root() + "/dzpack.XML",
              "<component><version value=\"7.12.0\" /><version revision=\"A01\" value=\"7.12.0\" /></component>");
    ASSERT_TRUE(w.Discover());
    const std::string report = WriteReport(w);
    EXPECT_EQ(report, Golden("report_two_port.xml", report));
}

// An E4 board and a legacy board in dump mode with the firmware data file loaded: names and files
// as the data file gives them; no component description file (xdz.xml does not qualify).
TEST(DiscoveryReport, GoldenDataFileMachine)
{
    World w;
    sim::AdapterDef e4 = sim::make_adapter(yxmapi::kFamilyE4, 0);
    e4.fw_text(yxmapi::fw6::kMbi, "8.10.2");
    w.Add(e4);
    sim::AdapterDef legacy = sim::make_adapter(yxmapi::kFamilyLegacy, 1);
    legacy.ssid = 0x0906;
    legacy.capabilities = yxmapi::nic::kCapNeedsReboot;
    legacy.fw_text(yxmapi::fw4::kBootcode, "bc 7.10.3");
    legacy.fw_text(yxmapi::fw4::kPxe, "7.10.3");
    w.Add(legacy);
    w.File("NICFWData.xml",
           testkit::nicfwdata_xml({{"E4 board from the data file", "1077", "1634", "1077", "E4F1",
                                    {{"mbi", "8.20.0"}, {"mbiFile", "E4_MBI.bin"}}},
                                   {"Legacy board from the data file", "14E4", "1639", "14E4", "0906",
                                    {{"bootcode", "7.10.3"}, {"bcFile", "bc_5709.bin"}, {"pxe", "7.12.0"},
                                     {"pxeFile", "n/a"}, {"ccmFile", "n/a"}}}}));
    w.Mbi("E4_MBI.bin", 0x1077, 0x1634, 0x1077, 0xE4F1, 8, 20, 0);
    WriteText(w.root() + "/xdz.xml", "<c><version revision=\"A01\" value=\"1\" /></c>");
    ASSERT_EQ(do_discover_with_zkfwdata(w.fw().c_str()), 0u);
    ASSERT_TRUE(w.Discover(true));
    const std::string report = WriteReport(w);
    EXPECT_EQ(report, Golden("report_data_file.xml", report));
}

TEST(DiscoveryReport, NoUsableAdapterStillWritesHeader)
{
    World w;
    ASSERT_TRUE(w.Discover());
    EXPECT_EQ(WriteReport(w),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<zk_rom_discovery version=\"2.0.0.0\">\r\n"
              "  <type value=\"\" />\r\n"
              "  <alt_name value=\"ZKE Aldern KV9 Varnelle Utility for Windows Server x64 Editions\" />\r\n"
              "  <version value=\"\" />\r\n"
              "  <takes_effect value=\"immediate\" />\r\n"
              "  <devices>\r\n"
              "  </devices>\r\n"
              "</zk_rom_discovery>\r\n");
    EXPECT_FALSE(WriteDiscoveryXml((w.root() + "/missing/report.xml").c_str(), false));
}

std::string ChildValue(xmlNode* parent, const char* name)
{
    return GetChildValue(parent, name);
}

// Names with XML's special characters and non-ASCII text give a well-formed report that reads back
// unchanged and still finds its adapter.
TEST(DiscoveryReport, SpecialCharactersReadBackUnchanged)
{
    World w;
    sim::AdapterDef a = disctest::Port(0, 0);
    const std::string id = "LAN \"A\" & <B> \xC3\xA9t\xC3\xA9 'x'";
    const std::string product = "Carte r\xC3\xA9seau <10G> & \"fast\"";
    a.connection_name = id;
    w.Add(a);
    w.File("NICFWData.xml", testkit::nicfwdata_xml({{product, "14E4", "168E", "14E4", "1006",
                                                     {{"mbi", "7.12.0"}, {"mbiFile", "a&b.bin"}}}}));
    w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
    ASSERT_EQ(do_discover_with_zkfwdata(w.fw().c_str()), 0u);
    ASSERT_TRUE(w.Discover());
    const std::string path = w.root() + "/report.xml";
    ASSERT_TRUE(WriteDiscoveryXml(path.c_str(), false));

    xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, 0x4160);
    ASSERT_NE(doc, nullptr);
    xmlNode* root = xmlDocGetRootElement(doc);
    xmlNode* devices = root->children;
    while (devices && std::string(reinterpret_cast<const char*>(devices->name)) != "devices") devices = devices->next;
    ASSERT_NE(devices, nullptr);
    xmlNode* device = devices->children;
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(ChildValue(device, "device_id"), id);
    EXPECT_EQ(ChildValue(device, "product_id"), product);
    EXPECT_EQ(fwupg::FindReportDevice(device, g_Devices), &g_Devices[0]);
    xmlNode* item = device->children;
    while (item && std::string(reinterpret_cast<const char*>(item->name)) != "fw_item") item = item->next;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(ChildValue(item, "firmware_file"), "a&b.bin");
    xmlFreeDoc(doc);
}

TEST(DiscoveryReport, PackageVersionFromFirstQualifyingFile)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        std::string version;
    };
    const std::vector<Case> cases = {
        {"dzpack.XML qualifies", {{"dzpack.XML", "<c><version revision=\"B\" value=\"1.2\"/></c>"}}, "1.2B"},
        {"xdz.xml does not", {{"xdz.xml", "<c><version revision=\"B\" value=\"1.2\"/></c>"}}, ""},
        {"first version with both attributes",
         {{"DZ1.xml", "<c><version value=\"9\"/><version revision=\"R\" value=\"2\"/><version revision=\"S\" value=\"3\"/></c>"}},
         "2R"},
        {"first file in name order",
         {{"DZb.xml", "<c><version revision=\"b\" value=\"2\"/></c>"}, {"DZa.xml", "<c><version revision=\"a\" value=\"1\"/></c>"}},
         "1a"},
        {"not well-formed", {{"DZ.xml", "<c><version revision=\"b\" value=\"2\"/>"}}, ""},
    };
    for (const Case& c : cases) {
        World w;
        g_szPackageVersion.clear();
        for (const auto& [name, text] : c.files) WriteText(w.root() + "/" + name, text);
        GetZkDzVerRevValueFromDZXMLFile();
        EXPECT_EQ(g_szPackageVersion, c.version) << c.what;
    }
    // A value found once stays when a later search finds nothing.
    World w;
    g_szPackageVersion = "kept";
    GetZkDzVerRevValueFromDZXMLFile();
    EXPECT_EQ(g_szPackageVersion, "kept");
}

TEST(ReportReadBack, SkipIgnoringCaseOthersCarriedOutWithStatus)
{
    const std::string text =
        "<device><device_id value=\"x\"/>"
        "<fw_item><action value=\"SKIP\"/><firmware_file value=\"a.bin\"/></fw_item>"
        "<fw_item><action value=\"skip \"/><firmware_file value=\"b.bin\"/><action_status value=\"\"/></fw_item>"
        "<fw_item><type value=\"PHY\"/><action value=\"upgrade\"/><firmware_file value=\"c.bin\"/></fw_item>"
        "<other><action value=\"upgrade\"/></other>"
        "</device>";
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, 0x4160);
    ASSERT_NE(doc, nullptr);
    xmlNode* device = xmlDocGetRootElement(doc);
    std::vector<std::string> carried;
    fwupg::ApplyReportItems(device, [&](const fwupg::ReportItem& item) {
        carried.push_back(item.action + "|" + item.file + "|" + item.type);
        return item.file == "b.bin" ? 1u : 8u;
    });
    EXPECT_EQ(carried, (std::vector<std::string>{"skip |b.bin|", "upgrade|c.bin|PHY"}));
    xmlBuffer* buf = xmlBufferCreate();
    xmlNodeDump(buf, doc, device, 0, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(xmlBufferContent(buf))),
              "<device><device_id value=\"x\"/>"
              "<fw_item><action value=\"SKIP\"/><firmware_file value=\"a.bin\"/></fw_item>"
              "<fw_item><action value=\"skip \"/><firmware_file value=\"b.bin\"/><action_status value=\"1\"/></fw_item>"
              "<fw_item><type value=\"PHY\"/><action value=\"upgrade\"/><firmware_file value=\"c.bin\"/><action_status value=\"8\"/></fw_item>"
              "<other><action value=\"upgrade\"/></other>"
              "</device>");
    xmlBufferFree(buf);
    xmlFreeDoc(doc);
}

TEST(ReportReadBack, ChildValuePassesOverChildrenWithoutValue)
{
    const std::string text = "<d><a/><a value=\"\"/><a value=\"second\"/><a value=\"third\"/></d>";
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, 0x4160);
    ASSERT_NE(doc, nullptr);
    xmlNode* d = xmlDocGetRootElement(doc);
    EXPECT_EQ(GetChildValue(d, "a"), "second");
    EXPECT_EQ(GetChildValue(d, "b"), "");
    SetChildValue(d, "a", "set");
    EXPECT_EQ(GetChildValue(d, "a"), "set");  // the first "a" now has a value
    xmlFreeDoc(doc);
}

}  // namespace

namespace {

// The discovery export end to end: its codes and the report it leaves.
TEST(DiscoveryExport, CodesAndReport)
{
    struct Case {
        const char* what;
        bool fitting;
        std::string dataFile;  // empty: none
        uint32_t code;
        bool written;
    };
    const std::vector<Case> cases = {
        {"usable adapter", true, "", 0, true},
        {"no usable adapter", false, "", 12, true},
        {"data file not well-formed", true, "<nic_fw_package>", 107, false},
        {"data file with a wrong root", true, "<other/>", 0, true},
    };
    for (const Case& c : cases) {
        World w;
        w.Add(disctest::Port(0, 0));
        if (c.fitting) w.Mbi("mbi.bin", 0x14E4, 0x168E, 0x14E4, 0x1006, 7, 12, 0);
        if (!c.dataFile.empty()) w.File("NICFWData.xml", c.dataFile);
        const std::string report = w.root() + "/out.xml";
        const std::u16string folder = platform::to_utf16(w.fw()), file = platform::to_utf16(report);
        EXPECT_EQ(oem_do_discovery_with_files(file.c_str(), folder.c_str()), c.code) << c.what;
        const std::string text = Read(report);
        EXPECT_EQ(!text.empty(), c.written) << c.what;
        if (c.fitting && c.written) {
            EXPECT_NE(text.find("<firmware_file value=\"mbi.bin\" />"), std::string::npos) << c.what;
        }
    }
}

}  // namespace
