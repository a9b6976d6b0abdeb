// The VPD engine: field table and its image, the VPD text file, the read and write commands on
// the configuration-area copy and on the extended directory's image.
#include <gtest/gtest.h>

#include <cstring>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/vpd_cmd.h"
#include "fwupg/nvm/formats/vpd_info.h"
#include "fwupg/nvm/formats/vpd_table.h"
#include "fwupg/nvm/formats/vpd_text.h"
#include "kit_board.h"
#include "testkit/bytes.h"
#include "testkit/vpd.h"

namespace fwupg::nvm::test {
namespace {

using testkit::Bytes;

testkit::VpdFields fields()
{
    testkit::VpdFields f;
    f.name = "Dual Port Test Adapter";
    f.pn = "PN-0042";
    f.sn = "SN77";
    return f;
}

TEST(VpdTable, ParsesAndRebuildsTheKitsDirectoryImage)
{
    for (uint32_t area : {128u, 256u}) {
        const Bytes kit_image = testkit::vpd_directory_image(fields(), area, 1, {{"YA", "ASSET-9"}, {"V7", "x"}});
        vpd_field_table t;
        std::string why;
        ASSERT_EQ(vpd_table_from_image(kit_image.data(), uint32_t(kit_image.size()), &t, &why), 0) << why;
        EXPECT_EQ(std::string(t.product_name, t.name_length), "Dual Port Test Adapter");
        ASSERT_NE(vpd_table_find(&t, "YA"), nullptr);
        uint8_t* built = vpd_table_build_image(&t, area, 1);
        ASSERT_NE(built, nullptr);
        EXPECT_EQ(Bytes(built, built + area + 4), kit_image) << area;
        common_nvm_free(built);
    }
}

TEST(VpdTable, BuilderRefusesWhatDoesNotFit)
{
    vpd_field_table t{};
    ASSERT_TRUE(vpd_table_set_name(&t, "N", 1));
    const Bytes big(200, 'a');
    ASSERT_TRUE(vpd_table_set(&t, "V1", big.data(), 200));
    take_debug_text();
    EXPECT_EQ(vpd_table_build_image(&t, 128, 1), nullptr);
    EXPECT_NE(take_debug_text().find("vpd_table_size is too small"), std::string::npos);
    // Room left for RV of 256 bytes or more cannot be written as its one-byte length.
    vpd_field_table small{};
    ASSERT_TRUE(vpd_table_set_name(&small, "N", 1));
    EXPECT_EQ(vpd_table_build_image(&small, 512, 1), nullptr);
    EXPECT_NE(take_debug_text().find("remaining length at RV TAG exceeds 255"), std::string::npos);
}

TEST(VpdCopy, ChecksumCountsFromByteZeroOrFromTheReadOnlyTag)
{
    const Bytes good = testkit::vpd_image_128(fields());
    const size_t ro = 3 + fields().name.size() + 1;
    size_t cs = 126;
    while (!(good[cs - 3] == 'R' && good[cs - 2] == 'V'))
        --cs;  // the checksum byte follows "RV" and its length
    Bytes from_ro = good;
    unsigned sum = 0;
    for (size_t i = ro; i < cs; ++i)
        sum += from_ro[i];
    from_ro[cs] = uint8_t(-sum);
    Bytes broken = good;
    broken[cs] ^= 0x5A;

    struct Case {
        const Bytes* image;
        int status;
        const char* sn;
    } cases[] = {{&good, 0, "SN77"}, {&from_ro, 0, "SN77"}, {&broken, 2, "0123456789"}};
    for (const Case& c : cases) {
        uint8_t img[256] = {};
        std::memcpy(img, c.image->data(), 128);
        vpd_info info;
        EXPECT_EQ(vpd_parse_image_57710(&info, img, 0), c.status);
        EXPECT_STREQ(info.sn, c.sn);
    }
}

TEST(VpdText, FileBecomesTheKitsImageAndDumpsBackToTheSameImage)
{
    TempDir tmp;
    testkit::write_text_file(tmp / "vpd.txt", testkit::vpd_text_file(fields(), 128));
    uint32_t size = 0;
    uint8_t* image = vpd_text_file_to_image((tmp / "vpd.txt").c_str(), &size);
    ASSERT_NE(image, nullptr);
    const Bytes from_file(image, image + size);
    common_nvm_free(image);
    EXPECT_EQ(from_file, testkit::vpd_directory_image(fields(), 128));

    // On the adapter, in the extended directory: "_dump -vpd" writes the text file again.
    kit::NvramDef desc = kit_board_def();
    desc.images.push_back(kit_image("VPD", from_file));
    KitBoard b(desc);
    ASSERT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump -vpd " + word(tmp / "dumped.txt")), TCL_OK) << b.result();
    const Bytes text = testkit::read_file(tmp / "dumped.txt");
    EXPECT_NE(std::string(text.begin(), text.end()).find("[REGION=VPD-R, 128]\nProduct Name=Text,\"Dual Port Test Adapter\"\n"),
              std::string::npos);
    image = vpd_text_file_to_image((tmp / "dumped.txt").c_str(), &size);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Bytes(image, image + size), from_file);
    common_nvm_free(image);
    // A second dump into the same (now non-empty) file is refused.
    EXPECT_EQ(b.run(tcl_al_nvm_dump_cmd, "_dump -vpd " + word(tmp / "dumped.txt")), TCL_ERROR);
}

TEST(VpdText, BadFilesAreRefusedWithTheirReason)
{
    const std::string good_fields = "PRODUCT NAME=Text,\"Board\"\nPN=Text,\"P1\"\n";
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"REVISION = 2\n[REGION=VPD-R, 128]\n" + good_fields, "VPD-R version is not as expected version 1"},
        {"[REGION=VPD-R, 130]\n" + good_fields, "VPD-R size should be a multiple of 4"},
        {"[REGION=VPD-R, 516]\n" + good_fields, "VPD-R size exceed maximum allowed size 512"},
        {"[REGION=VPD-R, 16]\n" + good_fields, "VPD image size required (19) is less than declared size in file (16)"},
        {"[REGION=VPD-R, 128]\nPN=Text,\"P1\"\n", "Missing Product Name"},
        {"[REGION=VPD-X, 128]\n" + good_fields, "Unknown region title"},
        {"[REGION=VPD-W, 128]\n" + good_fields, "VPD-W fields are not supported"},
        {"[REGION=VPD-R, 128]\nPRODUCT NAME=Binary,\"B\"\n", "field type Binary is incorrect"},
        {"[REGION=VPD-R, 128]\nQQ=Text,\"x\"\n", "field name QQ is incorrect"},
        {"[REGION=VPD-R, 128]\nPN=Text,\"\"\n", "field data is empty"},
        {"[REGION=VPD-R, 128]\nPN=Text,P1\n", "VPD file incorrect format"},
        {"# nothing\n", "either empty or doesn't include [REGION=VPD-R] title"},
    };
    for (const Case& c : cases) {
        take_debug_text();
        std::vector<uint8_t> image;
        EXPECT_NE(vpd_text_to_image(c.text, image), 0) << c.text;
        const std::string said = take_debug_text();
        EXPECT_NE(said.find(c.message), std::string::npos) << c.message << " / " << said;
    }
}

