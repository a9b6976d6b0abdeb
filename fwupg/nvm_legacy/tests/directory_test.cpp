// The directory: entries, its CRC, the room check, the packing allocator and the file-fit check,
// on NVRAM images built by the test kit and checked by its verifier after every write.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_host.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {
constexpr uint32_t MCP = 0x07000000, HOST_CPU = 0x01000000;

// An image of filler bytes: these tests move images about, so the kit checks their layout only.
image img(uint32_t type, size_t bytes_with_crc, uint32_t at = 0)
{
    image i{type, type == 0x10000000u ? HOST_CPU : MCP, 0x08000000, bytes(bytes_with_crc > 4 ? bytes_with_crc - 4 : 0, 0x5A), at};
    for (size_t k = 0; k < i.data.size(); ++k)
        i.data[k] = uint8_t(k * 13 + type / 0x10000000u);
    return i;
}

adapter with(std::vector<image> images, uint32_t nvm_size = 0x40000)
{
    adapter a;
    a.nvm_size = nvm_size;
    a.images = std::move(images);
    return a;
}
}  // namespace

TEST(Directory, FindReadWriteAndCrc)
{
    FakeHost host(with({img(0xF0000000u, 0x40), img(0x00000000u, 0x40), img(0x10000000u, 0x80)}));
    const HostOps ops = host.ops();
    int index = 7;
    ASSERT_EQ(0, toe_nvm_find_dir_entry(ops, 0x10000000u, &index));
    EXPECT_EQ(1, index);
    ASSERT_EQ(0, toe_nvm_find_dir_entry(ops, 0x00000000u, &index));   // BC2 is type 0
    EXPECT_EQ(0, index);
    EXPECT_EQ(-1, toe_nvm_find_dir_entry(ops, 0x30000000u, &index));

    const int reads = host.reads;
    EXPECT_EQ(-1, toe_nvm_find_dir_entry(ops, 0xF0000000u, &index));
    EXPECT_EQ(-1, toe_nvm_find_dir_entry(ops, 0xF0000001u, &index));
    EXPECT_EQ(reads, host.reads) << "boot-code types never reach NVRAM";

    ASSERT_EQ(0, toe_nvm_find_free_dir_entry(ops, &index));
    EXPECT_EQ(2, index);

    uint32_t off = 0, len = 0, sram = 0, type = 0, cpu = 0;
    ASSERT_EQ(0, toe_nvm_read_dir_entry(ops, 1, &off, &len, &sram, &type, &cpu));
    EXPECT_EQ(0x680u, off);
    EXPECT_EQ(0x80u, len);
    EXPECT_EQ(0x10000000u, type);
    EXPECT_EQ(HOST_CPU, cpu);

    // A new entry goes with the renewed directory CRC in one transfer (from the entry to the end
    // of the directory), so a write that cannot reach the CRC word changes nothing.
    const std::vector<uint8_t> before = host.nvram;
    host.fail_write_at = 0xFC;
    EXPECT_EQ(-1, toe_nvm_write_dir_entry(ops, 2, 0x700, 0x40, 0x08000000, 0x30000000u, MCP));
    EXPECT_EQ("NVM write failed.", host.result());
    EXPECT_EQ(before, host.nvram);
    host.fail_write_at = -1;
    host.write_offsets.clear();
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 2, 0x700, 0x40, 0x08000000, 0x30000000u, MCP));
    EXPECT_EQ(std::vector<uint32_t>{0x14 + 24}, host.write_offsets);
    EXPECT_EQ(0x30000000u | MCP | 0x40, host.be32(0x18 + 24));
    EXPECT_TRUE(residue_ok(host.nvram, 0x14, 0xEC));

    // Deleting: all fields 0; an empty entry is never found by type, even with matching bits.
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 1, 0, 0, 0, 0x10000000u, 0));
    EXPECT_EQ(-1, toe_nvm_find_dir_entry(ops, 0x10000000u, &index));
    ASSERT_EQ(0, toe_nvm_find_free_dir_entry(ops, &index));
    EXPECT_EQ(1, index);
    EXPECT_TRUE(residue_ok(host.nvram, 0x14, 0xEC));
}

