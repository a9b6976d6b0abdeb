#include <gtest/gtest.h>

#include <string>

#include "fwupg/nvm/e123/versions.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

const std::string kForce = "Please use \"-F\" option to force upgrade.\n";

std::string same(const char* file, const char* nv, const char* name)
{
    return std::string("Given version(") + file + ") is same as NVRAM version(" + nv +
           "). \nUpgrade aborted for image " + name + ".\n" + kForce;
}
std::string older(const char* file, const char* nv, const char* name)
{
    return std::string("Given version(") + file + ") is older than NVRAM version(" + nv +
           "). \nUpgrade aborted for image " + name + ".\n" + kForce;
}
std::string invalid(const char* name)
{
    return std::string("File has an invalid version string. Upgrade aborted for image: ") + name + "\n";
}

TEST(CheckImageVersion, AcceptsOnlyNewerVersionsWithTheExactMessages)
{
    FakeAdapter a;
    CurrentAdapter cur(a);
    struct Row {
        const char* name;
        const char* nv;
        const char* file;
        int want;
        std::string message;
    };
    const Row rows[] = {
        {"BC1", "BC1 7.10.3", "BC1 7.10.3", -1, same("BC1 7.10.3", "BC1 7.10.3", "BC1")},
        {"BC1", "BC1 7.10.3", "bc1 D7.10.4", 0, ""},
        {"BC1", "MFW1 7.10.3.1", "BC1 7.10.4", 0, ""},
        {"BC1", "s2p 7.10.3.", "BC1 7.10.2", -1, older("BC1 7.10.2", "s2p 7.10.3.", "BC1")},
        {"BC2", "bc2 D1.2.3", "BC2 1.2.4", 0, ""},
        {"SWIM3", "SWIM3 1.2.3.0", "SWIM3 1.2.3", -1, same("SWIM3 1.2.3", "SWIM3 1.2.3.0", "SWIM3")},
        {"MFW1", "MFW1 7.10.3", "MFW1 7.10.3.1", 0, ""},
        {"MFW2_A", "MFW2 7.10.3", "MFW2 7.10.2", -1, older("MFW2 7.10.2", "MFW2 7.10.3", "MFW2_A")},
        {"IPMI", "IPMI D1.0.0", "IPMI 1.0.1", 0, ""},
        {"L2U", "L2U 1.2.3", "L2U 1.2.3", -1, same("L2U 1.2.3", "L2U 1.2.3", "L2U")},
        {"NCSI_CMN", "NCSIc 1.2.3", "NCSIe 1.2.4", 0, ""},
        {"ISCSI_B", "v7.1.0", "7.2.0", 0, ""},
        {"I_B_CFG", "v1.2", "v1.1", -1, older("v1.1", "v1.2", "I_B_CFG")},
        {"NIC_PRTION", "Rev1", "Rev2", 0, ""},
        {"CCM", "Rev3", "v1.0.0", 0, ""},
        {"E3_WC", "N/A", "garbage", 0, ""},
        {"CFG_SHARED", "N/A", "N/A", -1, invalid("CFG_SHARED")},
        {"SWIM1", "SWIM1 7.10.3", "SWIM2 7.10.4", -1, invalid("SWIM1")},
        {"MBA", "legacy MBA 7.4.1;", "legacy MBA 7.4.2;", -1,
         same("legacy MBA 7.4.2;", "legacy MBA 7.4.1;", "MBA")},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.name) + ": " + r.nv + " <- " + r.file);
        take_debug_text();
        EXPECT_EQ(common_nvm_check_image_version(r.name, r.nv, r.file), r.want);
        EXPECT_EQ(take_debug_text(), r.message);
    }
}

TEST(CheckImageVersion, ChipRevisionA0RefusesNewBootcode)
{
    FakeAdapter a;
    a.set_toe("DID", "5710");  // 0x164E
    a.set_toe("CHIP_REV", "A0");
    CurrentAdapter cur(a);
    EXPECT_EQ(common_nvm_check_image_version("BC1", "BC1 4.0.0", "BC1 4.2.0"), -1);
    EXPECT_NE(take_debug_text().find("ERROR: Bootcode version 4.2.0 and above do not support chip revision A0\n"),
              std::string::npos);
    EXPECT_EQ(common_nvm_check_image_version("BC1", "BC1 4.0.0", "BC1 4.1.9"), 0);
}

