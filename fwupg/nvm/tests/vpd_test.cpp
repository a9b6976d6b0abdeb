// VPD record: build, parse and the fallbacks for a damaged read-only area.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm/formats/vpd.h"

namespace {
vpd_info sample()
{
    vpd_info v{};
    std::strcpy(v.product_name, "Board X");
    std::strcpy(v.pn, "PN123");
    std::strcpy(v.ec, "EC9");
    std::strcpy(v.sn, "SN0042");
    std::strcpy(v.mn, "14e4");
    std::strcpy(v.v0, "vendor");
    return v;
}
}  // namespace

TEST(Vpd, BuildLayoutAndRoundTrip)
{
    const vpd_info in = sample();
    uint8_t img[256];
    ASSERT_EQ(0, vpd_build_image(&in, img));
    EXPECT_EQ(0x82, img[0]);
    EXPECT_EQ(8, img[1]);                 // name and its NUL
    EXPECT_EQ(0x90, img[11]);
    EXPECT_EQ(121 - 8, img[12]);          // read-only area ends at byte 126
    EXPECT_EQ(0x78, img[127]);
    unsigned sum = 0;
    for (int i = 0; i < 127; ++i)
        sum += img[i];
    const uint8_t* rv = static_cast<const uint8_t*>(std::memchr(img + 14, 'R', 113));
    ASSERT_NE(nullptr, rv);
    unsigned through_rv = 0;
    for (const uint8_t* p = img; p <= rv + 3; ++p)
        through_rv += *p;
    EXPECT_EQ(0u, through_rv & 0xFF);

    vpd_info out{};
    fwupg::nvm::test::take_debug_text();
    vpd_parse_image(&out, img, 1);
    EXPECT_EQ("", fwupg::nvm::test::take_debug_text());
    EXPECT_STREQ("Board X", out.product_name);
    EXPECT_STREQ("PN123", out.pn);
    EXPECT_STREQ("EC9", out.ec);
    EXPECT_STREQ("SN0042", out.sn);
    EXPECT_STREQ("vendor", out.v0);
}

TEST(Vpd, DamagedImagesFallBack)
{
    const vpd_info in = sample();
    uint8_t img[256];
    ASSERT_EQ(0, vpd_build_image(&in, img));

    struct {
        const char* what;
        int at;
        uint8_t value;
        const char* message;
        bool defaults;
    } rows[] = {
        {"bad checksum", 126, 1, "Invalid checksum in RV field", true},
        {"unknown keyword", 14, 'Q', "unknow field QN found", true},
        {"no header", 0, 0x83, "No valid VPD header found", false},
    };
    for (auto r : rows) {
        uint8_t bad[256];
        std::memcpy(bad, img, sizeof bad);
        if (r.at == 126) {
            // Change a reserved byte after the checksum: the sum over the RV field changes.
            const uint8_t* rv = static_cast<const uint8_t*>(std::memchr(bad + 14, 'R', 113));
            bad[rv - bad + 3] ^= r.value;
        } else {
            bad[r.at] = r.value;
        }
        vpd_info out{};
        fwupg::nvm::test::take_debug_text();
        vpd_parse_image(&out, bad, 1);
        EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find(r.message)) << r.what;
        EXPECT_STREQ(r.defaults ? "0123456789" : "", out.sn) << r.what;
    }
}

TEST(Vpd, LongFieldIsCutAndOverfullRecordRefused)
{
    uint8_t img[256] = {0x82, 1, 0, 0, 0x90, 120, 0, 'P', 'N', 20};
    std::memset(img + 10, 'A', 20);
    img[30] = 'R';
    img[31] = 'V';
    img[32] = 127 - 33;
    unsigned sum = 0;
    for (int i = 0; i < 33; ++i)
        sum += img[i];
    img[33] = uint8_t(-sum);
    vpd_info out{};
    fwupg::nvm::test::take_debug_text();
    vpd_parse_image(&out, img, 1);
    EXPECT_EQ(std::string(16, 'A'), out.pn);
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("The max length for field PN is 16"));

    vpd_info big = sample();
    std::memset(big.product_name, 'N', 48);
    big.yb_len = 100;
    uint8_t buf[256];
    EXPECT_EQ(-1, vpd_build_image(&big, buf));
}
