// Compaction moves images down to close gaps. When the gap below an image is smaller than the
// image, writing it straight to its lower place would overwrite the copy its directory entry (or
// the bootstrap) still names, and a power loss during that write would leave a listed, broken
// image; so would one while the extended directory is rewritten in place to relist a moved
// image. These tests cut the power at every write of a run and check that every image the
// adapter had is still listed and intact, at its old place or at its new one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fwupg/nvm/e123/alloc.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

constexpr uint32_t kImageStart = 3112, kExtDir = 780;
constexpr uint32_t kDirFirst = 0x14, kDirCrc = 0xFC, kBootstrapBytes = 20;

// A run of one programming call, as the tests replay it.
struct Run {
    const char* kind;     // image programmed
    const char* version;  // its new version
    uint32_t bytes;       // its size without the CRC
};

int program(const Run& run)
{
    auto img = testkit::stock_image(run.kind, run.version, run.bytes);
    const uint32_t r = row(run.kind);
    const bool main_directory = (g_image_table[r].dir_type & 0x00800003) == 0;
    if (main_directory)
        return common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), r, 1);
    return common_nvm_install_ext_image(img.data(), uint32_t(img.size()), r, 1, 0, 0, 0);
}

// The cut points of a complete run: the start, the middle and the last byte of every write.
// A cut tearing apart the one transfer that updates the directory (entry to CRC) or the bootstrap
// record leaves a stale CRC whatever the allocator does; those points are returned as windows.
struct CutPoint {
    uint64_t after;
    bool window;
};

std::vector<CutPoint> cut_points(const std::vector<std::pair<uint32_t, uint32_t>>& writes)
{
    struct Span {
        uint64_t from, to;
    };
    std::vector<Span> windows;
    uint64_t at = 0;
    for (const auto& [off, len] : writes) {
        if ((off == 0 && len == kBootstrapBytes) || (off >= kDirFirst && off < kDirCrc))
            windows.push_back({at, at + len});
        at += len;
    }
    std::vector<CutPoint> out;
    at = 0;
    for (const auto& [off, len] : writes) {
        for (uint64_t c : {at, at + len / 2, at + len - 1}) {
            bool window = false;
            for (const Span& w : windows)
                window = window || (c > w.from && c < w.to);
            out.push_back({c, window});
        }
        at += len;
    }
    out.push_back({at, false});
    return out;
}

// Every image the board was built with is listed and holds its original bytes; false (with the
// failure reported) otherwise.
bool images_intact(const Board& b, const kit::Report& r, const std::string& replaced)
{
    const auto& before = b.built.nvram;
    const auto& now = b.adapter->nvram;
    for (const auto& p : b.built.placed) {
        if (p.kind == replaced)
            continue;
        const kit::FoundImage* f = found(r, p.kind);
        if (!f) {
            ADD_FAILURE() << p.kind << " is no longer listed\n" << r.text();
            return false;
        }
        if (f->length != p.length || uint64_t(f->offset) + p.length > now.size() ||
            !std::equal(before.begin() + p.offset, before.begin() + p.offset + p.length, now.begin() + f->offset)) {
            ADD_FAILURE() << p.kind << " listed at 0x" << std::hex << f->offset << " is not the image it was\n"
                          << r.text();
            return false;
        }
    }
    if (!r.ok()) {
        ADD_FAILURE() << r.text();
        return false;
    }
    return true;
}

// A board, the request run on it and the image compaction has to move down.
struct Scenario {
    const char* name;
    uint32_t size;
    std::vector<kit::ImageDef> images;
    Run run;
    const char* mover;
    uint32_t running_swim;  // word the running firmware publishes; 0 for none
};

Board make_board(const Scenario& sc)
{
    auto s = board_def(kit::Chip::E3, sc.size);
    s.images = sc.images;
    Board b(s);
    if (sc.running_swim) {
        b.a().regs[0xA2B4] = 0x10000;
        b.a().regs[0x10008] = sc.running_swim;
    }
    b.a().reset_counters();
    take_debug_text();
    return b;
}

// Runs the request once to learn its writes, then again with the power cut at each point.
void cut_everywhere(const Scenario& sc)
{
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    uint64_t total = 0;
    {
        Board b = make_board(sc);
        ASSERT_EQ(program(sc.run), 0) << take_debug_text();
        writes = b.a().writes;
        total = b.a().bytes_written;
        auto r = b.verify();
        ASSERT_TRUE(images_intact(b, r, sc.run.kind));
        ASSERT_TRUE(found(r, sc.run.kind));
        ASSERT_LT(found(r, sc.mover)->offset, b.placed(sc.mover).offset) << sc.mover << " did not move";
    }
    for (const CutPoint& c : cut_points(writes)) {
        SCOPED_TRACE("power cut after " + std::to_string(c.after) + " bytes");
        Board b = make_board(sc);
        b.a().cut_power_after(c.after);
        const int rc = program(sc.run);
        b.a().power_on();
        take_debug_text();
        if (c.window)
            continue;
        EXPECT_EQ(rc == 0, c.after >= total);
        if (!images_intact(b, b.verify(), sc.run.kind))
            return;
    }
}

