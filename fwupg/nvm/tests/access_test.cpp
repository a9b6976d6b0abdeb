#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "fake_host.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/formats/rom_patch.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

struct PredicateRow {
    uint16_t did;
    int e1, e57710, e57711, e2, e3, e57840;
};

TEST(ChipPredicates, FollowTheDeviceIdInBits12To27)
{
    const PredicateRow rows[] = {
        {0x164E, 1, 1, 0, 0, 0, 0}, {0x164F, 1, 0, 1, 0, 1, 0}, {0x1650, 1, 0, 1, 0, 0, 0},
        {0x1651, 0, 0, 0, 1, 0, 0}, {0x1663, 0, 0, 0, 1, 1, 0}, {0x168D, 0, 0, 0, 0, 1, 1},
        {0x16A2, 0, 0, 0, 0, 1, 1}, {0x168E, 0, 0, 0, 0, 1, 0}, {0x1639, 0, 0, 0, 0, 0, 0},
    };
    FakeAdapter a;
    for (const auto& r : rows) {
        a.set_device_id(r.did);
        CurrentAdapter cur(a);
        SCOPED_TRACE(r.did);
        EXPECT_EQ(common_nvm_is_e1(), r.e1);
        EXPECT_EQ(common_nvm_is_57710(), r.e57710);
        EXPECT_EQ(common_nvm_is_57711(), r.e57711);
        EXPECT_EQ(common_nvm_is_e2(), r.e2);
        EXPECT_EQ(common_nvm_is_e3(), r.e3);
        EXPECT_EQ(common_nvm_is_57840(), r.e57840);
        EXPECT_EQ(common_nvm_is_e4(), 0);
    }
}

TEST(ChipPredicates, E4TakesTheDeviceIdFromTheHighHalf)
{
    FakeAdapter a;
    HostOps ops = a.ops();
    fwupg::HostOpsScope scope(&ops);
    const struct { uint32_t chip; int e4, a, b; } rows[] = {
        {0x16440000, 1, 1, 0}, {0x80900000, 1, 0, 1}, {0x16620000, 0, 0, 0}};
    for (const auto& r : rows) {
        ops.chipId = r.chip;
        EXPECT_EQ(common_nvm_is_e4(), r.e4) << std::hex << r.chip;
        EXPECT_EQ(common_nvm_is_e4_group_a(), r.a);
        EXPECT_EQ(common_nvm_is_e4_group_b(), r.b);
    }
}

TEST(ChipPredicates, NothingIsTrueOutsideACommand)
{
    EXPECT_EQ(common_nvm_is_e1(), 0);
    EXPECT_EQ(common_nvm_read(0, nullptr, 4, 1), -1);
}

