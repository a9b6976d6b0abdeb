// dump, dir and crc on simulated legacy adapters described by the test kit, and the CRC check of
// a whole NVRAM.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/formats/vpd.h"
#include "legacy_board.h"
#include "testkit/legacy_reader.h"

using namespace testkit::legacy;
namespace fs = std::filesystem;

namespace {

const std::string BOARD = kSmallBoard + "image=NCSI_CMN 1.0.9\nimage=ISCSI_B 7.0.1 ip=6\n";

struct Board : DescribedBoard {
    explicit Board(const std::string& text = BOARD) : DescribedBoard(text) {}
};

bytes read_file(const std::string& path) { return TempDir::read(path); }

}  // namespace

TEST(Dump, WholeNvramIsACopyAndAnExistingFileIsKept)
{
    Board b;
    TempDir dir;
    const std::string f = dir.file("nvm.bin");
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dump_cmd, {"dump", f})) << b.host.result();
    EXPECT_EQ(b.host.nvram, read_file(f));

    // -l gives every dword in host order: reversed against NVRAM.
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dump_cmd, {"dump", "-lxyz", dir.file("le.bin")}));
    EXPECT_EQ(dword_reversed(b.host.nvram), read_file(dir.file("le.bin")));

    b.host.nvram[0x700] ^= 0xFF;
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_dump_cmd, {"dump", f}));
    EXPECT_EQ("Can't write to file, already exists?", b.host.result());
    EXPECT_EQ(11u, b.host.last_error);
    b.host.nvram[0x700] ^= 0xFF;
    EXPECT_EQ(b.host.nvram, read_file(f));
}

TEST(Dump, RangeAndBootCodeAddressForms)
{
    TempDir dir;
    // A buffered part stores the boot-code address in page form; -s writes it linear.
    Board buffered("board=5708\nsize=0x10000\nbuffered=1\nimage=BC1 1.2.3\n");
    const uint32_t flash = buffered.host.be32(12);
    ASSERT_NE(flash, (flash >> 9) * 264 + (flash & 0x1FF));
    ASSERT_EQ(TCL_OK, buffered.host.run(toe_nvm_dump_cmd, {"dump", "-s", "0", "1024", dir.file("s.bin")}));
    bytes s = read_file(dir.file("s.bin"));
    ASSERT_EQ(1024u, s.size());
    EXPECT_EQ((flash >> 9) * 264 + (flash & 0x1FF), get_be32(s, 12));
    EXPECT_TRUE(residue_ok(s, 0, 20));
    EXPECT_EQ(bytes(buffered.host.nvram.begin() + 20, buffered.host.nvram.begin() + 1024), bytes(s.begin() + 20, s.end()));

    // A range away from 0 never touches the bootstrap; offset and length are taken in whole dwords.
    ASSERT_EQ(TCL_OK, buffered.host.run(toe_nvm_dump_cmd, {"dump", "-s", "6", "1027", dir.file("r.bin")}));
    EXPECT_EQ(bytes(buffered.host.nvram.begin() + 4, buffered.host.nvram.begin() + 1028), read_file(dir.file("r.bin")));

    // -a on a linear part writes the page form, with its CRC renewed.
    Board linear("board=5708\nsize=0x10000\nimage=BC1 1.2.3\n");
    const uint32_t at = linear.host.be32(12);
    ASSERT_EQ(TCL_OK, linear.host.run(toe_nvm_dump_cmd, {"dump", "-a", "0", "64", dir.file("a.bin")}));
    bytes a = read_file(dir.file("a.bin"));
    EXPECT_EQ(((at / 264) << 9) + at % 264, get_be32(a, 12));
    EXPECT_TRUE(residue_ok(a, 0, 20));

    // A dual-function board addresses its flash linearly: -a changes nothing there.
    Board dual("board=5709\nsize=0x10000\nimage=BC1 1.2.3\n");
    ASSERT_EQ(TCL_OK, dual.host.run(toe_nvm_dump_cmd, {"dump", "-a", "0", "64", dir.file("d.bin")}));
    EXPECT_EQ(bytes(dual.host.nvram.begin(), dual.host.nvram.begin() + 64), read_file(dir.file("d.bin")));
}

