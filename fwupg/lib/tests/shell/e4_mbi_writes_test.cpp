// The NVRAM writes of an MBI package upgrade of a simulated E4 adapter (a firmware bundle, a boot
// agent, and NVM_CFG with META for the configuration upgrade), through the shell, the real facade
// and the real engine: the configuration images change in several of the package's steps but
// each goes to the NVRAM once, after the images and with NVM_CFG1 last; what the NVRAM holds
// already is not written again; and a package that fails writes no configuration at all.
#include <string>
#include <vector>

#include "real_engine_fixture.h"
#include "testkit/e4_rom.h"
#include "testkit/package.h"

using namespace shelltest;

namespace {

constexpr uint32_t kHeaderDwords = 8;         // the 32-byte header that precedes a single image
constexpr uint32_t kCfgDwords = 4240 / 4;     // NVM_CFG1 and DEFAULT_CFG
constexpr uint32_t kImageMagic = 0x669955AA;  // first word of an image header

class E4MbiWrites : public E4AdapterTest {
protected:
    // Package 8.12.3 for this board: MFW 8.12.3.0, boot agent 0.7.10, new defaults with
    // configuration version 2, and META.
    std::string Package()
    {
        testkit::PackageDef p;
        p.major = 8;
        p.minor = 12;
        p.build = 3;
        e4::RomDef rom = e4::mba_stock("0.7.10");
        rom.vendor = 0x1077;
        rom.device = did;
        e4::NvmCfgDef cfg;
        cfg.mbi = {8, 12, 3};
        cfg.cfg_version[0] = 2;
        p.entries = {{testkit::package_tag("MFW"), e4::bundle(e4::mfw_bundle_items("8.12.3.0", 0)), {}, {}},
                     {testkit::package_tag("MBA"), e4::mba_rom(rom), {}, {}},
                     {testkit::package_tag("NVM_CFG"), e4::nvm_cfg_file(e4::nvm_cfg(cfg)), {}, {}},
                     {testkit::package_tag("META"), e4::meta_image(e4::meta_text(e4::meta_stock_options(9))), {}, {}}};
        p.rows = {{0x1077, did, svid, ssid, 0xF}};
        return File("mbi.bin", testkit::package(p));
    }
    // The dword counts of the adapter's NVRAM writes since the journal was cleared, with each
    // image header shown as "H".
    std::vector<std::string> Writes() const
    {
        std::vector<std::string> out;
        for (const YxSimCall& c : journal.calls(yxmapi::ord::kWriteNvram))
            out.push_back(c.count == kHeaderDwords && c.value == kImageMagic ? "H" : std::to_string(c.count));
        return out;
    }
};

TEST_F(E4MbiWrites, EachConfigurationImageIsWrittenOnceAfterTheImages)
{
    const std::string pkg = Package();
    journal.clear();
    ASSERT_TRUE(Good(Line("_upgrade -mbi " + pkg)));
    ExpectValid();
    // The bundle, the boot agent, then DEFAULT_CFG, META and NVM_CFG1: two writes of a
    // configuration image's size for the two configuration images the package changed.
    const std::string cfg = std::to_string(kCfgDwords);
    const std::vector<std::string> writes = Writes();
    ASSERT_EQ(writes.size(), 9u);
    EXPECT_EQ(writes[1], "H");
    EXPECT_EQ((std::vector<std::string>(writes.begin() + 3, writes.end())),
              (std::vector<std::string>{"H", cfg, "H", writes[6], "H", cfg}));
    EXPECT_NE(writes[6], cfg);  // META between them
    EXPECT_EQ(Version(e4::type::NVM_CFG1), "8.12.3");
    EXPECT_EQ(Version(e4::type::DEFAULT_CFG), "8.12.3");
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 39), 2u);
    EXPECT_EQ(Word(e4::type::DEFAULT_CFG, 39), 2u);

    // The same package again, forced: the NVRAM holds its boot agent and configuration already,
    // so only the bundle (which switches the bank that boots next) is written.
    const Bytes before = Image(e4::type::NVM_CFG1);
    journal.clear();
    ASSERT_TRUE(Good(Line("_upgrade -F -mbi " + pkg)));
    ExpectValid();
    EXPECT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Image(e4::type::NVM_CFG1), before);
}

// The package with one of its writes refused (the simulated write stores half its bytes and
// fails): the command fails, the configuration images are what the refusal left, and a plain
// option change afterwards still goes straight to the NVRAM (no batch is left open).
class E4MbiWriteRefused : public E4MbiWrites, public ::testing::WithParamInterface<uint32_t> {
protected:
    void BeforeStart() override
    {
        sim::Control control;
        sim::FaultRule rule;
        rule.ordinal = yxmapi::ord::kWriteNvram;
        rule.nth = GetParam();
        control.faults.push_back(rule);
        sim::write_control(root.path, control);
    }
};

TEST_P(E4MbiWriteRefused, FailsLeavingNvmCfg1AsItWasAndTheNextRunRepairs)
{
    const std::string pkg = Package();
    const Bytes old_cfg1 = Image(e4::type::NVM_CFG1), old_default = Image(e4::type::DEFAULT_CFG);
    EXPECT_FALSE(Good(Line("_upgrade -mbi " + pkg)));
    ExpectValid();
    EXPECT_EQ(Image(e4::type::NVM_CFG1), old_cfg1);  // the reported MBI version stays the old one
    // Only a refusal of NVM_CFG1's own write (the last) comes after DEFAULT_CFG took the new one.
    if (GetParam() == 9)
        EXPECT_EQ(Version(e4::type::DEFAULT_CFG), "8.12.3");
    else
        EXPECT_EQ(Image(e4::type::DEFAULT_CFG), old_default);

    EXPECT_TRUE(Good(Line("cfg 117=0x19")));
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 34), 0x19u);

    EXPECT_TRUE(Good(Line("_upgrade -mbi " + pkg)));
    ExpectValid();
    EXPECT_EQ(Version(e4::type::NVM_CFG1), "8.12.3");
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 34), 0x19u);  // changed on the adapter: kept by the merge
}

// The bundle, the boot agent's data, DEFAULT_CFG's data, NVM_CFG1's data.
INSTANTIATE_TEST_SUITE_P(Writes, E4MbiWriteRefused, ::testing::Values(1u, 3u, 5u, 9u));

}  // namespace
