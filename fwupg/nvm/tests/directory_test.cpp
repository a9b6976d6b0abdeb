#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

kit::NvramDef def_with_images(kit::Chip chip)
{
    auto s = board_def(chip);
    s.images.push_back(image_def("BC1", testkit::stock_image("BC1", "7.10.3")));
    s.images.push_back(image_def("MBA", testkit::stock_image("MBA", "7.4.1")));
    s.images.push_back(image_def("NCSI_CMN", testkit::stock_image("NCSI_CMN", "1.2.3")));
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    s.images.push_back(image_def("NIC_PRTION", testkit::stock_image("NIC_PRTION", "1.0.0")));
    return s;
}

TEST(Directory, LookupsFindWhatTheKitPlaced)
{
    Board b(def_with_images(kit::Chip::E3));
    const auto& mba = b.placed("MBA");
    uint32_t idx = 99, start = 0, off = 0, len = 0, type = 0;
    ASSERT_EQ(common_nvm_find_dir_entry(kTypeMba, &idx, &start), 0);
    EXPECT_EQ(idx, uint32_t(mba.index));
    EXPECT_EQ(start, mba.offset);
    ASSERT_EQ(common_nvm_read_dir_entry(idx, &off, &len, nullptr, &type, nullptr), 0);
    EXPECT_EQ(len, mba.length);
    EXPECT_EQ(common_nvm_find_dir_entry(0x40000000u, &idx, nullptr), -1);
    EXPECT_EQ(common_nvm_read_dir_entry(16, &off, nullptr, nullptr, nullptr, nullptr), -6);

    uint32_t free_idx = 0;
    ASSERT_EQ(common_nvm_find_free_dir_entry(&free_idx), 0);
    EXPECT_EQ(free_idx, 2u);  // MBA and NCSI_CMN occupy 0 and 1

    uint32_t present = 0, k = 0;
    ASSERT_EQ(common_nvm_find_ext_dir_image(&present, kTypeCcm, &off, &len, &k), 0);
    EXPECT_EQ(present, 1u);
    EXPECT_EQ(off, b.placed("CCM").offset);
    ASSERT_EQ(common_nvm_find_ext_dir_image(&present, kTypeMfw1, &off, &len, &k), 0);
    EXPECT_EQ(present, 0u);
}

TEST(Directory, Bc1LookupGivesTheBootstrapOffsetButNoIndex)
{
    Board b(def_with_images(kit::Chip::E2));
    uint32_t idx = 0, start = 0;
    EXPECT_EQ(common_nvm_find_dir_entry(kTypeBc1, &idx, &start), -1);
    EXPECT_EQ(start, b.placed("BC1").offset);
    EXPECT_EQ(common_nvm_find_dir_entry(0xF0000001, &idx, &start), -1);
}

