#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/queries.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

testkit::Bytes host_image(const kit::NvramDef& s) { return testkit::words_reversed(kit::build(s).nvram); }

TEST(Presence, AdapterAndFileAgree)
{
    auto with = board_def(kit::Chip::E3);
    with.images.push_back(image_def("MBA", testkit::stock_image("MBA", "7.4.1")));
    with.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    auto without = board_def(kit::Chip::E3);
    const auto file_with = host_image(with), file_without = host_image(without);

    Board none(without);
    HostOps h = none.a().ops();
    EXPECT_EQ(common_nvm_mba_matches_file(h, file_without.data()), 1);
    EXPECT_EQ(common_nvm_mba_matches_file(h, file_with.data()), 0);

    Board has(with);
    h = has.a().ops();
    EXPECT_EQ(common_nvm_mba_matches_file(h, file_without.data()), 0);
    EXPECT_EQ(common_nvm_mba_matches_file(h, file_with.data()), 1);
    EXPECT_EQ(common_nvm_image_matches_file(h, file_with.data(), kTypeCcm), 1);
    EXPECT_EQ(common_nvm_image_matches_file(h, file_without.data(), kTypeCcm), 0);
    EXPECT_EQ(common_nvm_image_matches_file(h, file_with.data(), kTypeMba), 0);
    EXPECT_EQ(common_nvm_feb_matches_file(h, file_without.data()), 1);
    int32_t k = 5;
    EXPECT_EQ(common_nvm_ext_image_present(h, kTypeCcm, &k), 0);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(common_nvm_ext_image_present(h, kTypeMfw1, &k), -1);
    EXPECT_EQ(k, -1);
}

// The presence questions of slots 39-42: IPMI, MBA and NCSI_CMN by their main-directory entries,
// UMP never (E1-E3 boards carry none); an image of another kind or in the extended directory does
// not count.
TEST(Presence, SlotQuestionsAnswerFromTheMainDirectory)
{
    struct Ask {
        const char* name;
        int (*ask)(HostOps);
    };
    const Ask asks[] = {{"UMP", common_nvm_ump_present},
                        {"IPMI", common_nvm_ipmi_present},
                        {"MBA", common_nvm_mba_present},
                        {"NCSI_CMN", common_nvm_ncsi_present}};
    const struct {
        const char* what;
        std::vector<const char*> images;
    } boards[] = {
        {"none of them", {"L2T", "CCM"}},
        {"IPMI and MBA", {"IPMI", "MBA", "CCM"}},
        {"NCSI only", {"NCSI_CMN", "NCSI_ELIB"}},
    };
    for (const auto& board : boards) {
        SCOPED_TRACE(board.what);
        auto s = board_def(kit::Chip::E3);
        for (const char* kind : board.images)
            s.images.push_back(image_def(kind, testkit::stock_image(kind, "1.2.3")));
        Board b(s);
        for (const Ask& a : asks) {
            bool listed = false;
            for (const char* kind : board.images)
                listed = listed || std::string(kind) == a.name;
            EXPECT_EQ(a.ask(b.a().ops()), listed ? 1 : 0) << a.name;
        }
    }
}

TEST(PortCfgWord, SelectorsByPortAndPath)
{
    auto s = board_def(kit::Chip::E2);
    s.ports[1][0].words.push_back({384, 0x00000A55});  // second path, port 0: external PHY
    s.words.push_back({2872, 0x5EA70000});
    Board b(s);
    b.a().set_toe("FUNC_NUM", "1");
    b.refresh();
    HostOps h = b.a().ops();
    uint32_t v = 0, off = 0;
    ASSERT_EQ(common_nvm_get_port_cfg_word(h, 1, nullptr, &v), 0);
    EXPECT_EQ(v, 0x14E41662u);
    ASSERT_EQ(common_nvm_get_port_cfg_word(h, 3, nullptr, &v), 0);
    EXPECT_EQ(v, 0x0900u);
    ASSERT_EQ(common_nvm_get_port_cfg_word(h, 5, nullptr, &v), 0);
    EXPECT_EQ(v, 0x5EA70000u);
    EXPECT_EQ(common_nvm_get_port_cfg_word(h, 6, nullptr, &v), -1);
    ASSERT_EQ(common_nvm_port_cfg_word_offset(h, 2, &off), 0);
    EXPECT_EQ(off, 2024u + 48);
    EXPECT_EQ(common_nvm_port_cfg_word_offset(h, 4, &off), -1);
    EXPECT_EQ(off, 0u);
    // From a file image: the same word, and a short buffer is refused.
    auto file = host_image(s);
    ASSERT_EQ(common_nvm_get_port_cfg_word(h, 1, file.data(), &v), 0);
    EXPECT_EQ(v, 0x14E41662u);
    EXPECT_EQ(fwupg::nvm::port_cfg_word(1, file.data(), 2000, &v), -1);
}

TEST(PhyType, FromSharedMemory)
{
    FakeAdapter a;
    a.regs[0xA2B4] = 0x30000;
    a.regs[0x30000 + 400 + 436] = 0x00000A55;
    a.regs[0x30000 + 400 + 412] = 0x00000B00;
    HostOps h = a.ops();
    fwupg::HostOpsScope scope(&h);
    uint32_t t = 0;
    ASSERT_EQ(common_nvm_ext_phy_type(h, 1, &t), 0);
    EXPECT_EQ(t, 0x0900u);
    EXPECT_EQ(common_nvm_ext_phy2_type(h, 1, 0x0B00), 1);
    EXPECT_EQ(common_nvm_ext_phy2_type(h, 1, 0x0C00), 0);
    a.failing_regs.insert(0x30000 + 436);
    EXPECT_EQ(common_nvm_ext_phy_type(h, 0, &t), -1);
    EXPECT_EQ(take_debug_text(), "Failed to read external PHY type.\n");
}

}  // namespace
