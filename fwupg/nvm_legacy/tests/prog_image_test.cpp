// Programming one image into the directory on a simulated legacy adapter: sectioned images become
// memory images, the boot code goes into the bootstrap record, the follow-ups of MBA, iSCSI boot and
// IPMI configuration images, failures and the user block. The kit's verifier checks every write.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "legacy_fake_host.h"
#include "testkit/legacy_reader.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;

namespace {

constexpr uint32_t MCP = 0x07000000u, HOST = 0x01000000u;

adapter board_with(std::vector<image> images, uint32_t nvm_size = 0x40000)
{
    adapter a;
    a.board = 5709;
    a.nvm_size = nvm_size;
    a.images = std::move(images);
    return a;
}

// An image as its file carries it: every dword reversed against NVRAM.
bytes file_of(const bytes& memory_image) { return dword_reversed(memory_image); }

// The same with the 4 spare bytes the programming stages its CRC word in.
bytes buffer_of(const bytes& memory_image)
{
    bytes f = file_of(memory_image);
    f.resize(f.size() + 4);
    return f;
}

int program(FakeHost& host, bytes file, int row, uint32_t length = 0)
{
    const uint32_t len = length ? length : uint32_t(file.size());
    file.resize(((file.size() + 3) & ~size_t(3)) + 4);
    return toe_nvm_prog_image_by_idx(host.ops(), file.data(), len, row);
}

struct entry {
    uint32_t sram, flags, offset;
};
entry dir_entry(const bytes& n, int i)
{
    return {get_be32(n, 0x14 + 12 * size_t(i)), get_be32(n, 0x18 + 12 * size_t(i)), get_be32(n, 0x1C + 12 * size_t(i))};
}

bytes at(const bytes& n, uint32_t offset, size_t length) { return bytes(n.begin() + offset, n.begin() + offset + length); }

// A memory image whose first bytes are not zero, so a sixth descriptor read from them would show.
bytes busy_image(size_t size, uint8_t seed)
{
    bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = uint8_t(seed + 7 * i);
    return b;
}

stock_options sized(size_t size)
{
    stock_options o;
    o.size = size;
    return o;
}

void le32(bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

// Sectioned files of both header lengths become the memory image they describe.
TEST(ProgImage, SectionedImagesBecomeMemoryImages)
{
    const bytes mem = busy_image(0x300, 0x41);
    struct {
        const char* what;
        bytes file;
    } cases[] = {
        {"88-byte header", sectioned_file(mem, 0x08000000)},
        {"76-byte header", sectioned_file(mem, 0x08000000, true)},
    };
    for (const auto& c : cases) {
        FakeHost host(board_with({}));
        const bytes file = c.file;
        bytes buf = file;
        buf.resize(buf.size() + 4);
        ASSERT_EQ(0, toe_nvm_prog_image_by_idx(host.ops(), buf.data(), uint32_t(file.size()), TOE_IMG_UMP))
            << c.what << ": " << host.result();
        EXPECT_TRUE(std::equal(file.begin(), file.end(), buf.begin())) << c.what << ": the caller's buffer is kept";
        const auto ump = find_image(host.nvram, "UMP");
        ASSERT_TRUE(ump) << c.what;
        EXPECT_EQ(0x304u, ump->length) << c.what;
        EXPECT_EQ(mem, at(host.nvram, ump->offset, mem.size())) << c.what;
        EXPECT_EQ(0x08000000u, dir_entry(host.nvram, ump->index).sram) << c.what;
        EXPECT_EQ("", verify_layout(host.nvram)) << c.what << ": filler bytes, no version text";
    }
}

// Sections with gaps, below the base and without data: the gap is zero, the ranges still count.
TEST(ProgImage, SectionLayoutRules)
{
    const bytes a = busy_image(0x100, 1), b = busy_image(0x80, 2), low = busy_image(0x10, 3);
    bytes file(88, 0);
    le32(file, 0, 0x45901011);
    le32(file, 4, 1);
    const uint32_t desc[6][3] = {
        {88, 0x08000000, 0x100},           // section 0: the base
        {88 + 0x100, 0x08004000, 0x80},    // after a gap of 0x3F00 bytes
        {88 + 0x180, 0x07000000, 0x10},    // below the base: not copied
        {0, 0x08004080, 0x80},             // no data: zero, but the image ends 0x4100 above the base
        {0, 0, 0},
        {0, 0, 0},
    };
    for (int k = 0; k < 6; ++k)
        for (int w = 0; w < 3; ++w)
            le32(file, 16 + 12 * size_t(k) + 4 * size_t(w), desc[k][w]);
    for (const bytes* part : {&a, &b, &low}) {
        const bytes f = dword_reversed(*part);
        file.insert(file.end(), f.begin(), f.end());
    }
    FakeHost host(board_with({}));
    ASSERT_EQ(0, program(host, file, TOE_IMG_BC2)) << host.result();
    const auto bc2 = find_image(host.nvram, "BC2");
    ASSERT_TRUE(bc2);
    ASSERT_EQ(0x4104u, bc2->length);
    bytes expected(0x4100, 0);
    std::copy(a.begin(), a.end(), expected.begin());
    std::copy(b.begin(), b.end(), expected.begin() + 0x4000);
    EXPECT_EQ(expected, at(host.nvram, bc2->offset, 0x4100));
    EXPECT_EQ("", verify_layout(host.nvram)) << "filler bytes, no version text";
}

// A section that lies outside the file, or a memory image larger than the NVRAM, is refused
// before anything is written.
TEST(ProgImage, BadSectionedImagesWriteNothing)
{
    bytes cut = sectioned_file(busy_image(0x100, 9), 0x08000000);
    cut.resize(cut.size() - 4);
    bytes huge = sectioned_file(busy_image(0x100, 9), 0x08000000);
    le32(huge, 16 + 12 + 4, 0x08000000 + 0x40000);   // section 1 ends beyond the 256 KiB part
    le32(huge, 16 + 12 + 8, 4);
    bytes stray = sectioned_file(busy_image(0x100, 9), 0x08000000);
    le32(stray, 16 + 12, 0x7FFFFFF0);                // section 1 data offset far past the file
    le32(stray, 16 + 12 + 4, 0x08000010);
    le32(stray, 16 + 12 + 8, 0x10);
    struct {
        const char* what;
        bytes file;
        uint32_t error;
        const char* message;
    } cases[] = {
        {"section cut off", cut, 26, "Improper file format, section outside the image."},
        {"offset beyond the file", stray, 26, "Improper file format, section outside the image."},
        {"larger than NVRAM", huge, 27, "Not enough space in NVM."},
    };
    for (const auto& c : cases) {
        FakeHost host(board_with({}));
        const bytes before = host.nvram;
        EXPECT_EQ(1, program(host, c.file, TOE_IMG_BC2)) << c.what;
        EXPECT_EQ(c.error, host.last_error) << c.what;
        EXPECT_EQ(c.message, host.result()) << c.what;
        EXPECT_EQ(0, host.writes) << c.what;
        EXPECT_EQ(before, host.nvram) << c.what;
    }
}

// The boot code goes into the bootstrap record (its count includes the CRC word); the directory
// is not touched, yet a free entry is still needed.
TEST(ProgImage, BootCodeRewritesTheBootstrap)
{
    FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0")), placed("UMP", stock_image("UMP", "1.1.1"))}));
    auto flags = [&] {
        std::vector<uint32_t> f;
        for (int i = 0; i < 16; ++i)
            f.push_back(dir_entry(host.nvram, i).flags);
        return f;
    };
    const std::vector<uint32_t> entries_before = flags();
    const bytes bc1 = stock_image("BC1", "2.3.4", sized(0x200));
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(0, program(host, file_of(bc1), TOE_IMG_BC1)) << host.result();
    EXPECT_EQ(entries_before, flags()) << "no entry is added or changed in kind or length";
    EXPECT_EQ(0x669955AAu, host.be32(0));
    EXPECT_EQ(0x08000000u, host.be32(4));
    EXPECT_EQ(0x204u / 4, host.be32(8));
    EXPECT_EQ(bc1, at(host.nvram, host.be32(12), bc1.size()));
    EXPECT_EQ("", verify_nvram(host.nvram));
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find("BC Version: bc 2.3.4 (0x02030400)\n"));
    const auto listed = find_image(host.nvram, "BC1");
    ASSERT_TRUE(listed);
    EXPECT_EQ("bc 2.3.4", listed->version);

    // With all 16 entries in use the boot code finds no entry.
    std::vector<image> full = {placed("BC1", stock_image("BC1", "1.0.0"))};
    for (int i = 0; i < 16; ++i)
        full.push_back(placed("USR_BLK", bytes(16, uint8_t(i))));
    FakeHost crowded(board_with(full));
    const bytes before = crowded.nvram;
    EXPECT_EQ(1, program(crowded, file_of(bc1), TOE_IMG_BC1));
    EXPECT_EQ(25u, crowded.last_error);
    EXPECT_EQ("No directory entry left.", crowded.result());
    EXPECT_EQ(before, crowded.nvram);
}

// A type already present keeps its entry; a new type takes the first free one.
TEST(ProgImage, EntryReuseAndRaw)
{
    FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0")), placed("L2_RXP", stock_image("L2_RXP", "1.0.0")),
                              placed("UMP", stock_image("UMP", "1.1.1"))}));
    const bytes ump = stock_image("UMP", "2.0.0", sized(0x180));
    ASSERT_EQ(0, program(host, file_of(ump), TOE_IMG_UMP)) << host.result();
    const entry e = dir_entry(host.nvram, 1);
    EXPECT_EQ(0x30000000u | MCP | 0x184u, e.flags);
    EXPECT_EQ(0x08000000u, e.sram);
    EXPECT_EQ(ump, at(host.nvram, e.offset, ump.size()));

    const bytes ccm = stock_image("CCM", "1.2.3");
    ASSERT_EQ(0, program(host, file_of(ccm), TOE_IMG_CCM)) << host.result();
    const entry c = dir_entry(host.nvram, 2);
    EXPECT_EQ(0x40000001u | HOST | uint32_t(ccm.size() + 4), c.flags);
    EXPECT_EQ(0u, c.sram) << "host images have SRAM address 0";
    EXPECT_EQ("", verify_nvram(host.nvram));
}

