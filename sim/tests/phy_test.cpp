// The external PHY's firmware: the version the firmware record reports (FwInfoType5 byte 484)
// follows the last image the PHY took; malformed images and cut downloads leave the old one.
#include <fstream>

#include "sim_test_support.h"
#include "testkit/phy_image.h"

using namespace simtest;

namespace {

// A two-function board whose PHY left the factory with "PHY 1.0.0".
struct PhyBoard : ::testing::Test {
    void SetUp() override
    {
        for (uint32_t i = 0; i < 2; ++i) {
            fn[i] = sim::make_adapter(5, i + 1, "dual-f" + std::to_string(i));
            fn[i].board = "dual";
            fn[i].function = i;
            fn[i].fw_text(yxmapi::fw5::kPhy, "PHY 1.0.0");
            sim::write_adapter(root.path, fn[i]);
        }
    }
    uint32_t write_phy(const testkit::Bytes& image) const
    {
        return lib.fn<ord::kWritePhyFirmware>()(fn[0].api_handle, image.data(), uint32_t(image.size()), kGuid);
    }
    std::string phy_version(const sim::AdapterDef& a) const
    {
        yxmapi::FwInfoType5 r;
        r.prepare(yxmapi::kFwInfoType5Version);
        EXPECT_EQ(lib.fn<ord::kGetFwInfoType5>()(a.list_handle, &r), 0u);
        return std::string(r.get(yxmapi::fw5::kPhy));
    }
    void faults(std::vector<sim::FaultRule> rules) const
    {
        sim::Control c;
        c.faults = std::move(rules);
        sim::write_control(root.path, c);
    }
    TempRoot root;
    Library lib;
    sim::AdapterDef fn[2];
};

}  // namespace

TEST_F(PhyBoard, VersionFollowsTheLastImageWrittenOnEveryFunction)
{
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(phy_version(fn[1]), "PHY 1.0.0") << "the factory text before any write";
    ASSERT_EQ(write_phy(testkit::phy_image("8727", "2.1.4")), 0u);
    EXPECT_EQ(phy_version(fn[0]), "PHY 2.1.4");
    EXPECT_EQ(phy_version(fn[1]), "PHY 2.1.4") << "one PHY per board";
    ASSERT_EQ(write_phy(testkit::phy_image("8727", "2.2.0")), 0u);
    EXPECT_EQ(phy_version(fn[1]), "PHY 2.2.0");
    lib.shutdown();
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(phy_version(fn[0]), "PHY 2.2.0") << "kept across sessions";
}

TEST_F(PhyBoard, MalformedImagesAreRefusedAndNothingIsStored)
{
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(write_phy(testkit::phy_image("8727", "2.1.4")), 0u);
    const testkit::Bytes good = testkit::phy_image("8727", "3.0.0");
    testkit::Bytes no_magic = good, long_record = good, no_version = good, trailing = good;
    no_magic[0] = 0;
    testkit::set_le32(long_record, 16, uint32_t(good.size()));
    std::fill_n(no_version.begin() + 20 + testkit::kPhyVersionAt, 4, uint8_t(0));
    trailing.push_back(0);
    const std::pair<const char*, testkit::Bytes> bad[] = {
        {"junk", testkit::Bytes(64, 0x5A)},
        {"header only", testkit::Bytes(good.begin(), good.begin() + 20)},
        {"no magic", no_magic},
        {"record longer than the file", long_record},
        {"no version text", no_version},
        {"trailing byte", trailing},
    };
    const uint32_t writes = lib.counters().phyWrites;
    for (const auto& [what, image] : bad) {
        EXPECT_EQ(write_phy(image), uint32_t(YXSIM_E_BAD_ARGUMENT)) << what;
        EXPECT_EQ(phy_version(fn[1]), "PHY 2.1.4") << what;
    }
    EXPECT_EQ(lib.counters().phyWrites, writes);
}

TEST_F(PhyBoard, CutDownloadFailsAndKeepsTheOldFirmware)
{
    sim::FaultRule cut;
    cut.ordinal = ord::kWritePhyFirmware;
    cut.adapter = "dual";
    cut.nth = 2;
    cut.status = 0xE0000077;
    cut.cut_after = 100;
    faults({cut});
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(write_phy(testkit::phy_image("8727", "2.1.4")), 0u);
    const testkit::Bytes before = sim::read_nvram(root.path, "dual");
    EXPECT_EQ(write_phy(testkit::phy_image("8727", "3.0.0")), 0xE0000077u);
    EXPECT_EQ(phy_version(fn[0]), "PHY 2.1.4");
    EXPECT_EQ(sim::read_nvram(root.path, "dual"), before) << "a PHY download does not touch the NVRAM";
    ASSERT_EQ(write_phy(testkit::phy_image("8727", "3.0.0")), 0u) << "the next download goes through";
    EXPECT_EQ(phy_version(fn[0]), "PHY 3.0.0");
}

TEST_F(PhyBoard, StoredImageThatNoLongerReadsReportsNoVersion)
{
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(write_phy(testkit::phy_image("8727", "2.1.4")), 0u);
    std::ofstream(sim::phy_image_path(root.path, "dual"), std::ios::binary | std::ios::trunc) << "damaged";
    EXPECT_EQ(phy_version(fn[0]), "") << "not the factory text";
}
