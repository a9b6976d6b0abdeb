// Text-file images on simulated E1-E3 adapters: "upgrade -m_pn/-hw_set/-vpd" programs the image a
// text file stands for, "_dump" of the same selector writes the text back, and the cfg option YB
// sets the VPD field. NVRAM, files and expected bytes come from the test kit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "content_lines.h"
#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/cfg_editor.h"
#include "fwupg/nvm/formats/vpd_text.h"
#include "kit_board.h"
#include "testkit/bytes.h"
#include "testkit/e1e3_reader.h"
#include "testkit/images.h"
#include "testkit/text_images.h"
#include "testkit/vpd.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;
using testkit::Bytes;

namespace {

testkit::VpdFields vpd_fields()
{
    testkit::VpdFields f;
    f.name = "Dual Port Test Adapter";
    f.sn = "SN42";
    return f;
}

uint16_t device_of(kit::Chip chip) { return chip == kit::Chip::E1 ? 0x164E : chip == kit::Chip::E2 ? 0x1662 : 0x168E; }

// A board with boot code, an L2 image and an MFW pair (so an extended directory).
kit::NvramDef board(bool vpd_image, kit::Chip chip)
{
    kit::NvramDef s = kit_board_def();
    s.chip = chip;
    kit::set_board(s, 0x14E4, device_of(chip), 0x14E4, 0x1234, 0x001018AA0000ull, 2);
    s.images.push_back(kit_image("BC1", testkit::stock_image("BC1", "7.10.1")));
    s.images.push_back(kit_image("L2T", testkit::stock_image("L2T", "7.10.1")));
    s.images.push_back(kit_image("MFW1", testkit::stock_image("MFW1", "7.10.1")));
    s.images.push_back(kit_image("MFW2", testkit::stock_image("MFW2", "7.10.1")));
    if (vpd_image)
        s.images.push_back(kit_image("VPD", testkit::vpd_directory_image(vpd_fields(), 128)));
    return s;
}

struct TextBoard : KitBoard {
    explicit TextBoard(bool vpd_image = false, kit::Chip c = kit::Chip::E3)
        : KitBoard(board(vpd_image, c)), chip(c)
    {
        current.reset();
        adapter.set_device_id(device_of(chip));
        current = std::make_unique<CurrentAdapter>(adapter);
        adapter.set_toe("VID", std::to_string(0x14E4));
        adapter.set_toe("DID", std::to_string(device_of(chip)));
        adapter.set_toe("SVID", std::to_string(0x14E4));
        adapter.set_toe("SSID", std::to_string(0x1234));
        adapter.set_toe("CHIP_REV", "B0");
    }
    int upgrade(const std::vector<std::string>& words)
    {
        const int rc = adapter.run_command(tcl_al_nvm_upgrade_cmd, "upgrade", words);
        return rc;
    }
    kit::Report verify() const { return kit::verify(adapter.nvram, chip); }
    kit::Chip chip;
    uint32_t last_error() const { return adapter.last_errors.empty() ? 0 : adapter.last_errors.back(); }
    // The image of a kind as NVRAM holds it, without its CRC; empty when absent.
    Bytes stored(const std::string& kind) const
    {
        auto img = kit::find_image(adapter.nvram, kind);
        if (!img || img->length < 4)
            return {};
        return Bytes(adapter.nvram.begin() + img->offset, adapter.nvram.begin() + img->offset + img->length - 4);
    }
};

const std::vector<testkit::SfpModule> kModules = {
    {"JDSU", "00-01-9c", "PLRXPLSCS4321N"},
    {"JDSU", "*", "*"},
    {"*", "00-90-65", "FTLX8571D3BCL"},
};

const std::vector<testkit::HwSetEntry> kScript = {
    {"GRC", 0, 1, 0x1000, 0xff, 0x1, "W"},
    {"PCI", 2, 8, 0x7C, 0x8000, 0xC, "RMW_CLR"},
};

struct TextCase {
    const char* option;
    const char* kind;
    std::string text;
    Bytes nvram_image;
    bool dump_repeats_lines;  // the dump's non-comment lines are the kit file's
};

std::vector<TextCase> text_cases()
{
    return {
        {"-m_pn", "MODULES_PN", testkit::sfp_module_text(kModules), testkit::sfp_module_nvram_image(kModules), true},
        {"-hw_set", "HW_SET", testkit::hw_set_text(kScript), testkit::hw_set_nvram_image(kScript), true},
        {"-vpd", "VPD", testkit::vpd_text_file(vpd_fields(), 128),
         testkit::words_reversed(testkit::vpd_directory_image(vpd_fields(), 128)), false},
    };
}

TEST(TextImageUpgrade, ProgrammedImageDumpsBackToTheSameText)
{
    for (kit::Chip chip : {kit::Chip::E1, kit::Chip::E2, kit::Chip::E3}) {
        for (const TextCase& c : text_cases()) {
            SCOPED_TRACE(std::string(c.option) + " on E" + std::to_string(int(chip) + 1));
            TempDir tmp;
            TextBoard b(false, chip);
            const std::string in = (tmp / "in file.txt"), out = (tmp / "out [1].txt");
            testkit::write_text_file(in, c.text);

            take_debug_text();
            ASSERT_EQ(b.upgrade({c.option, in}), 0) << b.result() << take_debug_text();
            EXPECT_NE(b.result().find("info burned into nvm successfully."), std::string::npos);
            EXPECT_EQ(b.result().find("not wrapped"), std::string::npos);
            EXPECT_EQ(b.adapter.regs[0xA470], 1u);
            EXPECT_KIT_VALID(b);
            EXPECT_EQ(b.stored(c.kind), c.nvram_image);

            ASSERT_EQ(b.run(tcl_al_nvm_dump_cmd, std::string("_dump ") + c.option + " " + word(out)), TCL_OK)
                << b.result() << take_debug_text();
            const Bytes dumped = testkit::read_file(out);
            if (c.dump_repeats_lines) {
                EXPECT_EQ(content_lines(std::string(dumped.begin(), dumped.end())), content_lines(c.text));
            }

            // The dumped file is an upgrade file again, and gives the same image.
            ASSERT_EQ(b.upgrade({c.option, out}), 0) << b.result() << take_debug_text();
            EXPECT_EQ(b.stored(c.kind), c.nvram_image);
            EXPECT_KIT_VALID(b);
        }
    }
}

TEST(TextImageUpgrade, VpdUpgradeMarksTheBoardAsHoldingAVpdImage)
{
    TempDir tmp;
    TextBoard b;
    b.adapter.set_toe("IS_VPD_IMAGE", "0");
    testkit::write_text_file(tmp / "vpd.txt", testkit::vpd_text_file(vpd_fields(), 128));
    ASSERT_EQ(b.upgrade({"-vpd", (tmp / "vpd.txt")}), 0) << b.result();
    EXPECT_EQ(b.adapter.toe("IS_VPD_IMAGE"), "1");
}

TEST(TextImageUpgrade, NewModuleListReplacesTheOldOne)
{
    TempDir tmp;
    TextBoard b;
    testkit::write_text_file(tmp / "a.txt", testkit::sfp_module_text(kModules));
    testkit::write_text_file(tmp / "b.txt", testkit::sfp_module_text({kModules[1]}));
    ASSERT_EQ(b.upgrade({"-m_pn", (tmp / "a.txt")}), 0) << b.result();
    ASSERT_EQ(b.upgrade({"-m_pn", (tmp / "b.txt")}), 0) << b.result();
    EXPECT_EQ(b.stored("MODULES_PN"), testkit::sfp_module_nvram_image({kModules[1]}));
    EXPECT_KIT_VALID(b);
    int lists = 0;
    for (const auto& img : kit::list_images(b.adapter.nvram))
        lists += img.name == "MODULES_PN";
    EXPECT_EQ(lists, 1);
}

TEST(TextImageUpgrade, BadOrMissingTextFileIsRefusedWithoutAWrite)
{
    struct Case {
        const char* option;
        std::string text;  // empty: the file is not there
        const char* message;
    } cases[] = {
        {"-m_pn", "revision = 2\nJDSU, *, *\n", "File not found or Improper file format\n"},
        {"-m_pn", "revision = 1\nJDSU, 00-01, PN\n", "File not found or Improper file format\n"},
        {"-hw_set", "GRC, 0, 9, 0x1000, 0xff, 0x1, W\n", "File not found or Improper file format\n"},
        {"-vpd", "[REGION=VPD-R, 128]\nPN=Text,\"P1\"\n", "File not found or Improper file format\n"},
        {"-hw_set", "", "File does not exist."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.text);
        TempDir tmp;
        TextBoard b;
        if (!c.text.empty())
            testkit::write_text_file(tmp / "f.txt", c.text);
        const Bytes before = b.adapter.nvram;
        b.adapter.writes.clear();
        EXPECT_EQ(b.upgrade({c.option, (tmp / "f.txt")}), 1);
        EXPECT_EQ(b.last_error(), 13u);
        EXPECT_NE(b.result().find(c.message), std::string::npos) << b.result();
        EXPECT_TRUE(b.adapter.writes.empty());
        EXPECT_EQ(b.adapter.nvram, before);
    }
}

TEST(TextImageDump, AbsentImagesAreReportedAndNoFileIsWritten)
{
    struct Case {
        const char* selector;
        const char* message;
    } cases[] = {
        {"-m_pn", ""},
        {"-hw_set", "Can't dump HW_SWT image, does not exist."},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        TextBoard b;
        EXPECT_EQ(b.run(tcl_al_nvm_dump_cmd, std::string("_dump ") + c.selector + " " + word(tmp / "o.txt")),
                  TCL_ERROR);
        EXPECT_EQ(b.result(), c.message);
        EXPECT_FALSE(std::filesystem::exists(tmp / "o.txt"));
    }
}

// Sets YB through the option setter; the count byte of `bytes` comes first.
int set_yb(KitBoard& b, std::vector<uint8_t>& bytes)
{
    cfg_request r{};
    r.option_flag = 0x8000000;
    r.data = bytes.data();
    return common_nvm_cfg_57710_set(b.adapter.ops(), &r, 0);
}

std::string shown_yb(KitBoard& b)
{
    cfg_request r{};
    r.value = 32768;
    take_debug_text();
    show_nvm_cfg_57710(b.adapter.ops(), &r, 0);
    return take_debug_text();
}

TEST(CfgYb, YbIsAddedThenReplacedInTheVpdImage)
{
    TextBoard b(true);
    EXPECT_EQ(shown_yb(b), "VPD (YB): Does not exist.\n");

    std::vector<uint8_t> first{3, 0xAA, 0xBB, 0x01};
    ASSERT_EQ(set_yb(b, first), 0) << b.result() << take_debug_text();
    EXPECT_EQ(first[0], 0) << "the request's count byte is cleared";
    EXPECT_EQ(shown_yb(b), "VPD (YB): 0xaa 0xbb 0x1 \n");
    EXPECT_KIT_VALID(b);
    testkit::VpdFields expected = vpd_fields();
    expected.yb = {0xAA, 0xBB, 0x01};
    auto img = kit::find_image(b.adapter.nvram, "VPD");
    ASSERT_TRUE(img);
    EXPECT_EQ(Bytes(b.adapter.nvram.begin() + img->offset, b.adapter.nvram.begin() + img->offset + img->length - 4),
              testkit::words_reversed(testkit::vpd_directory_image(expected, 128)));

    std::vector<uint8_t> second{1, 0x7F};
    ASSERT_EQ(set_yb(b, second), 0) << take_debug_text();
    EXPECT_EQ(shown_yb(b), "VPD (YB): 0x7f \n");
    EXPECT_KIT_VALID(b);
}

TEST(CfgYb, BoardWithoutAVpdImageRefusesAndKeepsItsNvram)
{
    TextBoard b(false);
    const Bytes before = b.adapter.nvram;
    std::vector<uint8_t> bytes{2, 0x10, 0x20};
    take_debug_text();
    EXPECT_EQ(set_yb(b, bytes), 1);
    EXPECT_NE(take_debug_text().find("VPD: Does not exist."), std::string::npos);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(b.adapter.nvram, before);

    // Too many bytes for a VPD field are refused on a board that has the image, too.
    TextBoard with(true);
    const Bytes kept = with.adapter.nvram;
    std::vector<uint8_t> long_yb(256, 0x55);
    long_yb[0] = 255;
    EXPECT_EQ(set_yb(with, long_yb), 1);
    EXPECT_EQ(with.adapter.nvram, kept);
}

}  // namespace