TEST(VpdText, DumpTakesImagesUpTo520Bytes)
{
    TempDir tmp;
    for (auto [length, ok] : {std::pair{520u, true}, std::pair{524u, false}}) {
        const std::string long_text(200, 'v');
        Bytes image = testkit::vpd_directory_image(fields(), length == 520 ? 512 : 516, 1,
                                                   {{"V1", long_text}, {"V2", long_text}});
        image.resize(length, 0);  // the CRC word
        testkit::reverse_words(image.data(), image.size());  // as read from NVRAM
        const std::string path = (tmp / std::to_string(length) + ".txt");
        EXPECT_EQ(vpd_image_to_text_file(path.c_str(), image.data(), length), ok ? 0 : 1) << length;
    }
}

// Boards whose VPD lives in the configuration-area copy.
class VpdCopyCommands : public ::testing::Test {
protected:
    KitBoard board{kit_board_def()};
    void SetUp() override { board.adapter.set_toe("IS_VPD_IMAGE", "0"); }
    std::string read(const char* name)
    {
        EXPECT_EQ(board.run(tcl_al_vpd_read_cmd, std::string("read {") + name + "}"), TCL_OK);
        return board.result();
    }
};

TEST_F(VpdCopyCommands, WriteChangesOneFieldAndKeepsTheRest)
{
    ASSERT_EQ(board.run(tcl_al_vpd_write_cmd, "write SN NEW-SERIAL"), TCL_OK) << board.result();
    EXPECT_EQ(read("SN"), "NEW-SERIAL");
    EXPECT_EQ(read("pn"), "TK57000A0");
    EXPECT_EQ(read("PRODUCT_NAME"), "Test Ethernet Adapter");
    EXPECT_EQ(read("YA"), "VPD field asset_tag does not exist");
    EXPECT_EQ(read("FN"), "Unknown VPD field");
    EXPECT_KIT_VALID(board);
}

