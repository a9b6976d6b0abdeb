#include <gtest/gtest.h>

#include <cstring>

#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/formats/vpd_info.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

// The VPD serial number and EC of an NVRAM image's configuration-area copy.
void vpd_fields(const testkit::Bytes& nvram, std::string* sn, std::string* ec)
{
    testkit::Bytes host = testkit::get_host_view(nvram, 1344, 256);
    vpd_info info;
    vpd_parse_image_57710(&info, host.data(), 0);
    *sn = info.sn;
    *ec = info.ec;
}

TEST(ProgramNvm, ForeignWholeImageKeepsTheAdaptersIdentity)
{
    auto mine = board_def(kit::Chip::E2, 0x40000, 0x001018AA0000ull);
    mine.vpd.sn = "BOARD-SN-1";
    mine.vpd.ec = "EC-BOARD";
    mine.images.push_back(image_def("I_B_CFG", testkit::stock_image("I_B_CFG", "1.0.0")));
    mine.images.push_back(image_def("NIC_PRTION", testkit::stock_image("NIC_PRTION", "2.0.0")));
    mine.ports[0][0].words.push_back({100, 0x11223344});  // an NPAR-kept port word
    Board b(mine);
    const testkit::Bytes adapter_before = b.a().nvram;

    auto foreign = board_def(kit::Chip::E2, 0x40000, 0x00AABBCC0000ull);
    foreign.vpd.sn = "OTHER-SN";
    foreign.vpd.ec = "EC-OTHER";
    auto foreign_ib = testkit::stock_image("I_B_CFG", "1.0.0");
    foreign_ib[8] = 0x42;  // same layout and size, other settings
    foreign.images.push_back(image_def("I_B_CFG", foreign_ib));
    foreign.images.push_back(image_def("NIC_PRTION", testkit::stock_image("NIC_PRTION", "1.0.0")));
    auto image = kit::build(foreign).nvram;  // NVRAM byte order, as a dump file holds it

    const uint32_t flags = NVM_PRG_BIG_ENDIAN | NVM_PRG_KEEP_VPD_SN | NVM_PRG_KEEP_VPD_EC | NVM_PRG_KEEP_NPAR;
    uint32_t written = 0;
    ASSERT_EQ(common_nvm_program_nvm(image.data(), uint32_t(image.size()), 0, flags, &written), 0);
    EXPECT_EQ(written, image.size());
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();

    const auto& nv = b.a().nvram;
    // MAC pairs of both ports on both paths.
    for (uint32_t path_base : {300u, 2068u})
        for (uint32_t port = 0; port < 2; ++port)
            for (uint32_t pair : {16u, 24u, 392u}) {
                uint32_t at = path_base + 400 * port + pair;
                EXPECT_EQ(testkit::be32_at(nv, at), testkit::be32_at(adapter_before, at)) << at;
                EXPECT_EQ(testkit::be32_at(nv, at + 4), testkit::be32_at(adapter_before, at + 4)) << at;
            }
    EXPECT_EQ(testkit::be32_at(nv, 300 + 100), 0x11223344u);
    std::string sn, ec;
    vpd_fields(nv, &sn, &ec);
    EXPECT_EQ(sn, "BOARD-SN-1");
    EXPECT_EQ(ec, "EC-BOARD");
    // The boot configuration and NIC_PRTION carry the adapter's content.
    const kit::FoundImage* ib = found(r, "I_B_CFG");
    ASSERT_TRUE(ib);
    EXPECT_EQ(testkit::get_host_view(nv, ib->offset, ib->length),
              testkit::get_host_view(adapter_before, b.placed("I_B_CFG").offset, b.placed("I_B_CFG").length));
    const kit::FoundImage* np = found(r, "NIC_PRTION");
    ASSERT_TRUE(np);
    EXPECT_EQ(testkit::get_host_view(nv, np->offset, 508),
              testkit::get_host_view(adapter_before, b.placed("NIC_PRTION").offset, 508));
}

TEST(ProgramNvm, WithoutKeepFlagsTheImageIsTakenAsItIsApartFromMacs)
{
    Board b(board_def(kit::Chip::E1, 0x40000, 0x001018AA0000ull));
    auto foreign = board_def(kit::Chip::E1, 0x40000, 0x00AABBCC0000ull);
    auto image = kit::build(foreign).nvram;
    ASSERT_EQ(common_nvm_program_nvm(image.data(), uint32_t(image.size()), 0, NVM_PRG_BIG_ENDIAN | NVM_PRG_NO_KEEP_MAC,
                                     nullptr),
              0);
    EXPECT_EQ(b.a().nvram, image);
}

