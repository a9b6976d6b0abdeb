// The version check before a legacy upgrade, on a simulated adapter built by the kit: version
// words, pointed-at version texts, UMP files and boot ROM code revisions against what NVRAM holds,
// the refusal texts and their last error, and image files too short for what is read from them.
#include <gtest/gtest.h>

#include "fake_host.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/upgrade.h"
#include "legacy_fake_host.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;

namespace {

adapter board_with(std::vector<image> images)
{
    adapter a;
    a.board = 5709;
    a.images = std::move(images);
    return a;
}

// An image file of a kind as its record carries it: a sectioned file for on-chip firmware (88- or
// 76-byte header), the dword-reversed memory image otherwise.
bytes sectioned(const char* kind, const char* version, bool short_header = false)
{
    return sectioned_file(stock_image(kind, version), 0x08000000, short_header);
}
bytes plain(const char* kind, const char* version) { return dword_reversed(stock_image(kind, version)); }

// A boot ROM chain of (code type, revision, code revision, machine) images.
struct rom {
    uint8_t type, pcir;
    uint16_t rev, machine;
};
bytes roms(std::initializer_list<rom> list)
{
    bytes out;
    size_t i = 0;
    for (const rom& r : list) {
        const bytes one = rom_image(0x1639, r.type, r.pcir, r.rev, ++i == list.size(), r.machine);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}
// A ROM chain as NVRAM holds it (every dword reversed against the ROM bytes).
image mba_in_nvram(const bytes& rom_bytes) { return placed("MBA", dword_reversed(rom_bytes)); }

struct checked {
    int rc;
    uint32_t last_error;
    std::string printed, result;
};

checked check(FakeHost& host, int row, const bytes& file)
{
    fwupg::nvm::test::take_debug_text();
    host.last_error = 0;
    const int rc = toe_nvm_upgrade_version_check(host.ops(), row, file.data(), uint32_t(file.size()));
    return {rc, host.last_error, fwupg::nvm::test::take_debug_text(), host.result()};
}

const std::string FORCE = "Please use \"-F\" option to force upgrade.\n";

}  // namespace

// Version words, version texts and UMP files, newer, same and older than NVRAM.
TEST(UpgradeVersionCheck, ComparesWithTheImageInNvram)
{
    const image bc1 = placed("BC1", stock_image("BC1", "7.2.3"));
    struct {
        const char* what;
        std::vector<image> nvram;
        int row;
        bytes file;
        int rc;
        std::string printed;
    } cases[] = {
        {"same boot code", {bc1, placed("BC2", stock_image("BC2", "7.2.3"))}, TOE_IMG_BC2, sectioned("BC2", "7.2.3"), 1,
         "New version(7.2.3) is same as NVRAM version(7.2.3). Upgrade aborted.\n" + FORCE},
        {"older boot code", {bc1, placed("BC2", stock_image("BC2", "7.2.3"))}, TOE_IMG_BC2, sectioned("BC2", "7.1.9"), 1,
         "New version(7.1.9) is older than NVRAM version(7.2.3). Upgrade aborted.\n" + FORCE},
        {"newer boot code", {bc1, placed("BC2", stock_image("BC2", "7.2.3"))}, TOE_IMG_BC2, sectioned("BC2", "7.2.4"), 0,
         ""},
        {"76-byte header: the word at 104", {bc1, placed("BC2", stock_image("BC2", "7.2.3"))}, TOE_IMG_BC2,
         sectioned("BC2", "7.2.3", true), 1, "New version(7.2.3) is same as NVRAM version(7.2.3). Upgrade aborted.\n" + FORCE},
        {"BC1 against the boot code when BC2 is listed", {bc1, placed("BC2", stock_image("BC2", "9.0.0"))}, TOE_IMG_BC1,
         sectioned("BC1", "7.2.2"), 1, "New version(7.2.2) is older than NVRAM version(7.2.3). Upgrade aborted.\n" + FORCE},
        {"BC1 without a BC2 entry is not compared", {bc1}, TOE_IMG_BC1, sectioned("BC1", "1.0.0"), 0, ""},
        {"first install of a type", {bc1}, TOE_IMG_NCSI_CMN, sectioned("NCSI_CMN", "1.0.0"), 0, ""},
        {"no check for L2_RXP", {bc1, placed("L2_RXP", stock_image("L2_RXP", "9.9.9"))}, TOE_IMG_L2_RXP,
         sectioned("L2_RXP", "1.0.0"), 0, ""},
        {"IPMI firmware", {bc1, placed("IPMI_INIT", stock_image("IPMI_INIT", "1.2.0"))}, TOE_IMG_IPMI_INIT,
         sectioned("IPMI_INIT", "1.2.0"), 1,
         "New version(1.2.0) is same as NVRAM version(1.2.0). Upgrade aborted.\n" + FORCE},
        // The text form packs the minor number above the build: 7.10.2 is newer than 7.8.12.
        {"newer iSCSI boot text", {bc1, placed("ISCSI_B", stock_image("ISCSI_B", "7.8.12"))}, TOE_IMG_ISCSI_B,
         plain("ISCSI_B", "7.10.2"), 0, ""},
        {"older iSCSI boot text", {bc1, placed("ISCSI_B", stock_image("ISCSI_B", "7.10.2"))}, TOE_IMG_ISCSI_B,
         plain("ISCSI_B", "7.8.12"), 1,
         "New version(7.8.12) is older than NVRAM version(7.10.2). Upgrade aborted.\n" + FORCE},
        {"same CCM text", {bc1, placed("CCM", stock_image("CCM", "1.2.3"))}, TOE_IMG_CCM, plain("CCM", "1.2.3"), 1,
         "New version(1.2.3) is same as NVRAM version(1.2.3). Upgrade aborted.\n" + FORCE},
        {"same UMP", {bc1, placed("UMP", stock_image("UMP", "2.0.1"))}, TOE_IMG_UMP, sectioned("UMP", "2.0.1"), 1,
         "New version(2.0.1) is same as NVRAM version(2.0.1). Upgrade aborted.\n" + FORCE},
        {"newer UMP", {bc1, placed("UMP", stock_image("UMP", "2.0.1"))}, TOE_IMG_UMP, sectioned("UMP", "2.1.0"), 0, ""},
    };
    for (const auto& c : cases) {
        FakeHost host(board_with(c.nvram));
        const checked r = check(host, c.row, c.file);
        EXPECT_EQ(c.rc, r.rc) << c.what << ": " << r.result;
        EXPECT_EQ(c.printed, r.printed) << c.what;
        EXPECT_EQ(c.rc ? 35u : 0u, r.last_error) << c.what;
        EXPECT_EQ("", r.result) << c.what << ": the refusal goes to the debug print";
    }
}

// Files whose version cannot be read, NVRAM texts that cannot be parsed, non-UMP files: refused
// with their code, never read past the file.
TEST(UpgradeVersionCheck, UnreadableVersionsAreRefused)
{
    const image bc1 = placed("BC1", stock_image("BC1", "7.2.3"));
    bytes cut_bc2 = sectioned("BC2", "7.2.3");
    cut_bc2.resize(116);   // ends where its version word would begin
    bytes far_text = plain("ISCSI_B", "7.10.2");
    far_text[4] = 0xF0;   // the text pointer (word 4, file order) beyond the file
    bytes ump_far = sectioned("UMP", "2.1.0");
    ump_far[16] = 0xF0;   // section 0 beyond the file
    bytes no_text = plain("ISCSI_B", "7.10.2");
    std::fill(no_text.begin() + 32, no_text.begin() + 48, uint8_t('x'));
    bytes bad_nvram_text = stock_image("ISCSI_B", "7.10.2");
    bad_nvram_text[4 + 3] = 0xF0;   // NVRAM word 4 points beyond the image
    const std::string BAD_FILE = "File has an invalid version string. Upgrade aborted.\n";
    const std::string BAD_NVRAM =
        "Image in NVRAM has an invalid version string. Please delete it first. Upgrade aborted.\n";
    struct {
        const char* what;
        std::vector<image> nvram;
        int row;
        bytes file;
        uint32_t error;
        std::string printed, result;
    } cases[] = {
        {"boot code file too short", {bc1, placed("BC2", stock_image("BC2", "7.2.3"))}, TOE_IMG_BC2,
         cut_bc2, 35, BAD_FILE, ""},
        {"text pointer outside the file", {bc1, placed("ISCSI_B", stock_image("ISCSI_B", "7.8.12"))}, TOE_IMG_ISCSI_B,
         far_text, 35, BAD_FILE, ""},
        {"file text without a version", {bc1, placed("ISCSI_B", stock_image("ISCSI_B", "7.8.12"))}, TOE_IMG_ISCSI_B,
         no_text, 35, BAD_FILE, ""},
        {"NVRAM text outside its image", {bc1, placed("ISCSI_B", bad_nvram_text)}, TOE_IMG_ISCSI_B,
         plain("ISCSI_B", "7.10.2"), 35, BAD_NVRAM, ""},
        {"not a sectioned UMP file", {bc1, placed("UMP", stock_image("UMP", "2.0.1"))}, TOE_IMG_UMP,
         plain("UMP", "2.1.0"), 68, "", "Invalid UMP firmware image."},
        {"UMP section outside the file", {bc1, placed("UMP", stock_image("UMP", "2.0.1"))}, TOE_IMG_UMP, ump_far, 68, "",
         "Invalid UMP firmware image."},
    };
    for (const auto& c : cases) {
        FakeHost host(board_with(c.nvram));
        const checked r = check(host, c.row, c.file);
        EXPECT_EQ(1, r.rc) << c.what;
        EXPECT_EQ(c.error, r.last_error) << c.what;
        EXPECT_EQ(c.printed, r.printed) << c.what;
        EXPECT_EQ(c.result, r.result) << c.what;
    }

    FakeHost host(board_with({bc1, placed("BC2", stock_image("BC2", "7.2.3"))}));
    host.fail_read_at = 0x18;   // the directory
    const checked r = check(host, TOE_IMG_BC1, sectioned("BC1", "9.0.0"));
    EXPECT_EQ(1, r.rc);
    EXPECT_EQ(4u, r.last_error);
    EXPECT_EQ("Failed to read NVRAM.", r.result);
}

// Boot ROM chains compared kind by kind: a removed or older kind refuses whatever the others say,
// all kinds equal refuses, one newer kind with none older goes on.
TEST(UpgradeVersionCheck, BootRomKinds)
{
    const rom pci30{0, 3, 0x7080, 0}, pci30_new{0, 3, 0x7090, 0}, pci30_old{0, 3, 0x7070, 0};
    const rom efi64{3, 3, 0x7080, 0x8664}, efi64_new{3, 3, 0x7090, 0x8664};
    const rom legacy{0, 0, 0x7080, 0};
    const bytes nvram_roms = roms({pci30, efi64});
    struct {
        const char* what;
        bytes file;
        int rc;
        std::string printed;
    } cases[] = {
        {"EFI x64 removed", roms({pci30_new}), 1,
         "This \"nvm upgrade\" operation involves removal of EFI x64.\n"
         "Please use \"-F\" option to force downgrade.\n"},
        {"PCI 3.0 older", roms({pci30_old, efi64_new}), 1,
         "PCI30 MBA downgrade from (7.0.128) to (7.0.112) is requested\n"
         "Please use \"-F\" option to force downgrade.\n"},
        {"every kind the same", roms({pci30, efi64}), 1,
         "PCI30 MBA upgrade from (7.0.128) to (7.0.128) is requested\n" + FORCE},
        {"one kind newer", roms({pci30, efi64_new}), 0, ""},
        {"a new kind beside the same ones", roms({legacy, pci30, efi64}), 0, ""},
    };
    for (const auto& c : cases) {
        FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0")), mba_in_nvram(nvram_roms)}));
        const checked r = check(host, TOE_IMG_MBA, c.file);
        EXPECT_EQ(c.rc, r.rc) << c.what;
        EXPECT_EQ(c.printed, r.printed) << c.what;
        EXPECT_EQ(c.rc ? 35u : 0u, r.last_error) << c.what;
    }

    // A file that is no ROM chain at all.
    FakeHost host(board_with({placed("BC1", stock_image("BC1", "1.0.0")), mba_in_nvram(nvram_roms)}));
    const checked r = check(host, TOE_IMG_MBA, bytes(16, 0));
    EXPECT_EQ(1, r.rc);
    EXPECT_EQ(35u, r.last_error);
}

// The printed forms: a version word shows three bytes, a version text a byte, a byte and 16 bits.
TEST(UpgradeVersionCheck, PrintedForms)
{
    FakeHost host(board_with({}));
    fwupg::nvm::test::take_debug_text();
    EXPECT_EQ(0, toe_nvm_compare_versions(host.ops(), 0x070203, 0x070202, TOE_IMG_BC2));
    EXPECT_EQ(1, toe_nvm_compare_versions(host.ops(), 0x070203, 0x070203, TOE_IMG_NCSI_CMN));
    EXPECT_EQ(1, toe_nvm_compare_versions(host.ops(), 0x070A0102, 0x070B0001, TOE_IMG_FCOE_B));
    EXPECT_EQ("New version(7.2.3) is same as NVRAM version(7.2.3). Upgrade aborted.\n" + FORCE +
                  "New version(7.10.258) is older than NVRAM version(7.11.1). Upgrade aborted.\n" + FORCE,
              fwupg::nvm::test::take_debug_text());
}
