// Image-type table, wrapped record headers, the row rules and the compatibility check.
#include <gtest/gtest.h>

#include "fwupg/nvm_legacy/image_table.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

TEST(ImageTable, LookupsAndSharedTags)
{
    EXPECT_EQ(21, TOE_IMAGE_ROWS);
    EXPECT_EQ(TOE_IMG_MBA, toe_image_by_option("-mba"));
    EXPECT_EQ(-1, toe_image_by_option(""));
    EXPECT_EQ(TOE_IMG_ISB_CFG, toe_image_by_tag(tag('\0', 'i', 'b', 'c')));   // first of the pair
    EXPECT_EQ(TOE_IMG_FEB_CFG, toe_image_by_tag(tag('f', 'e', 'b', 'c')));
    EXPECT_EQ(TOE_IMG_USR_BLK, toe_image_by_tag(tag('u', 'r', 'b', '`')));
    EXPECT_EQ(TOE_IMG_CCM, toe_image_by_dir_type(0x40000001u));
    EXPECT_EQ(TOE_IMG_NCSI_CMN, toe_image_by_dir_type(0x40000000u));
}

TEST(WrappedFile, HeadersOfBothVersionsUnaligned)
{
    // A version-1 record of 6 bytes puts the next header at offset 22.
    bytes f = wrapped_v1(tag('\0', 'b', 'c', '2'), bytes(6, 0xEE));
    const bytes second = wrapped_v2(tag('n', 'c', 'c', 'm'), 0x00040000, bytes(8, 0x11));
    f.insert(f.end(), second.begin(), second.end());

    wrapped_image_header h;
    ASSERT_EQ(16, toe_wrapped_header_at(f.data(), f.size(), 0, &h));
    EXPECT_EQ(6u, h.length);
    EXPECT_EQ(0u, h.compat);
    ASSERT_EQ(20, toe_wrapped_header_at(f.data(), f.size(), 22, &h));
    EXPECT_EQ(2u, h.version);
    EXPECT_EQ(0x00040000u, h.compat);
    EXPECT_EQ(8u, h.length);

    EXPECT_EQ(0, toe_wrapped_header_at(f.data(), f.size(), 16, &h)) << "data, not a header";
    EXPECT_EQ(-1, toe_wrapped_header_at(f.data(), 30, 22, &h)) << "header cut off";
    bytes v3 = wrapped_v2(tag('n', 'c', 'c', 'm'), 0, {});
    put_le32(v3, 4, 3);
    EXPECT_EQ(-1, toe_wrapped_header_at(v3.data(), v3.size(), 0, &h));
    EXPECT_EQ(3u, h.version);
}

TEST(WrappedFile, RowRules)
{
    adapter a;
    FakeHost host(a);
    struct {
        int board;
        const char* port0;
        uint32_t version, tag;
        int row;
    } rows[] = {
        {5709, "1", 2, tag('\0', 'i', 'b', '6'), TOE_IMG_ISCSI_B},
        {5709, "1", 2, tag('i', 'b', '4', 'n'), TOE_IMG_ISCSI_B},
        {5709, "1", 2, tag('i', 'b', 'c', '6'), TOE_IMG_ISB_CFG},
        {5709, "0", 2, tag('i', 'b', 'c', '6'), TOE_IMG_ISB_CFG2},
        {5708, "0", 2, tag('i', 'b', 'c', '6'), TOE_IMG_ISB_CFG},
        {57728, "0", 2, tag('f', 'e', 'b', 'c'), TOE_IMG_FEB_CFG2},
        {5716, "0", 2, tag('\0', 'b', 'c', '2'), TOE_IMG_BC2},
        {5709, "1", 2, tag('i', 'b', 'p', 'e'), -2},
        {5709, "1", 2, tag('f', 'b', 'p', 'l'), -2},
        {5709, "1", 2, tag('x', 'x', 'x', 'x'), -1},
        {5709, "0", 1, tag('\0', 'i', 'b', 'c'), TOE_IMG_ISB_CFG},   // no port rule for version 1
        {5709, "1", 1, tag('\0', 'i', 'b', '6'), -1},                // no aliases for version 1
    };
    for (auto r : rows) {
        host.set_toe("BOARD", std::to_string(r.board));
        host.set_toe("PORT0", r.port0);
        wrapped_image_header h{0x669955AA, r.version, r.tag, 0, 4};
        EXPECT_EQ(r.row, toe_wrapped_record_row(host.ops(), h)) << r.board << " " << r.port0 << " " << std::hex << r.tag;
    }
}

TEST(WrappedFile, CompatibilityCheck)
{
    adapter a;
    FakeHost host(a);
    const uint32_t ips = tag('\0', 'i', 'p', 's'), mba = tag('\0', 'm', 'b', 'a');
    const uint32_t skip[] = {tag('n', 'c', 'l', 'x'), mba, 0};
    struct {
        const char* board;
        const char* phy;
        uint32_t tag, compat;
        int answer;
        uint32_t error;
        const char* text;
    } rows[] = {
        {"5706", "SERDES", ips, 0, 0, 0, ""},
        {"5709", "COPPER", ips, 0x00040100, 0, 0, ""},
        {"5706", "SERDES", ips, 0x00020100, 0, 0, ""},   // old IPMI word means 5706/5708, any medium
        {"5709", "COPPER", ips, 0x00020100, -1, 22, "File image (of type 30000) not for 5709."},
        {"5708", "COPPER", tag('\0', 'b', 'c', '2'), 0x00010000, -1, 22, "File image (of type 10000) not for 5708."},
        {"5708", "COPPER", tag('\0', 'b', 'c', '2'), 0x00020200, -1, 22, "File image (of type 200) not for COPPER."},
        {"5708", "FIBER", tag('\0', 'b', 'c', '2'), 0, -1, 48, "The chip has an unknown medium type (FIBER)."},
        {"5705", "COPPER", tag('\0', 'b', 'c', '2'), 0, -1, 16, "Unknown chip (5705)."},
        {"5705", "COPPER", mba, 0x00010000, 1, 0, ""},   // the skip list comes first
        {"0x164D", "SERDES", tag('\0', 'b', 'c', '2'), 0x00040200, 0, 0, ""},
    };
    for (auto r : rows) {
        host.set_toe("BOARD", r.board);
        host.set_toe("PHY_TYPE", r.phy);
        host.last_error = 0;
        Tcl_ResetResult(host.interp);
        wrapped_image_header h{0x669955AA, 2, r.tag, r.compat, 4};
        EXPECT_EQ(r.answer, toe_check_image_compat(host.ops(), h, skip)) << r.text;
        EXPECT_EQ(r.error, host.last_error) << r.text;
        EXPECT_EQ(r.text, host.result());
    }
}
