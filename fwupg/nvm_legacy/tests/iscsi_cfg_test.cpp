// The iSCSI boot-configuration conversions, checked against blocks and settings of the test kit
// and against bytes written by hand.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "fwupg/nvm_legacy/iscsi_cfg.h"
#include "testkit/iscsi_cfg.h"

namespace {

using testkit::Bytes;
using testkit::IscsiBootCfg;
using V1 = std::array<uint8_t, kIscsiCfgV1Bytes>;
using V2 = std::array<uint8_t, kIscsiCfgV2Bytes>;

template <size_t N>
std::array<uint8_t, N> fixed(const Bytes& b)
{
    std::array<uint8_t, N> a{};
    std::memcpy(a.data(), b.data(), std::min(N, b.size()));
    return a;
}

// The settings of a block as the kit reads them; empty settings when it cannot.
IscsiBootCfg read_settings(const Bytes& block, int layout)
{
    const auto r = testkit::read_iscsi_boot_cfg(block);
    EXPECT_TRUE(r.has_value());
    IscsiBootCfg out;
    if (r) {
        EXPECT_EQ(layout, r->layout);
        out = r->cfg;
    }
    return out;
}

template <size_t N>
IscsiBootCfg settings(const std::array<uint8_t, N>& a, int layout)
{
    return read_settings(Bytes(a.begin(), a.end()), layout);
}

// The conversions take C arrays of their fixed sizes.
template <size_t N>
const uint8_t (&c_array(const std::array<uint8_t, N>& a))[N]
{
    return *reinterpret_cast<const uint8_t(*)[N]>(a.data());
}
template <size_t N>
uint8_t (&c_array(std::array<uint8_t, N>& a))[N]
{
    return *reinterpret_cast<uint8_t(*)[N]>(a.data());
}

int convert_to_v1(const V2& src, V1& dst) { return iscsi_boot_cfg_to_v1(c_array(src), c_array(dst)); }
int convert_to_v2(const V1& src, V2& dst, int ipv6) { return iscsi_boot_cfg_to_v2(c_array(src), c_array(dst), ipv6); }
int reset(V2& block, int ipv4) { return iscsi_boot_cfg_reset_ip(c_array(block), ipv4); }

V1 to_v1(const IscsiBootCfg& c)
{
    V1 dst;
    dst.fill(0xEE);
    EXPECT_EQ(0, convert_to_v1(fixed<kIscsiCfgV2Bytes>(testkit::iscsi_boot_cfg_block(c, 2)), dst));
    return dst;
}

V2 to_v2(const V1& src, int ipv6)
{
    V2 dst;
    dst.fill(0xEE);
    EXPECT_EQ(0, convert_to_v2(src, dst, ipv6));
    return dst;
}

}  // namespace

