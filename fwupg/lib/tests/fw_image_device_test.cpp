// Device checks of image files against a selected adapter. The adapter's NVRAM contents are
// answered by the facade double (fw_image_test_support.h); files come from the test kit.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fw_image_test_support.h"
#include "fwupg/fw_image.h"
#include "fwupg/host_ops_builder.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/images.h"
#include "testkit/legacy_image.h"
#include "testkit/package.h"

namespace {

using imgtest::Adapter;
using imgtest::ImageCheckWorld;
using testkit::Bytes;

const std::string kBc1("\0bc1", 4), kL2t("\0l2t", 4), kIpmi("\0ipc", 4), kCcm("\0ccm", 4), kFeb("\0feb", 4);

Bytes Wrapped(const std::string& tag4, uint32_t version = 1, uint32_t compat = 0)
{
    testkit::WrappedRecord r;
    r.tag = testkit::tag_of(tag4);
    r.version = version;
    r.compat = compat;
    r.data = testkit::text_image("IMAGE 1.2.3", 32, 7);
    return testkit::wrapped_file({r});
}

Adapter Legacy(uint32_t chip, const char* phy = "COPPER", uint32_t port = 0)
{
    Adapter a;
    a.chipId = chip << 12;
    a.phyType = phy;
    a.port = port;
    return a;
}

Adapter Family5(uint16_t did)
{
    Adapter a;
    a.family = 5;
    a.chipId = uint32_t(did) << 12;
    a.did = did;
    a.svid = 0x103C;
    a.ssid = 0x1917;
    return a;
}

TEST(FwImageDevice, BootCodeChipAndMediaMasks)
{
    ImageCheckWorld w;
    struct Case {
        const char* what;
        Adapter adapter;
        Bytes file;
        uint32_t error;
    };
    const std::vector<Case> cases = {
        {"version 1 passes without masks", Legacy(0x5708), Wrapped(kBc1, 1, 0x00FF0300), 0},
        {"version 2 for this chip", Legacy(0x5709), Wrapped(kBc1, 2, 0x40000), 0},
        {"version 2 for the 5709 on a 5708", Legacy(0x5708), Wrapped(kBc1, 2, 0x40000), 16},
        {"copper media on a SerDes adapter", Legacy(0x5709, "SERDES"), Wrapped(kBc1, 2, 0x40100), 48},
        {"SerDes media on a SerDes adapter", Legacy(0x5709, "SERDES"), Wrapped(kBc1, 2, 0x40200), 0},
        {"unknown media type", Legacy(0x5709, "FIBRE"), Wrapped(kBc1, 2, 0), 48},
        {"header version 3", Legacy(0x5709), Wrapped(kBc1, 3, 0), 35},
        {"not boot code", Legacy(0x5709), Wrapped(kIpmi), 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        w.Select(c.adapter);
        fwupg::FwImage image(w.interp, w.File(c.file).c_str(), fwupg::kImgBootCode, false);
        EXPECT_EQ(image.IsBootCodeForDevice(), c.error == 0);
        EXPECT_EQ(image.error(), c.error);
    }
}

TEST(FwImageDevice, MfwChipMaskOn57710Family)
{
    ImageCheckWorld w;
    struct Case {
        const char* what;
        uint16_t did;
        std::string tag;
        uint32_t compat;
        uint32_t error;
    };
    const std::vector<Case> cases = {
        {"no chip mask", 0x168E, "mfw1", 0, 0},
        {"mask of this chip", 0x168E, "mfw2", 0x400000, 0},
        {"mask of another chip", 0x168E, "mfw1", 0x200000, 16},
        {"not a management image", 0x168E, kBc1, 0, 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        w.Select(Family5(c.did));
        fwupg::FwImage image(w.interp, w.File(Wrapped(c.tag, 2, c.compat)).c_str(), fwupg::kImgMfw, false);
        EXPECT_EQ(image.IsMfwForDevice(), c.error == 0);
        EXPECT_EQ(image.error(), c.error);
    }
}

// Presence of the image kind: the legacy family asks the legacy directory, the 57710 family the
// directory chosen by the type; the CCM check lets a missing kind pass.
TEST(FwImageDevice, ImageKindPresence)
{
    ImageCheckWorld w;
    {
        fwupg::FwImage ipmi(w.interp, w.File(Wrapped(kIpmi)).c_str(), fwupg::kImgIpmi, false);
        EXPECT_FALSE(ipmi.IsImageTypePresent());
        EXPECT_EQ(ipmi.error(), 30u);
        w.facade.legacyDir = {0x70000000u};
        EXPECT_TRUE(ipmi.IsImageTypePresent());
        fwupg::FwImage l2t(w.interp, w.File(Wrapped(kL2t), "l2t.bin").c_str(), fwupg::kImgL2t, false);
        EXPECT_TRUE(l2t.IsL2tForDevice());
        w.facade.legacyDir.clear();
        EXPECT_FALSE(l2t.IsL2tForDevice());
        EXPECT_EQ(l2t.error(), 30u);
        fwupg::FwImage ccm(w.interp, w.File(Wrapped(kCcm), "ccm.bin").c_str(), fwupg::kImgCcm, false);
        EXPECT_TRUE(ccm.IsCcmForDevice());
        EXPECT_EQ(ccm.error(), 0u);
        fwupg::FwImage notCcm(w.interp, w.File(Wrapped(kFeb), "feb.bin").c_str(), fwupg::kImgCcm, false);
        EXPECT_FALSE(notCcm.IsCcmForDevice());
        EXPECT_EQ(notCcm.error(), 121u);
    }
    // FCoE boot images only on 57710-class adapters other than the first generation.
    struct Case {
        uint16_t did;
        bool present;
        uint32_t error;
    };
    for (const Case& c : std::vector<Case>{{0x164E, true, 60}, {0x168E, false, 30}, {0x168E, true, 0}}) {
        SCOPED_TRACE(c.did);
        w.Select(Family5(c.did));
        w.facade.extDir.clear();
        if (c.present) w.facade.extDir.insert(0x20000001u);
        fwupg::FwImage feb(w.interp, w.File(Wrapped(kFeb)).c_str(), fwupg::kImgFeb, false);
        uint32_t dirType = 0;
        ASSERT_TRUE(feb.isValidImageFormat(&dirType)) << feb.error();
        EXPECT_EQ(feb.IsFebForDevice(), c.error == 0);
        EXPECT_EQ(feb.error(), c.error);
    }
}

TEST(FwImageDevice, NcsiBundleForChipAndFamily)
{
    ImageCheckWorld w;
    w.facade.legacyDir = {0x40000000u};
    struct Case {
        const char* what;
        Bytes file;
        uint32_t error;
    };
    const std::vector<Case> cases = {
        {"old bundle with XLIB for the 5709", testkit::ncsi_bundle("1.0.4", false, true, 0x40000), 0},
        {"old bundle with ELIB only: the legacy family needs XLIB", testkit::ncsi_bundle("1.0.4", true, false, 0x40000), 96},
        {"bundle for another chip", testkit::ncsi_bundle("1.0.4", true, true, 0x20000), 96},
        {"new bundle, common part for this chip", testkit::ncsi_bundle("6.0.2", false, false, 0x40000), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fwupg::FwImage image(w.interp, w.File(c.file).c_str(), fwupg::kImgNcsi, false);
        EXPECT_EQ(image.IsNcsiForDevice(), c.error == 0);
        EXPECT_EQ(image.error(), c.error);
    }
}

TEST(FwImageDevice, PhyImageCodeAgainstExternalPhyIds)
{
    ImageCheckWorld w;
    struct Case {
        const char* what;
        uint32_t family;
        uint32_t phy1, phy2;
        std::string tag;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"legacy, second PHY id as it stands", 4, 0, 0x0900, "8727", true},
        {"legacy, id with low bits differs", 4, 0x0901, 0, "8727", false},
        {"57710, low byte ignored", 5, 0x11AB, 0, "8484", true},
        {"57710, 0x0A00 reads as 0x0900", 5, 0x0A00, 0, "8727", true},
        {"E4, bit 0 against the number 35", 6, 0, 0x0003, std::string("\x23\0\0\0", 4), true},
        {"unknown tag", 4, 0xFF00, 0, "zzzz", true},
        {"no match", 4, 0x0300, 0x0600, "8484", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Adapter a;
        a.family = c.family;
        a.extPhy1 = c.phy1;
        a.extPhy2 = c.phy2;
        w.Select(a);
        fwupg::FwImage image(w.interp, w.File(Wrapped(c.tag)).c_str(), fwupg::kImgUpg, false);
        EXPECT_EQ(image.IsPhyImageForDevice(0), c.ok);
        EXPECT_EQ(image.error(), c.ok ? 0u : 98u);
    }
}

TEST(FwImageDevice, PackageValidityAndVersionByFamily)
{
    ImageCheckWorld w;
    testkit::PackageDef s;
    s.major = 7;
    s.minor = 8;
    s.build = 9;
    s.entries = {{testkit::package_tag("MFW"), Bytes(16, 1), {}, {}}};
    s.rows = {{0x14E4, 0x168E, 0x103C, 0x1917, 1}};
    const std::string path = w.File(testkit::package(s));

    w.Select(Family5(0x168E));
    fwupg::FwImage mbi(w.interp, path.c_str(), fwupg::kImgMbi, false);
    ASSERT_TRUE(mbi.valid());
    uint32_t version = 0, date = 0;
    EXPECT_TRUE(mbi.GetPackageVersion(&version, &date));
    EXPECT_EQ(version, 0x07080900u);  // shifted left by 8 on this family

    Adapter e4 = Family5(0x168E);
    e4.family = 6;
    w.Select(e4);
    EXPECT_TRUE(mbi.GetPackageVersion(&version, &date));
    EXPECT_EQ(version, 0x070809u);

    w.Select(Legacy(0x5709));
    EXPECT_FALSE(mbi.GetPackageVersion(&version, &date));
    EXPECT_EQ(mbi.error(), 126u);
    EXPECT_FALSE(mbi.isMBIValidForDevice());
    EXPECT_EQ(mbi.error(), 126u);
}

// A full NVRAM image of the legacy family against the adapter: its ids, the image kinds it carries
// compared with the adapter's, the PHY settings, and its size.
class FullImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testkit::legacy::adapter a;  // 5709, ids 14E4/1639/14E4/1639, 256 KiB
        a.images = {
            {0xF0000000u, 0x07000000u, 0x08000000u, testkit::legacy::text_image("BC1 1.2.3", 1, 2, 3)},
            {0x10000000u, 0x01000000u, 0, testkit::legacy::rom_image(0x1639, 0, 3, 0x1203, true)},
        };
        nvram = testkit::legacy::build_nvram(a);
        w.facade.legacyDir = {0x10000000u};
        w.UseNvram(nvram);
    }
    bool Check(const Bytes& file, uint32_t* error)
    {
        fwupg::FwImage image(w.interp, w.File(file, "full.bin").c_str(), fwupg::kImgFullNvm, false);
        const bool ok = image.IsFullNvmImageForDevice();
        *error = image.error();
        return ok;
    }
    ImageCheckWorld w;
    Bytes nvram;
};

TEST_F(FullImageTest, MatchingImagePasses)
{
    uint32_t error = 1;
    EXPECT_TRUE(Check(nvram, &error));
    EXPECT_EQ(error, 0u);
}

TEST_F(FullImageTest, MismatchesFailWithTheirCodes)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        uint32_t error;
    };
    const std::vector<Case> cases = {
        {"image for another device", [&] { Adapter a; a.did = 0x163A; w.Select(a); }, 22},
        {"adapter without the boot agent", [&] { w.facade.legacyDir = {}; }, 81},
        {"adapter with UMP", [&] { w.facade.legacyDir.insert(0x30000000u); }, 82},
        {"adapter with IPMI", [&] { w.facade.legacyDir.insert(0x90000000u); }, 83},
        {"adapter with iSCSI configuration", [&] { w.facade.legacyDir.insert(0xC0000000u); }, 84},
        {"adapter with NCSI", [&] { w.facade.legacyDir.insert(0x40000000u); }, 114},
        {"adapter with CCM", [&] { w.facade.legacyDir.insert(0x40000001u); }, 123},
        {"SerDes adapter, copper image", [&] { Adapter a; a.phyType = "SERDES"; w.Select(a); }, 48},
        {"NVRAM one page larger", [&] { Adapter a; a.nvmSize = 0x40000 + 0x100; w.Select(a); }, 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        w.Select(Adapter{});
        w.facade.legacyDir = {0x10000000u};
        c.arrange();
        uint32_t error = 0;
        EXPECT_FALSE(Check(nvram, &error));
        EXPECT_EQ(error, c.error);
    }
}

TEST_F(FullImageTest, ListedBoardsMayGainTheIscsiBootImage)
{
    // Put an iSCSI boot entry into the image's directory (entry 15; the flags are the second word
    // of each 12-byte entry from NVRAM 0x14).
    Bytes withIscsi = nvram;
    testkit::legacy::put_be32(withIscsi, 0x14 + 15 * 12 + 4, 0xD0000000u);

    Adapter unlisted;
    w.Select(unlisted);
    uint32_t error = 0;
    EXPECT_FALSE(Check(withIscsi, &error));
    EXPECT_EQ(error, 84u);

    Adapter listed;  // DID 0x1639 with 103C/7055 is on the list
    listed.svid = 0x103C;
    listed.ssid = 0x7055;
    w.Select(listed);
    Bytes image = withIscsi;
    testkit::legacy::put_be32(image, 344, 0x7055103Cu);  // the image's SSID/SVID for port 0
    EXPECT_TRUE(Check(image, &error)) << error;
}

// On the 57710 family the ids come from the per-port configuration words; a failed read fails the
// check with a code rather than without one.
TEST_F(FullImageTest, Family5IdsFromPortConfigurationWords)
{
    Adapter a = Family5(0x168E);
    a.nvmSize = 0x40000;
    w.Select(a);
    w.facade.portCfgOffset = 0x150;
    w.facade.portCfgWords = {{1, 0x14E41234u}, {2, 0x1917103Cu}, {4, 0x0000168Eu}};
    uint32_t error = 0;
    EXPECT_TRUE(Check(nvram, &error)) << error;

    w.facade.portCfgWords.erase(2);
    EXPECT_FALSE(Check(nvram, &error));
    EXPECT_EQ(error, 77u);

    w.facade.portCfgWords = {{1, 0x14E41234u}, {2, 0x1917103Cu}, {4, 0x00001235u}};
    EXPECT_FALSE(Check(nvram, &error));
    EXPECT_EQ(error, 22u);

    w.facade.portCfgWords = {{1, 0x14E4168Eu}, {2, 0x1917103Cu}, {4, 0}};
    w.facade.mbaMatch = 0;
    EXPECT_FALSE(Check(nvram, &error));
    EXPECT_EQ(error, 81u);
    w.facade.mbaMatch = 1;
    w.facade.febMatch = 0;
    EXPECT_FALSE(Check(nvram, &error));
    EXPECT_EQ(error, 116u);
    w.facade.febMatch = 1;
    w.facade.ccmMatch = 0x100;  // only the low byte is the verdict
    EXPECT_FALSE(Check(nvram, &error));
    EXPECT_EQ(error, 123u);
}

}  // namespace