TEST(Dump, Refusals)
{
    struct Case {
        std::vector<std::string> words;
        uint32_t error;
        const char* result;   // part of the result
        int64_t fail_read_at;
    };
    const Case cases[] = {
        {{"dump"}, 2, "wrong # args", -1},
        {{"dump", "-x", "F"}, 2, "?-l? ?-a|-s? offset length filename", -1},
        {{"dump", "0", "F"}, 2, "wrong # args", -1},
        {{"dump", "zero", "16", "F"}, 0, "expected integer", -1},
        {{"dump", "0", "0x20000", "F"}, 11, "Dump from NVM failed.", -1},
        {{"dump", "0", "-4", "F"}, 11, "Dump from NVM failed.", -1},
        {{"dump", "F"}, 11, "Dump from NVM failed.", 0x8000},
    };
    for (const Case& c : cases) {
        Board b;
        TempDir dir;
        std::vector<std::string> words = c.words;
        if (words.back() == "F")
            words.back() = dir.file("out.bin");
        b.host.fail_read_at = c.fail_read_at;
        EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_dump_cmd, words)) << words[1];
        EXPECT_EQ(c.error, b.host.last_error) << words[1];
        EXPECT_NE(std::string::npos, b.host.result().find(c.result)) << b.host.result();
        EXPECT_FALSE(fs::exists(dir.file("out.bin"))) << words[1];
    }
}

TEST(Dir, ListingShowsTheBootCodeAndEachImageOnce)
{
    Board b;
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dir_cmd, {"dir"}));
    EXPECT_EQ("", b.host.result());
    const std::string out = fwupg::nvm::test::take_debug_text();
    const auto bc1 = find_image(b.host.nvram, "BC1");
    const auto mba = find_image(b.host.nvram, "MBA");
    const auto ump = find_image(b.host.nvram, "UMP");
    const auto ncsi = find_image(b.host.nvram, "NCSI_CMN");
    const auto iscsi = find_image(b.host.nvram, "ISCSI_B");
    ASSERT_TRUE(bc1 && mba && ump && ncsi && iscsi);
    char expect[1024];
    std::snprintf(expect, sizeof expect,
                  "     Image   SRAM Addr  NVM Offset    Byte Cnt     CPU             Version\n"
                  "-------------------------------------------------------------------------------\n"
                  "       BC1  0x08000000  0x%08X  0x%08X     MCP            bc 1.2.3\n"
                  "       MBA  0x00000000  0x%08X  0x%08X    HOST",
                  bc1->offset, bc1->length, mba->offset, mba->length);
    EXPECT_EQ(0u, out.find(expect)) << out;
    std::snprintf(expect, sizeof expect, "      NCSI  0x08000000  0x%08X  0x%08X     MCP          NCSI 1.0.9\n",
                  ncsi->offset, ncsi->length);
    EXPECT_NE(std::string::npos, out.find(expect)) << out;
    std::snprintf(expect, sizeof expect, "   ISCSI_B  0x00000000  0x%08X  0x%08X    HOST         ipv6 v7.0.1\n",
                  iscsi->offset, iscsi->length);
    EXPECT_NE(std::string::npos, out.find(expect)) << out;
    EXPECT_NE(std::string::npos, out.find("       UMP  0x08000000")) << out;
    EXPECT_EQ(std::string::npos, out.find("IPMI")) << out;

    // Without boot code the bootstrap gives no row.
    Board none("board=5708\nsize=0x10000\nimage=UMP 1.1.4\n");
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(TCL_OK, none.host.run(toe_nvm_dir_cmd, {"dir"}));
    EXPECT_EQ(std::string::npos, fwupg::nvm::test::take_debug_text().find("BC1"));
}

TEST(Dir, ShowOneEntry)
{
    Board b;
    const auto mba = find_image(b.host.nvram, "MBA");
    const auto bc1 = find_image(b.host.nvram, "BC1");
    struct Case {
        const char* word;
        int rc;
        std::string result;
        uint32_t error;
    };
    const Case cases[] = {
        {"mba", TCL_OK, "MBA 0 " + std::to_string(mba->offset) + " " + std::to_string(mba->length) +
                            " HOST {PCI30 MBA 7.10.3;EFI x64 7.10.3}", 0},
        {"bc", TCL_OK, "BC1 134217728 " + std::to_string(bc1->offset) + " " + std::to_string(bc1->length) +
                           " MCP {bc 1.2.3}", 0},
        {"ipmi_serv", TCL_ERROR, "Invalid image name: IPMI_SERV", 28},   // a type without an entry
        {"nothing", TCL_ERROR, "Invalid image name: NOTHING", 28},
    };
    for (const Case& c : cases) {
        b.host.last_error = 0;
        EXPECT_EQ(c.rc, b.host.run(toe_nvm_dir_cmd, {"dir", c.word})) << c.word;
        EXPECT_EQ(c.result, b.host.result()) << c.word;
        EXPECT_EQ(c.error, b.host.last_error) << c.word;
    }
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_dir_cmd, {"dir", "-remove", "mba"}));
    EXPECT_EQ(2u, b.host.last_error);
}

