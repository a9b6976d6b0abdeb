// What follows an MBI package upgrade of a simulated E4 adapter, through the shell, the real
// facade and the real engine: the board fix-ups by PCI ids (options, version texts in VPD, the
// stored option sets behind DONVM_TRANSLATION), VPD V9 on the boards that keep the MBI version
// there, and the guard that refuses a package dropping the storage protocols the board runs.
#include <cstdlib>
#include <string>

#include "real_engine_fixture.h"
#include "testkit/e4_rom.h"
#include "testkit/package.h"

using namespace shelltest;

namespace {

// The data of a VPD keyword in an image, empty when absent.
std::string VpdField(const Bytes& b, const std::string& key)
{
    for (size_t i = 0; i + 3 <= b.size(); ++i)
        if (b[i] == uint8_t(key[0]) && b[i + 1] == uint8_t(key[1]) && i + 3 + b[i + 2] <= b.size())
            if (b[i + 2] && b[i + 3] >= '0' && b[i + 3] <= '9')
                return std::string(b.begin() + i + 3, b.begin() + i + 3 + b[i + 2]);
    return "";
}

class E4FixupTest : public E4AdapterTest {
protected:
    void TearDown() override
    {
        unsetenv("DONVM_TRANSLATION");
        unsetenv("DO_DOWNGRADE_AHKESP");
        E4AdapterTest::TearDown();
    }
    // An MBI package for this board: a boot-agent ROM, and an NVM_CFG image when `cfg` is given.
    std::string Package(uint8_t minor, const Bytes& cfg = {})
    {
        testkit::PackageDef p;
        p.major = 8;
        p.minor = minor;
        p.build = 0;
        e4::RomDef rom = e4::mba_stock("0.7.10");
        rom.vendor = 0x1077;
        rom.device = did;
        p.entries = {{testkit::package_tag("MBA"), e4::mba_rom(rom), {}, {}}};
        if (!cfg.empty()) p.entries.push_back({testkit::package_tag("NVM_CFG"), cfg, {}, {}});
        p.rows = {{0x1077, did, svid, ssid, 0x3}};
        return File("mbi.bin", testkit::package(p));
    }
};

class E4Board00CF : public E4FixupTest {
protected:
    E4Board00CF() { did = 0x1664, svid = 0x1590, ssid = 0x00CF; }
};

TEST_F(E4Board00CF, OptionsAndVersionTextsFollowTheUpgrade)
{
    EXPECT_TRUE(Good(Line("_upgrade -mbi " + Package(12))));
    ExpectValid();
    for (uint32_t f = 0; f < 16; ++f)
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 752 + 20 * f) & 3, 1u) << f;  // option 202 on every function
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 11) >> 31, 1u);                   // option 208
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 22) >> 8 & 0xF, 0u);             // no stored set without the switch
    // The boot agent of the package (0.7.10, UEFI driver 7.10) as the version words read.
    EXPECT_EQ(VpdField(Image(e4::type::VPD), "V1"), "0.7.10");    // legacy image's code revision 0x70A
    EXPECT_EQ(VpdField(Image(e4::type::VPD), "V6"), "7.0.0.10");  // UEFI driver version word 0x7000A
}

// The version texts reach the VPD image in one write of its header and one of its data; the
// same package again finds them there and leaves the VPD alone.
TEST_F(E4Board00CF, VersionTextsGoToTheVpdInOneWrite)
{
    const std::string pkg = Package(12);
    journal.clear();
    EXPECT_TRUE(Good(Line("_upgrade -mbi " + pkg)));
    ExpectValid();
    // Each write's dword count, image headers (first word 0x669955AA) shown as "H".
    auto writes = [this] {
        std::vector<std::string> out;
        for (const YxSimCall& c : journal.calls(yxmapi::ord::kWriteNvram))
            out.push_back(c.count == 8 && c.value == 0x669955AA ? "H" : std::to_string(c.count));
        return out;
    };
    const auto vpd = e4::find_image(Nvram(), e4::type::VPD);
    ASSERT_TRUE(vpd);
    const std::string vpd_data = std::to_string((vpd->entry.length - 4) / 4);
    const std::string cfg = std::to_string(4240 / 4);
    // The boot agent, the VPD with both texts, then DEFAULT_CFG and NVM_CFG1.
    const std::vector<std::string> got = writes();
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ((std::vector<std::string>(got.begin() + 2, got.end())),
              (std::vector<std::string>{"H", vpd_data, "H", cfg, "H", cfg}));

    journal.clear();
    EXPECT_TRUE(Good(Line("_upgrade -F -mbi " + pkg)));
    ExpectValid();
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(VpdField(Image(e4::type::VPD), "V1"), "0.7.10");
}