TEST(Identity, PortFollowsTheChipFamilyAndPortMode)
{
    struct Row {
        const char* what;
        uint16_t did;
        uint32_t chip_e4;  // non-zero: E4 chip id
        const char* func;
        const char* port_cnt;
        uint32_t a720, a750;
        uint32_t port;
        int path;
    };
    const Row rows[] = {
        {"E4 func 5 of 4 ports", 0, 0x16440000, "5", "4", 0, 0, 1, 1},
        {"E1 func 3", 0x164E, 0, "3", "2", 0, 0, 1, 0},
        {"E2 two-port func 3", 0x1662, 0, "3", "2", 0x1, 0, 0, 1},
        {"E2 two-port func 6", 0x1662, 0, "6", "2", 0x0, 0x0, 0, 0},
        {"E3 four-port via A720 func 2", 0x168E, 0, "2", "2", 0x3, 0, 1, 0},
        {"E3 four-port via A750 func 7", 0x168E, 0, "7", "2", 0x0, 0x1, 1, 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        FakeAdapter a;
        a.set_device_id(r.did);
        a.set_toe("FUNC_NUM", r.func);
        a.set_toe("PORT_CNT", r.port_cnt);
        a.regs[0xA720] = r.a720;
        a.regs[0xA750] = r.a750;
        HostOps ops = a.ops();
        if (r.chip_e4)
            ops.chipId = r.chip_e4;
        fwupg::HostOpsScope scope(&ops);
        uint32_t port = 99;
        ASSERT_EQ(common_nvm_get_port(&port), 0);
        EXPECT_EQ(port, r.port);
        if (!r.chip_e4) {
            EXPECT_EQ(common_nvm_on_second_path(), r.path);
        }
    }
}

TEST(Identity, PortModeRegisterFailureIsReported)
{
    FakeAdapter a;
    a.failing_regs.insert(0xA720);
    CurrentAdapter cur(a);
    uint32_t mode = 7, port = 7;
    EXPECT_EQ(common_nvm_get_port_mode(&mode), -1);
    EXPECT_EQ(common_nvm_get_port(&port), -1);
    EXPECT_EQ(common_nvm_get_port_count(), 2);  // falls back to ::toe(PORT_CNT)
}

TEST(Identity, SwitchFuncNumMovesToThePartnerAndBack)
{
    struct Row { bool four_port; const char* from; const char* to; };
    const Row rows[] = {{true, "3", "0"}, {true, "6", "7"}, {false, "4", "5"}, {false, "5", "4"}};
    for (const auto& r : rows) {
        FakeAdapter a;
        a.regs[0xA720] = r.four_port ? 0x3 : 0x1;
        a.set_toe("FUNC_NUM", r.from);
        CurrentAdapter cur(a);
        ASSERT_EQ(common_nvm_switch_func_num(), 0);
        EXPECT_EQ(a.toe("FUNC_NUM"), r.to) << r.from;
        if (!r.four_port) {
            ASSERT_EQ(common_nvm_switch_func_num(), 0);
            EXPECT_EQ(a.toe("FUNC_NUM"), r.from);
        }
    }
}

TEST(Transfer, FourBytesTakeTheDwordPathOtherLengthsTheBlockPath)
{
    FakeAdapter a;
    a.put_be32(0x100, 0x12345678);
    a.put_be32(0x104, 0x9ABCDEF0);
    a.put_be32(0x108, 0x0BADF00D);
    CurrentAdapter cur(a);
    uint32_t one = 0;
    ASSERT_EQ(common_nvm_read(0x100, &one, 4, 1), 0);
    EXPECT_EQ(one, 0x12345678u);
    EXPECT_EQ(a.dword_reads, 1u);
    uint32_t three[3] = {};
    ASSERT_EQ(common_nvm_read(0x100, three, 12, 1), 0);
    EXPECT_EQ(a.block_reads, 1u);
    EXPECT_EQ(three[1], 0x9ABCDEF0u);
    EXPECT_EQ(three[2], 0x0BADF00Du);

    uint32_t v = 0xCAFEBABE;
    ASSERT_EQ(common_nvm_write(0x200, &v, 4, 1), 0);
    EXPECT_EQ(a.dword_writes, 1u);
    EXPECT_EQ(a.be32(0x200), 0xCAFEBABEu);
    uint8_t raw[4] = {1, 2, 3, 4};
    ASSERT_EQ(common_nvm_write(0x300, raw, 4, 0), 0);
    EXPECT_EQ(a.be32(0x300), 0x01020304u);
}

TEST(Transfer, HostFailuresBecomeMinusOne)
{
    FakeAdapter a(std::vector<uint8_t>(0x1000, 0));
    CurrentAdapter cur(a);
    uint32_t buf[4] = {};
    EXPECT_EQ(common_nvm_read(0x1000, buf, 4, 1), -1);
    EXPECT_EQ(common_nvm_read(0xFF8, buf, 16, 1), -1);
    a.fail_writes = true;
    EXPECT_EQ(common_nvm_write(0, buf, 16, 1), -1);
}

TEST(Crc32, AbcPaddedToOneWordEqualsTheStandardCrc)
{
    const uint8_t bytes[4] = {'a', 'b', 'c', 0};
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(bytes, 4, 1, &crc);
    EXPECT_EQ(~crc, uint32_t(::crc32(0, bytes, 4)));
    // A three-byte length still consumes one whole word, padded with a zero byte.
    uint32_t crc3 = 0xFFFFFFFF;
    common_nvm_crc32(bytes, 3, 1, &crc3);
    EXPECT_EQ(crc3, crc);
}

TEST(Crc32, HostOrderWordsWithoutSwapGiveTheCrcOfTheirNvramBytes)
{
    std::vector<uint8_t> nv(64);
    for (size_t i = 0; i < nv.size(); ++i)
        nv[i] = uint8_t(i * 37 + 1);
    std::vector<uint32_t> host(16);
    for (size_t i = 0; i < 16; ++i)
        host[i] = load_be32(&nv[i * 4]);
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(host.data(), 64, 0, &crc);
    EXPECT_EQ(~crc, uint32_t(::crc32(0, nv.data(), 64)));
    // Continuing over two halves gives the same value.
    uint32_t split = 0xFFFFFFFF;
    common_nvm_crc32(host.data(), 20, 0, &split);
    common_nvm_crc32(host.data() + 5, 44, 0, &split);
    EXPECT_EQ(split, crc);
}

TEST(SwapHelpers, ReverseWholeDwordsAndLeaveTheTail)
{
    uint8_t b[7] = {1, 2, 3, 4, 5, 6, 7};
    common_nvm_swap_buffer(b, 7);
    const uint8_t want[7] = {4, 3, 2, 1, 5, 6, 7};
    EXPECT_EQ(0, std::memcmp(b, want, 7));
}

TEST(QuadFeb, OnlyListedSubsystemsOfTheRightVendors)
{
    EXPECT_TRUE(common_nvm_is_quad_feb_board(0x14E4, 0x103C, 0x1930));
    EXPECT_TRUE(common_nvm_is_quad_feb_board(0x14E4, 0x103C, 0x339D));
    EXPECT_FALSE(common_nvm_is_quad_feb_board(0x14E4, 0x103C, 0x1934));
    EXPECT_FALSE(common_nvm_is_quad_feb_board(0x14E4, 0x1028, 0x1930));
    EXPECT_FALSE(common_nvm_is_quad_feb_board(0x1077, 0x103C, 0x1930));
}

TEST(CheckIbFile, RecognisesTheTwoTagsInByteOrder)
{
    uint8_t hdr[20] = {};
    std::memcpy(hdr + 8, "ibpl", 4);
    EXPECT_EQ(common_nvm_check_ib_file(hdr), 0);
    std::memcpy(hdr + 8, "ibcp", 4);
    EXPECT_EQ(common_nvm_check_ib_file(hdr), 0);
    std::memcpy(hdr + 8, "lpbi", 4);
    EXPECT_EQ(common_nvm_check_ib_file(hdr), -1);
}

// A small option-ROM image: 0xAA55, size byte, PCIR at 0x1C.
void add_rom(std::vector<uint8_t>& chain, uint16_t vid, uint16_t did, uint8_t code_type, bool last,
             uint16_t units = 1)
{
    size_t base = chain.size();
    chain.resize(base + 512u * units, 0);
    uint8_t* p = chain.data() + base;
    p[0] = 0x55;
    p[1] = 0xAA;
    p[2] = uint8_t(units);
    p[0x18] = 0x1C;
    uint8_t* pd = p + 0x1C;
    std::memcpy(pd, "PCIR", 4);
    pd[4] = uint8_t(vid);
    pd[5] = uint8_t(vid >> 8);
    pd[6] = uint8_t(did);
    pd[7] = uint8_t(did >> 8);
    pd[16] = uint8_t(units);
    pd[20] = code_type;
    pd[21] = last ? 0x80 : 0;
    for (size_t i = 0x40; i < 512; ++i)
        p[i] = uint8_t(i);
}

uint8_t sum_bytes(const uint8_t* p, size_t n)
{
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i)
        s = uint8_t(s + p[i]);
    return s;
}

