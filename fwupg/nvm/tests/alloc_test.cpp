#include <gtest/gtest.h>

#include <string>

#include "fwupg/nvm/e123/alloc.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

// The NVRAM holds the image of `kind` with this version text.
std::string version_in_nvram(Board& b, const char* kind)
{
    auto r = b.verify();
    const kit::FoundImage* f = found(r, kind);
    if (!f)
        return "";
    testkit::Bytes host = testkit::get_host_view(b.a().nvram, f->offset, 32);
    return testkit::get_nvram_text(host, 16, 16);
}

TEST(ProgImage, NewVersionIsPlacedInFreeSpaceAndListed)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", 0x2000)));
    Board b(s);
    auto img = testkit::stock_image("IPMI", "1.0.1", 0x2000);
    ASSERT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("IPMI"), 1), 0);
    EXPECT_NE(take_debug_text().find("Upgrading IPMI image: from ver IPMI 1.0.0 to ver IPMI 1.0.1\n"),
              std::string::npos);
    EXPECT_NVRAM_VALID(b);
    EXPECT_EQ(version_in_nvram(b, "IPMI"), "IPMI 1.0.1");
    // The old copy was left untouched: the new one went elsewhere.
    EXPECT_NE(found(b.verify(), "IPMI")->offset, b.placed("IPMI").offset);
}

TEST(ProgImage, RefusedVersionSetsError35AndWritesNothing)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.1", 0x2000)));
    Board b(s);
    auto before = b.a().nvram;
    auto img = testkit::stock_image("IPMI", "1.0.1", 0x2000);
    EXPECT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("IPMI"), 1), -1);
    EXPECT_EQ(b.a().last_errors, std::vector<uint32_t>{35});
    EXPECT_EQ(b.a().nvram, before);
    // Forced: accepted.
    ASSERT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("IPMI"), 0), 0);
    EXPECT_NE(take_debug_text().find("Forced upgrading IPMI image"), std::string::npos);
    EXPECT_NVRAM_VALID(b);
}

TEST(ProgImage, Bc1RewritesTheBootstrap)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("BC1", testkit::stock_image("BC1", "7.10.3", 0x1000)));
    Board b(s);
    auto img = testkit::stock_image("BC1", "7.10.4", 0x1800);
    ASSERT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("BC1"), 1), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    const kit::FoundImage* bc = found(r, "BC1");
    ASSERT_TRUE(bc);
    EXPECT_EQ(bc->length, 0x1804u);
    EXPECT_EQ(version_in_nvram(b, "BC1"), "BC1 7.10.4");
}

TEST(ProgImage, MbaGetsTheBoardIdsAndItsRomSizeInEveryPort)
{
    auto s = board_def(kit::Chip::E3);
    Board b(s);
    auto rom = testkit::mba_rom(testkit::mba_stock(0x164E, "7.4.1"));  // 2 images of 1 KiB
    ASSERT_EQ(common_nvm_prog_image_by_idx(rom.data(), uint32_t(rom.size()), row("MBA"), 1), 0);
    EXPECT_NVRAM_VALID(b);
    auto r = b.verify();
    const kit::FoundImage* mba = found(r, "MBA");
    ASSERT_TRUE(mba);
    testkit::Bytes host = testkit::get_host_view(b.a().nvram, mba->offset, mba->length - 4);
    uint16_t pcir = testkit::le16_at(host, 0x18);
    EXPECT_EQ(testkit::le16_at(host, pcir + 6), 0x168E);  // patched to the board's device id
    // The smallest power of two holding the ROM, less 10, in bits 12-19 of each port's MBA word.
    uint32_t e = 10;
    while ((1u << e) < rom.size())
        ++e;
    for (uint32_t port_feat : {1104u + 4 + 8, 2872u + 4 + 8})
        EXPECT_EQ((b.a().be32(port_feat) >> 12) & 0xFF, e - 10) << port_feat;
    EXPECT_EQ(b.a().toe("FUNC_NUM"), "0");
}

