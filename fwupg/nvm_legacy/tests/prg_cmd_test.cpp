// prg on simulated legacy adapters: the restore of a dump, page stripping, the boot-code address
// form, sizes and offsets, memory sources and the refusals before anything is written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/formats/vpd.h"
#include "legacy_board.h"
#include "testkit/legacy_reader.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;
namespace fs = std::filesystem;

namespace {

bytes nvram_of(const std::string& text) { return build_described(parse_description(text)); }

using Board = DescribedBoard;

std::string vpd_ec(const bytes& nvram)
{
    const bytes stream = dword_reversed(bytes(nvram.begin() + VPD, nvram.begin() + VPD + 256));
    vpd_info v{};
    vpd_parse_image(&v, stream.data(), 0);
    return v.ec;
}

}  // namespace

TEST(Prg, RestoresADumpWithAndWithoutPageFill)
{
    for (bool page_fill : {false, true}) {
        Board b;
        TempDir dir;
        const bytes before = b.host.nvram;
        const std::string dump = (dir.path / "backup.bin").string();
        ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dump_cmd, {"_dump", dump}));
        const std::string file = page_fill ? dir.write("paged.bin", paged(before)) : dump;

        // The adapter loses its boot agent and half of its management firmware.
        ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_dir_cmd, {"dir", "-delete", "mba"}));
        const auto ump = find_image(before, "UMP");
        std::fill(b.host.nvram.begin() + ump->offset, b.host.nvram.begin() + ump->offset + ump->length / 2, 0xFF);
        ASSERT_NE(before, b.host.nvram);

        ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", file})) << b.host.result();
        EXPECT_EQ(before, b.host.nvram) << page_fill;
        EXPECT_EQ("", verify_nvram(b.host.nvram));
    }
}

// A board and the dump of its NVRAM in a temporary file.
struct DumpedBoard {
    Board board;
    TempDir dir;
    bytes before = board.host.nvram;
    std::string dump = (dir.path / "backup.bin").string();
    DumpedBoard() { EXPECT_EQ(TCL_OK, board.host.run(toe_nvm_dump_cmd, {"_dump", dump})) << board.host.result(); }
};

// A dump programmed back over the board it came from writes only what differs: the 1 KiB piece
// holding a changed image byte, and a changed HW_INFO block (one that still verifies: a damaged
// one is refused unless -raw takes it from the dump) whole in one write of its own.
TEST(Prg, OnlyThePiecesThatDifferAreWritten)
{
    DumpedBoard d;
    Board& b = d.board;
    const bytes& before = d.before;
    const std::string& dump = d.dump;
    b.host.write_offsets.clear();
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", dump})) << b.host.result();
    EXPECT_EQ(std::vector<uint32_t>{}, b.host.write_offsets) << "the board holds the dump already";

    const auto ump = find_image(before, "UMP");
    ASSERT_TRUE(ump);
    const uint32_t changed = ump->offset + ump->length / 2;
    b.host.nvram[changed] ^= 0xFF;
    b.host.nvram[0x150] ^= 0xFF;
    seal(b.host.nvram, 0x100, 0xFC);
    b.host.write_offsets.clear();
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", dump})) << b.host.result();
    EXPECT_EQ(before, b.host.nvram);
    EXPECT_EQ((std::vector<uint32_t>{0x100, changed & ~0x3FFu}), b.host.write_offsets);
    EXPECT_EQ("", verify_nvram(b.host.nvram));
}

// A board whose HW_INFO fails its CRC check: programming its dump back while keeping the board's
// addresses is refused with nothing written (they cannot be trusted); -raw takes everything from
// the dump and repairs the board.
TEST(Prg, DamagedHwInfoIsRepairedOnlyWithRaw)
{
    DumpedBoard d;
    Board& b = d.board;
    const bytes& before = d.before;
    const std::string& dump = d.dump;
    b.host.nvram[0x150] ^= 0xFF;
    const bytes damaged = b.host.nvram;
    b.host.write_offsets.clear();
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", dump}));
    EXPECT_NE(std::string::npos, b.host.result().find("HW_INFO in NVRAM fails its CRC check")) << b.host.result();
    EXPECT_EQ(std::vector<uint32_t>{}, b.host.write_offsets);
    EXPECT_EQ(damaged, b.host.nvram);

    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "-raw", "0", dump})) << b.host.result();
    EXPECT_EQ(before, b.host.nvram);
}

