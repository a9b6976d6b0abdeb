// The configuration record: decoding the blocks, writing them back, per board and per function.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {
adapter configured(int board)
{
    adapter a;
    a.board = board;
    a.nvm_size = 0x20000;
    a.feature_bits = 0x0001C045 | (board == 5709 ? 1u << 20 : 0);   // bits 0, 2, 6, 14, 15, 16
    // Only bits that some field covers: the writer clears the others.
    a.hw_h8[0] = is_dual(board) ? 0x0323ABCD : 0x0003ABCD;
    a.hw_h8[1] = 0x00011234;
    a.feat_words[0][0] = 0x03000005;
    a.feat_words[0][2] = 0x00400F0D;
    a.feat_words[0][4] = 0x00010064;
    a.feat_words[1][0] = 0x00000002;
    a.feat_words[1][2] = 0x00000F00;   // the expansion ROM size is shared by both functions
    a.forced_l1 = true;
    a.power_budget[0] = 0x001FFFFF;
    a.sn = "SN-CFG";
    return a;
}
}  // namespace

TEST(CfgRecord, DecodesPerBoard)
{
    for (int board : {5706, 5708, 5709, 5716, 57728}) {
        const adapter a = configured(board);
        FakeHost host(a);
        toe_cfg_record r{};
        ASSERT_EQ(0, toe_nvm_read_cfg(host.ops(), &r)) << board;
        EXPECT_EQ(0, std::memcmp(r.f1, a.mac[0], 6)) << board;
        EXPECT_EQ(0, std::memcmp(r.f33, a.iscsi_mac[0], 6)) << board;
        EXPECT_EQ(0x14E4, r.f4);
        EXPECT_EQ(0x1639, r.f5);
        EXPECT_EQ(0x0A, r.f2[3]);
        EXPECT_EQ(0x64, r.f2[0]);
        EXPECT_EQ(1, r.f14);
        EXPECT_EQ(1, r.f36);
        EXPECT_EQ(1, r.f41);
        EXPECT_EQ(1, r.f48);
        EXPECT_EQ(4, r.f38);
        EXPECT_EQ(1, r.f50);
        EXPECT_EQ(is_dual(board) ? 0x3 : 0x0, r.f13) << "LED mode: h+8 on dual boards, 0x124 bits 10-8 otherwise";
        EXPECT_EQ(0xABCD, r.f46);
        EXPECT_EQ(3, r.f49);
        EXPECT_EQ(5, r.f16);
        EXPECT_EQ(1, r.f17);
        EXPECT_EQ(1, r.f21);
        EXPECT_EQ(3, r.f22);
        EXPECT_EQ(5, r.f23) << "bits 1-0 with bit 22 as bit 2";
        EXPECT_EQ(0x0F, r.f28);
        EXPECT_EQ(1, r.f34);
        EXPECT_EQ(100, r.f35);
        EXPECT_EQ(0x34, r.f44);
        EXPECT_EQ(1, r.f57);
        EXPECT_EQ(0x001FFFFFu, r.f67);
        EXPECT_STREQ("SPARE-0001", r.f39);
        EXPECT_STREQ("SN-CFG", r.vpd.sn);
        EXPECT_EQ(board == 5708 || board == 5709 ? 1 : 0, r.f75) << board;
    }
}

TEST(CfgRecord, WriteBackKeepsEverythingAndCrcs)
{
    for (int board : {5706, 5708, 5709, 5716, 57728}) {
        FakeHost host(configured(board));
        const bytes before = host.nvram;
        toe_cfg_record r{};
        ASSERT_EQ(0, toe_nvm_read_cfg(host.ops(), &r));
        ASSERT_EQ(0, toe_nvm_write_cfg(host.ops(), &r, TOE_CFG_ALL)) << board;
        EXPECT_EQ("", verify_nvram(host.nvram)) << board;
        toe_cfg_record again{};
        ASSERT_EQ(0, toe_nvm_read_cfg(host.ops(), &again));
        EXPECT_EQ(0, std::memcmp(&r, &again, sizeof r)) << board;
        // The blocks are unchanged apart from their CRC words and the VPD's rebuilt padding.
        for (uint32_t off = 0x100; off < 0x1FC; off += 4)
            EXPECT_EQ(get_be32(before, off), get_be32(host.nvram, off)) << board << std::hex << " @" << off;
        for (uint32_t off = 0x200; off < 0x2FC; off += 4)
            EXPECT_EQ(get_be32(before, off), get_be32(host.nvram, off)) << board << std::hex << " @" << off;
    }
}