TEST(ProgImage, OversizedMbaIsRefusedBeforeAnyWrite)
{
    auto s = board_def(kit::Chip::E3, 0x1000000);
    Board b(s);
    std::vector<uint8_t> big((1u << 23) + 512, 0);
    auto before_writes = b.a().bytes_written;
    EXPECT_EQ(common_nvm_prog_image_by_idx(big.data(), uint32_t(big.size()), row("MBA"), 0), -1);
    EXPECT_EQ(b.a().bytes_written, before_writes);
}

// A linked firmware file is stored as the span from its start address to the end of its highest
// section: sections at their load addresses, gaps zero, sections below the start or without a
// file offset left out. A section reaching past the file is refused before any write.
TEST(ProgImage, LinkedFileIsStoredAsItsLoadSpan)
{
    auto put = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = uint8_t(v >> (8 * i));
    };
    std::vector<uint8_t> file(0xC0, 0);
    for (size_t i = 0x60; i < file.size(); ++i)
        file[i] = uint8_t(i * 7 + 1);
    put(file, 0, 0x45901011);
    const uint32_t sections[6][3] = {
        {0x60, 0x10000, 0x20},  // first section: its load address is the start
        {0x80, 0x10040, 0x10},  // after a 0x20-byte gap
        {0x90, 0x0F000, 0x10},  // below the start: left out
        {0, 0x10100, 0x10},     // no file offset: left out
        {0, 0, 0},
        {0xA0, 0x10200, 0x10},  // sixth: used only when the word at byte 4 is set
    };
    for (int k = 0; k < 6; ++k)
        for (int w = 0; w < 3; ++w)
            put(file, 16 + 12 * k + 4 * w, sections[k][w]);
    std::vector<uint8_t> expect(0x50, 0);
    std::copy(file.begin() + 0x60, file.begin() + 0x80, expect.begin());
    std::copy(file.begin() + 0x80, file.begin() + 0x90, expect.begin() + 0x40);

    {
        Board b(board_def(kit::Chip::E3));
        ASSERT_EQ(common_nvm_prog_image_by_idx(file.data(), uint32_t(file.size()), row("IPMI"), 0), 0);
        auto r = b.verify();
        EXPECT_TRUE(r.ok()) << r.text();
        const kit::FoundImage* f = found(r, "IPMI");
        ASSERT_TRUE(f);
        EXPECT_EQ(f->length, 0x54u);
        testkit::Bytes host = testkit::get_host_view(b.a().nvram, f->offset, 0x50);
        EXPECT_EQ(std::vector<uint8_t>(host.begin(), host.end()), expect);
    }
    {
        auto bad = file;
        put(bad, 16 + 12 + 8, 0x100);  // the second section now runs past the file
        Board b(board_def(kit::Chip::E3));
        const auto before = b.a().nvram;
        EXPECT_EQ(common_nvm_prog_image_by_idx(bad.data(), uint32_t(bad.size()), row("IPMI"), 0), -1);
        EXPECT_EQ(b.a().nvram, before);
    }
}

TEST(Alloc, CompactionThatWouldOverwriteAListedCopyIsRefused)
{
    // [IPMI 0x1000][gap 0x800][L2T 0x1000][gap 0x800][CCM][ext dir]... the new 0x1400-byte image
    // fits only once L2T moves down into the first gap. That gap is half L2T's size: the move would
    // write over the copy L2T's entry names, and no free area holds a whole scratch copy of L2T.
    // The request is refused before any write.
    auto s = board_def(kit::Chip::E3, 0x5000);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", 0xFFC)));
    s.images.push_back(image_def("L2T", testkit::stock_image("L2T", "1.2.3", 0xFFC), 0x800));
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2", 0x7FC), 0x800));
    s.images.push_back(image_def("NIC_PRTION", testkit::stock_image("NIC_PRTION", "1.0.0")));
    Board b(s);
    const uint32_t gap_end = 0x5000 - (b.built.ext_dir_offset.value() + 780);
    ASSERT_LT(gap_end, 0x1404u);  // no room at the end
    const auto before = b.a().nvram;
    const uint32_t moves = common_nvm_alloc_moves();
    take_debug_text();

    auto img = testkit::stock_image("L2C", "1.0.0", 0x13FC);
    EXPECT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("L2C"), 1), -1);
    EXPECT_NE(take_debug_text().find("Not enough space in NVM.\n"), std::string::npos);
    EXPECT_TRUE(b.a().nvram == before) << "bytes were written";
    EXPECT_EQ(common_nvm_alloc_moves(), moves);
}

