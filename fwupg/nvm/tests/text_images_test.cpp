// The SFP+ module list and register-script text files: parsing into images, refusals with their
// messages, and images (as NVRAM holds them) written back as text. Expected images come from the
// test kit.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "content_lines.h"
#include "fake_host.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/formats/hw_set.h"
#include "fwupg/nvm/formats/sfp_modules.h"
#include "kit_board.h"
#include "testkit/bytes.h"
#include "testkit/text_images.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;
using testkit::Bytes;
using testkit::HwSetEntry;
using testkit::SfpModule;

namespace {

const std::vector<SfpModule> kModules = {
    {"JDSU", "00-01-9c", "PLRXPLSCS4321N"},
    {"JDSU", "*", "*"},
    {"*", "00-90-65", "FTLX8571D3BCL"},
    {"SIXTEEN-CHARS-AB", "0a-0b-ff", "SIXTEEN-CHARS-PN"},
};

const std::vector<HwSetEntry> kScript = {
    {"GRC", 0, 1, 0x1000, 0xff, 0x1, "W"},
    {"PHY", 3, 8, 0xA8, 0x0, 0xC, "R"},
    {"PCI", 12, 0, 0x7FFFFFFC, 0xFFFFFFFF, 0xF, "RMW_SET"},
    {"GRC", 1, 2, 0x2000, 0x10, 0x8, "RMW_CLR"},
};

TEST(SfpModuleText, KitFileBecomesTheKitImage)
{
    std::vector<uint8_t> image;
    ASSERT_EQ(sfp_module_text_to_image(testkit::sfp_module_text(kModules), image), 0) << take_debug_text();
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::sfp_module_host_image(kModules));

    // Programming stores every word big-endian; with the text words swapped first, NVRAM holds
    // the kit's NVRAM form.
    sfp_module_image_to_nvram_texts(image.data(), uint32_t(image.size()));
    common_nvm_swap_buffer(image.data(), uint32_t(image.size()));
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::sfp_module_nvram_image(kModules));
}

TEST(SfpModuleText, CommentsIgnoredLinesAndLinesBeforeTheRevisionAreSkipped)
{
    const std::string text =
        "JDSU, 00-01-9c, EARLY\r\n"     // before the revision line: not a module
        "# comment, with = signs\r\n"
        "a line without separators\r\n"
        "\r\n"
        "revision = 1\r\n"
        "  Finisar Corp ,  00-90-65 ,  FTLX8571D3BCL   trailing words\r\n"
        "JDSU,*,*\r\n";
    std::vector<uint8_t> image;
    ASSERT_EQ(sfp_module_text_to_image(text, image), 0) << take_debug_text();
    EXPECT_EQ(Bytes(image.begin(), image.end()),
              testkit::sfp_module_host_image({{"Finisar Corp", "00-90-65", "FTLX8571D3BCL"}, {"JDSU", "*", "*"}}));

    std::vector<uint8_t> empty;
    ASSERT_EQ(sfp_module_text_to_image("# only comments\nrevision = 1\n", empty), 0);
    EXPECT_EQ(Bytes(empty.begin(), empty.end()), testkit::sfp_module_host_image({}));
}

TEST(SfpModuleText, BadFilesAreRefusedWithTheirMessage)
{
    std::string many = "revision = 1\n";
    for (int i = 0; i < 33; ++i)
        many += "V" + std::to_string(i) + ", *, PN\n";
    std::string at_limit = "revision = 1\n";
    for (int i = 0; i < 32; ++i)
        at_limit += "V" + std::to_string(i) + ", *, PN\n";
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"revision = 1\nJDSU, 00-01-9c\n", "Module file incorrect format: in line [JDSU, 00-01-9c]"},
        {"revision = 1\nJDSU, , PN\n", "should include vendor_name, vendor_oui(xx-xx-xx) , part_number"},
        {"revision = 1\nJDSU, *, \n", "Module file incorrect format: in line [JDSU, *, ]"},
        {"revision = 1\nSEVENTEEN-CHARS-X, *, PN\n", "vendor_name string length is longer than 16"},
        {"revision = 1\nJDSU, *, SEVENTEEN-CHARS-X\n", "vendor_pn string length is longer than 16"},
        {"revision = 1\nJDSU, 00-01, PN\n", "vendor_oui incorrect format. Should be XX-XX-XX (in hex)"},
        {"revision = 1\nJDSU, 0g-01-02, PN\n", "vendor_oui incorrect format"},
        {"revision = 1\nJDSU, 100-01-02, PN\n", "vendor_oui incorrect format"},
        {"revision = 1\nJDSU, 00-01-02-03, PN\n", "vendor_oui incorrect format"},
        {many, "Module file exceeded number of supported modules"},
        {"revision = 2\nJDSU, *, *\n", "Module file revision is not supported"},
        {"JDSU, *, *\n", "Module file revision is not supported"},
        {"revision = 1\n" + std::string(1024, 'x') + ", *, *\n", "Module file incorrect format: in line [xxxx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        take_debug_text();
        std::vector<uint8_t> image;
        EXPECT_EQ(sfp_module_text_to_image(c.text, image), -1);
        EXPECT_NE(take_debug_text().find(c.message), std::string::npos);
    }
    std::vector<uint8_t> image;
    ASSERT_EQ(sfp_module_text_to_image(at_limit, image), 0);
    EXPECT_EQ(image.size(), 8u + 32u * 40u);
    ASSERT_EQ(sfp_module_text_to_image("revision = 1\n" + std::string(1000, 'x') + "\n", image), 0)
        << "a long line up to the limit is read (and ignored here)";
}