TEST_F(E4Board00CF, TheTranslationSwitchAddsTheStoredSet)
{
    for (const char* value : {"troskel", "3904R7", "7462"}) {
        SCOPED_TRACE(value);
        sim::set_nvram(root.path, adapter.name, e4::build(e4::stock_nvram({})).nvram);
        setenv("DONVM_TRANSLATION", value, 1);
        EXPECT_TRUE(Good(Line("_upgrade -F -mbi " + Package(12))));
        ExpectValid();
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 22) >> 8 & 0xF, 7u);  // option 83
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 146) >> 17 & 7, 1u);  // option 145 on both ports
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 296) >> 17 & 7, 1u);
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 142) & 0xFF, 0u);     // 10=16 is out of range: left out
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 752) & 3, 1u);        // and the option step still ran
    }
    for (const char* value : {"", "TROSKEL2"}) {
        SCOPED_TRACE(value);
        sim::set_nvram(root.path, adapter.name, e4::build(e4::stock_nvram({})).nvram);
        setenv("DONVM_TRANSLATION", value, 1);
        EXPECT_TRUE(Good(Line("_upgrade -F -mbi " + Package(12))));
        EXPECT_EQ(Word(e4::type::NVM_CFG1, 22) >> 8 & 0xF, 0u);
    }
}