testkit::Bytes stock(const char* kind, const char* version, uint32_t bytes)
{
    return testkit::stock_image(kind, version, bytes);
}

std::vector<Scenario> scenarios()
{
    constexpr uint32_t kSize = 0x4000, kTail = 0x1000;
    // [IPMI][0x400 free][mover 0x800][ext dir][0x1000 free] for an image of the extended directory.
    const uint32_t lead = kSize - kImageStart - 0x400 - 0x800 - kExtDir - kTail;
    auto ext_mover = [&](const char* kind, const char* version, uint32_t gap = 0x400) {
        return std::vector<kit::ImageDef>{image_def("IPMI", stock("IPMI", "1.0.0", lead - 4 - (gap - 0x400))),
                                           image_def(kind, stock(kind, version, 0x7FC), gap)};
    };
    // Needs 0x1104 bytes: more than the free tail, less than all the free room.
    const Run l2c{"L2C", "1.0.0", 0x10FC};
    return {
        // [IPMI][0x800][L2T 0x1000][0x800][CCM][NIC_PRTION][ext dir][0x16CC free]
        {"main directory image",
         0x6000,
         {image_def("IPMI", stock("IPMI", "1.0.0", 0xFFC)), image_def("L2T", stock("L2T", "1.2.3", 0xFFC), 0x800),
          image_def("CCM", stock("CCM", "1.0.2", 0x7FC), 0x800),
          image_def("NIC_PRTION", stock("NIC_PRTION", "1.0.0", 0x1FC))},
         {"L2C", "1.0.0", 0x17FC},
         "L2T",
         0},
        {"extended directory image", kSize, ext_mover("SWIM2", "7.10.3.0"), l2c, "SWIM2", 0},
        // Moved by its whole length: only its listing changes under the power cut.
        {"extended directory image, long gap", kSize, ext_mover("CCM", "1.0.2", 0x800), l2c, "CCM", 0},
        {"active SWIM shifted", kSize, ext_mover("SWIM1", "7.10.3.0"), l2c, "SWIM1", 0x070A0300},
        {"MFW1 named by the bootstrap", kSize, ext_mover("MFW1", "7.10.3"), l2c, "MFW1", 0},
        // [0x400 free][BC1 0x800][IPMI 0x400][0x1000 free]
        {"bootcode",
         kImageStart + 0x400 + 0x800 + 0x400 + kTail,
         {image_def("BC1", stock("BC1", "7.10.3", 0x7FC), 0x400), image_def("IPMI", stock("IPMI", "1.0.0", 0x3FC))},
         l2c,
         "BC1",
         0},
    };
}

TEST(AllocOverlap, PowerCutAtAnyWriteOfACompactionLeavesEveryImageListedAndIntact)
{
    for (const Scenario& sc : scenarios()) {
        SCOPED_TRACE(sc.name);
        cut_everywhere(sc);
    }
}

// [IPMI][0x800 free][CCM 0x800][ext dir][0x300 free]: CCM could move down by its whole length,
// but relisting it needs a new copy of the extended directory and no free area holds one beside
// CCM's new place; nor is there room for a scratch copy of CCM once the directory has moved. The
// request is refused before any write, where rewriting the directory in place would have risked
// every image it lists.
TEST(AllocOverlap, NoRoomForANewDirectoryCopyRefusesBeforeAnyWrite)
{
    constexpr uint32_t kSize = 0x3000, kTail = 0x300;
    auto s = board_def(kit::Chip::E3, kSize);
    const uint32_t lead = kSize - kImageStart - 0x800 - 0x800 - kExtDir - kTail;
    s.images.push_back(image_def("IPMI", stock("IPMI", "1.0.0", lead - 4)));
    s.images.push_back(image_def("CCM", stock("CCM", "1.0.2", 0x7FC), 0x800));
    Board b(s);
    ASSERT_EQ(b.built.ext_dir_offset.value() + kExtDir + kTail, kSize);
    const auto before = b.a().nvram;
    take_debug_text();
    EXPECT_EQ(program({"L2C", "1.0.0", 0x8FC}), -1);
    EXPECT_NE(take_debug_text().find("Not enough space in NVM.\n"), std::string::npos);
    EXPECT_TRUE(b.a().nvram == before) << "bytes were written";
}

}  // namespace
