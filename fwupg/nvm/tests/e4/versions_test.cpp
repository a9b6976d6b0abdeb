// E4 version texts from a new image and from NVRAM, the MBA walk with its EFI drivers, and the
// version checks of an upgrade.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e4_bytes.h"
#include "fwupg/nvm/e4/image_header.h"
#include "fwupg/nvm/e4/program.h"
#include "fwupg/nvm/e4/versions.h"

namespace {

using namespace fwupg::nvm::test;
using namespace fwupg::nvm::e4;
using namespace fwupg::nvm::test::e4bytes;

Bytes with_text(const std::string& text, uint32_t at = 0, uint32_t size = 64)
{
    Bytes b(size, 0x11);
    Bytes t = swizzled(text);
    std::copy(t.begin(), t.end(), b.begin() + at);
    return b;
}

// An MBA chain: a PCI 3.0 legacy image with the code revision, then an x64 EFI driver (PE
// version 2.3) stored compressed or not.
Bytes mba(uint16_t legacy_revision, bool compressed = true, uint16_t efi_minor = 3)
{
    Bytes pe = pe_image(2, efi_minor);
    RomDef efi{.code_type = 3, .revision = 0x0101, .last = true, .compression = uint16_t(compressed ? 1 : 0),
                .payload = compressed ? stored_efi_stream(pe) : pe};
    return concat({rom_image({.code_type = 0, .revision = legacy_revision}), rom_image(efi)});
}

using E4Nvram = E4Board;

TEST(E4Versions, TextsFromABufferEqualThoseFromNvram)
{
    const Bytes init_hw = concat({le_words({8, 0}), Bytes{0, 0, 0, 0, 4, 3, 2, 1}});
    struct Case {
        uint32_t type;
        Bytes image;
        std::string want;
    } cases[] = {
        {1, with_text("TIM 8.18.1.0"), "TIM 8.18.1.0"},
        {4, with_text("MIM 8.18.2.0"), "MIM 8.18.2.0"},
        {6, with_text("OPTM 1.2.3"), "OPTM 1.2.3"},
        {16, with_text("HW_SET 1.0"), "HW_SET 1.0"},
        {17, with_text("LIM 8.1.0.0", 16), "LIM 8.1.0.0"},
        {20, with_text("CCM 2.0.0.1", 16), "CCM 2.0.0.1"},
        {37, with_text("RCVR 1.0.0.7"), "RCVR 1.0.0.7"},
        {25, init_hw, "4.3.2.1"},
        {29, le_words({0x0203, 0}), "ISCSI_CFG 2.3"},
        {31, le_words({0x0104, 0}), "FCOE_CFG 1.4"},
        {32, Bytes{1, 2, 3, 4, 0, 0, 0, 0}, "1.2.3.4"},
        {5, mba(0x0709), "PCI30 MBA 0.7.9;EFI x64 2.0.0.3"},
        {10, Bytes(64, 1), ""},
        {7, Bytes(64, 1), ""},
    };
    E4Nvram n;
    std::vector<uint32_t> at;
    for (const auto& c : cases)
        at.push_back(n.place(c.type, c.image));
    n.publish();
    E4Current cur(n.a);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.type);
        const auto size = uint32_t(c.image.size());
        EXPECT_EQ(e4_image_version_str(ImageRef::buffer(c.image.data(), size), c.type), c.want);
        EXPECT_EQ(e4_image_version_str(ImageRef::nvram(at[i], size), c.type), c.want);
    }
}

TEST(E4Versions, MbaWalkOfCompressedAndPlainDrivers)
{
    uint32_t v[kMbaSlots];
    for (bool compressed : {true, false}) {
        SCOPED_TRACE(compressed);
        Bytes m = mba(0x0709, compressed, 7);
        ASSERT_EQ(e4_mba_component_versions(ImageRef::buffer(m.data(), uint32_t(m.size())), v), 0);
        EXPECT_EQ(v[2], 0x0709u);
        EXPECT_EQ(v[7], 0x00020007u);
        EXPECT_EQ(version_state().last_uefi, 0x00020007u);
        EXPECT_EQ(version_state().last_pci30_revision, 0x0709u);
    }
    // Legacy, CLP and FCODE images each fill their slot; every EFI image clears the EFI slots
    // before it fills its own, so the last driver of the chain is the one that shows.
    Bytes chain = concat({rom_image({.code_type = 0, .revision = 0x0102, .struct_rev = 0}),
                          rom_image({.code_type = 0, .revision = 0x0203, .clp = 0x40}),
                          rom_image({.code_type = 1, .revision = 0x0304}),
                          rom_image({.code_type = 3, .revision = 0x0405, .machine = 0x0EBC}),
                          rom_image({.code_type = 3, .revision = 0x0506, .last = true, .machine = 0x014C})});
    take_debug_text();
    ASSERT_EQ(e4_mba_component_versions(ImageRef::buffer(chain.data(), uint32_t(chain.size())), v), 0);
    EXPECT_EQ(mba_version_text(v), "legacy MBA 0.1.2;PCI30_CLP MBA 0.2.3;FCODE 0.3.4;EFI x86 0.5.6");
    // Neither driver holds a PE image: their code revisions stand in.
    EXPECT_EQ(take_debug_text(), "invalid EFI image\ninvalid EFI image\n");
}

