// The MFW two-step gate of the MBI command on E4: a package whose MFW bundle crosses 8.18.12.0
// gets its MFW command ahead of its PK command, unless NVRAM already holds a PK image.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

// A package with a PK entry first and an MFW bundle of `mfw` after it.
std::string write_package(const std::filesystem::path& dir, const char* mfw)
{
    testkit::PackageSpec p;
    p.major = 8;
    p.minor = 20;
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
        e4::NvramSpec desc = e4::stock_nvram({});
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

}  // namespace
