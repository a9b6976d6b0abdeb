// CRC-32, the bootstrap record and buffered-flash addressing.
#include <gtest/gtest.h>

#include <cstring>

#include <zlib.h>

#include "fake_host.h"
#include "legacy_fake_host.h"
#include "fake_host.h"
#include "legacy_fake_host.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/crc.h"

using namespace testkit::legacy;

TEST(Crc, BootstrapVectorAndResidue)
{
    adapter a;
    FakeHost host(a);
    ASSERT_EQ(0, toe_nvm_write_bootstrap(host.ops(), 0x08000000, 0x1234 * 4 + 3, 0x600));
    const bytes expect = {0x66, 0x99, 0x55, 0xaa, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,
                          0x12, 0x34, 0x00, 0x00, 0x06, 0x00, 0x37, 0x16, 0xf6, 0x3a};
    EXPECT_EQ(expect, bytes(host.nvram.begin(), host.nvram.begin() + 20));
    EXPECT_EQ(CRC_RESIDUE, uint32_t(crc32(0, host.nvram.data(), 20)));
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("update bootstrap: start=600; byte_cnt=18643; crc=0x"));
}

TEST(Crc, EngineCrcEqualsZlibAndSwapIsByteOrderOnly)
{
    const uint32_t host_words[3] = {0x01020304, 0xA0B0C0D0, 0xFFFFFFFF};   // as read with the swap flag
    uint8_t nvm_bytes[12];
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k)
            nvm_bytes[4 * i + k] = uint8_t(host_words[i] >> (24 - 8 * k));
    const uint32_t std_crc = uint32_t(crc32(0, nvm_bytes, 12));
    EXPECT_EQ(__builtin_bswap32(std_crc), toe_crc_of_words(host_words, 12, 0));

    uint32_t raw[3];   // the same words read without the swap flag
    std::memcpy(raw, nvm_bytes, 12);
    EXPECT_EQ(toe_crc_of_words(host_words, 12, 0), toe_crc_of_words(raw, 12, 1));

    uint32_t reg = 0x12345678;
    calc_crc32(nullptr, host_words, 0, 0, &reg);
    EXPECT_EQ(0x12345678u, reg);
    EXPECT_EQ(0x77073096u, crc32_table[1]);
}

TEST(Crc, EmptyBootRecordAndBufferedStart)
{
    adapter a;
    a.buffered = true;
    FakeHost host(a);
    ASSERT_EQ(0, toe_nvm_write_bootstrap(host.ops(), 0, 0, 0));
    EXPECT_EQ(0u, host.be32(0));
    EXPECT_TRUE(residue_ok(host.nvram, 0, 20));
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(0, toe_nvm_write_bootstrap(host.ops(), 0x08000000, 64, 264));
    EXPECT_EQ(0x200u, host.be32(12));
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("start=108;"));
}

TEST(Addressing, TranslationsFollowNvmTypeOrForce)
{
    adapter a;
    a.buffered = true;
    FakeHost host(a);
    const HostOps ops = host.ops();
    struct { uint32_t linear, flash; } rows[] = {{264, 0x200}, {263, 263}, {264 + 511, 0x3FF}, {0, 0}};
    for (auto r : rows) {
        if (r.linear != 264 + 511) {
            EXPECT_EQ(r.flash, nvm_linear_to_flash_addr(ops, 0, r.linear, 0));
        }
        EXPECT_EQ(r.linear, nvm_flash_to_linear_addr(ops, 0, r.flash, 0));
    }
    host.set_toe("NVM_TYPE", "NONBUFFERED");
    EXPECT_EQ(264u, nvm_linear_to_flash_addr(ops, 0, 264, 0));
    EXPECT_EQ(0x200u, nvm_flash_to_linear_addr(ops, 0, 0x200, 0));
    EXPECT_EQ(0x200u, nvm_linear_to_flash_addr(ops, 0, 264, 1));
    EXPECT_EQ(264u, nvm_flash_to_linear_addr(ops, 0, 0x200, 1));
}

TEST(Addressing, PageConversionRoundTrip)
{
    adapter a;
    FakeHost host(a);
    std::vector<uint8_t> buf(700, 0);
    for (size_t i = 0; i < 600; ++i)
        buf[i] = uint8_t(i * 7);
    const std::vector<uint8_t> original(buf.begin(), buf.begin() + 600);
    uint32_t len = 600;
    ASSERT_EQ(0, Append8bytes(host.ops(), buf.data(), uint32_t(buf.size()), &len));
    EXPECT_EQ(616u, len);
    EXPECT_EQ((std::vector<uint8_t>{0x09, 0x57, 0x09, 0x57, 0x09, 0x57, 0x09, 0x57}),
              std::vector<uint8_t>(buf.begin() + 256, buf.begin() + 264));
    uint32_t out = 0;
    ASSERT_EQ(0, Strip8bytes(host.ops(), buf.data(), len, &out));
    EXPECT_EQ(600u, out);
    EXPECT_EQ(original, std::vector<uint8_t>(buf.begin(), buf.begin() + 600));

    // Plain data passes through unless a page is followed by the fill word.
    std::vector<uint8_t> plain(512, 0x11);
    ASSERT_EQ(0, Strip8bytes(host.ops(), plain.data(), 512, &out));
    EXPECT_EQ(512u, out);

    // No room for the fill words: refused, buffer untouched.
    std::vector<uint8_t> tight(original);
    len = 600;
    EXPECT_EQ(1, Append8bytes(host.ops(), tight.data(), 600, &len));
    EXPECT_EQ(original, tight);
}

TEST(Addressing, BufferWordsByFlag)
{
    const uint8_t b[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(0x100u, nvm_buf_get_dword(1, b, 12));
    EXPECT_EQ(0x10000u, nvm_buf_get_dword(0, b, 12));
    uint8_t w[4];
    nvm_buf_put_dword(1, w, 0, 0x01020304);
    EXPECT_EQ(0x01, w[0]);
    nvm_buf_put_dword(0, w, 0, 0x01020304);
    EXPECT_EQ(0x04, w[0]);
}
