// "vpd read" and "vpd write" on an E4 adapter: the VPD image (type 7) is the only VPD there is;
// reads come from it and a write sends the rebuilt image through the firmware channel (header of
// type 7, then the image). The fake adapter does not install it, so the image is read back from
// the bytes the channel got.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fwupg/nvm/commands/commands.h"
#include "kit_e4_board.h"
#include "testkit/e4_images.h"

namespace {

using namespace fwupg::nvm::test;
namespace e4 = testkit::e4;

// The data of a two-letter keyword of VPD resources: keyword, length byte, data.
std::string field(const testkit::Bytes& b, const std::string& key)
{
    auto at = std::search(b.begin(), b.end(), key.begin(), key.end());
    if (b.end() - at < 3 || b.end() - at < 3 + at[2])
        return "";
    return std::string(at + 3, at + 3 + at[2]);
}

TEST(E4Vpd, FieldsAreReadFromTheVpdImage)
{
    KitE4Board b(e4::stock_nvram({}));
    b.adapter.set_toe("IS_VPD_IMAGE", "0");  // no configuration-area copy on E4, whatever this says
    struct Case {
        const char* field;
        const char* value;
    } cases[] = {{"PN", "TK57000A0"}, {"sn", "SN0000000001"}, {"V9", "8.10.5"}, {"PRODUCT_NAME", "E4 test adapter"},
                 {"V3", "Requested tag is not found in VPD info!\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(b.run(tcl_al_vpd_read_cmd, std::string("read ") + c.field), TCL_OK);
        EXPECT_EQ(b.result(), c.value);
    }
}

TEST(E4Vpd, AWriteSendsTheRebuiltImageThroughTheFirmwareChannel)
{
    KitE4Board b(e4::stock_nvram({}));
    const testkit::Bytes before = b.adapter.nvram;
    ASSERT_EQ(b.run(tcl_al_vpd_write_cmd, "write SN NEWSERIAL01"), TCL_OK) << b.result();
    ASSERT_EQ(b.adapter.writes.size(), 2u);
    EXPECT_EQ(b.adapter.writes[0], std::make_pair(0u, 32u));
    EXPECT_EQ(b.adapter.writes[1].first, 0u);
    // What the channel got last: header word 1, then the resources with the new serial number.
    const testkit::Bytes image(b.adapter.nvram.begin(), b.adapter.nvram.begin() + b.adapter.writes[1].second);
    EXPECT_EQ(image[0], 1u);
    EXPECT_EQ(field(image, "SN"), "NEWSERIAL01");
    EXPECT_EQ(field(image, "PN"), "TK57000A0");
    // Nothing else was written: the directory and the old image stay until the firmware installs.
    EXPECT_TRUE(std::equal(before.begin() + 0x2000, before.end(), b.adapter.nvram.begin() + 0x2000));
}

TEST(E4Vpd, AMissingImageFailsWithoutAWrite)
{
    e4::NvramDef desc = e4::stock_nvram({});
    std::erase_if(desc.images, [](const e4::ImageDef& im) { return im.type == e4::type::VPD; });
    KitE4Board b(desc);
    EXPECT_EQ(b.run(tcl_al_vpd_read_cmd, "read PN"), TCL_ERROR);
    EXPECT_EQ(b.run(tcl_al_vpd_write_cmd, "write PN X"), TCL_ERROR);
    EXPECT_EQ(b.result(), "Failed to get VPD image information !!");
    EXPECT_TRUE(b.adapter.writes.empty());
}

}  // namespace