// An MBA image sets the Expansion ROM size option (FEAT_INFO f+8 bits 15-8) to the smallest
// power of two that holds it.
TEST(ProgImage, MbaSetsExpansionRomSize)
{
    struct {
        uint32_t length;
        uint32_t option;
    } cases[] = {{1024, 1}, {65536, 7}, {65537, 8}};
    for (const auto& c : cases) {
        FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0"))}));
        const bytes mac_before = at(host.nvram, 0x134, 8);
        ASSERT_EQ(0, program(host, bytes(c.length, 0x5A), TOE_IMG_MBA)) << host.result();
        EXPECT_EQ(c.option, (host.be32(0x214 + 8) >> 8) & 0xFF) << c.length;
        EXPECT_EQ(c.option, (host.be32(0x288 + 8) >> 8) & 0xFF) << "the other function shares the size";
        EXPECT_EQ(mac_before, at(host.nvram, 0x134, 8));
        EXPECT_EQ("", verify_layout(host.nvram)) << c.length << ": filler bytes, no boot ROM";
        EXPECT_TRUE(find_image(host.nvram, "MBA")) << c.length;
    }
}

// When the configuration cannot be read the option is skipped: HW_INFO, the addresses and the
// VPD stay as they were, and the image is still listed.
TEST(ProgImage, MbaWithUnreadableConfigurationKeepsIt)
{
    FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0"))}));
    const bytes cfg_before = at(host.nvram, 0x100, 0x300);
    host.fail_read_at = 0x300;   // the VPD, read last
    ASSERT_EQ(0, program(host, bytes(4096, 0x5A), TOE_IMG_MBA)) << host.result();
    host.fail_read_at = -1;
    EXPECT_EQ(cfg_before, at(host.nvram, 0x100, 0x300));
    EXPECT_TRUE(find_image(host.nvram, "MBA"));
    EXPECT_EQ("", verify_layout(host.nvram)) << "filler bytes, no boot ROM";
}

