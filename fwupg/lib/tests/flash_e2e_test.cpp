// Updates through the exports on the test kit's demo machine: discovery report, flash with it,
// the statuses it writes back, and a second discovery that shows the new versions.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fstream>
#include <string>

#include <platform/utf16.h>
#include <testkit/demo.h>
#include <testkit/e1e3_reader.h>
#include <testkit/e4_reader.h>
#include <testkit/phy_image.h>

#include "fwupg/oem_interface.h"
#include "update_test_support.h"
#include "yxmapi/yxmapi.h"
#include "platform/testing/bin_dir.h"

namespace {

using disctest::World;
using updtest::Count;
using updtest::Discover;
using updtest::DeviceBlock;
using updtest::Flash;
using updtest::Nvrams;
using updtest::Read;
using updtest::Values;

constexpr const char* kE3Mac = "001018E30100";           // the demo's E3 board, function 0
constexpr const char* kConvergedMac = "001018E50100";  // its converged E3 board, function 0

// The PHY item of the E3 board's entry in a discovery report (empty when it has none).
std::string PhyItem(const std::string& report)
{
    const std::string block = DeviceBlock(report, kE3Mac);
    const size_t type = block.find("<type value=\"PHY\"");
    if (type == std::string::npos) return {};
    const size_t begin = block.rfind("<fw_item>", type), end = block.find("</fw_item>", type);
    return block.substr(begin, end - begin);
}

std::string FirstValue(const std::string& text, const std::string& name)
{
    const auto values = updtest::Values(text, name);
    return values.empty() ? std::string() : values.front();
}

// Every board of the demo machine takes its MBI package (the E3 board also its PHY image): each
// item ends in 1, the run asks for a reboot, and a second discovery reads the new versions from
// the adapters.
TEST(FlashEndToEnd, ReportDrivenUpdateShowsNewVersions)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    const std::string before = Read(report);
    ASSERT_GT(Count(before, "<fw_item>"), 0u) << before;
    // The converged board's sub-components are above the thresholds: its MBI item shows the MBI
    // version of its configuration, not its boot agent's 7.14.2.
    EXPECT_EQ(Values(DeviceBlock(before, kConvergedMac), "active_version"), std::vector<std::string>{"7.14.0"});

    const uint32_t code = Flash(w, report);
    const std::string after = Read(report);
    EXPECT_EQ(code, uint32_t(RET_REBOOT_REQUIRED)) << after;
    EXPECT_NE(after.find("takes_effect value=\"deferred\""), std::string::npos) << after;
    EXPECT_EQ(Count(after, "<action_status value=\"1\""), Count(before, "<fw_item>") -
                                                             Count(before, "<action value=\"skip\"")) << after;

    const std::string second = w.root() + "/second.xml";
    ASSERT_EQ(Discover(w, second), 0u);
    const std::string again = Read(second);
    EXPECT_EQ(Count(again, "active_version value=\"7.10.1\""), 0u) << again;
    const std::string e4 = DeviceBlock(again, "001018E40100");
    ASSERT_NE(e4, "") << again;
    EXPECT_EQ(Count(e4, "active_version value=\"8.12.3\""), Count(e4, "<fw_item>")) << e4;
    // The E3 board's external PHY took its 2.2.0 firmware.
    const std::string phy = PhyItem(again);
    EXPECT_EQ(FirstValue(phy, "active_version"), "2.2.0") << again;
    const std::string converged = DeviceBlock(again, kConvergedMac);
    EXPECT_EQ(Values(converged, "active_version"), std::vector<std::string>{"7.15.0"}) << again;
    // Its subsystem (14E4:1006) is one whose boards get a boot-configuration shadow with the update.
    const auto nvrams = Nvrams(w);
    EXPECT_TRUE(testkit::e1e3::find_image(nvrams.at("e3-57810c-p0"), "BOOT_CFG_SHADOW"));
    EXPECT_FALSE(testkit::e1e3::find_image(nvrams.at("e3-57810-p0"), "BOOT_CFG_SHADOW"));
    EXPECT_EQ(Count(again, "active_version value=\"7.12.0\"") + Count(e4, "<fw_item>") + Count(phy, "<fw_item>") +
                  Count(converged, "<fw_item>"),
              Count(again, "<fw_item>"))
        << again;

