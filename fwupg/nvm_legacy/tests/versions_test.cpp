// Version texts of images in NVRAM and in files, their printing and parsing, the PCI ID patch of
// boot ROMs and CCM detection.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "fwupg/nvm_legacy/versions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {
constexpr uint32_t MCP = 0x07000000, HOST_CPU = 0x01000000;

bytes mba_rom()
{
    bytes rom = rom_image(0x164A, 0, 0, 0x7203, false);
    const bytes efi = rom_image(0x164A, 3, 3, 0x1000, true, 0x8664);
    rom.insert(rom.end(), efi.begin(), efi.end());
    return rom;
}

bytes block_of(uint32_t first_word, size_t size)
{
    bytes b(size, 0);
    put_be32(b, 0, first_word);
    return b;
}

adapter with_images()
{
    adapter a;
    a.images = {
        {0xF0000000u, MCP, 0x08000000, text_image("BC1 5.0.11", 5, 0, 11)},
        {0x80000000u, MCP, 0x08000000, text_image("IPMI v", 1, 2, 3)},
        {0x90000000u, MCP, 0x08000000, text_image("IPMISERV", 1, 2, 0)},
        {0xD0000000u, HOST_CPU, 0, pointed_version_image("v7.10.2")},
        {0xC0000000u, HOST_CPU, 0, block_of(0x01006269, 1024)},
        {0x70000000u, MCP, 0x08000000, block_of(0x06000000, 552)},
        {0x10000000u, HOST_CPU, 0, dword_reversed(mba_rom())},
        {0xA0000000u, HOST_CPU, 0xFFFFFFFF, bytes(16, 1)},
    };
    return a;
}

std::string version_in_nvram(FakeHost& host, const char* name)
{
    char text[128];
    toe_nvm_image_version_by_name(host.ops(), name, text, sizeof text);
    return text;
}
}  // namespace

TEST(Versions, TextsOfImagesInNvram)
{
    FakeHost host(with_images());
    struct {
        const char* name;
        const char* text;
    } rows[] = {
        {"BC1", "BC1 5.0.11"},
        {"IPMI_INIT", "IPMI 1.02c"},
        {"IPMI_SERV", "1.02"},
        {"ISCSI_B", "v7.10.2"},
        {"ISB_CFG", "v1.0"},
        {"CFG", "v1.0"},                 // the first row whose name contains the text
        {"IPMI_CFG", "6"},
        {"MBA", "legacy MBA 7.2.3;EFI x64 1.0.0"},
        {"USR_BLK", ""},
        {"UMP", ""},                     // no such image in NVRAM
    };
    for (auto r : rows)
        EXPECT_EQ(r.text, version_in_nvram(host, r.name)) << r.name;
}

TEST(Versions, TextsOfImageFiles)
{
    adapter a;
    FakeHost host(a);
    struct {
        const char* what;
        bytes file;
        const char* name;
        const char* text;
    } rows[] = {
        {"sectioned, 88-byte header", sectioned_file(text_image("BC2 7.2.3", 7, 2, 3), 0x08000000), "BC2", "BC2 7.2.3"},
        {"sectioned, 76-byte header", sectioned_file(text_image("UMP 1.1.1", 1, 1, 1), 0x08000000, true), "UMP",
         "UMP 1.1.1"},
        {"wrapped and sectioned", wrapped_v2(tag('\0', 'b', 'c', '2'), 0,
                                             sectioned_file(text_image("BC2 7.2.4", 7, 2, 4), 0x08000000)),
         "BC2", "BC2 7.2.4"},
        {"raw MBA file", mba_rom(), "MBA", "legacy MBA 7.2.3;EFI x64 1.0.0"},
        {"pointed text in a file", dword_reversed(pointed_version_image("v1.2.3")), "CCM", "v1.2.3"},
        {"text pointer past the end", [] {
             bytes b = dword_reversed(pointed_version_image("v1.2.3"));
             put_le32(b, 4, 0x7FF0);
             return b;
         }(), "FCOE_B", ""},
        {"file too short for its header", bytes(40, 0), "BC2", ""},
    };
    for (auto& r : rows) {
        char text[128] = "junk";
        toe_nvm_image_versions(host.ops(), r.file.data(), uint32_t(r.file.size()), 0, r.name, text, sizeof text);
        EXPECT_STREQ(r.text, text) << r.what;
    }
}

TEST(Versions, PrintedUnderTheListingColumn)
{
    fwupg::nvm::test::take_debug_text();
    EXPECT_EQ(1, toe_nvm_print_versions("legacy MBA 7.2.3;EFI x64 1.0.0"));
    EXPECT_EQ(std::string(4, ' ') + "legacy MBA 7.2.3\n" + std::string(61, ' ') + "EFI x64 1.0.0\n",
              fwupg::nvm::test::take_debug_text());
    toe_nvm_print_versions("only");
    EXPECT_EQ(std::string(16, ' ') + "only\n", fwupg::nvm::test::take_debug_text());
}

