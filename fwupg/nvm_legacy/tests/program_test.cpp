// Whole-image programming on a simulated adapter: identity checks, preservation of the adapter's
// own data, the CRC word of single images and nothing written before a failure.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm/formats/vpd.h"
#include "fwupg/nvm_legacy/program.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {
constexpr uint32_t ISB_CFG = 0xC0000000u, HOST_CPU = 0x01000000u;

adapter installed(int board)
{
    adapter a;
    a.board = board;
    a.nvm_size = 0x10000;
    a.sn = "SN-ADAPTER";
    a.ec = "EC-A";
    a.smbus[0] = 0x34;
    a.smbus[1] = 0x36;
    a.feat_words[0][0] = 0x03000005;
    a.feature_bits = 0x00000001;
    a.backup_mac_unset = true;
    a.images = {{0xF0000000u, 0x07000000u, 0x08000000u, text_image("BC1 1.0.0", 1, 0, 0)},
                {ISB_CFG, HOST_CPU, 0, bytes(0x3FC, 0x77)}};
    return a;
}

// The same board with another adapter's addresses, serial number and settings.
adapter foreign(int board)
{
    adapter b = installed(board);
    for (auto& m : b.mac)
        m[5] ^= 0x55;
    for (auto& m : b.iscsi_mac)
        m[5] ^= 0x55;
    b.backup_mac_unset = false;
    b.sn = "SN-OTHER";
    b.ec = "EC-B";
    b.smbus[0] = 0x50;
    b.smbus[1] = 0x52;
    b.feat_words[0][0] = 0x00000009;
    b.feature_bits = 0x00000004;
    b.images = {{0xF0000000u, 0x07000000u, 0x08000000u, text_image("BC1 2.0.0", 2, 0, 0)},
                {ISB_CFG, HOST_CPU, 0, bytes(0x3FC, 0x11)}};
    return b;
}

vpd_info vpd_of(const bytes& nvram)
{
    const bytes stream = dword_reversed(bytes(nvram.begin() + VPD, nvram.begin() + VPD + 256));
    vpd_info v{};
    vpd_parse_image(&v, stream.data(), 0);
    return v;
}

int program(FakeHost& host, bytes image, uint32_t offset, uint32_t flags, uint32_t* written = nullptr)
{
    const uint32_t len = uint32_t(image.size());
    image.resize(((len + 3) & ~3u) + 4);
    return toe_nvm_program_nvm(host.ops(), image.data(), len, offset, flags, written);
}
}  // namespace

TEST(ProgramNvm, ForeignImageKeepsTheAdaptersOwnData)
{
    for (int board : {5706, 5708, 5709, 5716}) {
        const adapter a = installed(board);
        FakeHost host(a);
        const bytes mine = host.nvram;
        const bytes image = build_nvram(foreign(board));
        fwupg::nvm::test::take_debug_text();
        uint32_t written = 0;
        ASSERT_EQ(0, program(host, image, 0,
                             TOE_PRG_NVM_ORDER | TOE_PRG_KEEP_CFG | TOE_PRG_KEEP_EC | TOE_PRG_KEEP_SN, &written))
            << board << host.result();
        EXPECT_EQ(uint32_t(image.size()), written);
        const bytes& now = host.nvram;
        EXPECT_EQ("", verify_nvram(now)) << board;

        // MACs, iSCSI MACs and the never-set backup MAC (zero in the result).
        for (uint32_t off : {0x134u, 0x138u, 0x15Cu, 0x160u})
            EXPECT_EQ(get_be32(mine, off), get_be32(now, off)) << board << std::hex << " @" << off;
        EXPECT_EQ(0u, get_be32(now, 0x164));
        EXPECT_EQ(0u, get_be32(now, 0x168));
        if (is_dual(board)) {
            for (uint32_t off : {0x188u, 0x18Cu, 0x1B0u, 0x1B4u})
                EXPECT_EQ(get_be32(mine, off), get_be32(now, off)) << board;
            EXPECT_EQ(0x36u, get_be32(now, 0x2B8) & 0xFF);
        }
        EXPECT_EQ(0x34u, get_be32(now, 0x244) & 0xFF);
        // Configuration kept: feature words of both regions.
        EXPECT_EQ(get_be32(mine, 0x124), get_be32(now, 0x124));
        EXPECT_EQ(get_be32(mine, 0x214), get_be32(now, 0x214));
        // VPD: SN and EC of the adapter, the rest of the image's.
        const vpd_info v = vpd_of(now);
        EXPECT_STREQ("SN-ADAPTER", v.sn);
        EXPECT_STREQ("EC-A", v.ec);
        // The image's own firmware arrived; its boot configuration was replaced by the adapter's.
        EXPECT_EQ(get_be32(image, 0x600 + 16), get_be32(now, 0x600 + 16));
        const uint32_t cfg_at = get_be32(now, 0x1C);
        EXPECT_EQ(0x77, now[cfg_at]) << board;
        EXPECT_NE(std::string::npos, host.result().find("ISB_CFG preserve 0x100 cfg words on dev 0.\n"));
    }
}