    // The E3 board's second function is not listed, but it reads the flash its first function
    // updated: the management library reports the new versions through it as well.
    const sim::AdapterDef p1 = updtest::Adapter(w, "e3-57810-p1");
    void* lib = dlopen((platform::testing::bin_dir() + "/" + yxmapi::kLibraryFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr);
    auto init = reinterpret_cast<yxmapi::OrdinalFn<yxmapi::ord::kInitializeEx>::type>(
        dlsym(lib, yxmapi::symbol_for_ordinal(yxmapi::ord::kInitializeEx)));
    auto fw5 = reinterpret_cast<yxmapi::OrdinalFn<yxmapi::ord::kGetFwInfoType5>::type>(
        dlsym(lib, yxmapi::symbol_for_ordinal(yxmapi::ord::kGetFwInfoType5)));
    ASSERT_TRUE(init && fw5);
    ASSERT_EQ(init(0), 0u);
    yxmapi::FwInfoType5 r;
    r.prepare(yxmapi::kFwInfoType5Version);
    ASSERT_EQ(fw5(p1.list_handle, &r), 0u);
    EXPECT_EQ(r.get(yxmapi::fw5::kText4), "MFW1 7.12.0") << "MFW of the second function";
    EXPECT_EQ(r.get(yxmapi::fw5::kMba), "MBA 7.12.0");
    EXPECT_EQ(r.get(yxmapi::fw5::kMbiPacked), 0x070C0000u);
    dlclose(lib);
    // The E4 board's package went in through the firmware channel: its NVRAM is valid and the
    // new MFW bundle waits in the bank that boots next (the run ends before any reset).
    const auto nvram = Nvrams(w).at("e4-57980s-p0");
    const auto report_e4 = testkit::e4::verify(nvram);
    EXPECT_TRUE(report_e4.ok()) << report_e4.text();
    const auto tim2 = testkit::e4::find_image(nvram, testkit::e4::type::TIM2);
    ASSERT_TRUE(tim2);
    EXPECT_EQ(tim2->version, "TIM 8.12.3.0");
    EXPECT_EQ(testkit::e4::find_image(nvram, testkit::e4::type::TIM1)->version, "TIM 8.10.5.0");
    EXPECT_EQ(testkit::e4::directory(nvram)->next_bank(), 1u);
    // The package's "update_cfg -F" line merged its configuration: the storage-protocol option
    // changed on the board (word 34) and the port MAC stay, the configuration version (word 39)
    // and the new default of the option in DEFAULT_CFG are the package's.
    auto cfg_word = [&](uint32_t type, uint32_t word) {
        const auto image = testkit::e4::find_image(nvram, type);
        return image ? testkit::get_le32(&nvram[image->entry.offset + 4 * word]) : 0xDEADBEEF;
    };
    using testkit::e4::type::NVM_CFG1, testkit::e4::type::DEFAULT_CFG;
    EXPECT_EQ(cfg_word(NVM_CFG1, 34), 0x19u);
    EXPECT_EQ(cfg_word(NVM_CFG1, 39), 2u);
    EXPECT_EQ(cfg_word(NVM_CFG1, 154), 0x18E40100u);
    EXPECT_EQ(cfg_word(DEFAULT_CFG, 34), 0x1u);
    EXPECT_EQ(cfg_word(DEFAULT_CFG, 154), 0x18E40100u);
}

TEST(FlashEndToEnd, SkippedItemsAreLeftAlone)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    std::string text = Read(report);
    const std::string key = "<action value=\"";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t end = text.find('"', at + key.size());
        text.replace(at + key.size(), end - at - key.size(), "SKIP");
    }
    std::ofstream(report, std::ios::binary) << text;
    EXPECT_EQ(Flash(w, report), uint32_t(RET_FWUPG_SKIPPED_MISC));
    const std::string after = Read(report);
    EXPECT_NE(after.find("takes_effect value=\"immediate\""), std::string::npos) << after;
    // Nothing is written back for a skipped item: every status stays as discovery left it.
    EXPECT_EQ(Count(after, "<action_status value=\"\""), Count(after, "<fw_item>")) << after;
}

