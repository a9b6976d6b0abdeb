// The copy in force of an image the adapter cannot run without (the SWIM the running management
// firmware executes, the image the bootstrap names) is never written over by its successor: a
// power loss in the middle of that write would leave the adapter with neither copy.
#include <gtest/gtest.h>

#include <string>

#include "fwupg/nvm/e123/alloc.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

constexpr uint32_t kSize = 0x4000, kImageStart = 3112, kExtDir = 780;
constexpr uint32_t kSwimWord = 0x070A0300;  // what the running firmware publishes for SWIM1 7.10.3.0

std::string text_at(Board& b, const kit::FoundImage& f)
{
    testkit::Bytes host = testkit::get_host_view(b.a().nvram, f.offset, 32);
    return testkit::get_nvram_text(host, 16, 16);
}

void run_firmware_with_swim_word(Board& b, uint32_t word)
{
    b.a().regs[0xA2B4] = 0x10000;
    b.a().regs[0x10008] = word;
}

// [IPMI][SWIM1][ext dir][0x400 free]: the only room for a new SWIM1 is the old one's place. While
// the running firmware executes that SWIM1, the install is refused before any write, even with
// the power cut half-way through what would have been the new copy; the old SWIM1 stays intact.
TEST(InForce, ActiveSwimIsNotOverwrittenByItsSuccessor)
{
    auto s = board_def(kit::Chip::E3, kSize);
    const uint32_t ipmi = kSize - kImageStart - 0x800 - kExtDir - 0x400;
    s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", ipmi - 4)));
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC)));
    Board b(s);
    ASSERT_EQ(b.built.ext_dir_offset.value() + kExtDir + 0x400, kSize);
    run_firmware_with_swim_word(b, kSwimWord);
    const auto before = b.a().nvram;
    take_debug_text();

    b.a().cut_power_after(0x400);
    auto img = testkit::stock_image("SWIM1", "7.10.4.0", 0x7FC);
    EXPECT_EQ(common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("SWIM1"), 1, 0, 0, 0), -1);
    b.a().power_on();

    EXPECT_NE(take_debug_text().find("Not enough space in NVM.\n"), std::string::npos);
    auto r = b.verify();
    EXPECT_TRUE(r.ok()) << r.text();
    ASSERT_TRUE(found(r, "SWIM1"));
    EXPECT_EQ(found(r, "SWIM1")->offset, b.placed("SWIM1").offset);
    EXPECT_EQ(text_at(b, *found(r, "SWIM1")), "SWIM1 7.10.3.0");
    EXPECT_TRUE(b.a().nvram == before) << "bytes were written";
}

// Where else the new SWIM1 may go. Room made by moving another image down is used and the old
// SWIM1 is left where it is; a SWIM1 that the running firmware does not execute is no copy in
// force and may still be replaced in its own place. An L2T as long as the gap below it cannot move
// down without writing over its own listed copy, and with no free area for a scratch copy the
// install is refused before any write.
TEST(InForce, SuccessorOfTheActiveSwimGoesElsewhereOrTakesAnIdleCopysPlace)
{
    const struct {
        const char* name;
        uint32_t l2t;       // [IPMI][0x400][L2T][0x400][SWIM1]... when set: its size with the CRC
        uint32_t running;   // word the firmware publishes
        bool in_old_place;  // the new SWIM1 lands on the old one's offset
        bool fits;
    } cases[] = {
        {"compaction makes room", 0x400, kSwimWord, false, true},
        {"compaction would overlap", 0x800, kSwimWord, false, false},
        {"swim not running", 0, 0x01020304, true, true},
        {"no firmware running", 0, 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = board_def(kit::Chip::E3, kSize);
        const uint32_t lead = kSize - kImageStart - 0x800 - kExtDir - 0x400 - (c.l2t ? c.l2t + 0x800 : 0);
        s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", lead - 4)));
        if (c.l2t) {
            s.images.push_back(image_def("L2T", testkit::stock_image("L2T", "1.2.3", c.l2t - 4), 0x400));
            s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC), 0x400));
        } else {
            s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC)));
        }
        Board b(s);
        ASSERT_EQ(b.built.ext_dir_offset.value() + kExtDir + 0x400, kSize);
        run_firmware_with_swim_word(b, c.running);
        const auto before = b.a().nvram;
        take_debug_text();

        auto img = testkit::stock_image("SWIM1", "7.10.4.0", 0x7FC);
        const int rc = common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row("SWIM1"), 1, 0, 0, 0);
        if (!c.fits) {
            EXPECT_EQ(rc, -1);
            EXPECT_NE(take_debug_text().find("Not enough space in NVM.\n"), std::string::npos);
            EXPECT_TRUE(b.a().nvram == before) << "bytes were written";
            continue;
        }
        ASSERT_EQ(rc, 0);
        auto r = b.verify();
        EXPECT_TRUE(r.ok()) << r.text();
        ASSERT_TRUE(found(r, "SWIM1"));
        EXPECT_EQ(text_at(b, *found(r, "SWIM1")), "SWIM1 7.10.4.0");
        EXPECT_EQ(found(r, "SWIM1")->offset == b.placed("SWIM1").offset, c.in_old_place);
        if (c.l2t) {
            ASSERT_TRUE(found(r, "L2T"));  // moved down with its CRC intact
            EXPECT_LT(found(r, "L2T")->offset, b.placed("L2T").offset);
        }
    }
}