TEST(Dir, DeleteClearsTheEntryOrTheBootstrap)
{
    Board b;
    const bytes before = b.host.nvram;
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dir_cmd, {"dir", "-delete", "mba"}));
    EXPECT_FALSE(find_image(b.host.nvram, "MBA"));
    EXPECT_TRUE(find_image(b.host.nvram, "UMP"));
    EXPECT_EQ("", verify_nvram(b.host.nvram));

    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dir_cmd, {"dir", "-delete", "bc1"}));
    for (uint32_t off = 0; off < 16; off += 4)
        EXPECT_EQ(0u, b.host.be32(off)) << off;
    EXPECT_TRUE(residue_ok(b.host.nvram, 0, 20));
    EXPECT_FALSE(find_image(b.host.nvram, "BC1"));

    const bytes kept = b.host.nvram;
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_dir_cmd, {"dir", "-delete", "ipmi_cfg"}));
    EXPECT_EQ("No entry to delete from NVM.", b.host.result());
    EXPECT_EQ(30u, b.host.last_error);
    EXPECT_EQ(kept, b.host.nvram);
    // Image data itself is never touched by a deletion.
    EXPECT_EQ(bytes(before.begin() + IMAGES, before.end()), bytes(kept.begin() + IMAGES, kept.end()));
}

TEST(CrcCheck, TableOfEveryPieceAndMismatches)
{
    Board b;
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_crc_cmd, {"crc"})) << b.host.result();
    EXPECT_EQ("", b.host.result());
    const std::string out = fwupg::nvm::test::take_debug_text();
    EXPECT_EQ(0u, out.find("         Region       Start      Length     Content    Computed  Result\n"
                           "-------------------------------------------------------------------------------\n"
                           "      BOOTSTRAP  0x00000000  0x00000014  0x"))
        << out;
    size_t rows = 0;
    for (size_t p = 0; (p = out.find("  OK\n", p)) != std::string::npos; ++p)
        ++rows;
    EXPECT_EQ(4u + 5u, rows) << out;   // four regions, the boot code and four images
    // The linear part's boot code is found at its untranslated address.
    char bc1[64];
    std::snprintf(bc1, sizeof bc1, "            BC1  0x%08X", find_image(b.host.nvram, "BC1")->offset);
    EXPECT_NE(std::string::npos, out.find(bc1)) << out;
    EXPECT_EQ(std::string::npos, out.find("Mismatch"));

    // A damaged directory does not stop the check; the command fails with last error 21.
    Board bad(BOARD + "corrupt=0x20\n");
    const auto ump = find_image(bad.host.nvram, "UMP");
    bad.host.nvram[ump->offset + 40] ^= 1;
    ASSERT_EQ(TCL_ERROR, bad.host.run(toe_nvm_crc_cmd, {"crc"}));
    EXPECT_EQ(21u, bad.host.last_error);
    const std::string table = fwupg::nvm::test::take_debug_text();
    EXPECT_NE(std::string::npos, table.find("      DIRECTORY  0x00000014  0x000000EC")) << table;
    EXPECT_NE(std::string::npos, table.find("            UMP")) << table;
    EXPECT_EQ(2u, [&] {
        size_t n = 0;
        for (size_t p = 0; (p = table.find("Mismatch", p)) != std::string::npos; ++p)
            ++n;
        return n;
    }()) << table;

    // -no_print checks the same without a line.
    bad.host.last_error = 0;
    ASSERT_EQ(TCL_ERROR, bad.host.run(toe_nvm_crc_cmd, {"crc", "-NO_PRINT"}));
    EXPECT_EQ("", fwupg::nvm::test::take_debug_text());
    EXPECT_EQ(21u, bad.host.last_error);
}

