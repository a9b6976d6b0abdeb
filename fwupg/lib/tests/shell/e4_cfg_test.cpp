// Configuration of a simulated E4 adapter through the shell, the real facade and the real engine:
// "cfg N=V", the facade slots without a front-end caller (31 show, 33 recompute NVM_CFG1), and the
// configuration upgrade from an NVM_CFG file and a meta text, with the test kit's E4 verifier
// after every write and the images read back from the NVRAM the management library holds.
#include <algorithm>
#include <string>
#include <vector>

#include "real_engine_fixture.h"
#include "fwupg/host_ops_builder.h"
#include "sim/adapter_builder.h"

using namespace shelltest;

namespace {

class E4CfgTest : public E4AdapterTest {
protected:
    // The stock NVRAM with NVM_CFG1 built from `cfg` (DEFAULT_CFG stays the stock one).
    void SetCfg1(const e4::NvmCfgDef& cfg)
    {
        e4::NvramDef d = e4::stock_nvram({});
        for (e4::ImageDef& im : d.images)
            if (im.type == e4::type::NVM_CFG1) im.data = e4::nvm_cfg(cfg);
        sim::set_nvram(root.path, adapter.name, e4::build(d).nvram);
    }
    static e4::NvmCfgDef StockCfg()
    {
        e4::NvmCfgDef s;
        s.mbi = {8, 10, 5};
        return s;
    }
};

TEST_F(E4CfgTest, OptionSetChangesItsWordAndARefusalWritesNothing)
{
    ASSERT_EQ(Word(e4::type::NVM_CFG1, 34), 0u);
    EXPECT_TRUE(Good(Line("cfg 117=0x19")));
    ExpectValid();
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 34), 0x19u);

    const Bytes before = Nvram();
    for (const char* refused : {"cfg 117=0", "cfg 29=3", "cfg 127=1", "cfg 999=1"}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(Good(Line(refused)));
        EXPECT_EQ(Nvram(), before);
    }

    cfg_request r{};
    r.value = 16;
    r.option_num = 117;
    EXPECT_EQ(Slot([&](HostOps ops) { return gpIFwUpgKv9->show_nvm_cfg_e4(ops, &r); }), 0);
    EXPECT_EQ(r.value, 0x19u);
}

// Slot 33: every option keeps its value except the "hw" ones (words 39-42 in the kit's meta
// text), which return to DEFAULT_CFG's.
TEST_F(E4CfgTest, RecomputedCfg1KeepsUserValuesAndResetsHardwareOptions)
{
    e4::NvmCfgDef cfg = StockCfg();
    cfg.cfg_version[0] = 7;
    cfg.words = {{34, 0x19}};
    SetCfg1(cfg);
    EXPECT_EQ(Slot([&](HostOps ops) { return gpIFwUpgKv9->update_nvm_cfg1_e4(ops); }), 0);
    ExpectValid();
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 39), 1u);
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 34), 0x19u);
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 154), 0x18E40100u);  // port 0's MAC
}

class E4UpdateCfgTest : public E4CfgTest {
protected:
    // The new defaults: configuration version 2, another storage default and other MACs.
    std::string NewCfgFile()
    {
        e4::NvmCfgDef s = StockCfg();
        s.cfg_version[0] = 2;
        s.mac = 0x00AABBCC0000;
        s.words = {{34, 0x1}};
        return File("nvm_cfg.bin", e4::nvm_cfg_file(e4::nvm_cfg(s)));
    }
    std::string MetaFile() { return File("nvm_meta.txt", e4::meta_image(e4::meta_text(e4::meta_stock_options(9)))); }
};

TEST_F(E4UpdateCfgTest, ChangedOptionAndMacsSurviveNewDefaultsComeIn)
{
    ASSERT_TRUE(Good(Line("cfg 117=0x19")));
    const std::string cfg = NewCfgFile(), meta = MetaFile();
    EXPECT_TRUE(Good(Line("update_cfg -F " + cfg + " " + meta)));
    ExpectValid();
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 34), 0x19u);  // changed on the adapter: kept
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 39), 2u);     // "hw": the new default
    EXPECT_EQ(Word(e4::type::DEFAULT_CFG, 39), 2u);
    EXPECT_EQ(Word(e4::type::DEFAULT_CFG, 34), 0x1u);  // not a kept option: the new default
    for (uint32_t type : {e4::type::NVM_CFG1, e4::type::DEFAULT_CFG}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(Word(type, 153), 0x0010u);  // port MACs kept in both images
        EXPECT_EQ(Word(type, 154 + 150), 0x18E40101u);
        EXPECT_EQ(Word(type, 741 + 20 * 3), 0x18E40103u);  // function MACs too
    }
    const Bytes new_meta = Image(e4::type::META);
    const std::string text(new_meta.begin(), new_meta.end());
    EXPECT_NE(text.find("9,name {Option absent from the adapter}"), std::string::npos);

    // The same files again without -F: the configuration version is the one in NVRAM.
    const Bytes before = Nvram();
    EXPECT_FALSE(Good(Line("update_cfg " + cfg + " " + meta)));
    EXPECT_EQ(Nvram(), before);
}