// An entry write sends only the words that change and the directory CRC, in one write that ends
// with the CRC word; an entry that holds its values already is not written.
TEST(Directory, EntryWritesSendOnlyWhatChanges)
{
    FakeHost host(with({img(0xF0000000u, 0x40), img(0x00000000u, 0x40), img(0x10000000u, 0x80)}));
    const HostOps ops = host.ops();
    uint32_t off = 0, len = 0, sram = 0, type = 0, cpu = 0;
    ASSERT_EQ(0, toe_nvm_read_dir_entry(ops, 1, &off, &len, &sram, &type, &cpu));

    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 1, off, len, sram, type, cpu));
    EXPECT_EQ(0, host.writes) << "the entry holds these values";

    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 1, 0x900, len, sram, type, cpu));
    EXPECT_EQ(std::vector<uint32_t>{0x14 + 12 + 8}, host.write_offsets) << "from the offset word";
    EXPECT_EQ(std::vector<uint32_t>{0x100 - (0x14 + 12 + 8)}, host.write_lengths) << "through the CRC word";
    EXPECT_EQ(0x900u, host.be32(0x14 + 12 + 8));
    EXPECT_TRUE(residue_ok(host.nvram, 0x14, 0xEC));

    // A stale CRC under unchanged entries: the CRC word alone is renewed.
    host.nvram[0xFC] ^= 0xFF;
    host.write_offsets.clear();
    host.write_lengths.clear();
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 1, 0x900, len, sram, type, cpu));
    EXPECT_EQ(std::vector<uint32_t>{0xFC}, host.write_offsets);
    EXPECT_EQ(std::vector<uint32_t>{4}, host.write_lengths);
    EXPECT_TRUE(residue_ok(host.nvram, 0x14, 0xEC));
}

// While the directory is held, entry writes stay in memory and every lookup sees them; publishing
// sends them all in one write with the CRC. A publish that fails keeps them held.
TEST(Directory, HeldEntriesArePublishedInOneWrite)
{
    FakeHost host(with({img(0xF0000000u, 0x40), img(0x00000000u, 0x40), img(0x10000000u, 0x80)}));
    const HostOps ops = host.ops();
    const std::vector<uint8_t> before = host.nvram;
    toe_nvm_hold_dir();
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 3, 0x900, 0x40, 0x08000000, 0x30000000u, MCP));
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 1, 0x800, 0x80, 0, 0x10000000u, HOST_CPU));
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 0, 0, 0, 0, 0, 0));   // BC2 deleted
    EXPECT_EQ(0, host.writes);
    EXPECT_EQ(before, host.nvram);
    int index = -1;
    ASSERT_EQ(0, toe_nvm_find_dir_entry(ops, 0x30000000u, &index));
    EXPECT_EQ(3, index);
    EXPECT_EQ(-1, toe_nvm_find_dir_entry(ops, 0x00000000u, &index)) << "the held deletion";
    ASSERT_EQ(0, toe_nvm_find_free_dir_entry(ops, &index));
    EXPECT_EQ(0, index);
    uint32_t off = 0;
    ASSERT_EQ(0, toe_nvm_read_dir_entry(ops, 1, &off, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0x800u, off);

    host.fail_write_at = 0xFC;
    EXPECT_EQ(-1, toe_nvm_publish_dir(ops));
    EXPECT_TRUE(toe_nvm_dir_held());
    EXPECT_EQ(before, host.nvram);
    host.fail_write_at = -1;
    ASSERT_EQ(0, toe_nvm_publish_dir(ops));
    EXPECT_FALSE(toe_nvm_dir_held());
    EXPECT_EQ(std::vector<uint32_t>{0x14}, host.write_offsets);
    EXPECT_EQ(std::vector<uint32_t>{0xEC}, host.write_lengths);
    EXPECT_EQ(0x900u, host.be32(0x14 + 36 + 8));
    EXPECT_EQ(0x800u, host.be32(0x14 + 12 + 8));
    EXPECT_EQ(0u, host.be32(0x14 + 4));
    EXPECT_TRUE(residue_ok(host.nvram, 0x14, 0xEC));

    // The hold has ended: the next entry write goes straight to the NVRAM.
    ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 3, 0, 0, 0, 0, 0));
    EXPECT_EQ(2, host.writes);
    toe_nvm_drop_dir();
}