TEST(CrcCheck, BootCodeRules)
{
    // A buffered part's page address matches at once; a dword count of 0 or above 4096 is no boot code.
    Board buffered("board=5708\nsize=0x10000\nbuffered=1\nimage=BC1 1.2.3\n");
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(TCL_OK, buffered.host.run(toe_nvm_crc_cmd, {"crc"}));
    char row[64];
    std::snprintf(row, sizeof row, "            BC1  0x%08X", find_image(buffered.host.nvram, "BC1")->offset);
    EXPECT_NE(std::string::npos, fwupg::nvm::test::take_debug_text().find(row));

    for (uint32_t count : {0u, 4097u}) {
        Board b("board=5708\nsize=0x10000\nimage=BC1 1.2.3\n");
        put_be32(b.host.nvram, 8, count);
        seal(b.host.nvram, 0, 16);
        fwupg::nvm::test::take_debug_text();
        EXPECT_EQ(TCL_OK, b.host.run(toe_nvm_crc_cmd, {"crc"})) << count;
        EXPECT_EQ(std::string::npos, fwupg::nvm::test::take_debug_text().find("BC1")) << count;
    }
}

TEST(CrcCheck, ACheckCutShortIsNoMatch)
{
    // A read failure ends the check before anything mismatched: that is a failure, not "all matched".
    Board b;
    const auto ump = find_image(b.host.nvram, "UMP");
    b.host.fail_read_at = ump->offset;
    EXPECT_EQ(1, toe_nvm_crc_check(b.host.ops()));
    EXPECT_EQ(21u, b.host.last_error);
    b.host.fail_read_at = 0x20;
    b.host.last_error = 0;
    EXPECT_EQ(1, toe_nvm_crc_check(b.host.ops()));
    EXPECT_EQ(21u, b.host.last_error);

    b.host.fail_read_at = -1;
    b.host.set_toe("DEV", "none");
    EXPECT_EQ(1, toe_nvm_crc_check(b.host.ops()));
    EXPECT_EQ(7u, b.host.last_error);
    EXPECT_NE(std::string::npos, std::string(Tcl_GetStringResult(b.host.interp)).find("Failed to locate device."));
}

TEST(Crc, OneEntry)
{
    Board b;
    const auto ump = find_image(b.host.nvram, "UMP");
    const auto mba = find_image(b.host.nvram, "MBA");
    b.host.nvram[ump->offset + 40] ^= 1;
    const uint32_t ump_stored = get_be32(b.host.nvram, ump->offset + ump->length - 4);
    const uint32_t ump_right = crc32_of(b.host.nvram, ump->offset, ump->length - 4);
    const uint32_t ump_computed = __builtin_bswap32(ump_right);   // the CRC word as NVRAM stores it
    const auto crc_word = [&](uint32_t at, uint32_t len) {
        return std::to_string(int32_t(get_be32(b.host.nvram, at + len - 4)));
    };
    struct Case {
        std::vector<std::string> words;
        int rc;
        std::string result;
        uint32_t error;
    };
    const Case cases[] = {
        {{"crc", "boot"}, TCL_OK, "OK " + crc_word(0, 0x14), 0},   // a region before the boot code
        {{"crc", "bc1"}, TCL_OK, "OK " + crc_word(find_image(b.host.nvram, "BC1")->offset,
                                                   find_image(b.host.nvram, "BC1")->length), 0},
        {{"crc", "mba"}, TCL_OK, "OK " + crc_word(mba->offset, mba->length), 0},
        {{"crc", "ump"}, TCL_OK, std::to_string(int32_t(ump_computed)) + " " + std::to_string(int32_t(ump_stored)), 0},
        {{"crc", "ALL", "-fix"}, TCL_ERROR, "wrong # args: should be \"crc ?\?-fix? entry?\"", 21},
        {{"crc", "ipmi_serv"}, TCL_ERROR, "Failed to access NVM.", 21},
        {{"crc", "nothing"}, TCL_ERROR, "No such entry found.", 21},
    };
    const bytes before = b.host.nvram;
    for (const Case& c : cases) {
        b.host.last_error = 0;
        EXPECT_EQ(c.rc, b.host.run(toe_nvm_crc_cmd, c.words)) << c.words[1];
        EXPECT_EQ(c.result, b.host.result()) << c.words[1];
        EXPECT_EQ(c.error, b.host.last_error) << c.words[1];
    }
    EXPECT_EQ(before, b.host.nvram);

    // The whole NVRAM has no CRC word: -fix ALL only reports.
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_crc_cmd, {"crc", "-fix", "all"}));
    EXPECT_EQ(before, b.host.nvram);

    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_crc_cmd, {"crc", "-fix", "ump"}));
    EXPECT_EQ("Fixed " + std::to_string(int32_t(ump_computed)), b.host.result());
    EXPECT_TRUE(residue_ok(b.host.nvram, ump->offset, ump->length));
    EXPECT_EQ("", verify_nvram(b.host.nvram));

    b.host.fail_write_at = mba->offset + mba->length - 4;
    b.host.nvram[mba->offset + 40] ^= 1;
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_crc_cmd, {"crc", "-fix", "mba"}));
    EXPECT_EQ("Failed to access NVM.", b.host.result());
    EXPECT_EQ(21u, b.host.last_error);
}

