// The MBI command on E4: its version comes from NVM_CFG1 and reads as bits 16-23, 8-15, 0-7; and
// its MFW two-step gate: a package whose MFW bundle crosses 8.18.12.0 gets its MFW command ahead
// of its PK command, unless NVRAM already holds a PK image.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/fw_package.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "kit_e4_board.h"
#include "platform/testing/temp_root.h"
#include "testkit/e4_images.h"
#include "testkit/package.h"

namespace {

using namespace fwupg::nvm::test;
namespace e4 = testkit::e4;

constexpr uint16_t kVid = 0x1077, kDid = 0x1634, kSvid = 0x1077, kSsid = 0xE4F1;

// A package of version 8.<minor>.<build> with a PK entry first and an MFW bundle of `mfw` after it.
std::string write_package(const std::filesystem::path& dir, const char* mfw, uint8_t minor = 20, uint8_t build = 0)
{
    testkit::PackageDef p;
    p.major = 8;
    p.minor = minor;
    p.build = build;
    p.entries = {{testkit::package_tag("PK"), testkit::Bytes(64, 0x5A), {}, {}},
                 {testkit::package_tag("MFW"), e4::bundle(e4::mfw_bundle_items(mfw, 0)), {}, {}}};
    p.rows = {{kVid, kDid, kSvid, kSsid, 0x3}};
    const std::string path = (dir / "pkg.bin").string();
    testkit::write_file(path, testkit::package(p));
    return path;
}

uint32_t packed(unsigned a, unsigned b, unsigned c) { return a << 24 | b << 16 | c << 8; }

TEST(E4MfwGate, MfwGoesFirstOnlyWhenItCrossesTheTwoStepVersion)
{
    struct Case {
        uint32_t running;
        const char* incoming;
        bool pk_in_nvram;
        int marked;
    } cases[] = {
        {packed(8, 10, 5), "8.18.12.0", false, 1},   // from below to the step version
        {packed(8, 10, 5), "8.18.11.0", false, 0},   // stays below it
        {packed(8, 18, 12), "8.18.12.5", false, 0},  // from the step to above it, below 8.18.13
        {packed(8, 18, 12), "8.18.13.0", false, 1},  // from the step to 8.18.13
        {packed(8, 18, 13), "8.20.0.0", false, 0},   // already past it
        {packed(8, 10, 5), "8.18.12.0", true, 0},    // a PK image in NVRAM disables the gate
    };
    platform::testing::TempDir tmp;
    const auto old_cwd = std::filesystem::current_path();
    std::filesystem::current_path(tmp.path());  // the package extracts its images here
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.incoming) + (c.pk_in_nvram ? " with PK" : ""));
        e4::NvramDef desc = e4::stock_nvram({});
        if (c.pk_in_nvram)
            desc.images.push_back({e4::type::PK, testkit::Bytes(64, 0x5A)});
        KitE4Board b(desc);
        b.adapter.set_toe("RUNNING_MFW_VER", std::to_string(int32_t(c.running)));
        b.adapter.set_toe("ACTIVE_BUNDLE", "0");
        fwupg::FwPackage pkg(write_package(tmp.path(), c.incoming).c_str(), kVid, kDid, kSvid, kSsid);
        ASSERT_EQ(pkg.Validate(), 0u);
        ASSERT_EQ(pkg.GetCommandCount(), 2u);
        ASSERT_NE(pkg.GetCommand(0).find("-pk"), std::string::npos) << pkg.GetCommand(0);
        EXPECT_EQ(common_nvm_mark_mfw_two_step(b.adapter.interp(), &pkg), c.marked);
        EXPECT_NE(pkg.GetCommand(c.marked ? 0 : 1).find("-mfw"), std::string::npos);
        pkg.DeleteExtractedFiles();
    }
    std::filesystem::current_path(old_cwd);
}

// A package of the version NVM_CFG1 holds (the stock board's 8.10.5) or an older one is refused
// without -F (last error 35), with the versions as E4 keeps them, before anything is extracted
// or written.
TEST(E4Mbi, SameOrOlderPackageIsRefusedWithoutForce)
{
    platform::testing::TempDir tmp;
    const auto old_cwd = std::filesystem::current_path();
    std::filesystem::current_path(tmp.path());
    struct Case {
        uint8_t minor, build;
        const char* text;
    } cases[] = {
        {10, 5, "Given version(8.10.5) is same as NVRAM version(8.10.5). \nUpgrade aborted for image MBI.\n"},
        {9, 7, "Given version(8.9.7) is older than NVRAM version(8.10.5). \nUpgrade aborted for image MBI.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        KitE4Board b(e4::stock_nvram({}));
        for (auto [name, value] : {std::pair{"VID", kVid}, {"DID", kDid}, {"SVID", kSvid}, {"SSID", kSsid}})
            b.adapter.set_toe(name, std::to_string(value));
        const std::string pkg = write_package(tmp.path(), "8.12.3.0", c.minor, c.build);
        take_debug_text();
        EXPECT_EQ(b.adapter.run_command(tcl_al_nvm_mbi_upgrade_cmd, "upgrade", {"-mbi", pkg}), 1);
        EXPECT_EQ(b.adapter.last_errors.back(), 35u);
        EXPECT_EQ(take_debug_text(), std::string(c.text) + "Please use \"-F\" option to force upgrade.\n");
        EXPECT_EQ(b.adapter.bytes_written, 0u);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 1);  // the package only
    }
    std::filesystem::current_path(old_cwd);
}

}  // namespace