// While the directory is held, the allocator places an image beside both the NVRAM's images and
// the held ones and moves nothing; without such room it publishes first and then packs as always.
TEST(Directory, AllocationBesideAHeldDirectory)
{
    // BC1 0x600-0x640, MBA 0x640-0x740, UMP 0x740-0x840 in an NVRAM of 0xA00.
    const adapter a = with({img(0xF0000000u, 0x40), img(0x10000000u, 0x100), img(0x30000000u, 0x100)}, 0xA00);
    {
        FakeHost host(a);
        const HostOps ops = host.ops();
        // The new MBA's bytes, as its programming leaves them, then its entry held.
        std::copy(host.nvram.begin() + 0x640, host.nvram.begin() + 0x740, host.nvram.begin() + 0x840);
        toe_nvm_hold_dir();
        // A new MBA held at 0x840: the old one at 0x640 still counts, so a 0xC0-byte image has no
        // room below 0x940 ...
        ASSERT_EQ(0, toe_nvm_write_dir_entry(ops, 0, 0x840, 0x100, 0, 0x10000000u, HOST_CPU));
        uint32_t offset = 0;
        ASSERT_EQ(0, toe_nvm_alloc_space(ops, 0x20000000u, 0xBC, &offset));
        EXPECT_EQ(0x940u, offset);
        EXPECT_TRUE(toe_nvm_dir_held());
        EXPECT_EQ(0, host.writes);
        // ... and one that fits nowhere beside them publishes the held entry, after which the old
        // MBA's room is free for packing.
        ASSERT_EQ(0, toe_nvm_alloc_space(ops, 0x20000000u, 0x1BC, &offset));
        EXPECT_FALSE(toe_nvm_dir_held());
        EXPECT_EQ(0x840u, offset);
        EXPECT_EQ(0x640u, host.be32(0x14 + 12 + 8)) << "UMP moved down";
        EXPECT_EQ(0x740u, host.be32(0x14 + 8)) << "the new MBA moved down behind it";
        EXPECT_EQ("", verify_layout(host.nvram));
        toe_nvm_drop_dir();
    }
}