TEST(Alloc, PinnedBdnAndActiveSwimStayWhereTheyAre)
{
    auto s = board_def(kit::Chip::E3, 0x8000);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", 0x7FC)));
    s.images.push_back(image_def("BDN", testkit::stock_image("BDN", "", 0x7FC), 0x800));
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC), 0x800));
    s.images.push_back(image_def("L2T", testkit::stock_image("L2T", "1.2.3", 0x7FC), 0x800));
    Board b(s);
    // The running firmware publishes the SWIM1 word at shared memory + 8.
    b.a().regs[0xA2B4] = 0x10000;
    b.a().regs[0x10008] = 0x070A0300;
    const uint32_t bdn = b.placed("BDN").offset, swim = b.placed("SWIM1").offset;

    auto img = testkit::stock_image("L2C", "1.0.0", 0xBFC);
    int rc = common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("L2C"), 1);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(found(r, "BDN")->offset, bdn);
    EXPECT_EQ(found(r, "SWIM1")->offset, swim);
    if (rc == 0) {
        EXPECT_TRUE(found(r, "L2C"));
    }
}

TEST(Alloc, NotEnoughSpaceLeavesTheOldImageAndAValidNvram)
{
    auto s = board_def(kit::Chip::E3, 0x8000);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", 0x2000)));
    s.images.push_back(image_def("CCM", testkit::stock_image("CCM", "1.0.2", 0x800)));
    Board b(s);
    auto before = b.a().nvram;
    auto img = testkit::stock_image("IPMI", "1.0.1", 0x7000);
    EXPECT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("IPMI"), 1), -1);
    EXPECT_NE(take_debug_text().find("Not enough space in NVM.\n"), std::string::npos);
    EXPECT_EQ(b.a().nvram, before);
}

TEST(Alloc, ReplacementReusesTheOldSpaceOnlyWhenNothingElseFits)
{
    auto s = board_def(kit::Chip::E3, 0x5800);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", 0x2FFC)));
    Board b(s);
    // 0x5800 - 3112 - 0x3000 leaves less than 0x3000: the new copy must take the old one's place.
    auto img = testkit::stock_image("IPMI", "1.0.1", 0x2FFC);
    ASSERT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("IPMI"), 1), 0);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(found(r, "IPMI")->offset, b.placed("IPMI").offset);
    EXPECT_EQ(version_in_nvram(b, "IPMI"), "IPMI 1.0.1");
}

// [IPMI][gap 0x800][SWIM1][ext dir][0x600 free]: a 0xC00-byte image fits only when SWIM1 moves
// down. When SWIM1 is the image the running firmware executes, moving it needs a reboot, and
// the operator is told so; a SWIM nobody runs moves silently.
TEST(Alloc, ActiveSwimIsShiftedOnlyWhenNothingElseMakesRoom)
{
    const uint32_t size = 0x4000, image_start = 3112;
    const uint32_t ipmi = size - image_start - 0x800 - 0x800 - 780 - 0x600;
    auto s = board_def(kit::Chip::E3, size);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", ipmi - 4)));
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC), 0x800));
    const struct {
        uint32_t running;
        bool warned;
    } cases[] = {{0x070A0300, true}, {0x01020304, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.running);
        Board b(s);
        ASSERT_EQ(b.built.ext_dir_offset.value() + 780 + 0x600, size);
        b.a().regs[0xA2B4] = 0x10000;
        b.a().regs[0x10008] = c.running;
        take_debug_text();
        auto img = testkit::stock_image("L2C", "1.0.0", 0xBFC);
        ASSERT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("L2C"), 1), 0);
        const bool warned = take_debug_text().find("WARNING: Active SWIM needs to be shifted! Reboot required after "
                                                   "flash!\n") != std::string::npos;
        EXPECT_EQ(warned, c.warned);
        auto r = b.verify();
        EXPECT_TRUE(r.ok()) << r.text();
        ASSERT_TRUE(found(r, "SWIM1") && found(r, "L2C"));
        EXPECT_EQ(found(r, "SWIM1")->offset, b.placed("SWIM1").offset - 0x800);
        EXPECT_EQ(version_in_nvram(b, "SWIM1"), "SWIM1 7.10.3.0");
    }
}

