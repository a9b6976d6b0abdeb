#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "fwupg/nvm/e123/cfg.h"
#include "nvm_fixture.h"
#include "testkit/vpd.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

struct Path {
    uint32_t cfg, feat;
};
constexpr Path kPaths[2] = {{256, 1104}, {2024, 2872}};

void expect_cfg_crcs(const Board& b, unsigned paths)
{
    const auto& nv = b.adapter->nvram;
    EXPECT_TRUE(testkit::region_crc_ok(nv, 0x14, 0xEC));
    for (unsigned p = 0; p < paths; ++p) {
        EXPECT_EQ(testkit::be32_at(nv, kPaths[p].cfg), 0x41000000u) << p;
        EXPECT_TRUE(testkit::region_crc_ok(nv, kPaths[p].cfg, 848)) << p;
        EXPECT_TRUE(testkit::region_crc_ok(nv, kPaths[p].feat, 240)) << p;
    }
}

TEST(CfgSet, RoundTripOnE1ProgramsOnePath)
{
    auto s = board_def(kit::Chip::E1);
    s.text20 = "TWENTY-CHARACTER-TXT";
    Board b(s);
    b.a().set_toe("FUNC_NUM", "1");  // port 1 on E1
    auto set = std::make_unique<CfgSet>();
    ASSERT_EQ(set->read(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(set->record), 20), "TWENTY-CHARACTER-TXT");
    // Port 1's MAC (record 76/80) as the kit wrote it.
    uint32_t mac_hi;
    std::memcpy(&mac_hi, set->record + 76, 4);
    EXPECT_EQ(mac_hi, 0x0010u);
    uint32_t word = 0x00ABCD00;
    std::memcpy(set->record + 464, &word, 4);
    b.a().reset_counters();
    ASSERT_EQ(set->write(), 0);
    for (auto [off, len] : b.a().writes)
        EXPECT_LT(off, 2024u) << "E1 has no second path";
    expect_cfg_crcs(b, 1);
    EXPECT_EQ(b.a().be32(1104 + 4 + 116), 0x00ABCD00u);
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgSet, RoundTripOnE2WritesBothPathsAndTheOtherOnlyShared)
{
    auto s = board_def(kit::Chip::E2);
    s.ports[0][0].words.push_back({100, 0x0A0A0A0A});
    s.ports[1][0].words.push_back({100, 0x0B0B0B0B});
    Board b(s);
    b.a().set_toe("FUNC_NUM", "1");  // path 1, port 0
    auto set = std::make_unique<CfgSet>();
    ASSERT_EQ(set->read(), 0);
    uint32_t v;
    std::memcpy(&v, set->record + 60 + 100, 4);
    EXPECT_EQ(v, 0x0B0B0B0Bu);
    v = 0x0C0C0C0C;
    std::memcpy(set->record + 60 + 100, &v, 4);
    v = 0x12345678;
    std::memcpy(set->record + 36, &v, 4);  // shared part, behind the part-number text
    ASSERT_EQ(set->write(), 0);
    expect_cfg_crcs(b, 2);
    EXPECT_EQ(b.a().be32(2068 + 100), 0x0C0C0C0Cu);
    EXPECT_EQ(b.a().be32(300 + 100), 0x0A0A0A0Au);  // the other path's port part is not touched
    EXPECT_EQ(b.a().be32(276), 0x12345678u);  // the shared part reaches both paths
    EXPECT_EQ(b.a().be32(2044), 0x12345678u);
    EXPECT_NVRAM_VALID(b);
}