TEST(Prg, BootCodeAddressTakesTheFormOfTheAdaptersFlash)
{
    const std::string images = "size=0x10000\nimage=BC1 1.2.3\nimage=UMP 1.1.4\n";
    const bytes linear = nvram_of("board=5708\n" + images);
    const bytes buffered = nvram_of("board=5708\nbuffered=1\n" + images);
    ASSERT_NE(get_be32(linear, 12), get_be32(buffered, 12));
    struct Case {
        const char* what;
        bool adapter_buffered;
        const bytes& image;
        uint32_t boot_addr;
    };
    const Case cases[] = {
        {"linear image on buffered flash", true, linear, get_be32(buffered, 12)},
        {"buffered image on linear flash", false, buffered, get_be32(linear, 12)},
        {"linear image on linear flash", false, linear, get_be32(linear, 12)},
        {"buffered image on buffered flash", true, buffered, get_be32(buffered, 12)},
    };
    for (const Case& c : cases) {
        Board b(std::string("board=5708\nsize=0x10000\n") + (c.adapter_buffered ? "buffered=1\n" : ""));
        TempDir dir;
        ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", dir.write("img.bin", c.image)})) << c.what;
        EXPECT_EQ(c.boot_addr, b.host.be32(12)) << c.what;
        EXPECT_TRUE(residue_ok(b.host.nvram, 0, 20)) << c.what;
        EXPECT_EQ(bytes(c.image.begin() + 20, c.image.begin() + HW_INFO),
                  bytes(b.host.nvram.begin() + 20, b.host.nvram.begin() + HW_INFO)) << c.what;
    }

    // A boot code whose CRC matches in neither form leaves the bootstrap as the image has it.
    bytes broken = linear;
    broken[find_image(linear, "BC1")->offset + 30] ^= 1;
    Board b("board=5708\nsize=0x10000\nbuffered=1\n");
    TempDir dir;
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", dir.write("img.bin", broken)}));
    EXPECT_EQ(bytes(broken.begin(), broken.begin() + 20), bytes(b.host.nvram.begin(), b.host.nvram.begin() + 20));
}

// ... and with -raw (the restore of a backup of such an adapter) it is programmed as it is.
TEST(Prg, AnImageWithoutBootCodeIsRefusedAtOffsetZeroOnly)
{
    bytes image = nvram_of("board=5708\nsize=0x10000\nimage=UMP 1.1.4\n");   // bootstrap names no boot code
    Board b;
    TempDir dir;
    const std::string file = dir.write("img.bin", image);
    const bytes before = b.host.nvram;
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", file}));
    EXPECT_EQ(before, b.host.nvram);
    EXPECT_EQ(0, b.host.writes);

    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "-no_chip_chk", "6", file, "6"}));
    EXPECT_EQ(bytes(image.begin(), image.begin() + 8), bytes(b.host.nvram.begin() + 4, b.host.nvram.begin() + 12));
    EXPECT_EQ(bytes(before.begin() + 12, before.end()), bytes(b.host.nvram.begin() + 12, b.host.nvram.end()));
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "-raw", "0", file})) << b.host.result();
    EXPECT_EQ(image, b.host.nvram);
    EXPECT_EQ("", verify_nvram(b.host.nvram));
}

TEST(Prg, SizeLimitsTheLengthButNeverReadsPastTheFile)
{
    Board b;
    TempDir dir;
    const bytes data(100, 0x5A);
    const std::string file = dir.write("d.bin", data);
    const bytes before = b.host.nvram;
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0x8000", file, "40"}));
    EXPECT_EQ(bytes(40, 0x5A), bytes(b.host.nvram.begin() + 0x8000, b.host.nvram.begin() + 0x8028));
    EXPECT_EQ(before[0x8028], b.host.nvram[0x8028]);
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "0x9000", file, "4096"}));
    EXPECT_EQ(data, bytes(b.host.nvram.begin() + 0x9000, b.host.nvram.begin() + 0x9064));
    EXPECT_EQ(before[0x9064], b.host.nvram[0x9064]);
}

TEST(Prg, FromMemoryAboveFourGigabytes)
{
    Board b;
    bytes data(64);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    const uint64_t address = reinterpret_cast<uintptr_t>(data.data());
    const std::string low = std::to_string(uint32_t(address)), high = std::to_string(uint32_t(address >> 32));
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "-mem", "0x8000", low, high, "64"})) << b.host.result();
    // Memory holds host-order words: each lands byte-reversed in NVRAM.
    EXPECT_EQ(dword_reversed(data), bytes(b.host.nvram.begin() + 0x8000, b.host.nvram.begin() + 0x8040));
}

TEST(Prg, RawTakesTheImagesOwnVpd)
{
    bytes image = nvram_of(kSmallBoard + "vpd.ec=EC-IMAGE\n");
    for (bool raw : {false, true}) {
        Board b(kSmallBoard + "vpd.ec=EC-ADAPTER\n");
        TempDir dir;
        std::vector<std::string> words{"_prg", "-skip_ec"};
        if (raw)
            words.push_back("-raw");
        words.push_back("0");
        words.push_back(dir.write("img.bin", image));
        ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, words)) << b.host.result();
        EXPECT_EQ(raw ? "EC-IMAGE" : "EC-ADAPTER", vpd_ec(b.host.nvram));
    }
}