// The kept configuration blocks go to the NVRAM with their CRCs in the same write as their data:
// a write that stops after the first 1024-byte piece (bootstrap, directory and both blocks) leaves
// both blocks verifying, whichever of the merge steps filled them.
TEST(ProgramNvm, KeptBlocksCarryTheirCrcInTheirOwnWrite)
{
    for (uint32_t flags : {uint32_t(TOE_PRG_KEEP_CFG | TOE_PRG_TAKE_MAC | TOE_PRG_TAKE_SMBUS),
                           uint32_t(TOE_PRG_KEEP_CFG), uint32_t(TOE_PRG_TAKE_SMBUS)}) {
        SCOPED_TRACE(flags);
        FakeHost host(installed(5709));
        const bytes image = build_nvram(foreign(5709));
        host.fail_write_at = 0x400;
        EXPECT_NE(0, program(host, image, 0, TOE_PRG_NVM_ORDER | flags));
        EXPECT_TRUE(residue_ok(host.nvram, HW_INFO, 0x100));
        EXPECT_TRUE(residue_ok(host.nvram, FEAT_INFO, 0x100));
        EXPECT_EQ(get_be32(image, 0x600 - 0x100), get_be32(host.nvram, 0x600 - 0x100)) << "the first piece was written";
    }
}

TEST(ProgramNvm, WithoutFlagsTheImageSettingsWinButAddressesStay)
{
    FakeHost host(installed(5708));
    const bytes mine = host.nvram;
    const bytes image = build_nvram(foreign(5708));
    ASSERT_EQ(0, program(host, image, 0, TOE_PRG_NVM_ORDER));
    EXPECT_EQ(get_be32(mine, 0x138), get_be32(host.nvram, 0x138));
    EXPECT_EQ(get_be32(image, 0x124), get_be32(host.nvram, 0x124));
    EXPECT_STREQ("SN-OTHER", vpd_of(host.nvram).sn);
    EXPECT_EQ("", verify_nvram(host.nvram));
}

TEST(ProgramNvm, RefusalsWriteNothing)
{
    struct {
        const char* what;
        int board;
        uint16_t did, ssid;
        size_t cut;        // image length, 0 for whole
        uint32_t flags;
        int result;
        uint32_t error;
        const char* text;
    } rows[] = {
        {"image too short for the ID word", 5706, 0x1639, 0x1639, 0x104, TOE_PRG_ID_MATCH, -1, 94,
         "No device ID/Vendor ID in NVRAM image file\n"},
        {"subsystem IDs differ", 5709, 0x1639, 0x1111, 0, TOE_PRG_ID_MATCH, -1, 22,
         "Subsystem ID/Subsystem Vendor ID not matched\n"},
        {"device IDs differ", 5709, 0x163A, 0x1639, 0, TOE_PRG_ID_MATCH, -1, 22, "Device ID/Vendor ID not matched\n"},
        {"device check at offset 0", 5716, 0x163A, 0x1639, 0, 0, -1, 22, "Device ID not matched\n"},
    };
    for (auto& r : rows) {
        adapter img_def = foreign(r.board);
        img_def.did = r.did;
        img_def.ssid = r.ssid;
        bytes image = build_nvram(img_def);
        if (r.cut)
            image.resize(r.cut);
        FakeHost host(installed(r.board));
        const bytes before = host.nvram;
        EXPECT_EQ(r.result, program(host, image, 0, TOE_PRG_NVM_ORDER | r.flags)) << r.what;
        EXPECT_EQ(r.error, host.last_error) << r.what;
        EXPECT_EQ(r.text, host.result()) << r.what;
        EXPECT_EQ(0, host.writes) << r.what;
        EXPECT_EQ(before, host.nvram) << r.what;
    }

    FakeHost host(installed(5709));
    host.fail_read_at = 0x300;
    EXPECT_EQ(1, program(host, build_nvram(foreign(5709)), 0, TOE_PRG_NVM_ORDER | TOE_PRG_KEEP_SN));
    EXPECT_EQ("NVM VPD read failed.", host.result());
    EXPECT_EQ(0, host.writes);
}