TEST(E4Versions, MbaWalkStaysInsideTheImage)
{
    struct Case {
        const char* what;
        Bytes image;
        const char* log;
    };
    Bytes pcir_far = rom_image({.code_type = 0, .revision = 0x0709, .last = true});
    pcir_far[0x18] = 0xF0;  // PCI data structure past the 512-byte image end
    pcir_far.resize(0x100);
    Bytes no_length = rom_image({.code_type = 0, .revision = 0x0709});
    no_length[0x1C + 0x10] = 0;
    Bytes long_claim = rom_image({.code_type = 0, .revision = 0x0709, .last = true});
    long_claim[0x1C + 0x10] = 9;  // claims 4.5 KB in a 512-byte file
    Bytes efi_offset = mba(0x0709, false);
    put_le16(efi_offset, 512 + 0x16, 0xFFF0);  // EFI offset beyond the driver's ROM image
    Bytes lfanew = mba(0x0709, false);
    put_le32(lfanew, 512 + 0x40 + 0x3C, 0x7FFFFFF0);
    Bytes bad_stream = mba(0x0709, true);
    bad_stream[512 + 0x40 + 8] = 0xFF;  // block size stays, extra set count 31
    bad_stream[512 + 0x40 + 10] = 0xFF;
    Case cases[] = {
        {"PCIR offset outside", pcir_far, ""},
        {"ROM image without length", no_length, ""},
        {"ROM image longer than the file", long_claim, ""},
        {"EFI offset outside", efi_offset, "invalid EFI image\n"},
        {"PE header offset outside", lfanew, "invalid EFI image\n"},
        {"corrupt compressed driver", bad_stream, "Failed to uncompress EFI!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t v[kMbaSlots];
        take_debug_text();
        const int rc = e4_mba_component_versions(ImageRef::buffer(c.image.data(), uint32_t(c.image.size())), v);
        if (*c.log == 0) {
            EXPECT_EQ(rc, -1);
        } else {
            // The driver's code revision stands in for a version that can't be read.
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(v[7], 0x0101u);
            EXPECT_EQ(version_state().last_uefi, 0u);
        }
        EXPECT_EQ(take_debug_text(), c.log);
    }
}

TEST(E4Versions, MbaCheckMessages)
{
    struct Case {
        const char* what;
        uint16_t nvm_rev, new_rev;
        int rc;
        const char* log;
    } cases[] = {
        {"older", 0x0709, 0x0707, -1,
         "Given version (0.7.7) is older than NVRAM version(0.7.9). Upgrade aborted for image PCI30 MBA.\n"
         "Please use \"-F\" option to force downgrade.\n"},
        {"same", 0x0709, 0x0709, -1,
         "Given version (0.7.9) is same as NVRAM version(0.7.9). Upgrade aborted for image PCI30 MBA.\n"
         "Please use \"-F\" option to force upgrade.\n"},
        {"newer", 0x0709, 0x070A, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        E4Nvram n;
        Bytes old = mba(c.nvm_rev), now = mba(c.new_rev);
        const uint32_t at = n.place(5, old);
        n.publish();
        E4Current cur(n.a);
        take_debug_text();
        EXPECT_EQ(e4_mba_version_check(ImageRef::nvram(at, uint32_t(old.size())), now.data(), uint32_t(now.size())),
                  c.rc);
        EXPECT_EQ(take_debug_text(), c.log);
    }
}

TEST(E4Versions, RemovingAComponentIsADowngrade)
{
    E4Nvram n;
    Bytes old = mba(0x0709);
    const uint32_t at = n.place(5, old);
    n.publish();
    E4Current cur(n.a);
    Bytes legacy_only = rom_image({.code_type = 0, .revision = 0x0800, .last = true});
    take_debug_text();
    EXPECT_EQ(e4_mba_version_check(ImageRef::nvram(at, uint32_t(old.size())), legacy_only.data(),
                                   uint32_t(legacy_only.size())),
              -1);
    EXPECT_EQ(take_debug_text(), "This \"nvm upgrade\" operation involves removal of EFI x64.\n"
                                 "Please use \"-F\" option to force downgrade.\n");
}

TEST(E4Versions, TheRememberedVersionsAreTheNewDatas)
{
    // NVRAM's boot agent is 0.7.9 with driver 2.3 (and no NVM_CFG1 UEFI word, so the walk reads
    // the driver itself), the new one 0.7.10 with 2.9: the check walks NVRAM last, and still the
    // versions to store are the new data's. A new MBA without a driver or a PCI 3.0 image leaves
    // 0 for them, not a value from before.
    E4Nvram n;
    Bytes old = mba(0x0709, true, 3);
    const uint32_t at = n.place(5, old);
    n.publish();
    E4Current cur(n.a);
    Bytes now = mba(0x070A, true, 9);
    EXPECT_EQ(e4_mba_version_check(ImageRef::nvram(at, uint32_t(old.size())), now.data(), uint32_t(now.size())), 0);
    EXPECT_EQ(version_state().last_uefi, 0x00020009u);
    EXPECT_EQ(version_state().last_pci30_revision, 0x070Au);
    Bytes legacy_only = rom_image({.code_type = 0, .revision = 0x0800, .struct_rev = 0, .last = true});
    uint32_t v[kMbaSlots];
    EXPECT_EQ(e4_mba_component_versions(ImageRef::buffer(legacy_only.data(), uint32_t(legacy_only.size())), v), 0);
    EXPECT_EQ(v[0], 0x0800u);
    EXPECT_EQ(version_state().last_uefi, 0u);
    EXPECT_EQ(version_state().last_pci30_revision, 0u);
    // A walk of the NVRAM's image changes neither.
    EXPECT_EQ(e4_mba_component_versions(ImageRef::nvram(at, uint32_t(old.size())), v), 0);
    EXPECT_EQ(v[2], 0x0709u);
    EXPECT_EQ(version_state().last_uefi, 0u);
    EXPECT_EQ(version_state().last_pci30_revision, 0u);
}

TEST(E4Versions, NvramUefiVersionComesFromTheConfigurationWhenSet)
{
    E4Nvram n;
    Bytes cfg(4240, 0);
    put_le32(cfg, 148, 0x00050006);
    n.place(10, cfg);
    Bytes old = mba(0x0709);
    const uint32_t at = n.place(5, old);
    n.publish();
    E4Current cur(n.a);
    uint32_t v[kMbaSlots];
    ASSERT_EQ(e4_mba_component_versions(ImageRef::nvram(at, uint32_t(old.size())), v), 0);
    EXPECT_EQ(v[7], 0x00050006u);
}

TEST(E4Versions, NewerByType)
{
    struct Case {
        uint32_t type;
        const char *old, *now;
        int rc;
    } cases[] = {
        {1, "TIM 8.18.1.0", "TIM 8.18.2.0", 0},   {1, "TIM 8.18.1.0", "TIM 8.18.1.0", -1},
        {2, "TIM 8.18.1.0", "TIM 8.17.9.9", -1},  {3, "MIM 1.0.0.0", "MIM 1.0.0.1", 0},
        {17, "LIM 1.0", "LIM 1.1", 0},             {29, "ISCSI_CFG 1.2", "ISCSI_CFG 1.3", 0},
        {31, "FCOE_CFG 1.2", "FCOE_CFG 1.2", -1},  {37, "RCVR 1.0.0.0", "RCVR 2.0.0.0", 0},
        {13, "9.9.9.9", "1.0.0.0", 0},            {33, "9.9.9.9", "1.0.0.0", 0},
        {16, "HW_SET 1.0", "HW_SET 9.0", -1},     {6, "OPTM 1", "OPTM 2", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(e4_image_version_newer(c.type, c.old, c.now), c.rc) << c.type << " " << c.now;
}

TEST(E4Versions, TimVersionsOfABundleAndOfNvram)
{
    Bytes bundle = concat({le_words({0xBDBDBDBD, 0, 0, 0}), le_words({0x669955AA, 3, 3, 0x400000, 0, 0, 16, 0}),
                           with_text("MIM 1.2.3.4", 0, 16), le_words({0x669955AA, 3, 1, 0x400000, 0, 0, 16, 0}),
                           with_text("TIM 8.18.12.0", 0, 16)});
    uint32_t v = 0;
    EXPECT_EQ(e4_bundle_tim_version(bundle.data(), uint32_t(bundle.size()), &v), 0);
    EXPECT_EQ(v, 0x08120C00u);
    // An item that runs past the end makes the bundle unreadable, not a read past it.
    Bytes cut(bundle.begin(), bundle.end() - 4);
    EXPECT_EQ(e4_bundle_tim_version(cut.data(), uint32_t(cut.size()), &v), -1);

    E4Nvram n;
    n.place(1, with_text("TIM 8.12.c.0"));
    n.place(2, with_text("TIM 8.12.d.0"));
    n.publish();
    E4Current cur(n.a);
    EXPECT_EQ(e4_nvm_tim_version(nullptr, 0, &v), 0);
    EXPECT_EQ(v, 0x08120C00u);
    EXPECT_EQ(e4_nvm_tim_version(nullptr, 1, &v), 0);
    EXPECT_EQ(v, 0x08120D00u);
    EXPECT_EQ(e4_nvm_tim_version(nullptr, 2, &v), 1);
}

}  // namespace