// [IPMI][0x800 free][BDN][0x800 free][SWIM1 active][ext dir][0x100 free]: the free bytes add up
// to a 0xFFC-byte image, but with BDN pinned no shift of the SWIM frees that much in one place.
// Nothing moves and no shift is announced.
TEST(Alloc, HopelessRequestMovesNothing)
{
    const uint32_t size = 0x4000, image_start = 3112;
    const uint32_t ipmi = size - image_start - 0x800 - 0x800 - 0x800 - 0x800 - 780 - 0x100;
    auto s = board_def(kit::Chip::E3, size);
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", ipmi - 4)));
    s.images.push_back(image_def("BDN", testkit::stock_image("BDN", "", 0x7FC), 0x800));
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC), 0x800));
    Board b(s);
    ASSERT_EQ(b.built.ext_dir_offset.value() + 780 + 0x100, size);
    b.a().regs[0xA2B4] = 0x10000;
    b.a().regs[0x10008] = 0x070A0300;
    const auto before = b.a().nvram;
    take_debug_text();
    auto img = testkit::stock_image("L2C", "1.0.0", 0xFF8);
    EXPECT_EQ(common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row("L2C"), 1), -1);
    const std::string text = take_debug_text();
    EXPECT_EQ(text.find("WARNING"), std::string::npos);
    EXPECT_NE(text.find("Not enough space in NVM.\n"), std::string::npos);
    EXPECT_EQ(b.a().nvram, before);
}

// [IPMI][0x400 free][SWIM1][SWIM1B][ext dir][0x400 free]: a new SWIM1B has no free room (the 0x400 bytes
// take the next copy of the extended directory). When the running firmware
// uses set 1, the old SWIM1B's place is taken over and nothing moves. When it uses neither set,
// SWIM1 cannot move down (its gap is half its size, so the move would write over its own listed
// copy) and the old SWIM1B's place, the copy being replaced, is taken over all the same.
TEST(Alloc, SwimOfTheIdleSetReusesItsOldPlace)
{
    const uint32_t size = 0x4000, image_start = 3112;
    auto s = board_def(kit::Chip::E3, size);
    const uint32_t lead = size - image_start - 0x400 - 0x800 - 0x800 - 780 - 0x400;
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", lead - 4)));
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC), 0x400));
    s.images.push_back(image_def("SWIM1B", testkit::stock_image("SWIM1B", "7.10.2.0", 0x7FC)));
    const struct {
        uint32_t running;
        bool reused;
    } cases[] = {{0x070A0300, true}, {0x01020304, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.running);
        Board b(s);
        ASSERT_EQ(b.built.ext_dir_offset.value() + 780 + 0x400, size);
        b.a().regs[0xA2B4] = 0x10000;
        b.a().regs[0x10008] = c.running;
        const uint32_t moves = common_nvm_alloc_moves();
        auto img = testkit::stock_image("SWIM1B", "7.10.4.0", 0x7FC);
        ASSERT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("SWIM1B"), 1, 0, 0, 0), 0);
        auto r = b.verify();
        EXPECT_TRUE(r.ok()) << r.text();
        EXPECT_EQ(version_in_nvram(b, "SWIM1B"), "SWIM1B 7.10.4.0");
        EXPECT_EQ(version_in_nvram(b, "SWIM1"), "SWIM1 7.10.3.0");
        EXPECT_EQ(found(r, "SWIM1")->offset == b.placed("SWIM1").offset, c.reused);
        EXPECT_EQ(found(r, "SWIM1B")->offset == b.placed("SWIM1B").offset, c.reused);
        EXPECT_EQ(common_nvm_alloc_moves() == moves, c.reused);
    }
}

