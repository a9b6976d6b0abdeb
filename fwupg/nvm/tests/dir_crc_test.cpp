// "dir", "crc" and "usrblk" on a test-kit image: listings written out by hand from the kit's
// layout, one corrupted region at a time, the CRC fix, the blank VPD fill and the user block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/listing.h"
#include "kit_board.h"
#include "testkit/bytes.h"
#include "testkit/e1e3_types.h"
#include "testkit/images.h"

namespace fwupg::nvm::test {
namespace {

using testkit::Bytes;

std::string f(const char* fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

kit::NvramDef listed_def()
{
    kit::NvramDef s = kit_board_def();
    s.images.push_back(kit_image("L2T", testkit::stock_image("L2T", "7.2.5")));
    s.images.push_back(kit_image("NCSI_CMN", testkit::stock_image("NCSI_CMN", "1.0.7")));
    s.images.push_back(kit_image("USR_BLK", testkit::stock_image("USR_BLK", "1.2.3", 64)));
    return s;
}

const kit::Placed& placed(const KitBoard& b, const std::string& kind)
{
    for (const auto& p : b.built.placed)
        if (p.kind == kind)
            return p;
    throw std::runtime_error("not placed: " + kind);
}

const char* proc_name(const std::string& kind)
{
    static const char* const names[] = {"NONE", "HOST", "MCP", "TSTORM", "CSTORM", "XSTORM", "USTORM", "WC", "PCIEuc", "HOSTBCV"};
    return names[(kit::kind_by_name(kind)->processor >> 24) & 0xF];
}

TEST(Dir, ListingIsByteExact)
{
    KitBoard b(listed_def());
    take_debug_text();
    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir"), TCL_OK) << b.result();
    std::string want = std::string(79, '-') + "\n";
    want += f("%10s  %10s  %10s  %10s  %6s  %18s\n", "Image", "SRAM Addr", "SRAM Start Addr", "NVM Offset", "Byte Cnt",
              "Version");
    want += std::string(77, '-') + "\n";
    struct Row {
        const char* kind;
        const char* label;
        const char* version;
    } rows[] = {  // in the order of the image table
        {"NCSI_CMN", "NCSI", "NCSIc 1.0.7"}, {"L2T", "L2T", "L2T 7.2.5"}, {"USR_BLK", "USR_BLK", "USR_BLK 1.2.3"}};
    for (const Row& r : rows) {
        const auto& p = placed(b, r.kind);
        want += f("%10s  0x%08X  0x%08X  0x%08X  %6s  %18s\n", r.label, kit::default_sram(*kit::kind_by_name(r.kind)),
                  p.offset, p.length, proc_name(r.kind), r.version);
    }
    EXPECT_EQ(take_debug_text(), want);
}

TEST(Dir, ShowsAndDeletesOneEntry)
{
    KitBoard b(listed_def());
    take_debug_text();
    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir l2"), TCL_OK);
    const auto& l2 = b.built.placed[0];
    EXPECT_EQ(take_debug_text(), f("L2T 0x%X 0x%X 0x%X %s L2T 7.2.5\n", kit::default_sram(*kit::kind_by_name("L2T")),
                                   l2.offset, l2.length, proc_name("L2T")));
    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir nosuch"), TCL_OK);
    EXPECT_EQ(b.result(), "Invalid image name: NOSUCH");

    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir -delete usr_blk"), TCL_OK) << b.result();
    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir -delete l2t"), TCL_OK) << b.result();
    EXPECT_KIT_VALID(b);
    auto report = b.verify();
    for (const auto& img : report.images)
        EXPECT_TRUE(img.name != "USR_BLK" && img.name != "L2T") << img.name;
    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir -delete l2t"), TCL_OK);
    EXPECT_EQ(b.result(), "No entry to delete from NVM.");
}

TEST(Dir, LongListingIsEmittedWhole)
{
    kit::NvramDef s = kit_board_def(0x100000);
    for (const char* k : {"SWIM1", "SWIM2", "SWIM3", "SWIM4", "SWIM5", "SWIM6", "SWIM7", "SWIM8", "SWIM9", "SWIM10"})
        s.images.push_back(kit_image(k, testkit::stock_image(k, "7.10.2.0")));
    KitBoard b(s);
    take_debug_text();
    ASSERT_EQ(b.run(tcl_al_nvm_dir_cmd, "dir"), TCL_OK);
    const std::string text = take_debug_text();
    EXPECT_GT(text.size(), 528u);
    EXPECT_NE(text.find(f("%10s  ", "SWIM10")), std::string::npos);
}

std::string crc_line(const Bytes& nvram, const char* name, uint32_t start, uint32_t len)
{
    const uint32_t stored = testkit::be32_at(nvram, start + len - 4);
    const uint32_t computed = __builtin_bswap32(testkit::crc32_of(nvram.data() + start, len - 4));
    return f("%15s  0x%08X  0x%08X  0x%08X  0x%08X  %s\n", name, start, len, stored, computed,
             stored == computed ? "OK" : "Mismatch");
}

TEST(Crc, ListingIsByteExactOnACleanImage)
{
    KitBoard b(listed_def());
    const Bytes& n = b.adapter.nvram;
    take_debug_text();
    ASSERT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc"), TCL_OK) << b.result();
    std::string want = f("%15s  %10s  %10s  %10s  %10s  %s\n", "Region", "Start", "Length", "Content", "Computed", "Result");
    want += std::string(79, '-') + "\n";
    const struct {
        const char* name;
        uint32_t start, len;
    } regions[] = {{"BOOTSTRAP", 0, 20},    {"DIRECTORY", 20, 236},  {"HW_INFO", 256, 848},
                   {"FEAT_INFO", 1104, 240}, {"HW_INFO_2", 2024, 848}, {"FEAT_INFO_2", 2872, 240}};
    for (const auto& r : regions)
        want += crc_line(n, r.name, r.start, r.len);
    for (const char* kind : {"NCSI_CMN", "L2T"})
        want += crc_line(n, kind, placed(b, kind).offset, placed(b, kind).length);
    want += crc_line(n, "EXTENDED_DIR", *b.built.ext_dir_offset, kit::layout::kExtDirLen);
    want += crc_line(n, "USR_BLK", b.built.placed[2].offset, b.built.placed[2].length);
    want += "\nCRC check passed successfully.\n\n";
    EXPECT_EQ(take_debug_text(), want);
    EXPECT_EQ(b.result(), "");
}

// The CRC table the facade asks for (slot 22): the four regions of the first path, the boot code
// the bootstrap names and the images of the main directory, each with its result; a mismatch is
// listed, not refused, and a blank VPD area gets the template as with the command.
TEST(Crc, FacadeTableListsRegionsBootCodeAndMainImages)
{
    kit::NvramDef s = listed_def();
    s.images.insert(s.images.begin(), kit_image("BC1", testkit::stock_image("BC1", "7.10.1")));
    s.vpd_raw = Bytes(256, 0xFF);
    KitBoard b(s);
    const auto& l2t = placed(b, "L2T");
    b.adapter.nvram[l2t.offset + 8] ^= 0x40;
    const Bytes& n = b.adapter.nvram;
    std::string want = f("%15s  %10s  %10s  %10s  %10s  %s\n", "Region", "Start", "Length", "Content", "Computed", "Result");
    want += std::string(79, '-') + "\n";
    want += crc_line(n, "BOOTSTRAP", 0, 20) + crc_line(n, "DIRECTORY", 20, 236) + crc_line(n, "HW_INFO", 256, 848) +
            crc_line(n, "FEAT_INFO", 1104, 240);
    for (const char* kind : {"BC1", "NCSI_CMN", "L2T"})
        want += crc_line(n, kind, placed(b, kind).offset, placed(b, kind).length);
    ASSERT_NE(want.find("Mismatch"), std::string::npos);
    take_debug_text();
    EXPECT_EQ(common_nvm_crc_check(b.adapter.interp()), 0);
    EXPECT_EQ(take_debug_text(), want);
    const Bytes vpd = testkit::get_host_view(b.adapter.nvram, kit::layout::kVpd, 128);
    EXPECT_EQ(vpd[0], 0x82);
}

struct Corruption {
    const char* region;  // the listing row that must say Mismatch
    uint32_t offset;     // 0: inside the placed image of that name
};

class CrcCorrupted : public ::testing::TestWithParam<Corruption> {};

TEST_P(CrcCorrupted, MismatchIsFoundAndFixed)
{
    const Corruption& c = GetParam();
    KitBoard b(listed_def());
    uint32_t at = c.offset;
    for (const auto& p : b.built.placed)
        if (!at && p.kind == c.region)
            at = p.offset + 8;
    b.adapter.nvram[at] ^= 0x40;
    take_debug_text();
    EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc"), TCL_ERROR);
    const std::string text = take_debug_text();
    EXPECT_NE(text.find(f("%15s  ", c.region)), std::string::npos);
    EXPECT_NE(b.result().find("CRC Mismatch found!!!"), std::string::npos);
    size_t line = text.find(f("%15s  ", c.region));
    EXPECT_NE(text.find("Mismatch\n", line), std::string::npos);
    EXPECT_EQ(text.find("Mismatch\n"), text.find("Mismatch\n", line)) << "only this row mismatches:\n" << text;

    // crc -fix stores the computed value; the NVRAM then verifies.
    ASSERT_EQ(b.run(tcl_al_nvm_crc_cmd, std::string("crc -fix ") + c.region), TCL_OK) << b.result();
    EXPECT_EQ(std::string(Tcl_GetString(Tcl_GetObjResult(b.adapter.interp()))).rfind("Fixed ", 0), 0u) << b.result();
    EXPECT_KIT_VALID(b);
    EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc -no_print"), TCL_OK);
}

INSTANTIATE_TEST_SUITE_P(Regions, CrcCorrupted,
                         ::testing::Values(Corruption{"BOOTSTRAP", 4}, Corruption{"DIRECTORY", 0xE8},
                                           Corruption{"HW_INFO", 300}, Corruption{"FEAT_INFO", 1110},
                                           Corruption{"HW_INFO_2", 2100}, Corruption{"FEAT_INFO_2", 2900},
                                           Corruption{"L2T", 0}, Corruption{"USR_BLK", 0}),
                         [](const auto& info) { return std::string(info.param.region); });

TEST(Crc, OneImageWithoutFixGivesComputedAndStored)
{
    KitBoard b(listed_def());
    const auto& l2 = b.built.placed[0];
    b.adapter.nvram[l2.offset + 8] ^= 1;
    ASSERT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc l2"), TCL_OK);
    const uint32_t stored = testkit::be32_at(b.adapter.nvram, l2.offset + l2.length - 4);
    const uint32_t computed = __builtin_bswap32(testkit::crc32_of(b.adapter.nvram.data() + l2.offset, l2.length - 4));
    EXPECT_EQ(b.result(), f("%u %u", computed, stored));
    EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc nosuch"), TCL_ERROR);
    EXPECT_EQ(b.result(), "No such entry found.");
    EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc -fx l2"), TCL_ERROR);
}

// Every run of the command fills a blank VPD area, "crc -no_print" (the check after an upgrade)
// included; the board check, the front end's verdict before it decides on a damaged board, passes
// such a board and writes nothing.
TEST(Crc, BlankVpdAreaGetsTheTemplate)
{
    for (const char* line : {"crc -NO_PRINT", "crc"})
    for (uint8_t fill : {uint8_t(0xFF), uint8_t(0x00)}) {
        SCOPED_TRACE(std::string(line) + " over a VPD area of " + std::to_string(fill));
        kit::NvramDef s = kit_board_def();
        s.vpd_raw = Bytes(256, fill);
        KitBoard b(s);
        const Bytes blank = b.adapter.nvram;
        EXPECT_EQ(common_nvm_board_check(b.adapter.interp()), 0) << "a blank VPD area is not damage";
        EXPECT_TRUE(b.adapter.writes.empty());
        EXPECT_TRUE(b.adapter.nvram == blank);
        take_debug_text();
        EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, line), TCL_OK);
        if (std::string(line) != "crc") {
            EXPECT_EQ(take_debug_text(), "\nCRC check passed successfully.\n\n");
        }
        Bytes vpd = testkit::get_host_view(b.adapter.nvram, kit::layout::kVpd, 128);
        EXPECT_EQ(vpd[0], 0x82);
        EXPECT_EQ(vpd[127], 0x78);
        const std::string text(vpd.begin(), vpd.end());
        EXPECT_NE(text.find("SN\x0a" "0123456789"), std::string::npos);
        const size_t rv = text.find("RV");
        ASSERT_NE(rv, std::string::npos);
        unsigned sum = 0;
        for (size_t i = 0; i <= rv + 3; ++i)
            sum += vpd[i];
        EXPECT_EQ(sum & 0xFF, 0u);
        EXPECT_KIT_VALID(b);
    }
}

// The user block's bytes in host view, as the verifier finds it.
Bytes user_block(const KitBoard& b)
{
    for (const auto& img : b.verify().images)
        if (img.name == "USR_BLK")
            return testkit::get_host_view(b.adapter.nvram, img.offset, img.length - 4);
    return {};
}

TEST(UsrBlk, NewBlockMustBeLargerAndKeepsTheOldContent)
{
    KitBoard b(listed_def());
    const Bytes old = user_block(b);
    ASSERT_EQ(old.size(), 64u);
    for (const char* same_or_smaller : {"usrblk -s 64", "usrblk -s 32"}) {
        EXPECT_EQ(b.run(tcl_al_nvm_usrblk_cmd, same_or_smaller), TCL_ERROR);
        EXPECT_EQ(b.result(), "A bigger user block exists.");
    }
    EXPECT_EQ(b.run(tcl_al_nvm_usrblk_cmd, "usrblk -s 130"), TCL_ERROR);
    EXPECT_EQ(b.result(), "Byte count must be a multiple of four bytes.");
    ASSERT_EQ(b.run(tcl_al_nvm_usrblk_cmd, "usrblk -s 256"), TCL_OK) << b.result();
    EXPECT_KIT_VALID(b);
    Bytes now = user_block(b);
    ASSERT_EQ(now.size(), 256u);
    EXPECT_TRUE(std::equal(old.begin(), old.end(), now.begin()));
    EXPECT_EQ(Bytes(now.begin() + 64, now.end()), Bytes(192, 0));
}

TEST(UsrBlk, FromAFileAndAFailedProgramKeepsTheOldBlock)
{
    TempDir tmp;
    kit::NvramDef s = kit_board_def();
    KitBoard b(s);
    Bytes content(128);
    testkit::fill_pattern(content.data(), content.size(), 3);
    testkit::write_file(tmp / "blk.bin", content);
    ASSERT_EQ(b.run(tcl_al_nvm_usrblk_cmd, "usrblk -f " + word(tmp / "blk.bin")), TCL_OK) << b.result();
    EXPECT_EQ(user_block(b), content);

    b.adapter.cut_power_after(100);
    EXPECT_EQ(b.run(tcl_al_nvm_usrblk_cmd, "usrblk -s 512"), TCL_ERROR);
    EXPECT_EQ(b.result(), "Failed to program user block !!\n");
    b.adapter.power_on();
    EXPECT_KIT_VALID(b);
    EXPECT_EQ(user_block(b), content);
}

// A grow that would fit only by giving up the old block's place is refused: the old block stays
// listed and whole, and nothing is written.
TEST(UsrBlk, AGrowWithRoomOnlyOverTheOldBlockIsRefused)
{
    kit::NvramDef s = kit_board_def();
    s.images.push_back(kit_image("USR_BLK", testkit::stock_image("USR_BLK", "1.2.3", 0x4000)));
    KitBoard b(s);
    const Bytes old = user_block(b);
    ASSERT_EQ(old.size(), 0x4000u);
    uint64_t end = 0;
    for (const auto& img : b.verify().images)
        end = std::max<uint64_t>(end, uint64_t(img.offset) + img.length);
    // All the room past the last image and 0x2000 bytes more.
    const uint32_t size = (uint32_t(0x40000 - end) + 0x2000) & ~3u;
    const Bytes before = b.adapter.nvram;
    EXPECT_EQ(b.run(tcl_al_nvm_usrblk_cmd, "usrblk -s " + std::to_string(size)), TCL_ERROR);
    EXPECT_EQ(b.result(), "Failed to program user block !!\n");
    EXPECT_EQ(b.adapter.nvram, before);
    EXPECT_EQ(user_block(b), old);
}

TEST(Listing, MbaVersionLines)
{
    EXPECT_EQ(mba_version_lines("PCI30 7.1.2;EFI x64 7.1.3;"),
              f("%20s\n%74s\n%74s\n", "PCI30 7.1.2", "EFI x64 7.1.3", ""));
    EXPECT_EQ(mba_version_lines("7.1.2"), f("%20s\n", "7.1.2"));
}

}  // namespace
}  // namespace fwupg::nvm::test