TEST(VersionText, ReadsEachKindFromABufferAndFromNvram)
{
    struct Row {
        const char* kind;
        const char* version;
        const char* want;
    };
    const Row rows[] = {
        {"BC1", "7.10.3", "BC1 7.10.3"},       {"NCSI_CMN", "1.2.3", "NCSIc 1.2.3"},
        {"L2T", "1.2.300", "L2T 1.2.300"},     {"FEB_CFG", "1.2.0", "v1.2"},
        {"NIC_PRTION", "3.0.0", "Rev3"},           {"MODULES_PN", "5.0.0", "Rev 5"},
        {"CCM", "1.0.2", "v1.0.2"},            {"MDUMP", "1.2.3.4", "v1.2.3.4"},
        {"NIVPROFILES", "", "N/A"},            {"SWIM4", "7.10.3.1", "SWIM4 7.10.3.1"},
        {"MBA", "7.4.1", "PCI30 MBA 7.4.1;EFI x64 7.4.1;"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.kind);
        auto s = board_def(kit::Chip::E3);
        testkit::Bytes img = testkit::stock_image(r.kind, r.version);
        s.images.push_back(image_def(r.kind, img));
        Board b(s);
        char text[128];
        ASSERT_EQ(common_nvm_image_version_str(reinterpret_cast<uintptr_t>(img.data()), uint32_t(img.size()), r.kind,
                                               text, sizeof text, 1),
                  0);
        EXPECT_STREQ(text, r.want);
        ASSERT_EQ(common_nvm_image_version_str(b.placed(r.kind).offset, 0, r.kind, text, sizeof text, 0), 0);
        EXPECT_STREQ(text, r.want);
    }
}

TEST(VersionText, ShortBufferIsRefusedNotOverread)
{
    testkit::Bytes img = testkit::stock_image("BC1", "7.10.3");
    std::vector<uint8_t> exact(img.begin(), img.begin() + 20);
    char text[64];
    EXPECT_EQ(common_nvm_image_version_str(reinterpret_cast<uintptr_t>(exact.data()), 20, "BC1", text, sizeof text, 1),
              -1);
    testkit::MbaDef desc = testkit::mba_stock(0x168E, "7.4.1");
    testkit::Bytes rom = testkit::mba_rom(desc);
    std::vector<uint8_t> cut(rom.begin(), rom.begin() + 600);
    EXPECT_EQ(common_nvm_image_version_str(reinterpret_cast<uintptr_t>(cut.data()), 600, "MBA", text, sizeof text, 1),
              -1);
}

testkit::Bytes rom_of(std::vector<testkit::RomImage> images)
{
    testkit::MbaDef desc;
    desc.images = std::move(images);
    return testkit::mba_rom(desc);
}

TEST(MbaVersion, SlotBySlotComparison)
{
    using testkit::mba_code_revision;
    testkit::RomImage legacy{0, 0, 0x14E4, 0x168E, mba_code_revision({7, 4, 1})};
    testkit::RomImage efi64{3, 3, 0x14E4, 0x168E, mba_code_revision({7, 4, 1})};
    testkit::RomImage legacy_new = legacy, efi64_new = efi64, efi64_old = efi64;
    legacy_new.code_revision = mba_code_revision({7, 4, 2});
    efi64_new.code_revision = mba_code_revision({7, 4, 2});
    efi64_old.code_revision = mba_code_revision({7, 4, 0});
    const std::string force_down = "Please use \"-F\" option to force downgrade.\n";
    struct Row {
        const char* what;
        testkit::Bytes file;
        int want;
        std::string message;
    };
    const Row rows[] = {
        {"every slot newer", rom_of({legacy_new, efi64_new}), 0, ""},
        {"one slot newer, none older", rom_of({legacy_new, efi64}), 0, ""},
        {"EFI x64 missing", rom_of({legacy_new}), -1,
         "This \"nvm upgrade\" operation involves removal of EFI x64.\n" + force_down},
        {"EFI x64 older", rom_of({legacy_new, efi64_old}), -1,
         "Given version (7.4.0) is older than NVRAM version(7.4.1). Upgrade aborted for image EFI x64.\n" + force_down},
        {"all the same", rom_of({legacy, efi64}), -1,
         "Given version (7.4.1) is same as NVRAM version(7.4.1). Upgrade aborted for image legacy MBA.\n" + kForce},
    };
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("MBA", rom_of({legacy, efi64})));
    Board b(s);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        take_debug_text();
        EXPECT_EQ(common_nvm_check_mba_version(b.placed("MBA").offset, r.file.data(), uint32_t(r.file.size())), r.want);
        EXPECT_EQ(take_debug_text(), r.message);
    }
}

}  // namespace