// The image the bootstrap names is what the chip boots. A new bootcode, or a new MFW1 while the
// bootstrap names MFW1, goes elsewhere when there is room; with the old copy's place as the only
// room it is refused and the old copy keeps booting, whatever point the power is cut at.
TEST(InForce, BootImageIsNotOverwrittenByItsSuccessor)
{
    const struct {
        const char* kind;
        const char* old_version;
        const char* new_version;
        bool room_elsewhere;
    } cases[] = {
        {"BC1", "7.10.3", "7.10.4", true},
        {"BC1", "7.10.3", "7.10.4", false},
        {"MFW1", "7.10.3", "7.10.4", true},
        {"MFW1", "7.10.3", "7.10.4", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + (c.room_elsewhere ? " with room" : " full"));
        const bool ext = std::string(c.kind) == "MFW1";
        auto s = board_def(kit::Chip::E3, kSize);
        s.images.push_back(image_def(c.kind, testkit::stock_image(c.kind, c.old_version, 0x7FC)));
        // Free room after the images: 0x1000 bytes, or 0x400 (too little for the new copy).
        const uint32_t tail = c.room_elsewhere ? 0x1000 : 0x400;
        const uint32_t ext_bytes = ext ? kExtDir : 0;
        const uint32_t ipmi = kSize - kImageStart - 0x800 - ext_bytes - tail;
        s.images.push_back(image_def("IPMI", testkit::stock_image("IPMI", "1.0.0", ipmi - 4)));
        Board b(s);
        const uint32_t old_offset = b.placed(c.kind).offset;
        ASSERT_EQ(old_offset, kImageStart);
        const auto before = b.a().nvram;
        take_debug_text();

        auto img = testkit::stock_image(c.kind, c.new_version, 0x7FC);
        b.a().cut_power_after(0x200);
        int rc = ext ? common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row(c.kind), 1, 0, 0, 0)
                     : common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row(c.kind), 1);
        b.a().power_on();
        EXPECT_EQ(rc, -1);
        auto r = b.verify();
        EXPECT_TRUE(r.ok()) << r.text();
        const kit::FoundImage* boot = nullptr;
        for (const auto& f : r.images)
            if (f.where == "bootstrap")
                boot = &f;
        ASSERT_TRUE(boot);
        EXPECT_EQ(boot->offset, old_offset);
        EXPECT_EQ(text_at(b, *boot), std::string(c.kind) + " " + c.old_version);
        if (!c.room_elsewhere) {
            EXPECT_NE(take_debug_text().find("Not enough space in NVM.\n"), std::string::npos);
            EXPECT_TRUE(b.a().nvram == before) << "bytes were written";
            continue;
        }
        // Without the cut the new copy is programmed away from the old one and booted.
        Board fresh(s);
        rc = ext ? common_nvm_install_ext_image(img.data(), uint32_t(img.size()), row(c.kind), 1, 0, 0, 0)
                 : common_nvm_prog_image_by_idx(img.data(), uint32_t(img.size()), row(c.kind), 1);
        ASSERT_EQ(rc, 0);
        r = fresh.verify();
        EXPECT_TRUE(r.ok()) << r.text();
        for (const auto& f : r.images)
            if (f.where == "bootstrap") {
                EXPECT_NE(f.offset, old_offset);
                EXPECT_EQ(text_at(fresh, f), std::string(c.kind) + " " + c.new_version);
            }
    }
}

}  // namespace