TEST(Directory, EntryErrors)
{
    FakeHost host(with({}));
    Tcl_UnsetVar2(host.interp, "::toe", "DEV", TCL_GLOBAL_ONLY);
    EXPECT_EQ(-1, toe_nvm_write_dir_entry(host.ops(), 16, 0, 0, 0, 0, 0));
    EXPECT_EQ("Invalid NVM directory index.", host.result()) << "index checked before the device";
    EXPECT_EQ(30u, host.last_error);

    host.set_toe("DEV", "0");
    Tcl_ResetResult(host.interp);
    host.fail_read_at = 0x18 + 12 * 3;
    EXPECT_EQ(-1, toe_nvm_read_dir_entry(host.ops(), 3, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("NVM read failed.", host.result());
    EXPECT_EQ(4u, host.last_error);

    Tcl_ResetResult(host.interp);
    host.fail_read_at = 0xFC;
    EXPECT_EQ(-1, toe_nvm_write_dir_entry(host.ops(), 0, 0x600, 0x40, 0, 0x30000000u, MCP));
    EXPECT_EQ("Update directory CRC failed.", host.result());
    EXPECT_EQ(21u, host.last_error);
}

TEST(Directory, RoomCheckIgnoresTheTypeBeingPlaced)
{
    // 0x600 fixed + 0x40 boot code + 0x800 MBA + 0x400 UMP in an NVRAM of 0x1400: 0x1C0 left.
    FakeHost host(with({img(0xF0000000u, 0x40), img(0x10000000u, 0x800), img(0x30000000u, 0x400)}, 0x1400));
    const HostOps ops = host.ops();
    EXPECT_EQ(1, toe_nvm_space_available(ops, 0x20000000u, 0x1C0));
    EXPECT_EQ(0, toe_nvm_space_available(ops, 0x20000000u, 0x1C4));
    EXPECT_EQ(1, toe_nvm_space_available(ops, 0x10000000u, 0x9C0)) << "the old MBA does not count";
    EXPECT_EQ(0, toe_nvm_space_available(ops, 0x10000000u, 0x9C4));
}

TEST(Directory, PackingAllocator)
{
    struct scenario {
        const char* what;
        std::vector<image> images;
        uint32_t type, length;
        int result;
        uint32_t offset;
        std::vector<std::pair<int, uint32_t>> entry_offsets;   // entry index -> offset afterwards
    };
    const scenario rows[] = {
        {"first gap that is large enough", {img(0x10000000u, 0x100, 0x600), img(0x30000000u, 0x100, 0x900)},
         0x20000000u, 0x1FC, 0, 0x700, {{0, 0x600}, {1, 0x900}}},
        {"gap too small: the next image moves down", {img(0x10000000u, 0x100, 0x600), img(0x30000000u, 0x100, 0x900)},
         0x20000000u, 0x2FC, 0, 0x800, {{0, 0x600}, {1, 0x700}}},
        {"the image of the same type is replaced", {img(0x10000000u, 0x100, 0x600), img(0x30000000u, 0x100, 0x900)},
         0x10000000u, 0x2FC, 0, 0x600, {{1, 0x900}}},
        {"tied images above the position: the gap below them is used", {img(0x10000000u, 0x100, 0x700), img(0x30000000u, 0x200, 0x700)},
         0x20000000u, 0xFC, 0, 0x600, {{0, 0x700}, {1, 0x700}}},
        {"tied images are never moved over each other", {img(0x10000000u, 0x100, 0x700), img(0x30000000u, 0x200, 0x700)},
         0x20000000u, 0x1FC, 1, 0, {{0, 0x700}, {1, 0x700}}},
        {"an image straddling the start is never overwritten", {img(0x10000000u, 0x200, 0x500)},
         0x20000000u, 0xFC, 1, 0, {}},
    };
    for (const scenario& s : rows) {
        FakeHost host(with(s.images, 0x2000));
        uint32_t offset = 0xDEAD;
        EXPECT_EQ(s.result, toe_nvm_alloc_space(host.ops(), s.type, s.length, &offset)) << s.what;
        if (s.result == 0) {
            EXPECT_EQ(s.offset, offset) << s.what;
        }
        for (auto [index, at] : s.entry_offsets)
            EXPECT_EQ(at, host.be32(0x1C + 12 * index)) << s.what;
        if (s.images.size() == 2 && s.images[0].at != s.images[1].at) {
            EXPECT_EQ("", verify_layout(host.nvram)) << s.what;
        }
    }
}

TEST(Directory, PackingMovesTheBootCodeAndStopsOnAFailedMove)
{
    adapter a = with({img(0x10000000u, 0x100, 0x600), img(0xF0000000u, 0x100, 0x900)}, 0x2000);
    {
        FakeHost host(a);
        uint32_t offset = 0;
        ASSERT_EQ(0, toe_nvm_alloc_space(host.ops(), 0x20000000u, 0x2FC, &offset));
        EXPECT_EQ(0x800u, offset);
        EXPECT_EQ(0x700u, host.be32(12)) << "bootstrap names the new place";
        EXPECT_EQ("", verify_layout(host.nvram));
    }
    {
        FakeHost host(a);
        const std::vector<uint8_t> before = host.nvram;
        host.fail_write_at = 0x700;
        uint32_t offset = 0;
        EXPECT_EQ(1, toe_nvm_alloc_space(host.ops(), 0x20000000u, 0x2FC, &offset));
        EXPECT_EQ(0x900u, host.be32(12)) << "a failed move leaves the record as it was";
        EXPECT_EQ(std::vector<uint8_t>(before.begin(), before.begin() + 0x100),
                  std::vector<uint8_t>(host.nvram.begin(), host.nvram.begin() + 0x100));
    }
}

TEST(Directory, ImageFileFits)
{
    // 0x600 + BC1 0x40 + MBA 0x800 in 0x1400: 0x5C0 bytes left.
    FakeHost host(with({img(0xF0000000u, 0x40), img(0x10000000u, 0x800)}, 0x1400));
    const HostOps ops = host.ops();
    const uint32_t bc2 = tag('\0', 'b', 'c', '2'), mba = tag('\0', 'm', 'b', 'a');
    struct {
        const char* what;
        bytes file;
        const char* option;
        std::vector<uint32_t> skip;
        int fits;
    } rows[] = {
        // One dword for the CRC word: 0x5BC data bytes take 0x5C0.
        {"raw file fills the room", bytes(0x5BC, 1), "-bc2", {}, 1},
        {"raw file one dword too big", bytes(0x5C0, 1), "-bc2", {}, 0},
        {"a wrapped MBA replaces the old one", wrapped_v2(mba, 0, bytes(0xD00, 1)), "-mba", {}, 1},
        {"two records overflow", [&] {
             bytes f = wrapped_v1(bc2, bytes(0x400, 1));
             const bytes g = wrapped_v2(mba, 0, bytes(0xA00, 1));
             f.insert(f.end(), g.begin(), g.end());
             return f;
         }(), "-mba", {}, 0},
        {"the skip list leaves a record out", [&] {
             bytes f = wrapped_v1(bc2, bytes(0x400, 1));
             const bytes g = wrapped_v2(mba, 0, bytes(0xA00, 1));
             f.insert(f.end(), g.begin(), g.end());
             return f;
         }(), "-mba", {bc2, 0}, 1},
        {"a cut-off record never fits", [&] {
             bytes f = wrapped_v2(mba, 0, bytes(0x10, 1));
             f.erase(f.end() - 4, f.end());
             return f;
         }(), "-mba", {}, 0},
    };
    for (auto& r : rows) {
        int fits = -1;
        const std::vector<uint32_t> skip = r.skip.empty() ? std::vector<uint32_t>{0} : r.skip;
        ASSERT_EQ(0, toe_nvm_image_file_fits(ops, r.file.data(), uint32_t(r.file.size()), r.option, skip.data(), &fits))
            << r.what;
        EXPECT_EQ(r.fits, fits) << r.what;
    }
    int fits = 0;
    const bytes raw(16, 1);
    EXPECT_EQ(1, toe_nvm_image_file_fits(ops, raw.data(), 16, "-nothing", nullptr, &fits));
}
