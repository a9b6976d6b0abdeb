// "_dump", "_prg" and "usrblk" on an E4 adapter holding the test kit's stock E4 NVRAM: the dump reads as
// stored and writes network-order words (the VPD and register-script dumps turn them back into
// their text files); the raw programmer leaves E4 NVRAM alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/commands/commands.h"
#include "kit_e4_board.h"
#include "platform/testing/temp_root.h"
#include "testkit/bytes.h"

namespace {

using namespace fwupg::nvm::test;
using platform::testing::TempDir;
namespace e4 = testkit::e4;

std::string word(const std::filesystem::path& p) { return "{" + p.string() + "}"; }

std::string text_of(const std::filesystem::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

KitE4Board stock_board() { return KitE4Board(e4::stock_nvram(e4::StockDef{})); }

TEST(E4Dump, WholeNvramAndRangesGoOutInNetworkOrder)
{
    TempDir tmp;
    const std::filesystem::path dir = tmp.path();
    for (const char* line : {"_dump %F", "_dump -mdump %F", "_dump -l %F", "_dump 0x2000 0x1003 %F"}) {
        SCOPED_TRACE(line);
        KitE4Board b = stock_board();
        std::string cmd = line;
        const auto out = dir / "nvm.bin";
        std::filesystem::remove(out);
        cmd.replace(cmd.find("%F"), 2, word(out));
        ASSERT_EQ(b.run(tcl_al_nvm_dump_cmd, cmd), TCL_OK) << b.result();
        const testkit::Bytes got = testkit::read_file(out);
        const bool range = cmd.find("0x2000") != std::string::npos;
        const size_t start = range ? 0x2000 : 0, length = range ? 0x1000 : b.adapter.nvram.size();
        ASSERT_EQ(got.size(), length);
        for (size_t i = 0; i < length; ++i)
            ASSERT_EQ(got[i], b.adapter.nvram[start + (i & ~size_t(3)) + 3 - (i & 3)]) << i;
    }
}

TEST(E4Dump, VpdAndRegisterScriptImagesBecomeTheirTextFiles)
{
    TempDir tmp;
    const std::filesystem::path dir = tmp.path();
    KitE4Board b = stock_board();
    ASSERT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump -vpd " + word(dir / "vpd.txt")), TCL_OK) << b.result();
    const std::string vpd = text_of(dir / "vpd.txt");
    EXPECT_NE(vpd.find("Product Name=Text,\"E4 test adapter\"\n"), std::string::npos) << vpd;
    EXPECT_NE(vpd.find("SN=Text,\"SN0000000001\"\n"), std::string::npos) << vpd;
    EXPECT_NE(vpd.find("V9=Text,\"8.10.5\"\n"), std::string::npos) << vpd;

    ASSERT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump -hw_set " + word(dir / "hw.txt")), TCL_OK) << b.result();
    const std::string hw = text_of(dir / "hw.txt");
    // After the fixed comment block (closed by its rule and an empty line), one line per entry of
    // the kit's stock script: a write of 1 to 0x2000 and a set of bit 4 at 0x2004.
    const std::string rule = "###########################################################################\n\n";
    ASSERT_NE(hw.find(rule), std::string::npos) << hw;
    EXPECT_EQ(hw.substr(hw.find(rule) + rule.size()),
              "GRC, 0, 0, 0x2000, 0x1, 0x0, W\n"
              "GRC, 0, 0, 0x2004, 0x10, 0x0, RMW_SET\n");
}

TEST(E4Dump, Refusals)
{
    TempDir tmp;
    const std::filesystem::path dir = tmp.path();
    e4::StockDef def;
    e4::NvramDef desc = e4::stock_nvram(def);
    std::erase_if(desc.images, [](const e4::ImageDef& im) { return im.type == e4::type::VPD || im.type == e4::type::HW_SET; });
    KitE4Board b(desc);
    const auto out = dir / "out.txt";
    struct Case {
        const char* args;
        const char* text;
    } cases[] = {
        {"-vpd", "Can't dump VPD image, does not exist."},
        {"-hw_set", "Can't dump HW_SWT image, does not exist."},
        {"-m_pn", "?-l? offset length filename"},
        {"0x3FF00 0x200", "past the end of NVM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(b.run(tcl_al_nvm_dump_cmd, std::string("_dump ") + c.args + " " + word(out)), TCL_ERROR);
        EXPECT_NE(b.result().find(c.text), std::string::npos) << b.result();
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    testkit::write_file(out, testkit::Bytes{1, 2, 3});
    EXPECT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump " + word(out)), TCL_ERROR);
    EXPECT_EQ(b.result(), "Can't write to file, already exists?");
    EXPECT_EQ(testkit::read_file(out), (testkit::Bytes{1, 2, 3}));
}

TEST(E4Dump, AFailedReadWritesNoFile)
{
    TempDir tmp;
    const std::filesystem::path dir = tmp.path();
    KitE4Board b = stock_board();
    b.adapter.fail_reads = true;
    EXPECT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump " + word(dir / "o.bin")), TCL_ERROR);
    EXPECT_FALSE(std::filesystem::exists(dir / "o.bin"));
}

TEST(E4Prg, ReturnsWithoutTouchingNvram)
{
    TempDir tmp;
    const std::filesystem::path dir = tmp.path();
    KitE4Board b = stock_board();
    testkit::write_file(dir / "in.bin", testkit::Bytes(64, 0));
    const testkit::Bytes before = b.adapter.nvram;
    EXPECT_EQ(b.run(tcl_al_nvm_prg_cmd, "_prg 0 " + word(dir / "in.bin")), TCL_OK);
    EXPECT_EQ(b.result(), "");
    EXPECT_EQ(take_debug_text(), "nvm prg does no raw programming on E4; nothing was written.\n");
    EXPECT_EQ(b.adapter.nvram, before);
    EXPECT_EQ(b.adapter.bytes_written, 0u);
    EXPECT_KIT_E4_VALID(b);
}

// The E4 directory has no user block type: usrblk is refused and writes nothing.
TEST(E4Usrblk, IsRefusedWithoutTouchingNvram)
{
    KitE4Board b = stock_board();
    const testkit::Bytes before = b.adapter.nvram;
    EXPECT_EQ(b.run(tcl_al_nvm_usrblk_cmd, "usrblk -s 64"), TCL_ERROR);
    EXPECT_EQ(b.result(), "nvm usrblk is not supported on this chip.");
    EXPECT_EQ(b.adapter.nvram, before);
}

}  // namespace