TEST(RomPatch, LegacyImageGetsIdsAndChecksumEfiImageKeepsItsChecksum)
{
    FakeAdapter a;
    CurrentAdapter cur(a);
    std::vector<uint8_t> rom;
    add_rom(rom, 0x14E4, 0x164E, 0, false);
    add_rom(rom, 0x14E4, 0x164E, 3, true);
    rom[512 + 7] = 0x5A;
    ASSERT_EQ(common_nvm_patch_rom_ids(rom.data(), uint32_t(rom.size()), 0x14E4, 0x168E), 0);
    EXPECT_EQ(load_u16(&rom[0x1C + 6]), 0x168E);
    EXPECT_EQ(load_u16(&rom[512 + 0x1C + 6]), 0x168E);
    EXPECT_EQ(sum_bytes(rom.data(), 512), 0);
    EXPECT_EQ(rom[512 + 7], 0x5A);
    EXPECT_NE(take_debug_text().find("Updating PCI ROM header with Vendor ID = 0x14e4 Device ID = 0x168e\n"),
              std::string::npos);
}

TEST(RomPatch, ImageWithTheRequestedIdsIsLeftAlone)
{
    FakeAdapter a;
    CurrentAdapter cur(a);
    std::vector<uint8_t> rom;
    add_rom(rom, 0x14E4, 0x168E, 0, true);
    rom[7] = 0x11;
    auto before = rom;
    ASSERT_EQ(common_nvm_patch_rom_ids(rom.data(), uint32_t(rom.size()), 0x14E4, 0x168E), 0);
    EXPECT_EQ(rom, before);
    EXPECT_EQ(take_debug_text(), "");
}