// Power lost after k bytes of an upgrade: afterwards the adapter holds the old version or the new
// one, every CRC valid, and the result says which. The directory entry and the directory CRC go in
// one transfer, so a cut between any two writes leaves a valid directory; only a cut tearing that
// one transfer apart (a few bytes of the entry written, the CRC not) leaves it stale.
struct PowerCutCase {
    const char* what;
    std::vector<kit::ImageDef> images;
    const char* kind;
    testkit::Bytes image;
    int (*program)(const testkit::Bytes& image, uint32_t row);
    const char* old_version;
    const char* new_version;
};

void expect_old_or_new_at_every_boundary(const PowerCutCase& pc)
{
    auto s = board_def(kit::Chip::E3);
    s.images = pc.images;
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    uint32_t first_change = 0;  // the first directory byte the upgrade changes
    {
        Board b(s);
        ASSERT_EQ(pc.program(pc.image, row(pc.kind)), 0);
        writes = b.a().writes;
        first_change = writes.back().first;
        while (first_change < 0x100 && b.a().nvram[first_change] == b.built.nvram[first_change])
            ++first_change;
    }
    ASSERT_FALSE(writes.empty());
    ASSERT_EQ(writes.back().first + writes.back().second, 0x100u) << "the directory is written last, to its end";
    struct Cut {
        uint64_t after;
        const char* expect;  // "old", "new" or "torn"
    };
    std::vector<Cut> cuts{{1, "old"}};
    uint64_t at = 0;
    for (const auto& [offset, length] : writes) {
        cuts.push_back({at, "old"});
        at += length;
    }
    // Just past the first byte of the directory that changes: the entry half written.
    ASSERT_LT(first_change, 0xFCu);
    cuts.push_back({at - writes.back().second + (first_change - writes.back().first) + 1, "torn"});
    cuts.push_back({at, "new"});
    for (const Cut& c : cuts) {
        SCOPED_TRACE("power cut after " + std::to_string(c.after) + " bytes");
        Board b(s);
        b.a().cut_power_after(c.after);
        const int rc = pc.program(pc.image, row(pc.kind));
        b.a().power_on();
        take_debug_text();
        auto r = b.verify();
        if (std::string(c.expect) == "torn") {
            EXPECT_EQ(rc, -1);
            EXPECT_FALSE(r.ok());
            continue;
        }
        EXPECT_TRUE(r.ok()) << r.text();
        const bool fresh = std::string(c.expect) == "new";
        EXPECT_EQ(rc, fresh ? 0 : -1);
        EXPECT_EQ(version_in_nvram(b, pc.kind), fresh ? pc.new_version : pc.old_version);
    }
}

TEST(PowerCut, UpgradeLeavesOldOrNewWhereverItStops)
{
    const PowerCutCase cases[] = {
        {"main directory image",
         {image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", 0x1000))},
         "IPMI",
         testkit::stock_image("IPMI", "1.0.1", 0x1000),
         [](const testkit::Bytes& img, uint32_t r) {
             return common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), r, 1);
         },
         "IPMI 1.0.0",
         "IPMI 1.0.1"},
        {"extended directory image",
         {image_def("MFW2", testkit::stock_image("MFW2", "7.10.3", 0x1000)),
          image_def("CCM", testkit::stock_image("CCM", "1.0.2"))},
         "MFW2",
         testkit::stock_image("MFW2", "7.10.4", 0x1000),
         [](const testkit::Bytes& img, uint32_t r) {
             return common_nvm_install_ext_image(img.data(), uint32_t(img.size()), r, 1, 0, 0, 0);
         },
         "MFW2 7.10.3",
         "MFW2 7.10.4"},
    };
    for (const PowerCutCase& pc : cases) {
        SCOPED_TRACE(pc.what);
        expect_old_or_new_at_every_boundary(pc);
    }
}

}  // namespace