// iSCSI boot 7 or later deletes the separate configuration program; older ones keep it.
TEST(ProgImage, IscsiBootSevenDeletesTheConfigurationProgram)
{
    struct {
        const char* what;
        bytes image;
        bool kept;
        const char* report;  // the kit's verdict on the board afterwards
    } cases[] = {
        {"v6.4.2", stock_image("ISCSI_B", "6.4.2"), true, ""},
        {"v7.0.1", stock_image("ISCSI_B", "7.0.1"), false, ""},
        {"no v text", text_image("7.0.0", 7, 0, 0), true, "entry 1 (ISCSI_B) no version text at 0x00000000; "},
    };
    for (const auto& c : cases) {
        FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0")),
                                  placed("ISB_CPRG", stock_image("ISB_CPRG", "1.0.0"))}));
        fwupg::nvm::test::take_debug_text();
        ASSERT_EQ(0, program(host, file_of(c.image), TOE_IMG_ISCSI_B)) << c.what << host.result();
        EXPECT_EQ(c.kept, find_image(host.nvram, "ISB_CPRG").has_value()) << c.what;
        const std::string dbg = fwupg::nvm::test::take_debug_text();
        EXPECT_EQ(!c.kept, dbg.find("iBoot: 7.0.1\ndeleting cprg\n") != std::string::npos) << c.what << dbg;
        EXPECT_TRUE(find_image(host.nvram, "ISCSI_B")) << c.what;
        EXPECT_EQ(c.report, verify_nvram(host.nvram)) << c.what;
    }
}