TEST(Versions, ParseVersion)
{
    struct {
        const char* text;
        const char* prefix;
        uint32_t result, value;
    } rows[] = {
        {"BC v5.0.11a", "v", 0, 0x0500000B},
        {"v7.10.2", "v", 0, 0x070A0002},
        {"v5.x.1", "v", 0xFFFFFFFF, 0},
        {"v5.1", "v", 0xFFFFFFFF, 0},
        {"5.1.1", "v", 0xFFFFFFFF, 0},
        {"v1.2.a", "v", 0xFFFFFFFF, 0},
    };
    for (auto r : rows) {
        uint32_t v = 0;
        EXPECT_EQ(r.result, toe_parse_version(r.text, r.prefix, &v)) << r.text;
        if (r.result == 0) {
            EXPECT_EQ(r.value, v) << r.text;
        }
    }
}

TEST(Versions, BootCodeWordAt28)
{
    FakeHost host(with_images());
    EXPECT_EQ(0x05000B00u, toe_nvm_image_dword28(host.ops(), 0x600));
    EXPECT_EQ(0xFFFFFFFFu, toe_nvm_image_dword28(host.ops(), 0x7FFFFFF0));
}

TEST(RomPatch, PatchesOnlyImagesThatDiffer)
{
    bytes rom = rom_image(0x164A, 0, 0, 0x7203, false);
    const bytes second = rom_image(0x1639, 3, 3, 0x1000, true, 0x8664);
    rom.insert(rom.end(), second.begin(), second.end());
    const bytes before = rom;
    fwupg::nvm::test::take_debug_text();
    ASSERT_EQ(0, toe_rom_patch_pci_ids(rom.data(), uint32_t(rom.size()), 0x14E4, 0x1639));
    EXPECT_EQ(0x39, rom[0x1C + 6]);
    EXPECT_EQ(0x16, rom[0x1C + 7]);
    uint8_t sum = 0;
    for (size_t i = 0; i < 512; ++i)
        sum = uint8_t(sum + rom[i]);
    EXPECT_EQ(0, sum) << "checksum of the patched legacy image";
    EXPECT_EQ(bytes(before.begin() + 512, before.end()), bytes(rom.begin() + 512, rom.end()));
    EXPECT_EQ("Updating PCI ROM (type 0) header with Vendor ID = 0x14e4 Device ID = 0x1639\n",
              fwupg::nvm::test::take_debug_text());

    struct {
        const char* what;
        bytes rom;
        const char* message;
    } bad[] = {
        {"unknown device", rom_image(0x1234, 0, 0, 1, true), "Error: Unknown image with DID 0x1234 & VID 0x14e4\n"},
        {"no signature", bytes(512, 0), "Error: Invalid Expansion ROM (incorrect header signature).\n"},
        {"cut off", bytes(before.begin(), before.begin() + 0x30), "Error: Invalid Expansion ROM (incorrect header signature).\n"},
    };
    for (auto& b : bad) {
        EXPECT_EQ(-1, toe_rom_patch_pci_ids(b.rom.data(), uint32_t(b.rom.size()), 0x14E4, 0x1639)) << b.what;
        EXPECT_EQ(b.message, fwupg::nvm::test::take_debug_text()) << b.what;
    }
}

TEST(Ccm, EmbeddedDirectory)
{
    auto ccm = [](uint16_t flags, uint16_t dirs) {
        bytes b(128, 0);
        b[8] = 16;               // p
        b[16] = uint8_t(flags);
        b[17] = uint8_t(flags >> 8);
        b[16 + 34] = 40;         // q = p + 40
        b[56] = uint8_t(dirs);
        return b;
    };
    const bytes one = ccm(0x100, 1), none = ccm(0x100, 0), off = ccm(0, 1), two = ccm(0x100, 2);
    EXPECT_EQ(1, ccm_is_embedded(one.data(), uint32_t(one.size())));
    EXPECT_EQ(0, ccm_is_embedded(none.data(), uint32_t(none.size())));
    EXPECT_EQ(0, ccm_is_embedded(off.data(), uint32_t(off.size())));
    fwupg::nvm::test::take_debug_text();
    EXPECT_EQ(1, ccm_is_embedded(two.data(), uint32_t(two.size())));
    EXPECT_EQ("ccm_is_embedded: assert(dirs(2) > 1)\n", fwupg::nvm::test::take_debug_text());
    EXPECT_EQ(0, ccm_is_embedded(one.data(), 40)) << "offsets past the image are refused";
}