TEST(Crc, BlankVpdGetsTheDefaults)
{
    for (uint32_t blank : {0u, 0xFFFFFFFFu, 0x82001000u}) {
        Board b;
        put_be32(b.host.nvram, VPD, blank);
        ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_crc_cmd, {"crc", "mba"})) << blank;
        const bool repaired = blank == 0 || blank == 0xFFFFFFFFu;
        EXPECT_EQ(repaired, b.host.result().find("Default VPD info programmed to NVM") != std::string::npos)
            << b.host.result();
        if (!repaired)
            continue;
        // The VPD is the default of every field the repair names, and nothing else.
        vpd_info want{};
        vpd_set_defaults(&want, 95);
        uint8_t image[256] = {};
        ASSERT_EQ(0, vpd_build_image(&want, image));
        EXPECT_EQ(dword_reversed(bytes(image, image + 256)),
                  bytes(b.host.nvram.begin() + VPD, b.host.nvram.begin() + VPD + 256));
    }
}

// The region check (the front end's board check) gives its verdict on a board whose VPD area is
// blank and writes nothing; both forms of the command, "crc -no_print" (the check after an
// upgrade) and "crc", give the area the default VPD, on a damaged board too.
TEST(Crc, CheckWritesNothingAndTheCommandStillFills)
{
    struct Case {
        const char* name;
        std::string board;
        int rc;
        uint32_t error;
    };
    const Case cases[] = {
        {"healthy", BOARD, TCL_OK, 0},
        {"damaged directory", BOARD + "corrupt=0x20\n", TCL_ERROR, 21},
    };
    vpd_info defaults{};
    vpd_set_defaults(&defaults, 95);
    uint8_t image[256] = {};
    ASSERT_EQ(0, vpd_build_image(&defaults, image));
    for (const Case& c : cases)
    for (const char* form : {"-no_print", ""}) {
        SCOPED_TRACE(std::string(c.name) + ", crc " + form);
        Board b(c.board);
        std::fill(b.host.nvram.begin() + VPD, b.host.nvram.begin() + VPD + 256, uint8_t(0xFF));
        const bytes blank = b.host.nvram;

        EXPECT_EQ(c.rc == TCL_OK ? 0 : 1, toe_nvm_crc_check(b.host.ops())) << "a blank VPD area is not damage";
        EXPECT_EQ(0, b.host.writes);
        EXPECT_EQ(blank, b.host.nvram);

        b.host.last_error = 0;
        const std::vector<std::string> line = *form ? std::vector<std::string>{"crc", form} : std::vector<std::string>{"crc"};
        EXPECT_EQ(c.rc, b.host.run(toe_nvm_crc_cmd, line));
        EXPECT_EQ("Default VPD info programmed to NVM", b.host.result());
        EXPECT_EQ(c.error, b.host.last_error);
        EXPECT_NE(0, b.host.writes);
        EXPECT_EQ(dword_reversed(bytes(image, image + 256)),
                  bytes(b.host.nvram.begin() + VPD, b.host.nvram.begin() + VPD + 256));
        EXPECT_EQ(bytes(blank.begin(), blank.begin() + VPD), bytes(b.host.nvram.begin(), b.host.nvram.begin() + VPD))
            << "nothing before the VPD area changes";
    }
}