// The IPMI configuration's SRAM address follows the IPMI_INIT version word.
TEST(ProgImage, IpmiConfigurationTableAddress)
{
    struct {
        const char* init_version;
        uint32_t sram;
    } cases[] = {{"1.1.9", 0x08000000}, {"1.2.0", 0x08000010}, {"2.0.0", 0x08000010}, {nullptr, 0x08000000}};
    for (const auto& c : cases) {
        std::vector<image> images = {placed("BC1", stock_image("BC1", "1.0.0"))};
        if (c.init_version)
            images.push_back(placed("IPMI_INIT", stock_image("IPMI_INIT", c.init_version)));
        FakeHost host(board_with(images));
        ASSERT_EQ(0, program(host, file_of(stock_image("IPMI_CFG", "0.0.0")), TOE_IMG_IPMI_CFG)) << host.result();
        const auto cfg = find_image(host.nvram, "IPMI_CFG");
        ASSERT_TRUE(cfg);
        EXPECT_EQ(c.sram, dir_entry(host.nvram, cfg->index).sram) << (c.init_version ? c.init_version : "none");
        EXPECT_EQ("", host.result()) << "no stray message without IPMI_INIT";
    }
}

// Failures: each step's error and message, and the old entry in force while the new image is cut.
TEST(ProgImage, FailuresReportTheirStep)
{
    const adapter a = board_with({placed("BC1", stock_image("BC1", "1.0.0")), placed("UMP", stock_image("UMP", "1.0.0"))},
                                 0x1000);
    {
        FakeHost host(a);
        EXPECT_EQ(1, program(host, file_of(bytes(0x1000, 1)), TOE_IMG_L2_RXP));
        EXPECT_EQ(27u, host.last_error);
        EXPECT_EQ("Not enough space in NVM.", host.result());
    }
    {
        FakeHost host(a);
        const entry before = dir_entry(host.nvram, 0);
        host.fail_write_at = 0x700;
        EXPECT_EQ(1, program(host, file_of(stock_image("UMP", "2.0.0", sized(0x200))), TOE_IMG_UMP));
        EXPECT_EQ(70u, host.last_error);
        EXPECT_EQ("NVM write failed.Programming NVM failed.", host.result());
        EXPECT_EQ(before.flags, dir_entry(host.nvram, 0).flags);
    }
    {
        FakeHost host(a);
        host.fail_write_at = 0x14 + 12;   // entry 1, the new type's free entry
        EXPECT_EQ(1, program(host, file_of(stock_image("L2_RXP", "2.0.0")), TOE_IMG_L2_RXP));
        EXPECT_EQ(31u, host.last_error);
        EXPECT_EQ("NVM write failed.Directory update in NVM failed.", host.result());
    }
    {
        // The boot agent's expansion ROM size goes into the configuration first: a refused write
        // there fails the programming, and the new image is not entered in the directory.
        const adapter with_mba = board_with({placed("BC1", stock_image("BC1", "1.0.0")),
                                             placed("MBA", stock_image("MBA", "1.0.0"))});
        FakeHost host(with_mba);
        const uint32_t old_at = find_image(host.nvram, "MBA")->offset;
        host.fail_write_at = 0x2FC;   // FEAT_INFO's CRC word, part of every write of the block
        EXPECT_EQ(1, program(host, bytes(1024, 0x5A), TOE_IMG_MBA));
        EXPECT_EQ(70u, host.last_error);
        EXPECT_NE(std::string::npos, host.result().find("Programming NVM failed.")) << host.result();
        ASSERT_TRUE(find_image(host.nvram, "MBA"));
        EXPECT_EQ(old_at, find_image(host.nvram, "MBA")->offset);
    }
    {
        FakeHost host(a);
        host.fail_write_at = 0x10;   // the bootstrap record's CRC word, part of every write of it
        EXPECT_EQ(1, program(host, file_of(stock_image("BC1", "2.0.0")), TOE_IMG_BC1));
        EXPECT_EQ(71u, host.last_error);
        EXPECT_EQ("Bootstrap update in NVM failed.", host.result());
    }
    {
        FakeHost host(a);
        Tcl_UnsetVar2(host.interp, "::toe", "DEV", TCL_GLOBAL_ONLY);
        EXPECT_EQ(1, program(host, file_of(stock_image("UMP", "2.0.0")), TOE_IMG_UMP));
        EXPECT_EQ(7u, host.last_error);
        EXPECT_NE(std::string::npos, host.result().find("Can't find device index."));
        EXPECT_EQ(0, host.writes);
    }
}

