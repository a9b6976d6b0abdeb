// The merge of an adapter's configuration with new defaults, option by option as the meta texts
// describe them; the chip group and the port count come from the board made current.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fwupg/nvm/e4/cfg_upgrade.h"
#include "kit_e4_board.h"
#include "testkit/e4_images.h"

namespace {

using namespace fwupg::nvm::test;
using fwupg::nvm::e4::ByteSpan;
using fwupg::nvm::e4::MergeInputs;
namespace e4 = testkit::e4;
using testkit::Bytes;

ByteSpan span(const Bytes& b) { return {b.data(), uint32_t(b.size())}; }
ByteSpan span(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size())}; }

Bytes image(std::vector<std::pair<uint32_t, uint32_t>> words, uint64_t mac)
{
    e4::NvmCfgDef s;
    s.mac = mac;
    s.words = std::move(words);
    return e4::nvm_cfg(s);
}

// Options over words 50-58 of the global block, the port MACs and a function block field.
std::vector<e4::MetaOption> options()
{
    return {
        {1, "Port MAC", "mac", 612, "port", "user", {}, {}},
        {2, "Speed", "8", 200, "glob", "user", {}, {}},
        {3, "Lanes", "8", 204, "glob", "user", {}, {}},
        {4, "Board strap", "32", 208, "glob", "hw", {}, {}},
        {5, "New option", "32", 212, "glob", "user", {}, {}},
        {6, "Group A only", "32", 216, "glob", "user", {}, 57940},
        {7, "Serial Number", "16", 220, "glob", "user", {}, {}},
        {8, "Zero elements", "8", 224, "glob", "user", 0, {}},
        {9, "Far away", "32", 8000, "glob", "user", {}, {}},
        {10, "Function word", "64", 2988, "func", "user", 32, {}},
        {11, "Path word", "32", 552, "path", "user", {}, {}},
    };
}

struct Merge {
    explicit Merge(uint16_t did = 0x1656) : board(e4::stock_nvram({}), did)
    {
        ops = board.adapter.ops();
        scope = std::make_unique<fwupg::HostOpsScope>(&ops);
    }
    int run(const std::string& old_meta, const std::string& new_meta)
    {
        const MergeInputs in{span(old_default), span(old_cfg), span(old_meta), span(new_default), span(new_meta)};
        take_debug_text();
        return fwupg::nvm::e4::e4_cfg_merge_meta(in, out_cfg, out_default);
    }
    uint32_t cfg(uint32_t w) const { return e4::cfg_word(out_cfg, w); }
    uint32_t def(uint32_t w) const { return e4::cfg_word(out_default, w); }

    KitE4Board board;
    HostOps ops;
    std::unique_ptr<fwupg::HostOpsScope> scope;
    // Adapter: Speed as shipped, Lanes and the board strap changed by the user, a serial number.
    Bytes old_default = image({{50, 0x10}, {51, 0x4}, {52, 0x1}, {53, 0x5}, {54, 0x7}, {55, 0xAB}, {60, 0x1},
                               {747, 0x11}, {139, 0x33}},
                              0x001018E40100);
    Bytes old_cfg = image({{50, 0x10}, {51, 0x2}, {52, 0x9}, {53, 0x6}, {54, 0x8}, {55, 0xCD}, {56, 0x77}, {60, 0xAAAA},
                           {747, 0x11}, {139, 0x33}},
                          0x001018E40100);
    Bytes new_default = image({{50, 0x20}, {51, 0x8}, {52, 0x3}, {53, 0x50}, {54, 0x70}, {55, 0xEF}, {56, 0x99}, {60, 0xBBBB},
                               {747, 0x22}, {139, 0x44}},
                              0x00AABBCC0000);
    std::vector<uint8_t> out_cfg, out_default;
};

