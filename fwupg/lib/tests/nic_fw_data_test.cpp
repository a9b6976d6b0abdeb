// The firmware data file reader: result codes, the map's keys and records, the edge cases of the
// file's layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <platform/utf16.h>
#include <platform/testing/temp_root.h>
#include <testkit/fwdata.h>

#include "fwupg/nic_fw_data.h"

namespace {

using platform::testing::TempDir;

testkit::NicFwModel Model(const std::string& name, const std::string& devid, const std::string& subdevid,
                          std::vector<std::pair<std::string, std::string>> components = {})
{
    return {name, "14E4", devid, "14E4", subdevid, std::move(components)};
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string NameOf(const std::u16string& key)
{
    const NicFwData* d = fwupg::FindNicFwData(key);
    return d ? platform::to_utf8((*d)[kNfName]) : "<none>";
}

struct DataFileCase {
    const char* what;
    std::optional<std::string> xml;  // nothing: no file at all
    uint32_t code;
    bool loaded;
    std::vector<std::pair<std::u16string, std::string>> names;  // key -> product name ("<none>": absent)
};

TEST(NicFwDataFileTable, ReadsModelsAndRefusesBadFiles)
{
    const std::string twoNic =
        "<nic_fw_package><m><nic name=\"first\" devid=\"1639\" subdevid=\"0906\"/>"
        "<nic name=\"second\" devid=\"1639\" subdevid=\"0907\"/></m></nic_fw_package>";
    const std::string nicUnderRoot =
        "<nic_fw_package><nic name=\"direct\" devid=\"1639\" subdevid=\"0906\"/></nic_fw_package>";
    const std::vector<DataFileCase> cases = {
        {"two models", testkit::nicfwdata_xml({Model("A", "1639", "0906"), Model("B", "168E", "1006")}), 0, true,
         {{u"1639-0906", "A"}, {u"168E-1006", "B"}}},
        {"no file", std::nullopt, 11, false, {}},
        {"wrong root", testkit::nicfwdata_xml({Model("A", "1639", "0906")}, "nic_fw_pack"), 11, false,
         {{u"1639-0906", "<none>"}}},
        {"not well-formed", "<nic_fw_package><m><nic name=\"A\" devid=\"1639\"", 107, false, {}},
        {"empty file", "", 107, false, {}},
        {"empty root", "<nic_fw_package/>", 0, true, {}},
        {"duplicate key: first wins", testkit::nicfwdata_xml({Model("A", "1639", "0906"), Model("B", "1639", "0906")}),
         0, true, {{u"1639-0906", "A"}}},
        {"lower-case key kept verbatim", testkit::nicfwdata_xml({Model("low", "16a1", "00ec")}), 0, true,
         {{u"16a1-00ec", "low"}, {u"16A1-00EC", "<none>"}}},
        {"second nic of a wrapper ignored", twoNic, 0, true, {{u"1639-0906", "first"}, {u"1639-0907", "<none>"}}},
        {"nic directly under the root not read", nicUnderRoot, 0, true, {{u"1639-0906", "<none>"}}},
        {"non-ASCII and escaped names", testkit::nicfwdata_xml({Model("Carte réseau & <10G>", "1639", "0906")}), 0,
         true, {{u"1639-0906", "Carte réseau & <10G>"}}},
    };
    for (const DataFileCase& c : cases) {
        SCOPED_TRACE(c.what);
        fwupg::ResetNicFwDataForTest();
        TempDir dir;
        if (c.xml) WriteFile(dir / "NICFWData.xml", *c.xml);
        EXPECT_EQ(do_discover_with_zkfwdata(dir.path().c_str()), c.code);
        EXPECT_EQ(IsNicFwDataLoaded(), c.loaded);
        for (const auto& [key, name] : c.names) EXPECT_EQ(NameOf(key), name) << platform::to_utf8(key);
        if (c.names.empty()) {
            EXPECT_TRUE(g_NicFwDataMap.empty());
        }
    }
}

class NicFwDataFile : public ::testing::Test {
protected:
    void SetUp() override { fwupg::ResetNicFwDataForTest(); }
};

TEST_F(NicFwDataFile, RecordCarriesEveryAttributeAndEmptyForAbsentOnes)
{
    TempDir dir;
    WriteFile(dir / "NICFWData.xml",
              testkit::nicfwdata_xml({Model("A", "168E", "1006",
                                            {{"mbi", "7.12.0"}, {"mbiFile", "mbi.bin"}, {"phyFile", ""}, {"ccm", "7.1"}})}));
    ASSERT_EQ(do_discover_with_zkfwdata(dir.path().c_str()), 0u);
    const NicFwData* d = fwupg::FindNicFwData(0x168E, 0x1006);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ((*d)[kNfVenid], u"14E4");
    EXPECT_EQ((*d)[kNfMbi], u"7.12.0");
    EXPECT_EQ((*d)[kNfMbiFile], u"mbi.bin");
    EXPECT_EQ((*d)[kNfCcm], u"7.1");
    EXPECT_EQ((*d)[kNfPhyFile], u"");
    EXPECT_EQ((*d)[kNfPhy], u"");
    EXPECT_EQ((*d)[kNfBcFile], u"");
}

// A lookup builds its key from four upper-case digits: short or lower-case ids are never found.
TEST_F(NicFwDataFile, LookupKeyIsFourUpperCaseDigits)
{
    EXPECT_EQ(fwupg::NicFwDataKey(0x1234, 0xAB), u"1234-00AB");
    EXPECT_EQ(fwupg::NicFwDataKey(0x16a1, 0xec), u"16A1-00EC");
}

TEST_F(NicFwDataFile, LaterFilesAddButNeverReplaceAndFailuresChangeNothing)
{
    TempDir a, b, bad;
    WriteFile(a / "NICFWData.xml", testkit::nicfwdata_xml({Model("old", "1639", "0906")}));
    WriteFile(b / "NICFWData.xml", testkit::nicfwdata_xml({Model("new", "1639", "0906"), Model("C", "168E", "1006")}));
    WriteFile(bad / "NICFWData.xml", "<nic_fw_package>");
    ASSERT_EQ(do_discover_with_zkfwdata(a.path().c_str()), 0u);
    ASSERT_EQ(do_discover_with_zkfwdata(b.path().c_str()), 0u);
    EXPECT_EQ(NameOf(u"1639-0906"), "old");
    EXPECT_EQ(NameOf(u"168E-1006"), "C");
    EXPECT_EQ(do_discover_with_zkfwdata(bad.path().c_str()), 107u);
    EXPECT_TRUE(IsNicFwDataLoaded());
    EXPECT_EQ(g_NicFwDataMap.size(), 2u);
}

// A folder whose data-file path would not fit is refused, never cut to another file's name.
TEST_F(NicFwDataFile, OverlongFolderIsMissingNotCut)
{
    TempDir dir;
    std::string folder = dir.path();
    while (folder.size() < 250) folder += "/x";
    std::filesystem::create_directories(folder);
    WriteFile(folder + "/NICFWData.xml", "<nic_fw_package/>");
    EXPECT_EQ(do_discover_with_zkfwdata(folder.c_str()), 11u);
    EXPECT_FALSE(IsNicFwDataLoaded());
}

}  // namespace