// Bytes placed by hand, so that the kit and the conversions cannot share a misread offset.
TEST(IscsiCfg, AddressMovesToTheWideFieldByHand)
{
    V1 v1{};
    const uint8_t head[8] = {0x69, 0x62, 0x00, 0x01, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(v1.data(), head, sizeof head);
    const uint8_t ip[4] = {192, 168, 0, 10};
    std::memcpy(v1.data() + 0xa8, ip, 4);
    std::memcpy(v1.data() + 0x1a8 + 4, ip, 4);  // first target's address

    const V2 plain = to_v2(v1, 0);
    EXPECT_EQ(0, std::memcmp(plain.data(), "\x69\x62\x00\x02\x05\x00\x00\x00", 8));
    EXPECT_EQ(0, std::memcmp(plain.data() + 0xa8, ip, 4));
    for (size_t i = 0xac; i < 0xb8; ++i)
        EXPECT_EQ(0, plain[i]) << std::hex << i;
    EXPECT_EQ(0, std::memcmp(plain.data() + 0x2c0 + 4, ip, 4));

    const V2 six = to_v2(v1, 1);
    EXPECT_EQ(0x01, six[5]);  // flag bit 8
    EXPECT_EQ(0, six[0xa8]);
    EXPECT_EQ(0x40, six[0xb8]);
    EXPECT_EQ(0, six[0x2c4]);
}

TEST(IscsiCfg, RoundTripKeepsWhatBothLayoutsHold)
{
    const IscsiBootCfg sample = testkit::iscsi_sample_settings();
    const V1 v1 = to_v1(sample);
    EXPECT_EQ(sample, settings(v1, 1));
    const V2 back = to_v2(v1, 0);
    EXPECT_EQ(sample, settings(back, 2));
    // Nothing but the named fields: the round trip equals a block built from the settings.
    EXPECT_EQ(fixed<kIscsiCfgV2Bytes>(testkit::iscsi_boot_cfg_block(sample, 2)), back);
}

TEST(IscsiCfg, TextsLongerThanTheNarrowLayoutAreCutInsideTheirFields)
{
    IscsiBootCfg wide = testkit::iscsi_sample_settings();
    wide.text_b = std::string(40, 'b');
    wide.text_c = std::string(150, 'c');
    wide.target[0].text_d = std::string(100, 'd');
    wide.target[1].text_f = std::string(400, 'f');

    IscsiBootCfg expected = wide;
    expected.text_b.resize(32);
    expected.text_c.resize(16);
    expected.target[0].text_d.resize(32);
    expected.target[1].text_f.resize(0x100 - 0x3c - 1);
    // The neighbours of every cut text (address 4 after text C, text E after text D) read intact.
    EXPECT_EQ(expected, settings(to_v1(wide), 1));
}

TEST(IscsiCfg, Ipv6AddressesAreNotCarriedIntoTheNarrowLayout)
{
    IscsiBootCfg six = testkit::iscsi_sample_settings();
    six.flags |= 0x100;
    for (auto* a : {&six.address[0], &six.address[2], &six.target[1].address})
        for (size_t i = 0; i < a->size(); ++i)
            (*a)[i] = uint8_t(0x20 + i);

    IscsiBootCfg expected = testkit::iscsi_without_addresses(six);
    expected.flags &= ~0x100u;
    EXPECT_EQ(expected, settings(to_v1(six), 1));
}

TEST(IscsiCfg, ToIpv6LayoutKeepsSettingsAndMarksAddressTwo)
{
    const IscsiBootCfg sample = testkit::iscsi_sample_settings();
    IscsiBootCfg expected = testkit::iscsi_without_addresses(sample);
    expected.flags |= 0x100;
    expected.address[1][0] = 0x40;
    EXPECT_EQ(expected, settings(to_v2(to_v1(sample), 1), 2));
}

TEST(IscsiCfg, ResetIpClearsAddressesAndSetsTheMode)
{
    IscsiBootCfg four = testkit::iscsi_sample_settings();
    IscsiBootCfg six = four;
    six.flags |= 0x100;
    six.address[3] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    struct Case {
        const char* name;
        IscsiBootCfg from;
        int ipv4;
    } cases[] = {{"IPv4 to IPv6", four, 0}, {"IPv6 to IPv4", six, 1}, {"IPv4 again", four, 1}};
    for (const Case& c : cases) {
        V2 block = fixed<kIscsiCfgV2Bytes>(testkit::iscsi_boot_cfg_block(c.from, 2));
        block[0x7f0] = 0x5A;  // outside every field: an in-place reset leaves it
        ASSERT_EQ(0, reset(block, c.ipv4)) << c.name;
        IscsiBootCfg expected = testkit::iscsi_without_addresses(c.from);
        expected.flags = c.ipv4 ? (c.from.flags & ~0x100u) : (c.from.flags | 0x100);
        if (!c.ipv4)
            expected.address[1][0] = 0x40;
        EXPECT_EQ(expected, settings(block, 2)) << c.name;
        EXPECT_EQ(0x5A, block[0x7f0]) << c.name;
    }
}

TEST(IscsiCfg, BlocksOfTheWrongLayoutAreRefusedUntouched)
{
    const IscsiBootCfg sample = testkit::iscsi_sample_settings();
    const V1 v1 = fixed<kIscsiCfgV1Bytes>(testkit::iscsi_boot_cfg_block(sample, 1));
    const V2 v2 = fixed<kIscsiCfgV2Bytes>(testkit::iscsi_boot_cfg_block(sample, 2));
    V2 unsigned_v2 = v2;
    unsigned_v2[0] = 0x68;

    V1 out1;
    out1.fill(0xEE);
    V2 out2;
    out2.fill(0xEE);
    const V1 untouched1 = out1;
    const V2 untouched2 = out2;
    // A layout-1 block in a 2,048-byte buffer, a layout-2 block in a 1,024-byte one, a bad signature.
    V2 v1_in_v2{};
    std::memcpy(v1_in_v2.data(), v1.data(), v1.size());
    EXPECT_EQ(-1, convert_to_v1(v1_in_v2, out1));
    EXPECT_EQ(-1, convert_to_v1(unsigned_v2, out1));
    const V1 v2_in_v1 = fixed<kIscsiCfgV1Bytes>(Bytes(v2.begin(), v2.end()));
    EXPECT_EQ(-1, convert_to_v2(v2_in_v1, out2, 0));
    EXPECT_EQ(untouched1, out1);
    EXPECT_EQ(untouched2, out2);

    const V2 before = v1_in_v2;
    EXPECT_EQ(-1, reset(v1_in_v2, 0));
    EXPECT_EQ(before, v1_in_v2);
}