TEST(SfpModuleText, NvramImageIsWrittenBackAsTheSameList)
{
    const Bytes nvram = testkit::sfp_module_nvram_image(kModules);
    std::string text;
    ASSERT_EQ(sfp_module_image_to_text(nvram.data(), uint32_t(nvram.size()), text), 0);
    EXPECT_EQ(text.rfind("##################################################\n"
                         "#           APPROVED SFP+ MODULES LIST           #\n",
                         0),
              0u);
    EXPECT_EQ(content_lines(text), content_lines(testkit::sfp_module_text(kModules)));
    EXPECT_NE(text.find("\nJDSU , * , *\n"), std::string::npos);
    EXPECT_NE(take_debug_text().find("info: module image includes 4 modules"), std::string::npos);

    // And the text parses back into the same image.
    std::vector<uint8_t> image;
    ASSERT_EQ(sfp_module_text_to_image(text, image), 0);
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::sfp_module_host_image(kModules));

    // An image whose count reaches past its bytes is refused, not read beyond them.
    Bytes cut(nvram.begin(), nvram.end() - 4);
    EXPECT_EQ(sfp_module_image_to_text(cut.data(), uint32_t(cut.size()), text), -1);
    EXPECT_EQ(sfp_module_image_to_text(cut.data(), 4, text), -1);
}

TEST(HwSetText, KitScriptBecomesTheKitImageInAnyCase)
{
    std::vector<uint8_t> image;
    ASSERT_EQ(hw_set_text_to_image(testkit::hw_set_text(kScript), image), 0) << take_debug_text();
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::hw_set_host_image(kScript));

    const std::string text =
        "# comment\n"
        "; another, with = and commas\n"
        "no separators here\n"
        "\n"
        "  grc , 0 , 1 , 0X1000 , 0xFf , 0x1 , w  \r\n";
    ASSERT_EQ(hw_set_text_to_image(text, image), 0) << take_debug_text();
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::hw_set_host_image({kScript[0]}));

    ASSERT_EQ(hw_set_text_to_image("# nothing\n", image), 0);
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::hw_set_host_image({}));
}