// Blocks the change leaves as the NVRAM holds them are not written again: once a set has been
// written (the first write gives the kit's blocks the record's part number and mark), writing it
// back unchanged writes nothing, and a change to one word of a port's part writes only the block
// of its path that holds it, from that word through the block's CRC word, in one write.
TEST(CfgSet, OnlyTheBlocksThatChangeAreWritten)
{
    Board b(board_def(kit::Chip::E2));
    b.a().set_toe("FUNC_NUM", "1");  // path 1, port 0
    auto set = std::make_unique<CfgSet>();
    ASSERT_EQ(set->read(), 0);
    ASSERT_EQ(set->write(), 0);
    ASSERT_EQ(set->read(), 0);
    b.a().reset_counters();
    ASSERT_EQ(set->write(), 0);
    EXPECT_TRUE(b.a().writes.empty()) << b.a().writes.size() << " writes, the first at " << b.a().writes[0].first;

    struct Case {
        const char* what;
        uint32_t record;  // the record word changed
        uint32_t nvram;   // where the NVRAM keeps it
        uint32_t block_end;
    } cases[] = {
        {"port feature word", 464, kPaths[1].feat + 4, kPaths[1].feat + 240},
        {"port part word", 60 + 300, kPaths[1].cfg + 44 + 300, kPaths[1].cfg + 848},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t word = 0x00ABCD00 + c.record;
        std::memcpy(set->record + c.record, &word, 4);
        b.a().writes.clear();
        ASSERT_EQ(set->write(), 0);
        const std::vector<std::pair<uint32_t, uint32_t>> from_the_word{{c.nvram, c.block_end - c.nvram}};
        EXPECT_EQ(b.a().writes, from_the_word);
        EXPECT_EQ(b.a().be32(c.nvram), word);
        expect_cfg_crcs(b, 2);
    }
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgSet, SharedMemoryMirror)
{
    Board b(board_def(kit::Chip::E2));
    b.a().regs[0xA2B4] = 0x40000;        // path 0 base
    b.a().regs[0xA460] = 0x50000;        // path 1 hook
    b.a().regs[0x50000 + 52] = 0x60000;  // path 1 base
    b.a().regs[0x40000 + 28] = 0xAAAA0001;  // shared part word behind the part number
    auto set = std::make_unique<CfgSet>();
    ASSERT_EQ(set->read(), 0);
    uint32_t v;
    std::memcpy(&v, set->shmem + 36, 4);
    EXPECT_EQ(v, 0xAAAA0001u);
    ASSERT_EQ(set->write(), 0);
    // Both bases get the shared part; only the current path (0) its port part.
    EXPECT_EQ(b.a().regs[0x60000 + 28], 0xAAAA0001u);
    EXPECT_TRUE(b.a().regs.count(0x40000 + 52));
    EXPECT_FALSE(b.a().regs.count(0x60000 + 52));
}

TEST(CfgSet, NoSharedMemoryMeansNoRegisterWrites)
{
    Board b(board_def(kit::Chip::E3));
    auto set = std::make_unique<CfgSet>();
    std::memset(set->shmem, 0x77, sizeof set->shmem);
    ASSERT_EQ(set->read(), 0);
    EXPECT_EQ(set->shmem[20], 0x77);
    ASSERT_EQ(set->write(), 0);
    EXPECT_TRUE(b.a().regs.empty());
}

TEST(CfgSet, PartNumberFollowsTheVpdUnlessTheBoardKeepsItsOwn)
{
    struct Row {
        uint16_t svid;
        const char* want;
    };
    const Row rows[] = {{0x14E4, "VPD-PN-123"}, {0x103C, "OWN-PN"}, {0xFFFF, "OWN-PN"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.svid);
        auto s = board_def(kit::Chip::E3);
        kit::set_board(s, 0x14E4, 0x168E, r.svid, 0x1234, 0x001018AA0000ull, 2);
        s.part_number = "OWN-PN";
        s.vpd.pn = "VPD-PN-123";
        Board b(s);
        auto set = std::make_unique<CfgSet>();
        ASSERT_EQ(set->read(), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(set->record + 20)), r.want);
    }
}

TEST(CfgSet, FailedReadProgramsNothing)
{
    Board b(board_def(kit::Chip::E3));
    auto set = std::make_unique<CfgSet>();
    ASSERT_EQ(set->read(), 0);
    auto before = b.a().nvram;
    b.a().fail_reads = true;
    EXPECT_NE(set->write(), 0);
    EXPECT_EQ(b.a().nvram, before);
}

TEST(CfgSet, VpdCopyThatDoesNotRebuildIsNotOverwrittenWithTemplates)
{
    testkit::Bytes bad_sum = testkit::vpd_image_128(testkit::VpdFields{});
    bad_sum[10] ^= 0x01;
    bad_sum.resize(256, 0);
    const testkit::Bytes copies[] = {testkit::Bytes(256, 0), bad_sum};
    for (const auto& copy : copies) {
        auto s = board_def(kit::Chip::E3);
        s.vpd_raw = copy;
        Board b(s);
        auto set = std::make_unique<CfgSet>();
        ASSERT_EQ(set->read(), 0);
        ASSERT_EQ(set->write(), 0);
        EXPECT_EQ(testkit::get_host_view(b.a().nvram, 1344, 256), copy);
    }
}

}  // namespace