TEST(Prg, RefusalsWriteNothing)
{
    TempDir dir;
    const std::string file = dir.write("img.bin", nvram_of(kSmallBoard));
    struct Case {
        std::vector<std::string> words;
        uint32_t error;
        const char* result;
    };
    const Case cases[] = {
        {{"_prg"}, 2, "?options? offset <file|mem_addr> ?size?"},
        {{"_prg", "-bogus", "0", file}, 0, "Unknown option: -bogus"},
        {{"_prg", "-idmatch", "-noidmatch", "0", file}, 0, "error: -no_chip_chk and -idmatch can't coexist\n"},
        {{"_prg", "-no_chip_chk", "-idmatch", "0", file}, 0, "error: -no_chip_chk and -idmatch can't coexist\n"},
        {{"_prg", "-skip_options", "-l", "0", file}, 0, "No options specified for -skip_options."},
        {{"_prg", "-skip_options", "1.5", "0", file}, 0, "No options specified for -skip_options."},
        {{"_prg", "-skip_options", "17,x", "0", file}, 0, "Invalid character in NVM config options to skip."},
        {{"_prg", "zero", file}, 2, "Offset: expect an integer, but got zero"},
        {{"_prg", "0", file, "big"}, 2, "Size: expect an integer, but got big"},
        {{"_prg", "-l"}, 49, "NVRAM offset not specified."},
        {{"_prg", "0"}, 2, "Neither memory location nor file name specified."},
        {{"_prg", "0", file + ".missing"}, 13, "File does not exist."},
        {{"_prg", "-mem", "0x8000", "nowhere", "16"}, 0, "Invalid host memory address, but got nowhere"},
        {{"_prg", "-mem", "0x8000", "1", "high", "16"}, 0, "Invalid high host memory address, but got high"},
        {{"_prg", "-mem", "0x8000", "4096"}, 2, "Size: a byte count up to the NVRAM size is needed with -mem."},
        {{"_prg", "-mem", "0x8000", "4096", "0x7FFFFFF0"}, 2, "Size: a byte count up to the NVRAM size"},
    };
    for (const Case& c : cases) {
        Board b;
        const bytes before = b.host.nvram;
        EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_prg_cmd, c.words)) << c.words.back();
        EXPECT_EQ(c.error, b.host.last_error) << c.result;
        EXPECT_NE(std::string::npos, b.host.result().find(c.result)) << b.host.result();
        EXPECT_EQ(0, b.host.writes) << c.result;
        EXPECT_EQ(before, b.host.nvram);
    }

    // A failed write is a failed command (the image differs from the NVRAM in the piece at 0x1000,
    // so that piece is written).
    Board b;
    bytes other = nvram_of(kSmallBoard);
    other[0x1010] ^= 0xFF;
    const std::string changed = dir.write("changed.bin", other);
    b.host.fail_write_at = 0x1000;
    EXPECT_EQ(TCL_ERROR, b.host.run(toe_nvm_prg_cmd, {"_prg", "0", changed}));
    EXPECT_EQ(18u, b.host.last_error);
    EXPECT_NE(std::string::npos, b.host.result().find("Programming NVM failed."));
}

TEST(Prg, SkipOptionsAreNotedOnTheOtherDevicesAndSetAgain)
{
    Board b;
    TempDir dir;
    const std::string file = dir.write("img.bin", nvram_of(kSmallBoard));
    // The adapter's other devices are reached through "device" and set through "nvm cfg"; here
    // both only record what they were asked.
    ASSERT_EQ(TCL_OK, Tcl_EvalEx(b.host.interp,
                                 "set ::asked {}; proc device {args} {lappend ::asked [concat device $args]};"
                                 "proc nvm {args} {lappend ::asked [concat nvm $args]}",
                                 -1, 0));
    auto asked = [&] { return std::string(Tcl_GetVar(b.host.interp, "::asked", TCL_GLOBAL_ONLY)); };

    // Without the device count (this front end publishes none) no other device is visited.
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "-skip_options", "17, 21", "0", file}));
    EXPECT_EQ("{device 0 -no_display} {device 0 -no_display}", asked());

    Tcl_SetVar(b.host.interp, "::asked", "", TCL_GLOBAL_ONLY);
    b.host.set_toe("BUS", "0000:03:00");
    b.host.set_toe("TOTAL_DEV", "2");
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(TCL_OK, b.host.run(toe_nvm_prg_cmd, {"_prg", "-skip_options", "17, 21", "0", file}));
    const std::string calls = asked();
    EXPECT_EQ(0u, calls.find("{device 1 -no_display} {device 0 -no_display} {device 1 -no_display} {nvm cfg 17="))
        << calls;
    EXPECT_NE(std::string::npos, calls.find(" 21=")) << calls;
    EXPECT_EQ(calls.size() - std::strlen("{device 0 -no_display}"), calls.rfind("{device 0 -no_display}")) << calls;
    const std::string printed = fwupg::nvm::test::take_debug_text();
    EXPECT_NE(std::string::npos, printed.find("Skip NVM configuration options 17, 21 while programming ..\n"));
    EXPECT_NE(std::string::npos, printed.find("Restore: 1 str=nvm cfg 17=")) << printed;
}