TEST(E4CfgMerge, ChangedAndKeptOptionsSurviveOthersTakeTheNewDefaults)
{
    std::vector<e4::MetaOption> old_options = options();
    std::erase_if(old_options, [](const e4::MetaOption& o) { return o.id == 5; });
    Merge m;
    ASSERT_EQ(m.run(e4::meta_text(old_options), e4::meta_text(options())), 0) << take_debug_text();
    EXPECT_EQ(m.cfg(50), 0x20u);  // unchanged by the user: the new default
    EXPECT_EQ(m.cfg(51), 0x2u);   // changed by the user: kept ...
    EXPECT_EQ(m.def(51), 0x8u);   // ... but not carried into the new defaults
    EXPECT_EQ(m.cfg(52), 0x3u);   // "hw": always the new default
    EXPECT_EQ(m.cfg(53), 0x50u);  // new to the meta text: the new default
    EXPECT_EQ(m.cfg(54), 0x8u);   // a group-A option on a group-A chip, changed: kept
    EXPECT_EQ(m.cfg(55) & 0xFFFF, 0xCDu);  // serial number: kept in both images
    EXPECT_EQ(m.def(55) & 0xFFFF, 0xCDu);
    EXPECT_EQ(m.cfg(56), 0x77u);  // an element size of 0: not merged
    EXPECT_EQ(m.cfg(60), 0xAAAAu);  // described by no option: the adapter's value
    EXPECT_EQ(m.cfg(747), 0x22u);   // function block 0, word 7: unchanged by the user, new default
    EXPECT_EQ(m.cfg(139), 0x44u);   // path 1's word, unchanged by the user: the new default
    // Port MAC of both ports, two 32-bit elements each: the adapter's, in both images.
    for (uint32_t p = 0; p < 2; ++p) {
        EXPECT_EQ(m.cfg(153 + 150 * p), 0x0010u) << p;
        EXPECT_EQ(m.cfg(154 + 150 * p), 0x18E40100u + p) << p;
        EXPECT_EQ(m.def(153 + 150 * p), 0x0010u) << p;
        EXPECT_EQ(m.def(154 + 150 * p), 0x18E40100u + p) << p;
    }
    EXPECT_EQ(m.def(154 + 300), 0xBBCC0002u);  // port 2 is not on this two-port board
    EXPECT_EQ(m.out_cfg.size(), 4240u);
    EXPECT_EQ(m.out_default.size(), 4240u);
}

TEST(E4CfgMerge, ChipGroupExclusionsLeaveTheBitsAlone)
{
    Merge m(0x8070);  // group B
    const std::string meta = e4::meta_text(options());
    ASSERT_EQ(m.run(meta, meta), 0);
    EXPECT_EQ(m.cfg(54), 0x8u);
    EXPECT_EQ(m.cfg(139), 0x33u);  // one path on group B: path 1's word is not merged
    m.old_cfg = image({{54, 0x7}}, 0);  // equal to the old default: would take the new one
    ASSERT_EQ(m.run(meta, meta), 0);
    EXPECT_EQ(m.cfg(54), 0x7u);
}

TEST(E4CfgMerge, UnusableMetaTextsAndBadEntities)
{
    Merge m;
    const std::string good = e4::meta_text(options());
    EXPECT_EQ(m.run(good, "set x {1}"), -1);
    EXPECT_EQ(take_debug_text(), "ERROR: Failed to parse new nvm_meta buffer.\n");
    EXPECT_EQ(m.run("array set other {1,name x }", good), -1);
    EXPECT_EQ(take_debug_text(), "ERROR: Failed to parse the onboard meta options array.\n");
    EXPECT_EQ(m.run(good, "array set nvm_cfg {1,name x 1,size 8 1,entity_name pci 1,offset 0 }"), 0);
    EXPECT_EQ(take_debug_text(), "Bad entity type pci, must be glob/path/port/func.\n");
}

TEST(E4CfgMerge, KeptNames)
{
    for (auto [name, kept] : {std::pair{"port mac", true}, {"mbi version", true}, {"serial number", true},
                              {"manufacturing id", true}, {"serial number 2", false}, {"speed", false}})
        EXPECT_EQ(fwupg::nvm::e4::e4_meta_keep_name(name), kept) << name;
}

}  // namespace

namespace {

// The META item of a bundle is taken up to its length rounded to words, never past the bundle.
TEST(E4BundleMeta, FirstMetaItemOnly)
{
    const Bytes text = {'s', 'e', 't', ' ', 'a', ' ', '{', '1', ' ', '}'};  // 10 bytes
    Bytes bundle = e4::bundle({{e4::type::LIM, Bytes(8, 1)}, {e4::type::META, text}, {e4::type::META, Bytes(4, 2)}});
    std::vector<uint8_t> meta;
    ASSERT_TRUE(fwupg::nvm::e4::e4_bundle_meta(bundle, meta));
    EXPECT_EQ(meta, (std::vector<uint8_t>{'s', 'e', 't', ' ', 'a', ' ', '{', '1', ' ', '}', 0, 0}));
    // A last item whose length is not a multiple of 4 and ends with the bundle.
    bundle = e4::bundle({{e4::type::META, text}});
    testkit::set_le32(bundle, 16 + 24, 10);
    bundle.resize(bundle.size() - 2);
    ASSERT_TRUE(fwupg::nvm::e4::e4_bundle_meta(bundle, meta));
    EXPECT_EQ(meta.size(), 12u);
    EXPECT_FALSE(fwupg::nvm::e4::e4_bundle_meta(e4::bundle({{e4::type::LIM, Bytes(8, 1)}}), meta));
}

}  // namespace