// A block the programming would take words from that fails its CRC check in NVRAM is refused
// before anything is written: keeping it would write damaged data back as success. Taking that
// block from the image programs the board whole again.
TEST(ProgramNvm, DamagedKeptBlockIsRefusedUnlessTakenFromTheImage)
{
    struct {
        const char* what;
        uint32_t damage_at;   // 0: the board's ISB_CFG image
        uint32_t flags;
        bool refused;
        const char* name;
    } rows[] = {
        {"HW_INFO, addresses kept", 0x120, 0, true, "HW_INFO"},
        {"HW_INFO, configuration kept", 0x120, TOE_PRG_TAKE_MAC | TOE_PRG_KEEP_CFG, true, "HW_INFO"},
        {"HW_INFO taken from the image", 0x120, TOE_PRG_TAKE_MAC, false, nullptr},
        {"FEAT_INFO, SMBus address kept", 0x210, TOE_PRG_TAKE_MAC, true, "FEAT_INFO"},
        {"FEAT_INFO, configuration kept", 0x210, TOE_PRG_TAKE_MAC | TOE_PRG_TAKE_SMBUS | TOE_PRG_KEEP_CFG, true,
         "FEAT_INFO"},
        {"FEAT_INFO taken from the image", 0x210, TOE_PRG_TAKE_MAC | TOE_PRG_TAKE_SMBUS, false, nullptr},
        {"ISB_CFG kept", 0, 0, true, "ISB_CFG"},
        {"ISB_CFG taken from the image", 0, TOE_PRG_TAKE_IBCFG, false, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        FakeHost host(installed(5709));
        const uint32_t at = r.damage_at ? r.damage_at : get_be32(host.nvram, 0x1C) + 8;
        host.nvram[at] ^= 0x40;
        const bytes before = host.nvram;
        const bytes image = build_nvram(foreign(5709));
        if (r.refused) {
            EXPECT_EQ(-1, program(host, image, 0, TOE_PRG_NVM_ORDER | TOE_PRG_SKIP_SAME | r.flags));
            EXPECT_EQ(21u, host.last_error);
            EXPECT_EQ(std::string(r.name) +
                          " in NVRAM fails its CRC check, so its contents cannot be kept; nothing was programmed "
                          "(-raw takes everything from the image).\n",
                      host.result());
            EXPECT_EQ(0, host.writes);
            EXPECT_EQ(before, host.nvram);
        } else {
            ASSERT_EQ(0, program(host, image, 0, TOE_PRG_NVM_ORDER | TOE_PRG_SKIP_SAME | r.flags)) << host.result();
            EXPECT_EQ("", verify_nvram(host.nvram));
        }
    }
}

TEST(ProgramNvm, PiecesCrcWordAndWriteFailure)
{
    FakeHost host(installed(5709));
    bytes data(2500);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i);
    uint32_t written = 0;
    ASSERT_EQ(0, program(host, data, 0x2000, TOE_PRG_NVM_ORDER | TOE_PRG_APPEND_CRC, &written));
    EXPECT_EQ(2504u, written);
    EXPECT_EQ((std::vector<uint32_t>{0x2000, 0x2400, 0x2800}), host.write_offsets);
    EXPECT_EQ(bytes(data.begin(), data.end()), bytes(host.nvram.begin() + 0x2000, host.nvram.begin() + 0x2000 + 2500));
    EXPECT_TRUE(residue_ok(host.nvram, 0x2000, 2504));

    host.fail_write_at = 0x3400;
    host.write_offsets.clear();
    EXPECT_EQ(-1, program(host, data, 0x3000, 0, &written));
    EXPECT_EQ("NVM write failed.", host.result());
    EXPECT_EQ(std::vector<uint32_t>{0x3000}, host.write_offsets) << "no piece after the failed one";
}

// A piece the flash reports stored but drops is found by reading it back: the programming
// fails there and sends nothing more.
TEST(ProgramNvm, ADroppedWriteFailsTheProgramming)
{
    FakeHost host(installed(5709));
    bytes data(2500);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i);
    host.lose_write_at = 0x2400;
    EXPECT_EQ(-1, program(host, data, 0x2000, TOE_PRG_NVM_ORDER | TOE_PRG_APPEND_CRC));
    EXPECT_EQ("NVM write failed.", host.result());
    EXPECT_EQ((std::vector<uint32_t>{0x2000, 0x2400}), host.write_offsets);
}

TEST(ProgramNvm, BootConfigurationOfAnotherSizeIsNotCarried)
{
    adapter desc = foreign(5709);
    desc.images[1].data.resize(0x1FC);
    FakeHost host(installed(5709));
    ASSERT_EQ(0, program(host, build_nvram(desc), 0, TOE_PRG_NVM_ORDER));
    EXPECT_NE(std::string::npos, host.result().find("ISB_CFG for dev0 does not match with NVRAM\n"));
    EXPECT_EQ(0x11, host.nvram[get_be32(host.nvram, 0x1C)]);
}

TEST(ReadRange, WidensToDwordsAndKeepsNvramOrder)
{
    FakeHost host(installed(5706));
    for (int i = 0; i < 12; ++i)
        host.nvram[0x1000 + i] = uint8_t(i + 1);
    uint8_t buf[12] = {};
    uint32_t got = 0;
    ASSERT_EQ(0, toe_nvm_read_range(host.ops(), buf, 1, 5, 0x1002, &got));
    EXPECT_EQ(8u, got);
    EXPECT_EQ(1, buf[0]);
    EXPECT_EQ(8, buf[7]);
    ASSERT_EQ(0, toe_nvm_read_range(host.ops(), buf, 0, 4, 0x1000, &got));
    EXPECT_EQ(4, buf[0]);
    host.fail_read_at = 0x1000;
    EXPECT_EQ(1, toe_nvm_read_range(host.ops(), buf, 1, 4, 0x1000, &got));
    EXPECT_EQ("NVM read failed.", host.result());
}