TEST_F(VpdCopyCommands, AssetTagAndV1AreWrittenAndKept)
{
    ASSERT_EQ(board.run(tcl_al_vpd_write_cmd, "write YA ASSET-1"), TCL_OK) << board.result();
    ASSERT_EQ(board.run(tcl_al_vpd_write_cmd, "write V1 one"), TCL_OK) << board.result();
    ASSERT_EQ(board.run(tcl_al_vpd_write_cmd, "write PN P2"), TCL_OK) << board.result();
    EXPECT_EQ(read("YA"), "ASSET-1");
    EXPECT_EQ(read("V1"), "one");
    EXPECT_EQ(read("SN"), "SN0000000001");
}

TEST_F(VpdCopyCommands, RefusalsLeaveTheCopyAlone)
{
    ASSERT_EQ(board.run(tcl_al_vpd_write_cmd, "write YA 0123456789abcdef"), TCL_OK);
    ASSERT_EQ(board.run(tcl_al_vpd_write_cmd, "write V1 0123456789abcdef"), TCL_OK);
    const Bytes before = board.adapter.nvram;
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"write EC 12345678901", "Input is too long for VPD EC field !"},
        {"write PRODUCT_NAME {0123456789012345678901234567890123456789012345678}",
         "Input is too long for VPD PRODUCT_NAME field !"},
        // A 48-character name no longer fits the 128-byte image beside YA and V1.
        {"write PRODUCT_NAME {012345678901234567890123456789012345678901234567}", "do not fit"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(board.run(tcl_al_vpd_write_cmd, c.line), TCL_ERROR) << c.line;
        EXPECT_NE(board.result().find(c.message), std::string::npos) << board.result();
    }
    EXPECT_EQ(board.adapter.nvram, before);
    EXPECT_EQ(board.run(tcl_al_vpd_write_cmd, "write QQ x"), TCL_ERROR);
}

TEST(VpdCopyCommandsUnknownKeyword, CopyThatWouldLoseAKeywordIsNotRewritten)
{
    kit::NvramDef desc = kit_board_def();
    // A copy with a keyword the fixed record has no room for ("Z1") before RV.
    testkit::VpdFields f;
    f.v0 = "v0";
    Bytes raw = testkit::vpd_image_128(f);
    size_t v0 = 0;
    while (!(raw[v0] == 'V' && raw[v0 + 1] == '0'))
        ++v0;
    raw[v0] = 'Z';
    raw[v0 + 1] = '1';
    size_t cs = v0 + 3 + raw[v0 + 2] + 3;  // RV follows; its checksum byte is after its length
    unsigned sum = 0;
    for (size_t i = 0; i < cs; ++i)
        sum += raw[i];
    raw[cs] = uint8_t(-sum);
    desc.vpd_raw = raw;
    KitBoard b(desc);
    b.adapter.set_toe("IS_VPD_IMAGE", "0");
    const Bytes before = b.adapter.nvram;
    EXPECT_EQ(b.run(tcl_al_vpd_write_cmd, "write SN X"), TCL_ERROR);
    EXPECT_EQ(b.adapter.nvram, before);
    // The fields it does hold still read.
    EXPECT_EQ(b.run(tcl_al_vpd_read_cmd, "read SN"), TCL_OK);
    EXPECT_EQ(b.result(), "SN0000000001");
}