TEST(ProgramNvm, AllOnesMacIsStoredAsZeros)
{
    auto mine = board_def(kit::Chip::E1);
    mine.ports[0][1].mac = 0xFFFFFFFFFFFFull;
    mine.ports[0][1].words.push_back({16, 0xFFFFFFFF});
    Board b(mine);
    auto image = kit::build(board_def(kit::Chip::E1, 0x40000, 0x00AABBCC0000ull)).nvram;
    ASSERT_EQ(common_nvm_program_nvm(image.data(), uint32_t(image.size()), 0, NVM_PRG_BIG_ENDIAN, nullptr), 0);
    EXPECT_EQ(testkit::be32_at(b.a().nvram, 300 + 400 + 16), 0u);
    EXPECT_EQ(testkit::be32_at(b.a().nvram, 300 + 400 + 20), 0u);
    EXPECT_NVRAM_VALID(b);
}

TEST(ProgramNvm, PiecesOf1024AndTheRoundedRemainder)
{
    FakeAdapter a(std::vector<uint8_t>(0x10000, 0xFF));
    CurrentAdapter cur(a);
    std::vector<uint8_t> data(2049, 0x5A);
    uint32_t written = 0;
    ASSERT_EQ(common_nvm_program_nvm(data.data(), 2049, 0x4000, 0, &written), 0);
    using W = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(a.writes, (std::vector<W>{{0x4000, 1024}, {0x4400, 1024}, {0x4800, 4}}));
    EXPECT_EQ(written, 2052u);
    EXPECT_EQ(a.nvram[0x4800], 0x00);  // the padding byte (word-reversed) lands last
    EXPECT_EQ(a.nvram[0x4803], 0x5A);
    EXPECT_EQ(data, std::vector<uint8_t>(2049, 0x5A));  // the caller's buffer is untouched
}

TEST(ProgramNvm, ExtendedDirectorySizedWriteAppendsItsCrc)
{
    FakeAdapter a(std::vector<uint8_t>(0x10000, 0xFF));
    CurrentAdapter cur(a);
    std::vector<uint8_t> dir(776, 0);
    uint32_t written = 0;
    ASSERT_EQ(common_nvm_program_nvm(dir.data(), 776, 0x2000, NVM_PRG_APPEND_CRC, &written), 0);
    EXPECT_EQ(written, 780u);
    EXPECT_TRUE(testkit::region_crc_ok(a.nvram, 0x2000, 780));
    std::vector<uint8_t> four = {1, 2, 3, 4};
    a.reset_counters();
    ASSERT_EQ(common_nvm_program_nvm(four.data(), 4, 0x3000, 0, nullptr), 0);
    EXPECT_EQ(a.dword_writes, 1u);
}

TEST(ProgramNvm, WriteFailureIsReported)
{
    FakeAdapter a(std::vector<uint8_t>(0x10000, 0xFF));
    CurrentAdapter cur(a);
    a.fail_writes = true;
    std::vector<uint8_t> data(64, 1);
    EXPECT_EQ(common_nvm_program_nvm(data.data(), 64, 0x2000, NVM_PRG_APPEND_CRC, nullptr), -1);
}

TEST(ConfigImages, AbsentImagesReadAsDefaults)
{
    Board b(board_def(kit::Chip::E3));
    uint8_t np[508], niv[1124];
    uint32_t present = 9;
    ASSERT_EQ(common_nvm_read_nic_prtion(np, &present), 0);
    EXPECT_EQ(present, 0u);
    EXPECT_EQ(np[0], 1);
    EXPECT_EQ(np[4], 0);
    ASSERT_EQ(common_nvm_read_niv(niv, &present), 0);
    EXPECT_EQ(present, 0u);
}

TEST(ConfigImages, CfgSharedLargerThanTheBufferIsRefused)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("CFG_SHARED", testkit::stock_image("CFG_SHARED", "", 200)));
    Board b(s);
    std::vector<uint8_t> small(128), big(256);
    EXPECT_EQ(common_nvm_read_cfg_shared(small.data(), 128), -1);
    EXPECT_NE(take_debug_text().find("nvm cfg extended shared image is larger than maximum defined size\n"),
              std::string::npos);
    ASSERT_EQ(common_nvm_read_cfg_shared(big.data(), 256), 0);
}

}  // namespace