// A changed entry goes to the NVRAM with the directory CRC in one transfer, from the entry to the
// end of the directory record; an unchanged entry under a valid CRC is not written at all.
TEST(Directory, WriteEntryGoesWithTheCrcInOneTransfer)
{
    Board b(def_with_images(kit::Chip::E3));
    for (uint32_t i : {0u, 15u}) {
        SCOPED_TRACE(i);
        uint32_t off = 0, len = 0, sram = 0, type = 0, proc = 0;
        ASSERT_EQ(common_nvm_read_dir_entry(i, &off, &len, &sram, &type, &proc), 0);
        b.a().reset_counters();
        b.a().writes.clear();
        ASSERT_EQ(common_nvm_write_dir_entry(i, off, len, sram, type, proc), 0);
        EXPECT_TRUE(b.a().writes.empty());
        ASSERT_EQ(common_nvm_write_dir_entry(i, off, len - 4, sram, type, proc), 0);
        const std::vector<std::pair<uint32_t, uint32_t>> one{{kDirOffset + 12 * i, kDirCrc + 4 - kDirOffset - 12 * i}};
        EXPECT_EQ(b.a().writes, one);
        EXPECT_EQ(common_nvm_region_crc(kDirOffset, 0xEC), 0);
        uint32_t now = 0;
        ASSERT_EQ(common_nvm_read_dir_entry(i, nullptr, &now, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(now, len - 4);
    }
}

// Writes the extended directory's count word and its CRC so that only the count is odd.
void set_ext_count(Board& b, uint32_t count)
{
    uint32_t at = *b.built.ext_dir_offset;
    testkit::set_be32(b.a().nvram, at, count);
    kit::fix_crc(b.a().nvram, at, 780);
}

TEST(ExtDir, Count64IsReadCount65IsAbsent)
{
    Board b(def_with_images(kit::Chip::E3));
    nvm_ext_dir dir;
    set_ext_count(b, 64);
    EXPECT_EQ(common_nvm_load_ext_dir(&dir), 1);
    EXPECT_EQ(dir.count, 64u);
    set_ext_count(b, 65);
    EXPECT_EQ(common_nvm_load_ext_dir(&dir), -1);
    uint32_t present = 7;
    EXPECT_EQ(common_nvm_find_ext_dir_image(&present, kTypeCcm, nullptr, nullptr, nullptr), -1);
}

TEST(ExtDir, AFullDirectoryRefusesANewEntryWithoutWriting)
{
    Board b(def_with_images(kit::Chip::E3));
    nvm_ext_dir dir;
    ASSERT_EQ(common_nvm_load_ext_dir(&dir), 1);
    dir.count = 64;
    auto before = b.a().nvram;
    EXPECT_EQ(common_nvm_ext_dir_add(&dir, kTypeMfw2, 0x100, 0x20000, 0, 0, 0x02000000), -1);
    EXPECT_EQ(b.a().nvram, before);
}

TEST(ExtDir, AddRoundsTheLengthAndKeepsByteCount)
{
    Board b(def_with_images(kit::Chip::E3));
    nvm_ext_dir dir;
    ASSERT_EQ(common_nvm_load_ext_dir(&dir), 1);
    const uint32_t old_cnt = dir.byte_cnt, old_place = *b.built.ext_dir_offset;
    // An image programmed at 0x30000 of 0x1001 bytes (not yet listed).
    ASSERT_EQ(common_nvm_ext_dir_add(&dir, kTypeMfw2, 0x1001, 0x30000, 0x8000010, 0, 0x02000000), 0);
    nvm_ext_dir now;
    ASSERT_EQ(common_nvm_load_ext_dir(&now), 1);
    uint32_t off = 0, len = 0;
    ASSERT_EQ(common_nvm_ext_dir_find(kTypeMfw2, &now, nullptr, &off, nullptr, &len, nullptr), 0);
    EXPECT_EQ(len, 0x1004u);
    EXPECT_EQ(off, 0x30000u);
    EXPECT_EQ(now.byte_cnt, old_cnt + 0x1004);
    // The new directory went elsewhere; the old copy was not overwritten before the switch.
    uint32_t place = 0;
    common_nvm_read_dir_entry(15, &place, &len, nullptr, nullptr, nullptr);
    EXPECT_NE(place, old_place);
    EXPECT_EQ(len, 780u);
    EXPECT_TRUE(place + 780 <= 0x30000 || place >= 0x30000 + 0x1004);
}

TEST(ExtDir, RemovingTheOnlyEntryClearsEntry15)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    Board b(s);
    nvm_ext_dir dir;
    ASSERT_EQ(common_nvm_load_ext_dir(&dir), 1);
    b.a().reset_counters();
    ASSERT_EQ(common_nvm_ext_dir_remove(&dir, 0), 0);
    uint32_t off = 1, len = 1, sram = 1;
    ASSERT_EQ(common_nvm_read_dir_entry(15, &off, &len, &sram, nullptr, nullptr), 0);
    EXPECT_EQ(off | len | sram, 0u);
    EXPECT_EQ(b.a().bytes_written, 56u);  // entry 15 to the directory CRC in one write, no new directory
    EXPECT_NVRAM_VALID(b);
    EXPECT_EQ(common_nvm_remove_ccm_image(), 0);
    EXPECT_EQ(common_nvm_remove_vpd_image(), -1);
}

TEST(ExtDir, RemoveMovesTheLastEntryIntoTheHole)
{
    Board b(def_with_images(kit::Chip::E3));
    ASSERT_EQ(common_nvm_remove_ccm_image(), 0);
    nvm_ext_dir dir;
    ASSERT_EQ(common_nvm_load_ext_dir(&dir), 1);
    EXPECT_EQ(dir.count, 1u);
    EXPECT_EQ(dir.entry[0][1] & kTypeMask, kTypeNicPrtion);
    EXPECT_EQ(dir.byte_cnt, b.placed("NIC_PRTION").length);
    EXPECT_NVRAM_VALID(b);
}

TEST(ExtDir, WrongByteCountIsRepairedAndAnnounced)
{
    Board b(def_with_images(kit::Chip::E3));
    uint32_t at = *b.built.ext_dir_offset;
    uint32_t right = testkit::be32_at(b.a().nvram, at + 4);
    testkit::set_be32(b.a().nvram, at + 4, right + 8);
    kit::fix_crc(b.a().nvram, at, 780);
    take_debug_text();
    ASSERT_EQ(common_nvm_fix_ext_dir_byte_cnt(), 0);
    char want[96];
    std::snprintf(want, sizeof want, "Fixing extended dir byte_cnt value from 0x%x to 0x%x.\n", right + 8, right);
    EXPECT_EQ(take_debug_text(), want);
    EXPECT_NVRAM_VALID(b);
    ASSERT_EQ(common_nvm_fix_ext_dir_byte_cnt(), 0);
    EXPECT_EQ(take_debug_text(), "");
}

TEST(ExtDir, FindByNameUsesTheFirstRowContainingTheText)
{
    Board b(def_with_images(kit::Chip::E3));
    uint32_t off = 0, len = 0, row = 0;
    ASSERT_EQ(common_nvm_find_ext_image_by_name("NIC_PRT", &off, &len, &row), 0);
    EXPECT_EQ(off, b.placed("NIC_PRTION").offset);
    EXPECT_EQ(std::string(g_image_table[row].name), "NIC_PRTION");
    EXPECT_EQ(common_nvm_find_ext_image_by_name("NOSUCH", &off, &len, &row), -1);
    EXPECT_EQ(common_nvm_find_ext_image_by_name("MFW1", &off, &len, &row), -1);
}

TEST(FileHasImage, FindsMainAndExtendedEntriesAndStaysInsideTheBuffer)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("MBA", testkit::stock_image("MBA", "7.4.1")));
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2")));
    auto built = kit::build(s);
    testkit::Bytes host = testkit::words_reversed(built.nvram);
    const uint32_t size = uint32_t(host.size());
    EXPECT_EQ(common_nvm_file_has_image(host.data(), size, kTypeMba), 1);
    EXPECT_EQ(common_nvm_file_has_image(host.data(), size, kTypeCcm), 1);
    EXPECT_EQ(common_nvm_file_has_image(host.data(), size, kTypeNcsiCmn), 0);
    // A buffer that ends inside the extended directory, and an entry 15 pointing far outside.
    EXPECT_EQ(common_nvm_file_has_image(host.data(), *built.ext_dir_offset + 10, kTypeCcm), 0);
    std::memset(host.data() + 0x14 + 12 * 15 + 8, 0xFF, 4);
    EXPECT_EQ(common_nvm_file_has_image(host.data(), size, kTypeCcm), 0);
    EXPECT_EQ(common_nvm_file_has_image(host.data(), 0x40, kTypeMba), 0);
}