TEST_F(E4UpdateCfgTest, MetaFromABundleAndABundleWithoutOne)
{
    const std::string cfg = NewCfgFile();
    const Bytes text = e4::meta_image(e4::meta_text(e4::meta_stock_options(9)));
    const std::string with = File("with.bin", e4::bundle({{e4::type::LIM, Bytes(64, 1)}, {e4::type::META, text}}));
    const std::string without = File("without.bin", e4::bundle({{e4::type::LIM, Bytes(64, 1)}}));
    const Bytes before = Nvram();
    EXPECT_FALSE(Good(Line("update_cfg -F " + cfg + " " + without)));
    EXPECT_EQ(Nvram(), before);
    EXPECT_TRUE(Good(Line("update_cfg -F " + cfg + " " + with)));
    ExpectValid();
    EXPECT_EQ(Image(e4::type::META), text);

    // A plain text file without a terminating NUL and of a length that is no multiple of 4.
    std::string plain = e4::meta_text(e4::meta_stock_options(9)) + "\n";
    if (plain.size() % 4 == 0) plain += "\n";
    EXPECT_TRUE(Good(Line("update_cfg -F " + cfg + " " + File("plain.txt", Bytes(plain.begin(), plain.end())))));
    ExpectValid();
    const Bytes meta = Image(e4::type::META);
    ASSERT_GE(meta.size(), plain.size());
    EXPECT_EQ(std::string(meta.begin(), meta.begin() + plain.size()), plain);
}

// A failed DEFAULT_CFG write (the third NVRAM write: NVM_CFG1 goes as header and data first) fails
// the command, and META is still written.
class E4UpdateCfgFaultTest : public E4UpdateCfgTest {
protected:
    void BeforeStart() override
    {
        sim::Control control;
        sim::FaultRule rule;
        rule.ordinal = yxmapi::ord::kWriteNvram;
        rule.nth = refused_write;
        control.faults.push_back(rule);
        sim::write_control(root.path, control);
    }
    uint32_t refused_write = 3;
};

TEST_F(E4UpdateCfgFaultTest, AFailedDefaultCfgWriteFailsTheCommand)
{
    const Bytes old_default = Image(e4::type::DEFAULT_CFG);
    EXPECT_FALSE(Good(Line("update_cfg -F " + NewCfgFile() + " " + MetaFile())));
    ExpectValid();
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 39), 2u);
    EXPECT_EQ(Image(e4::type::DEFAULT_CFG), old_default);
    const Bytes meta = Image(e4::type::META);
    EXPECT_NE(std::string(meta.begin(), meta.end()).find("9,name"), std::string::npos);
}

// An image goes in, but the write that returns NVM_CFG1's MBI version to "not configured" (the
// fourth write: image header, image, then NVM_CFG1's header and data) is refused: the upgrade
// fails rather than leave the old MBI version standing over the changed image.
class E4MbiClearFaultTest : public E4UpdateCfgFaultTest {
protected:
    E4MbiClearFaultTest() { refused_write = 4; }
};

TEST_F(E4MbiClearFaultTest, AFailedMbiVersionClearFailsTheUpgrade)
{
    const std::string lim = File("lim.bin", e4::stock_image(e4::type::LIM, "8.12.3.0"));
    EXPECT_FALSE(Good(Line("_upgrade -lim " + lim)));
    ExpectValid();
    EXPECT_EQ(Version(e4::type::LIM), "LIM 8.12.3.0");
    EXPECT_EQ(e4::find_image(Nvram(), e4::type::NVM_CFG1)->version, "8.10.5");
}

}  // namespace

namespace {

// A board without a META image: with subsystem id 0x223 the new META goes in first and the merge
// reads the options from it; any other board refuses the upgrade without writing.
class E4Board0223 : public E4UpdateCfgTest {
protected:
    E4Board0223() { did = 0x1654, svid = 0x1590, ssid = 0x0223; }
    void WithoutMeta()
    {
        e4::NvramDef d = e4::stock_nvram({});
        std::erase_if(d.images, [](const e4::ImageDef& im) { return im.type == e4::type::META; });
        e4::NvmCfgDef cfg = StockCfg();
        cfg.words = {{34, 0x19}};
        for (e4::ImageDef& im : d.images)
            if (im.type == e4::type::NVM_CFG1) im.data = e4::nvm_cfg(cfg);
        sim::set_nvram(root.path, adapter.name, e4::build(d).nvram);
    }
};

TEST_F(E4Board0223, MissingMetaIsProgrammedFirstAndMergedAgainst)
{
    WithoutMeta();
    EXPECT_TRUE(Good(Line("update_cfg -F " + NewCfgFile() + " " + MetaFile())));
    ExpectValid();
    EXPECT_FALSE(Image(e4::type::META).empty());
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 34), 0x19u);  // changed against the old defaults: kept
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 39), 2u);
    EXPECT_EQ(Word(e4::type::NVM_CFG1, 154), 0x18E40100u);
}

class E4BoardWithoutMeta : public E4Board0223 {
protected:
    E4BoardWithoutMeta() { ssid = 0x0224; }
};

TEST_F(E4BoardWithoutMeta, OtherBoardsRefuse)
{
    WithoutMeta();
    const Bytes before = Nvram();
    EXPECT_FALSE(Good(Line("update_cfg -F " + NewCfgFile() + " " + MetaFile())));
    EXPECT_EQ(Nvram(), before);
}

}  // namespace