TEST(VpdCopyCommandsBlank, BlankAreaIsWrittenFromTheTemplate)
{
    kit::NvramDef desc = kit_board_def();
    desc.vpd_raw = Bytes(256, 0xFF);
    KitBoard b(desc);
    b.adapter.set_toe("IS_VPD_IMAGE", "0");
    ASSERT_EQ(b.run(tcl_al_vpd_write_cmd, "write SN FRESH"), TCL_OK) << b.result();
    EXPECT_EQ(b.run(tcl_al_vpd_read_cmd, "read SN"), TCL_OK);
    EXPECT_EQ(b.result(), "FRESH");
    EXPECT_EQ(b.run(tcl_al_vpd_read_cmd, "read PN"), TCL_OK);
    EXPECT_EQ(b.result(), "DOV957710A1");
}

TEST(VpdImageCommands, ReadAndWriteTheExtendedDirectoryImage)
{
    kit::NvramDef desc = kit_board_def();
    testkit::VpdFields f = fields();
    f.yb = {1, 0, 2};
    desc.images.push_back(kit_image("VPD", testkit::vpd_directory_image(f, 128)));
    KitBoard b(desc);
    b.adapter.set_toe("IS_VPD_IMAGE", "1");

    ASSERT_EQ(b.run(tcl_al_vpd_read_cmd, "read SN"), TCL_OK);
    EXPECT_EQ(b.result(), "SN77");
    ASSERT_EQ(b.run(tcl_al_vpd_read_cmd, "read YB"), TCL_OK);
    int n = 0;
    const uint8_t* yb = Tcl_GetByteArrayFromObj(Tcl_GetObjResult(b.adapter.interp()), &n);
    EXPECT_EQ(Bytes(yb, yb + n), (Bytes{1, 0, 2}));

    ASSERT_EQ(b.run(tcl_al_vpd_write_cmd, "write V3 7.1.2"), TCL_OK) << b.result();
    EXPECT_NE(b.result().find("VPD tag not found. Adding a new VDP tag .."), std::string::npos);
    EXPECT_KIT_VALID(b);
    ASSERT_EQ(b.run(tcl_al_vpd_write_cmd, "write SN SN88"), TCL_OK) << b.result();
    ASSERT_EQ(b.run(tcl_al_vpd_read_cmd, "read V3"), TCL_OK);
    EXPECT_EQ(b.result(), "7.1.2");
    ASSERT_EQ(b.run(tcl_al_vpd_read_cmd, "read SN"), TCL_OK);
    EXPECT_EQ(b.result(), "SN88");
    ASSERT_EQ(b.run(tcl_al_vpd_read_cmd, "read V9"), TCL_OK);
    EXPECT_EQ(b.result(), "Requested tag is not found in VPD info!\n");
    EXPECT_KIT_VALID(b);
}

TEST(VpdImageCommands, ProgramFailureKeepsTheOldImage)
{
    kit::NvramDef desc = kit_board_def();
    desc.images.push_back(kit_image("VPD", testkit::vpd_directory_image(fields(), 128)));
    KitBoard b(desc);
    b.adapter.set_toe("IS_VPD_IMAGE", "1");
    b.adapter.cut_power_after(64);
    EXPECT_EQ(b.run(tcl_al_vpd_write_cmd, "write SN LOST"), TCL_ERROR);
    b.adapter.power_on();
    EXPECT_KIT_VALID(b);
    ASSERT_EQ(b.run(tcl_al_vpd_read_cmd, "read SN"), TCL_OK);
    EXPECT_EQ(b.result(), "SN77");
}

}  // namespace
}  // namespace fwupg::nvm::test