TEST(ImageTable, LookupsByOptionTagAndType)
{
    EXPECT_EQ(common_nvm_image_table_size(), 66u);
    uint32_t type = 0, row = 0;
    EXPECT_EQ(common_nvm_image_type_lookup("", 0, &type), 1);
    EXPECT_EQ(type, 0x60000000u);  // NCSI_ELIB, the first row without an option
    EXPECT_EQ(common_nvm_image_type_lookup("-mba", 0, &type), 1);
    EXPECT_EQ(type, kTypeMba);
    EXPECT_EQ(common_nvm_image_type_lookup("-MBA", 0, &type), 0);
    EXPECT_EQ(common_nvm_image_type_lookup(nullptr, testkit::tag_of("mfw1"), &type), 1);
    EXPECT_EQ(type, kTypeMfw1);
    EXPECT_EQ(common_nvm_image_type_lookup("-mba", 5, &type), 0);
    EXPECT_EQ(common_nvm_image_row_by_type(0xC0800003, &row), 0);
    EXPECT_EQ(row, 64u);
    EXPECT_EQ(g_image_table[64].id, 0x41u);
}

TEST(ImageFits, CaseTable)
{
    // 0x40000 bytes of NVRAM; E3 keeps 3112 bytes of fixed area.
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("BC1", testkit::stock_image("BC1", "7.10.3", 0x8000)));
    s.images.push_back(image_def("NCSI_CMN", testkit::stock_image("NCSI_CMN", "1.2.3", 0x4000)));
    s.images.push_back(image_def("MFW2", testkit::stock_image("MFW2", "7.10.3", 0x10000)));
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3", 0x8000)));
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2", 0x1000)));
    Board b(s);
    const uint32_t used = 3112 + (0x8004) + (0x4004) + 780 + 0x10004 + 0x8004 + 0x1004;
    const uint32_t room = 0x40000 - used;
    const uint32_t ccm_tag = testkit::tag_of(std::string("\0ccm", 4));
    struct Row {
        const char* what;
        uint32_t type;
        uint32_t length;
        bool with_tags;
        int want;
    };
    const Row rows[] = {
        {"new image that fits exactly", 0x40000000, room, false, 1},
        {"one byte too many", 0x40000000, room + 1, false, 0},
        {"replacing CCM frees its length", kTypeCcm, room + 0x1004, false, 1},
        {"replacing NCSI frees its length", kTypeNcsiCmn, room + 0x4004, false, 1},
        {"MFW1 bundle replaces BC1, NCSI, MFW2 and CCM", kTypeMfw1, room + 0x8004 + 0x4004 + 0x10004 + 0x1004, true, 1},
        {"MFW1 bundle that fits only without SWIM", kTypeMfw1, room + 0x8004 + 0x4004 + 0x10004 + 0x1004 + 0x8004,
         true, 2},
        {"MFW1 bundle too big even without SWIM", kTypeMfw1, room + 0x8004 + 0x4004 + 0x10004 + 0x1004 + 0x8008,
         true, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(common_nvm_image_fits(0, r.type, r.length, r.with_tags ? &ccm_tag : nullptr, r.with_tags ? 1 : 0),
                  r.want);
    }
}

}  // namespace