// The facade's directory test (slot 27) through the real facade and engines over a board's NVRAM:
// bit 0 of the type chooses the directory, so a type with bit 0 set (the VPD image 0xA0000001, the
// FCoE boot program 0x40000001) is looked for only in the extended directory and one with bit 0
// clear (0x70000000) only in the legacy-format directory, on either family. A legacy board has no
// extended directory, so an entry of its own directory carrying such a type is not found.
TEST(DirectoryTest, BitZeroOfTheTypeChoosesTheDirectoryOnEitherFamily)
{
    namespace e1e3 = testkit::e1e3;
    auto e3_nvram = [](std::vector<const char*> kinds) {
        e1e3::NvramDef s;
        s.chip = e1e3::Chip::E3;
        s.size = 0x40000;
        e1e3::set_board(s, 0x14E4, 0x168E, 0x103C, 0x1917, 0x001018AA0000ull, 2);
        for (const char* kind : kinds) {
            e1e3::ImageDef im;
            im.kind = kind;
            const std::string k(kind);
            im.data = testkit::stock_image(kind, "7.10.3", k == "MBA" || k == "VPD" ? 0 : 0x200);
            s.images.push_back(im);
        }
        return e1e3::build(s).nvram;
    };
    auto legacy_nvram = [](std::vector<uint32_t> extraTypes) {
        testkit::legacy::adapter a;  // 5709, ids 14E4/1639/14E4/1639, 256 KiB
        a.images = {{0xF0000000u, 0x07000000u, 0x08000000u, testkit::legacy::text_image("BC1 1.2.3", 1, 2, 3)},
                    {0x10000000u, 0x01000000u, 0, testkit::legacy::rom_image(0x1639, 0, 3, 0x1203, true)}};
        for (uint32_t type : extraTypes)
            a.images.push_back({type, 0x01000000u, 0, testkit::legacy::text_image("EXTRA 1.0.0", 1, 0, 0)});
        return testkit::legacy::build_nvram(a);
    };
    struct Case {
        const char* what;
        Adapter adapter;
        Bytes nvram;
        uint32_t type;
        bool present;
    };
    const Case cases[] = {
        {"E3 VPD image (extended directory)", Family5(0x168E), e3_nvram({"MBA", "VPD"}), 0xA0000001u, true},
        {"E3 without a VPD image", Family5(0x168E), e3_nvram({"MBA"}), 0xA0000001u, false},
        {"E3 FCoE boot program (extended directory)", Family5(0x168E), e3_nvram({"MBA", "FEB_CPRG"}), 0x40000001u,
         true},
        {"E3 L2T (legacy-format directory)", Family5(0x168E), e3_nvram({"MBA", "L2T"}), 0x70000000u, true},
        {"E3 without L2T", Family5(0x168E), e3_nvram({"MBA", "VPD"}), 0x70000000u, false},
        {"legacy IPMI configuration (its own directory)", Legacy(0x5709), legacy_nvram({0x70000000u}), 0x70000000u,
         true},
        {"legacy board without it", Legacy(0x5709), legacy_nvram({}), 0x70000000u, false},
        {"legacy entry typed 0xA0000001: only the extended directory is asked", Legacy(0x5709),
         legacy_nvram({0xA0000001u}), 0xA0000001u, false},
        {"legacy entry typed 0x40000001: only the extended directory is asked", Legacy(0x5709),
         legacy_nvram({0x40000001u}), 0x40000001u, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageCheckWorld w;
        w.Select(c.adapter);
        w.UseNvram(c.nvram);
        HostOps ops;
        BuildHostOps(&ops, w.interp, 0);
        int32_t out = 0;
        const int rc = GetFwUpgKv9Instance()->has_ext_dir_image(ops, c.type, &out);
        EXPECT_EQ(rc == 0, c.present) << rc;
    }
}