TEST(RomPatch, BadChainsAreRefusedWithinTheBuffer)
{
    struct Row {
        const char* what;
        std::vector<uint8_t> rom;
        uint32_t length;  // 0: whole buffer
        const char* message;
    };
    std::vector<Row> rows;
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, false);
        add_rom(r, 0x8086, 0x164E, 0, true);
        rows.push_back({"second image of another vendor", r, 0,
                        "Error: Unknown image with DID 0x164e & VID 0x8086\n"});
    }
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, true);
        r[0] = 0;
        rows.push_back({"no signature", r, 0, "Error: Invalid Expansion ROM (incorrect header signature).\n"});
    }
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, true);
        r[0x18] = 0;
        rows.push_back({"no PCI data", r, 0, "Error: ROM hdr exists, but no ROM image\n"});
    }
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, false);
        r[0x1C + 16] = 0;
        rows.push_back({"zero image length", r, 0, "image length out of range"});
    }
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, false);
        rows.push_back({"chain runs past the buffer", r, 0, "incorrect header signature"});
    }
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, true);
        r[0x1C + 16] = 200;
        rows.push_back({"image longer than the buffer", r, 0, "image length out of range"});
    }
    {
        std::vector<uint8_t> r;
        add_rom(r, 0x14E4, 0x164E, 0, true);
        rows.push_back({"PCI data beyond a short buffer", r, 0x30, "PCI data structure out of range"});
    }
    {
        std::vector<uint8_t> r(0x10, 0);
        r[0] = 0x55;
        r[1] = 0xAA;
        rows.push_back({"header shorter than its fields", r, 0, "incorrect header signature"});
    }
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        FakeAdapter a;
        CurrentAdapter cur(a);
        uint32_t len = r.length ? r.length : uint32_t(r.rom.size());
        // A buffer of exactly `len` bytes so that any read past it is caught.
        std::vector<uint8_t> exact(r.rom.begin(), r.rom.begin() + len);
        EXPECT_EQ(common_nvm_patch_rom_ids(exact.data(), len, 0x14E4, 0x168E), -1);
        EXPECT_NE(take_debug_text().find(r.message), std::string::npos);
    }
}

TEST(RomPatch, FirstImageIsPatchedBeforeAnUnknownSecondStopsTheWalk)
{
    FakeAdapter a;
    CurrentAdapter cur(a);
    std::vector<uint8_t> rom;
    add_rom(rom, 0x14E4, 0x164E, 0, false);
    add_rom(rom, 0x8086, 0x1234, 0, true);
    EXPECT_EQ(common_nvm_patch_rom_ids(rom.data(), uint32_t(rom.size()), 0x14E4, 0x168E), -1);
    EXPECT_EQ(load_u16(&rom[0x1C + 6]), 0x168E);
}

}  // namespace