TEST(HwSetText, BadLinesAreRefusedWithTheirMessages)
{
    struct Case {
        std::string line;
        const char* message;  // null: only the "incorrect format" line
    } cases[] = {
        {"GRC, 0, 9, 0x1000, 0xff, 0x1, W", "PF number 9 is not allowed"},
        {"XGM, 0, 1, 0x1000, 0xff, 0x1, W", "reg_type XGM is not allowed"},
        {"GRC, a, 1, 0x1000, 0xff, 0x1, W", "bank_no is not a number"},
        {"GRC, 0, -1, 0x1000, 0xff, 0x1, W", "PF is not a number"},
        {"GRC, 0, 1, 1000, 0xff, 0x1, W", nullptr},
        {"GRC, 0, 1, 0x1000, ff, 0x1, W", nullptr},
        {"GRC, 0, 1, 0x1000, 0xff, 1, W", nullptr},
        {"GRC, 0, 1, 0x1000, 0x123456789, 0x1, W", nullptr},
        {"GRC, 0, 1, 0x10zz, 0xff, 0x1, W", nullptr},
        {"GRC, 0, 1, 0x1000, 0xff, 0x10, W", "Reset type 0x10 is not allowed"},
        {"GRC, 0, 1, 0x1000, 0xff, 0x1, RW", "operation RW is not allowed"},
        {"GRC, 0, 1, 0x1000, 0xff, 0x1,", "operation  is not allowed"},
        {"GRC, 0, 1, 0x1000, 0xff", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        take_debug_text();
        std::vector<uint8_t> image;
        EXPECT_EQ(hw_set_text_to_image("# script\n" + c.line + "\n", image), -1);
        const std::string printed = take_debug_text();
        if (c.message) {
            EXPECT_NE(printed.find(c.message), std::string::npos) << printed;
        }
        EXPECT_NE(printed.find("HW_SET file incorrect format: in line [" + c.line + "]"), std::string::npos) << printed;
    }
    std::vector<uint8_t> image;
    EXPECT_EQ(hw_set_text_to_image(std::string(1024, ',') + "\n", image), -1);
    EXPECT_NE(take_debug_text().find("HW_SET file incorrect format: in line [,,,,"), std::string::npos);
}

TEST(HwSetText, NvramImageIsWrittenBackAsTheSameScript)
{
    const Bytes nvram = testkit::hw_set_nvram_image(kScript);
    std::string text;
    ASSERT_EQ(hw_set_image_to_text(nvram.data(), uint32_t(nvram.size()), text), 0);
    EXPECT_EQ(text.rfind("###########################################################################\n"
                         "#                                                                          \n"
                         "#  Example HW_SET text file                                                \n",
                         0),
              0u);
    EXPECT_NE(text.find("###########################################################################\n\n"
                        "GRC, 0, 1, 0x1000, 0xff, 0x1, W\n"),
              std::string::npos);
    EXPECT_EQ(content_lines(text), content_lines(testkit::hw_set_text(kScript)));
    std::vector<uint8_t> image;
    ASSERT_EQ(hw_set_text_to_image(text, image), 0);
    EXPECT_EQ(Bytes(image.begin(), image.end()), testkit::hw_set_host_image(kScript));

    // Words no script names, and a count past the image's bytes, are refused.
    struct Bad {
        size_t at;
        uint32_t value;
        const char* message;
    } bads[] = {
        {8, 3, "reg_type 0x3 is not allowed"},
        {8 + 12, 5, "operation 0x5 is not allowed"},
        {4, 5, "lists 5 entries"},
    };
    for (const Bad& b : bads) {
        Bytes broken = nvram;
        testkit::set_be32(broken, b.at, b.value);
        take_debug_text();
        EXPECT_EQ(hw_set_image_to_text(broken.data(), uint32_t(broken.size()), text), -1);
        EXPECT_NE(take_debug_text().find(b.message), std::string::npos) << b.message;
    }
}

TEST(TextImageFiles, DumpsNeverReplaceAFileThatHoldsData)
{
    TempDir tmp;
    const Bytes modules = testkit::sfp_module_nvram_image(kModules);
    const Bytes script = testkit::hw_set_nvram_image(kScript);
    struct Case {
        int (*dump)(const char*, const uint8_t*, uint32_t);
        const Bytes* image;
        const char* message;
    } cases[] = {
        {sfp_module_list_dump, &modules, "Parsing modules image failed ! output file allready exists"},
        {hw_set_dump, &script, "Parsing HW_SET image failed ! output file allready exists"},
    };
    for (const Case& c : cases) {
        const std::string path = (tmp / "out.txt");
        std::remove(path.c_str());
        // A new file, and an empty one, are written.
        ASSERT_EQ(c.dump(path.c_str(), c.image->data(), uint32_t(c.image->size())), 0);
        const Bytes first = testkit::read_file(path);
        EXPECT_FALSE(first.empty());
        { std::ofstream truncate(path, std::ios::trunc); }
        ASSERT_EQ(c.dump(path.c_str(), c.image->data(), uint32_t(c.image->size())), 0);
        EXPECT_EQ(testkit::read_file(path), first);
        testkit::write_text_file(path, "keep me\n");
        take_debug_text();
        EXPECT_EQ(c.dump(path.c_str(), c.image->data(), uint32_t(c.image->size())), 1);
        EXPECT_NE(take_debug_text().find(c.message), std::string::npos);
        const Bytes kept = testkit::read_file(path);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me\n");
    }
}

TEST(TextImageFiles, ParsersReadTheFileAndRefuseAMissingOne)
{
    TempDir tmp;
    const std::string path = (tmp / "modules.txt");
    testkit::write_text_file(path, testkit::sfp_module_text(kModules));
    uint32_t size = 0;
    uint8_t* image = sfp_module_list_parse(path.c_str(), &size);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Bytes(image, image + size), testkit::sfp_module_host_image(kModules));
    common_nvm_free(image);
    EXPECT_EQ(sfp_module_list_parse((tmp / "missing.txt").c_str(), &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(hw_set_parse((tmp / "missing.txt").c_str(), &size), nullptr);
}

}  // namespace
