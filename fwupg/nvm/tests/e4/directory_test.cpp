// The E4 image-type table, the choice between the two directory copies, lookups and bank pairs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "e4_bytes.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"

namespace {

using namespace fwupg::nvm::test;
using e4bytes::Entry;
using e4bytes::put_dir;

TEST(E4ImageTable, Lookups)
{
    struct Case {
        const char* what;
        int rc;
        uint32_t got, want;
    };
    uint32_t row_cfg = 99, row_caps = 99, row_pk = 99, id_tim2 = 99, id_x = 99;
    char name31[32] = {}, name30[32] = {}, name35[32] = {};
    const Case cases[] = {
        {"option -cfg is row 9", e4_image_row_by_option("-cfg", &row_cfg), row_cfg, 9},
        {"options are case-sensitive", e4_image_row_by_option("-CFG", &row_caps) + 1, 0, 0},
        {"null option", e4_image_row_by_option(nullptr, &row_caps) + 1, 0, 0},
        {"PK is row 33", e4_image_row_by_name("PK", &row_pk), row_pk, 33},
        {"TIM2 is id 2", e4_image_id_by_name("TIM2", &id_tim2), id_tim2, 2},
        {"names are case-sensitive", e4_image_id_by_name("tim2", &id_x) + 1, 0, 0},
        {"id 31 is FCOE_CFG", e4_image_name_by_id(31, name31), std::string(name31) == "FCOE_CFG", 1},
        {"id 30 has no row", e4_image_name_by_id(30, name30) + 1, 0, 0},
        {"id 35 has no row", e4_image_name_by_id(35, name35) + 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.rc, 0);
        EXPECT_EQ(c.got, c.want);
    }
    EXPECT_EQ(g_image_table_e4[33].id, 36);
    EXPECT_EQ(e4_image_table_size(), 35u);
    const std::string list = fwupg::nvm::e4::upgrade_type_list();
    EXPECT_EQ(list.rfind("image_type: -mfw, -mbi, -tim1, -tim2, ", 0), 0u) << list;
    EXPECT_NE(list.find(", -iscsi_cfg, -fcoe_cfg, -ethphy1"), std::string::npos);
    EXPECT_EQ(list.substr(list.size() - 16), ", -pk, -recovery");
}

// An NVRAM with nothing but the directory region written.
struct DirNvram {
    FakeAdapter a{std::vector<uint8_t>(0x10000, 0xFF)};
};

TEST(E4Directory, CopyChoice)
{
    const std::vector<Entry> zero = {{12, 0x2000, 72}, {1, 0x4000, 64}};
    const std::vector<Entry> one = {{19, 0x3000, 72}, {1, 0x5000, 64}};
    struct Case {
        const char* what;
        void (*setup)(std::vector<uint8_t>&, const std::vector<Entry>&, const std::vector<Entry>&);
        int rc;
        uint32_t copy, seq_bit, tim_offset;
    } cases[] = {
        {"both erased: a new one-entry directory", [](auto&, auto&, auto&) {}, 0, 0, 1, 0},
        {"copy 0 newer with a bad CRC",
         [](auto& nv, auto& z, auto& o) { put_dir(nv, 0, 5, z, false), put_dir(nv, 1, 3, o); }, 0, 1, 1, 0x5000},
        {"equal sequences: copy 0",
         [](auto& nv, auto& z, auto& o) { put_dir(nv, 0, 7, z), put_dir(nv, 1, 7, o); }, 0, 0, 1, 0x4000},
        {"0x80000000 is below 1 (signed)",
         [](auto& nv, auto& z, auto& o) { put_dir(nv, 0, 0x80000000, z), put_dir(nv, 1, 1, o); }, 0, 1, 1, 0x5000},
        {"copy 1 newer",
         [](auto& nv, auto& z, auto& o) { put_dir(nv, 0, 2, z), put_dir(nv, 1, 4, o); }, 0, 1, 0, 0x5000},
        {"count 150 is no candidate",
         [](auto& nv, auto& z, auto& o) { put_dir(nv, 0, 9, z, true, 150), put_dir(nv, 1, 1, o); }, 0, 1, 1, 0x5000},
        {"count 0 with a good CRC fails the read",
         [](auto& nv, auto&, auto&) { put_dir(nv, 0, 3, {}, true); }, -1, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DirNvram n;
        c.setup(n.a.nvram, zero, one);
        e4bytes::E4Current cur(n.a);
        take_debug_text();
        e4_nvm_dir* dir = nullptr;
        uint32_t copy = 9, bit = 9;
        EXPECT_EQ(e4_nvm_load_dir(&dir, &copy, &bit), c.rc);
        const std::string log = take_debug_text();
        if (c.rc == 0) {
            EXPECT_EQ(copy, c.copy);
            EXPECT_EQ(bit, c.seq_bit);
            uint32_t off = 0, len = 0;
            if (c.tim_offset) {
                EXPECT_EQ(e4_nvm_find_image(1, &off, &len, dir), 0);
                EXPECT_EQ(off, c.tim_offset);
            } else {
                EXPECT_EQ(log, "DIR was not found. Allocating new nvm dir\n");
                EXPECT_EQ(dir->count, 1u);
                EXPECT_EQ(e4_nvm_find_image(12, &off, &len, dir), 0);
                EXPECT_EQ(off, 0x2000u);
                EXPECT_EQ(len, 36u);
                EXPECT_EQ(e4_nvm_find_image(1, &off, &len, dir), -1);
            }
        } else {
            EXPECT_EQ(log, "Invalid number of images 0 read for dir\n");
        }
        std::free(dir);
    }
}

TEST(E4Directory, ReadRefusesABadCrcAndTooManyEntries)
{
    DirNvram n;
    put_dir(n.a.nvram, 0, 1, {{1, 0x4000, 8}}, false);
    put_dir(n.a.nvram, 1, 1, {{1, 0x4000, 8}}, true, 205);
    e4bytes::E4Current cur(n.a);
    take_debug_text();
    e4_nvm_dir dir{};
    EXPECT_EQ(e4_nvm_dir_read(0, &dir), -1);
    EXPECT_EQ(take_debug_text().rfind("Invalid DIR CRC (calc 0x", 0), 0u);
    EXPECT_EQ(e4_nvm_dir_read(1, &dir), -1);
    EXPECT_EQ(take_debug_text(), "Invalid number of images 205 read for dir\n");
}

TEST(E4Directory, LookupsReloadTheDirectoryEveryTime)
{
    DirNvram n;
    put_dir(n.a.nvram, 0, 1, {{12, 0x2000, 52}, {10, 0x4000, 4240}, {5, 0x6000, 512}});
    e4bytes::E4Current cur(n.a);
    uint32_t off = 0, len = 0, index = 0;
    EXPECT_EQ(e4_nvm_find_image(5, &off, &len, nullptr), 0);
    EXPECT_EQ(off, 0x6000u);
    EXPECT_EQ(len, 512u);
    // The adapter writes a newer copy 1: the next lookup sees it.
    put_dir(n.a.nvram, 1, 2, {{19, 0x3000, 52}, {5, 0x7000, 1024}});
    EXPECT_EQ(e4_nvm_find_image(5, &off, &len, nullptr), 0);
    EXPECT_EQ(off, 0x7000u);
    EXPECT_EQ(e4_nvm_find_image(10, &off, &len, nullptr), -1);

    auto dir = fwupg::nvm::e4::load_dir();
    ASSERT_TRUE(dir);
    EXPECT_EQ(e4_nvm_dir_index_by_name(dir.get(), "MBA", &index), 0);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(e4_nvm_dir_index_by_name(dir.get(), "mba", &index), -1);
    EXPECT_EQ(e4_nvm_dir_index_by_name(dir.get(), "TIM1", &index), -1);
}

TEST(E4Directory, LoadImageTakesOnlyTheConfigurationTypes)
{
    DirNvram n;
    for (uint32_t i = 0; i < 16; ++i)
        n.a.nvram[0x4000 + i] = uint8_t(i);
    put_dir(n.a.nvram, 0, 1, {{10, 0x4000, 16}, {1, 0x4000, 16}});
    e4bytes::E4Current cur(n.a);
    uint8_t* buf = nullptr;
    uint32_t off = 0, len = 0;
    ASSERT_EQ(e4_nvm_load_image(10, &buf, &off, &len), 0);
    EXPECT_EQ(off, 0x4000u);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(buf[15], 15);
    std::free(buf);
    buf = reinterpret_cast<uint8_t*>(1);
    EXPECT_EQ(e4_nvm_load_image(1, &buf, &off, &len), -1);
    EXPECT_EQ(e4_nvm_load_image(26, &buf, &off, &len), -1);
    EXPECT_EQ(buf, nullptr);
}

TEST(E4Directory, ImageBytesFromABufferStayInsideIt)
{
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint32_t w = 0;
    EXPECT_EQ(e4_nvm_read_image_bytes(1, 0, data, 8, 4, &w, 4), 0);
    EXPECT_EQ(w, 0x08070605u);
    EXPECT_EQ(e4_nvm_read_image_bytes(1, 0, data, 8, 5, &w, 4), -1);
    EXPECT_EQ(e4_nvm_read_image_bytes(1, 0, nullptr, 8, 0, &w, 4), -1);
}

TEST(E4Directory, BankPairs)
{
    struct Case {
        uint32_t bank, type, want;
    } cases[] = {{0, 1, 2}, {1, 2, 1}, {1, 1, 1}, {255, 21, 13}, {255, 13, 21}, {0, 10, 10}, {255, 10, 10}, {0, 32, 33}};
    for (const auto& c : cases)
        EXPECT_EQ(e4_image_type_for_bank(c.bank, c.type), c.want) << c.bank << " " << c.type;
    EXPECT_TRUE(e4_image_type_in_bank(1, 0));
    EXPECT_TRUE(e4_image_type_in_bank(2, 1));
    EXPECT_FALSE(e4_image_type_in_bank(1, 1));
    EXPECT_FALSE(e4_image_type_in_bank(10, 0));
}

TEST(E4Directory, Crc32MatchesZlibOnReversedWords)
{
    std::vector<uint8_t> bytes(64);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 37 + 1);
    uint32_t crc = 0x12345678;
    e4_crc32(bytes.data(), 64, &crc);
    EXPECT_EQ(crc, e4bytes::dir_crc(bytes.data(), 64));
}

}  // namespace