TEST(CfgRecord, MaskWritesOnlyItsBlock)
{
    FakeHost host(configured(5709));
    toe_cfg_record r{};
    ASSERT_EQ(0, toe_nvm_read_cfg(host.ops(), &r));
    const bytes before = host.nvram;
    r.f1[5] = 0x99;
    r.f44 = 0x40;
    std::strcpy(r.vpd.sn, "CHANGED");
    std::strcpy(r.f39, "NEWSPARE");
    ASSERT_EQ(0, toe_nvm_write_cfg(host.ops(), &r, TOE_CFG_HW_INFO));
    EXPECT_EQ(0x18010299u, get_be32(host.nvram, 0x138));
    EXPECT_TRUE(residue_ok(host.nvram, 0x100, 0x100));
    EXPECT_EQ(bytes(before.begin(), before.begin() + 0x100), bytes(host.nvram.begin(), host.nvram.begin() + 0x100));
    EXPECT_EQ(bytes(before.begin() + 0x200, before.begin() + 0x400),
              bytes(host.nvram.begin() + 0x200, host.nvram.begin() + 0x400));
}

TEST(CfgRecord, OtherFunctionAndSinglePortBoards)
{
    {
        FakeHost host(configured(5716));
        g_cfg_otherfn = 1;
        toe_cfg_record r{};
        ASSERT_EQ(0, toe_nvm_read_cfg(host.ops(), &r));
        EXPECT_EQ(0, std::memcmp(r.f1, configured(5716).mac[1], 6));
        EXPECT_EQ(2, r.f16);
        r.f16 = 7;
        ASSERT_EQ(0, toe_nvm_write_cfg(host.ops(), &r, TOE_CFG_FEAT_INFO));
        EXPECT_EQ(0u, g_cfg_otherfn);
        EXPECT_EQ(7u, get_be32(host.nvram, 0x288) & 0xF);
        EXPECT_EQ(5u, get_be32(host.nvram, 0x214) & 0xF);
    }
    {
        FakeHost host(configured(5708));
        g_cfg_otherfn = 1;
        toe_cfg_record r{};
        EXPECT_EQ(1, toe_nvm_read_cfg(host.ops(), &r));
        EXPECT_EQ(0u, g_cfg_otherfn);
        g_cfg_otherfn = 1;
        const bytes before = host.nvram;
        EXPECT_EQ(1, toe_nvm_write_cfg(host.ops(), &r, TOE_CFG_ALL));
        EXPECT_EQ(before, host.nvram);
    }
}

TEST(CfgRecord, BlockThatCannotBeReadIsNotWritten)
{
    FakeHost host(configured(5706));
    toe_cfg_record r{};
    ASSERT_EQ(0, toe_nvm_read_cfg(host.ops(), &r));
    r.f1[5] = 0x99;
    r.f16 = 9;
    const bytes before = host.nvram;
    host.fail_read_at = 0x100;
    EXPECT_EQ(1, toe_nvm_write_cfg(host.ops(), &r, TOE_CFG_HW_INFO | TOE_CFG_FEAT_INFO));
    EXPECT_EQ(bytes(before.begin() + 0x100, before.begin() + 0x200),
              bytes(host.nvram.begin() + 0x100, host.nvram.begin() + 0x200));
    EXPECT_EQ(9u, get_be32(host.nvram, 0x214) & 0xF) << "the readable block is still written";
    EXPECT_TRUE(residue_ok(host.nvram, 0x200, 0x100));
}

TEST(CfgRecord, PowerTable)
{
    EXPECT_STREQ("1639", toe_cfg_power_lookup(0x570900A3, 0));
    EXPECT_STREQ("4:0:0:24", toe_cfg_power_lookup(0x57060000, 1));
    EXPECT_STREQ("25:0:0:25", toe_cfg_power_lookup(0x57090009, 2));
    EXPECT_EQ(nullptr, toe_cfg_power_lookup(0x57100000, 0));
    EXPECT_EQ(nullptr, toe_cfg_power_lookup(0x57060000, 3));
}