// The demo's E3 board carries an external PHY with its factory firmware 2.1.0; the folder holds
// 2.2.0 for it. A flash of that image by PCI address writes the PHY (not the NVRAM), and the
// next discovery reads the new version from the adapter.
TEST(PhyEndToEnd, FlashOfThePhyImageChangesTheReportedPhyVersion)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::string report = w.root() + "/report.xml";
    ASSERT_EQ(Discover(w, report), 0u);
    const std::string item = PhyItem(Read(report));
    ASSERT_NE(item, "") << Read(report);
    EXPECT_EQ(FirstValue(item, "active_version"), "2.1.0");
    EXPECT_EQ(FirstValue(item, "version"), "2.2.0");
    EXPECT_EQ(FirstValue(item, "action"), "upgrade");

    const auto before = Nvrams(w);
    const sim::AdapterDef p0 = updtest::Adapter(w, "e3-57810-p0");
    EXPECT_EQ(updtest::FlashPci(w.fw() + "/phy_e3.bin", p0.bus, p0.device, p0.function),
              uint32_t(RET_REBOOT_REQUIRED));
    EXPECT_EQ(Nvrams(w), before) << "a PHY update leaves every NVRAM alone";

    ASSERT_EQ(Discover(w, report), 0u);
    const std::string after = PhyItem(Read(report));
    EXPECT_EQ(FirstValue(after, "active_version"), "2.2.0") << after;
    EXPECT_EQ(FirstValue(after, "action"), "rewrite");
}

// A PHY write that fails reports failure through the export and leaves the PHY's firmware: a cut
// download, a refusal, and an image the front end's check lets through (magic and PHY tag) but
// without the version text the PHY needs.
TEST(PhyEndToEnd, FailedPhyWriteReportsFailureAndKeepsTheOldVersion)
{
    sim::FaultRule cut;
    cut.ordinal = yxmapi::ord::kWritePhyFirmware, cut.adapter = "e3-57810", cut.cut_after = 100;
    sim::FaultRule refused;
    refused.ordinal = yxmapi::ord::kWritePhyFirmware, refused.adapter = "e3-57810";
    const struct {
        const char* what;
        std::vector<sim::FaultRule> faults;
        bool malformed;
    } cases[] = {{"cut", {cut}, false}, {"refused", {refused}, false}, {"malformed", {}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        testkit::make_demo(w.root(), w.fw());
        std::string image = w.fw() + "/phy_e3.bin";
        if (c.malformed) {
            testkit::Bytes bytes = testkit::phy_image("8727", "2.2.0");
            std::fill_n(bytes.begin() + 20 + testkit::kPhyVersionAt, testkit::kPhyVersionField, uint8_t(0));
            image = w.root() + "/phy_blank.bin";
            testkit::write_file(image, bytes);
        }
        sim::Control control;
        control.faults = c.faults;
        sim::write_control(w.root(), control);
        const sim::AdapterDef p0 = updtest::Adapter(w, "e3-57810-p0");
        EXPECT_EQ(updtest::FlashPci(image, p0.bus, p0.device, p0.function), uint32_t(RET_OPERATION_FAILED));
        sim::write_control(w.root(), {});
        const std::string report = w.root() + "/report.xml";
        ASSERT_EQ(Discover(w, report), 0u);
        EXPECT_EQ(FirstValue(PhyItem(Read(report)), "active_version"), "2.1.0");
    }
}

TEST(FlashEndToEnd, FlashByPciAddress)
{
    World w;
    testkit::make_demo(w.root(), w.fw());
    const std::u16string missing = platform::to_utf16(w.fw() + "/none.bin");
    EXPECT_EQ(oem_do_full_flash_PCI(missing.c_str(), 0, 0, 1, 0, 0), uint32_t(RET_FW_FILE_NOT_FOUND));
    const std::u16string any = platform::to_utf16(w.fw() + "/NICFWData.xml");
    EXPECT_EQ(oem_do_full_flash_PCI(any.c_str(), 0, 0, 0x7F, 0x1F, 7), uint32_t(RET_FWUPG_SKIPPED_MISC));
}

}  // namespace