// Two packages in one process, the second on a fresh board: the version texts it writes into VPD
// are its own images' or none, never those an earlier package (maybe for another adapter) left.
TEST_F(E4Board00CF, VersionTextsComeFromThisPackageOnly)
{
    auto package = [this](const char* name, bool mfw, const char* mba) {
        testkit::PackageDef p;
        p.major = 8;
        p.minor = 12;
        p.build = 3;
        if (mfw) p.entries.push_back({testkit::package_tag("MFW"), e4::bundle(e4::mfw_bundle_items("8.12.3.0", 0)), {}, {}});
        if (mba) {
            e4::RomDef rom = e4::mba_stock(mba);
            rom.vendor = 0x1077;
            rom.device = did;
            p.entries.push_back({testkit::package_tag("MBA"), e4::mba_rom(rom), {}, {}});
        }
        e4::NvmCfgDef cfg;
        cfg.mbi = {8, 12, 3};
        p.entries.push_back({testkit::package_tag("NVM_CFG"), e4::nvm_cfg_file(e4::nvm_cfg(cfg)), {}, {}});
        p.entries.push_back(
            {testkit::package_tag("META"), e4::meta_image(e4::meta_text(e4::meta_stock_options(9))), {}, {}});
        p.rows = {{0x1077, did, svid, ssid, 0xF}};
        return File(name, testkit::package(p));
    };
    // The first package carries a firmware bundle (MIM 8.12.3.0) and a boot agent.
    ASSERT_TRUE(Good(Line("_upgrade -mbi " + package("full.bin", true, "0.7.10")))) << Result();
    ExpectValid();
    ASSERT_EQ(VpdField(Image(e4::type::VPD), "V1"), "0.7.10");
    ASSERT_EQ(VpdField(Image(e4::type::VPD), "V3"), "8.12.3.0");
    ASSERT_EQ(VpdField(Image(e4::type::VPD), "V6"), "7.0.0.10");

    struct Case {
        const char* what;
        const char* mba;  // the second package's boot agent, or none
        const char *v1, *v3, *v6;
    } cases[] = {
        {"configuration only", nullptr, "", "", ""},
        {"boot agent without a firmware bundle", "0.7.11", "0.7.11", "", "7.0.0.11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::set_nvram(root.path, adapter.name, e4::build(e4::stock_nvram({})).nvram);  // no V1, V3, V6
        EXPECT_TRUE(Good(Line("_upgrade -mbi " + package("second.bin", false, c.mba))));
        ExpectValid();
        const Bytes vpd = Image(e4::type::VPD);
        EXPECT_EQ(VpdField(vpd, "V1"), c.v1);
        EXPECT_EQ(VpdField(vpd, "V3"), c.v3);
        EXPECT_EQ(VpdField(vpd, "V6"), c.v6);
        EXPECT_EQ(Version(e4::type::NVM_CFG1), "8.12.3");  // the package went in
    }
}

class E4Board0003 : public E4FixupTest {
protected:
    E4Board0003() { did = 0x8090, svid = 0x1077, ssid = 0x0003; }
};

TEST_F(E4Board0003, VpdV9TakesTheMbiVersion)
{
    EXPECT_TRUE(Good(Line("_upgrade -mbi " + Package(12))));
    ExpectValid();
    EXPECT_EQ(VpdField(Image(e4::type::VPD), "V9"), "8.12.0");
}

class E4Board021E : public E4FixupTest {
protected:
    E4Board021E() { did = 0x8070, svid = 0x1590, ssid = 0x021E; }
};

// NVRAM runs FCoE and Ethernet (option 117 = 0x3); an older package whose configuration offers
// Ethernet only is refused even with -F, unless DO_DOWNGRADE_AHKESP is set.
TEST_F(E4Board021E, DowngradeDroppingStorageIsRefused)
{
    ASSERT_TRUE(Good(Line("cfg 117=0x3")));
    Bytes cfg(4240, 0);
    testkit::put_be32(&cfg[136], 0x1);
    const std::string pkg = Package(9, cfg);
    const Bytes before = Nvram();
    EXPECT_FALSE(Good(Line("_upgrade -F -mbi " + pkg)));
    EXPECT_EQ(Nvram(), before);

    setenv("DO_DOWNGRADE_AHKESP", "1", 1);
    EXPECT_TRUE(Good(Line("_upgrade -F -mbi " + pkg)));
    ExpectValid();
}

// Each board with a stored option set (and one without) after an MBI package upgrade with the
// translation switch on: one word each set writes, and the values the set carries that the
// option validator refuses are left out (set 1's read-only 127 and lane counts 6).
struct BoardCase {
    const char* name;
    uint16_t did, svid, ssid;
    uint32_t word, shift, mask, value;
};

void PrintTo(const BoardCase& c, std::ostream* out) { *out << c.name; }

class E4StoredSets : public E4FixupTest, public ::testing::WithParamInterface<BoardCase> {
protected:
    E4StoredSets() { did = GetParam().did, svid = GetParam().svid, ssid = GetParam().ssid; }
};

TEST_P(E4StoredSets, TheBoardsSetGoesIn)
{
    const BoardCase& c = GetParam();
    setenv("DONVM_TRANSLATION", "TROSKEL", 1);
    EXPECT_TRUE(Good(Line("_upgrade -mbi " + Package(12))));
    ExpectValid();
    EXPECT_EQ(Word(e4::type::NVM_CFG1, c.word) >> c.shift & c.mask, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, E4StoredSets,
    ::testing::Values(BoardCase{"Set1", 0x1656, 0x1077, 0xE4F5, 22, 16, 0xFF, 9},       // 188 = 9
                      BoardCase{"Set1Functions", 0x1656, 0x1077, 0xE4F5, 746 + 20 * 4, 26, 1, 1},  // 187, all
                      BoardCase{"Set1LanesLeftOut", 0x1656, 0x1077, 0xE4F5, 146, 4, 7, 0},      // 30 = 6 refused
                      BoardCase{"Set2", 0x1656, 0x1077, 0xE4F7, 145 + 150, 0, 0xFFFF, 10},   // 27 = 10, port 1
                      BoardCase{"Set4", 0x1644, 0x1590, 0x00F6, 146, 17, 7, 2},             // 145 = 2
                      BoardCase{"Board0223", 0x1654, 0x1590, 0x0223, 752 + 20 * 15, 0, 3, 1},  // option step 202
                      BoardCase{"OtherBoard", 0x1634, 0x1077, 0xE4F1, 22, 8, 0xF, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