TEST(ProgImage, UserBlock)
{
    FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0"))}));
    bytes block(0x40, 0xAB);
    block.resize(0x44);
    ASSERT_EQ(0, toe_nvm_write_usrblk(host.ops(), block.data(), 0x40));
    const entry e = dir_entry(host.nvram, 0);
    EXPECT_EQ(0xFFFFFFFFu, e.sram);
    EXPECT_EQ(0xA0000000u | HOST | 0x44u, e.flags);
    EXPECT_EQ(bytes(0x40, 0xAB), at(host.nvram, e.offset, 0x40));
    EXPECT_EQ("", verify_nvram(host.nvram));

    FakeHost small(board_with({placed("BC1", stock_image("BC1", "1.0.0"))}, 0x800));
    bytes big(0x800, 1);
    EXPECT_EQ(2, toe_nvm_write_usrblk(small.ops(), big.data(), 0x400)) << "no room is not success";
}

// Programming by directory type, directly and through the record of the facade call in progress.
TEST(ProgImage, ByTypeAndThroughTheCurrentRecord)
{
    FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0"))}));
    bytes ump = buffer_of(stock_image("UMP", "3.0.0"));
    EXPECT_EQ(1, toe_nvm_prog_image_by_type(host.ops(), ump.data(), 64, 0x12345678u)) << "no row has the type";
    EXPECT_EQ(-1, cur_nvm_write_image(nullptr, ump.data(), 64, 0x30000000u)) << "no current record";
    EXPECT_EQ(0, host.writes);
    {
        HostOps ops = host.ops();
        fwupg::HostOpsScope scope(&ops);
        ASSERT_EQ(0, cur_nvm_write_image(nullptr, ump.data(), 64, 0x30000000u)) << host.result();
    }
    const auto listed = find_image(host.nvram, "UMP");
    ASSERT_TRUE(listed);
    EXPECT_EQ("UMP 3.0.0", listed->version);
    bytes bc2 = buffer_of(stock_image("BC2", "1.0.0"));
    ASSERT_EQ(0, toe_nvm_prog_image_by_type(host.ops(), bc2.data(), 64, 0x00000000u)) << host.result();
    EXPECT_TRUE(find_image(host.nvram, "BC2"));
    EXPECT_EQ("", verify_nvram(host.nvram));
}

// A re-programmed image goes beside the one in force while there is room, so a write that fails
// leaves the previous image listed and valid; only a tight NVRAM gives up the previous room.
TEST(ProgImage, FailedReprogrammingKeepsThePreviousImage)
{
    const adapter a = board_with({placed("BC1", stock_image("BC1", "1.0.0")), placed("UMP", stock_image("UMP", "1.0.0", sized(0x100)))});
    FakeHost host(a);
    const uint32_t old_at = find_image(host.nvram, "UMP")->offset;
    host.fail_write_at = old_at + 0x104 + 0x10;   // inside the room right after the old image
    EXPECT_EQ(1, program(host, file_of(stock_image("UMP", "2.0.0", sized(0x100))), TOE_IMG_UMP));
    EXPECT_EQ(70u, host.last_error);
    const auto ump = find_image(host.nvram, "UMP");
    ASSERT_TRUE(ump);
    EXPECT_EQ(old_at, ump->offset);
    EXPECT_EQ("UMP 1.0.0", ump->version);
    EXPECT_EQ("", verify_nvram(host.nvram));

    // Room for the new image only where the old one lies: it takes that room. Its entry holds the
    // values already (same place, length and SRAM address), so only the image's bytes are written.
    FakeHost tight(board_with(a.images, 0x600 + 0x44 + 0x104 + 0x80));
    ASSERT_EQ(0, program(tight, file_of(stock_image("UMP", "2.0.0", sized(0x100))), TOE_IMG_UMP)) << tight.result();
    const auto moved = find_image(tight.nvram, "UMP");
    ASSERT_TRUE(moved);
    EXPECT_EQ("UMP 2.0.0", moved->version);
    EXPECT_EQ(old_at, moved->offset);
    EXPECT_EQ(std::vector<uint32_t>{old_at}, tight.write_offsets);
    EXPECT_EQ(std::vector<uint32_t>{0x104}, tight.write_lengths);
    EXPECT_EQ("", verify_layout(tight.nvram)) << "a part cut to the images' size";
}
