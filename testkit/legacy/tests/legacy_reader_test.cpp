// The legacy kit's stock images, description parser and reader: what an adapter would report for
// each kind, checked against bytes written by hand where the byte order matters.
#include <gtest/gtest.h>

#include "testkit/legacy_describe.h"
#include "testkit/legacy_reader.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;

namespace {

adapter with_images(std::initializer_list<std::pair<const char*, bytes>> images)
{
    adapter a;
    for (const auto& [k, data] : images)
        a.images.push_back(placed(k, data));
    return a;
}

}  // namespace

TEST(LegacyReader, ReportsEachKindsVersionWhereTheFirmwareKeepsIt)
{
    stock_options v6;
    v6.ip = "6";
    const adapter a = with_images({
        {"BC1", stock_image("BC1", "7.10.3")},
        {"MBA", stock_image("MBA", "7.8.1")},
        {"ISCSI_B", stock_image("ISCSI_B", "7.10.2", v6)},
        {"ISB_CFG", stock_image("ISB_CFG", "2.1.0")},
        {"IPMI_CFG", stock_image("IPMI_CFG", "1.0.0")},
        {"IPMI_INIT", stock_image("IPMI_INIT", "2.5.0")},
        {"CCM", stock_image("CCM", "1.2.3")},
        {"USR_BLK", stock_image("USR_BLK", "")},
    });
    const bytes n = build_nvram(a);
    ASSERT_EQ("", verify_nvram(n));
    ASSERT_TRUE(directory_valid(n));

    const struct {
        const char* kind;
        const char* version;
    } want[] = {
        {"BC1", "bc 7.10.3"},         {"MBA", "PCI30 MBA 7.8.1;EFI x64 7.8.1;"},
        {"ISCSI_B", "ipv6 v7.10.2"},  {"ISB_CFG", "v2.1"},
        {"IPMI_CFG", "6"},            {"IPMI_INIT", "IPMI 2.5.0"},
        {"CCM", "v1.2.3"},            {"USR_BLK", ""},
    };
    const std::vector<listed_image> list = list_images(n);
    ASSERT_EQ(std::size(want), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(want[i].kind, list[i].name);
        EXPECT_EQ(want[i].version, list[i].version) << want[i].kind;
    }
    EXPECT_EQ(-1, list[0].index);
    EXPECT_EQ(0x600u, list[0].offset);
    EXPECT_EQ(2, find_image(n, "ISB_CFG")->index);
}

TEST(LegacyReader, StockBytesMatchHandWrittenLayout)
{
    // The boot-code text reads naturally in NVRAM; its version word is big-endian at 28.
    const bytes bc = stock_image("BC1", "7.10.3");
    EXPECT_EQ(std::string("bc 7.10.3"), std::string(bc.begin() + 16, bc.begin() + 25));
    EXPECT_EQ(bytes({7, 10, 3, 0}), bytes(bc.begin() + 28, bc.begin() + 32));
    // The pointed text is dword-reversed in NVRAM: "v1.2" stands as "2.1v".
    const bytes ccm = stock_image("CCM", "1.2.3");
    const uint32_t at = get_be32(ccm, 4);
    EXPECT_EQ(std::string("2.1v"), std::string(ccm.begin() + at, ccm.begin() + at + 4));
    // A raw MBA file is the plain ROM: 55 AA first once the NVRAM form is turned back.
    const bytes rom = dword_reversed(stock_image("MBA", "7.8.1"));
    EXPECT_EQ(0x55, rom[0]);
    EXPECT_EQ(0xAA, rom[1]);
    // The IPMI configuration carries its own CRC over bytes 0-547.
    EXPECT_TRUE(residue_ok(stock_image("IPMI_CFG", "1.0.4"), 0, 552));
    EXPECT_EQ(4, stock_image("IPMI_CFG", "1.0.4")[214]);
    // Tags in file byte order.
    EXPECT_EQ(tag('\0', 'b', 'c', '1'), tag_word(*kind_named("BC1")));
    EXPECT_EQ(kind_named("ISB_CFG"), kind_of_dir_type(0xC0000000u));
}

TEST(LegacyReader, BadInputGivesEmptyTextsNotCrashes)
{
    adapter a = with_images({{"BC1", stock_image("BC1", "1.0.0")}, {"CCM", stock_image("CCM", "1.0.0")}});
    bytes n = build_nvram(a);
    // A CCM pointer past the image, an entry past the NVRAM, an erased part.
    const uint32_t ccm_at = get_be32(n, 0x1C);
    put_be32(n, ccm_at + 4, 0xFFF0);
    EXPECT_EQ("", version_text("CCM", n, ccm_at, 0x44));
    put_be32(n, 0x1C, 0xFFFFFFF0u);
    EXPECT_EQ("", list_images(n).at(1).version);
    EXPECT_FALSE(directory_valid(bytes(0x40000, 0xFF)));
    EXPECT_TRUE(list_images(bytes(0x80, 0)).empty());
    bytes erased(0x1000, 0xFF);
    EXPECT_NO_THROW(list_images(erased));
}

TEST(LegacyReader, BufferedBootCodeIsFoundThroughItsFlashAddress)
{
    stock_options big;
    big.size = 0x200;
    adapter a = with_images({{"BC2", stock_image("BC2", "1.0.0", big)}, {"BC1", stock_image("BC1", "5.2.3")}});
    a.buffered = true;
    const bytes n = build_nvram(a);
    const auto bc1 = find_image(n, "BC1");
    ASSERT_TRUE(bc1);
    EXPECT_EQ(0x600u + 0x204u, bc1->offset);
    EXPECT_EQ("bc 5.2.3", bc1->version);
}

TEST(LegacyDescription, ParsesKeysAndRefusesBadLines)
{
    const description d = parse_description(
        "# a two-port board\n"
        "board=5716\nsize=0x20000\nmac=001018AABB01 001018AABB02\nsmbus=0x30 0x32\nvpd.sn=SN-77\n"
        "image=BC1 5.0.1\nimage=ISCSI_B 7.10.2 ip=4n6\nimage=MBA 7.8.1 at=0x2000\ncorrupt=0x110\n");
    EXPECT_EQ(5716, d.a.board);
    EXPECT_EQ(0x163B, d.a.did);
    EXPECT_EQ(0xBB, d.a.mac[1][4]);
    EXPECT_EQ(0x32, d.a.smbus[1]);
    const bytes n = build_described(d);
    EXPECT_EQ(0x20000u, n.size());
    EXPECT_EQ("HW_INFO CRC bad; ", verify_nvram(n));
    EXPECT_EQ("ipv4_ipv6 v7.10.2", find_image(n, "ISCSI_B")->version);
    EXPECT_EQ(0x2000u, find_image(n, "MBA")->offset);

    for (const char* bad : {"board=5700\n", "size=0x1234\n", "image=NOPE 1.0.0\n", "image=BC1 1.2\n",
                            "image=NCSI_CMN 10.10.10\n", "mac=0010\n", "colour=blue\n", "buffered=yes\n"})
        EXPECT_THROW(parse_description(bad), std::invalid_argument) << bad;
}

TEST(LegacyDescription, PagedFormInsertsTheFamilySpareBytes)
{
    const bytes n(0x200, 0xAB);
    const bytes p = paged(n);
    ASSERT_EQ(0x210u, p.size());
    EXPECT_EQ(bytes({0x09, 0x57, 0x09, 0x57, 0x09, 0x57, 0x09, 0x57}), bytes(p.begin() + 256, p.begin() + 264));
    EXPECT_EQ(0xAB, p[264]);
}
