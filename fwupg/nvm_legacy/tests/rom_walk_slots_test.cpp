// The walk over the PCI expansion ROM images of a boot agent: each of the eight ROM kinds fills
// its own slot, from an image file and from NVRAM alike, and the version check names the kind it
// refuses for.
#include <gtest/gtest.h>

#include "fake_host.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/upgrade.h"
#include "fwupg/nvm_legacy/versions.h"
#include "legacy_fake_host.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;

namespace {

struct rom {
    uint8_t type, pcir;
    uint16_t rev, machine;
    uint16_t clp = 0;  // CLP entry point of a PCI 3.0 image
};

// The chain in ROM byte order; a CLP entry goes into the upper half of the data structure's word
// at 0x18 (the structure's offset is the byte at ROM offset 0x18).
bytes roms(std::initializer_list<rom> list)
{
    bytes out;
    size_t i = 0;
    for (const rom& r : list) {
        bytes one = rom_image(0x1639, r.type, r.pcir, r.rev, ++i == list.size(), r.machine);
        const size_t d = one[0x18];
        one[d + 0x1A] = uint8_t(r.clp);
        one[d + 0x1B] = uint8_t(r.clp >> 8);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

adapter board_with(const bytes& nvram_roms)
{
    adapter a;
    a.board = 5709;
    a.images = {placed("BC1", stock_image("BC1", "1.0.0")), placed("MBA", dword_reversed(nvram_roms))};
    return a;
}

const rom kLegacy{0, 0, 0x7010, 0}, kClp{0, 3, 0x7020, 0, 0x40}, kPci30{0, 3, 0x7030, 0}, kFcode{1, 3, 0x7040, 0},
    kEfi86{3, 3, 0x7050, 0x014C}, kEfiIpf{3, 3, 0x7060, 0x0200}, kEfiEbc{3, 3, 0x7070, 0x0EBC},
    kEfi64{3, 3, 0x7080, 0x8664};

}  // namespace

TEST(RomWalkSlots, EachKindFillsItsSlotFromAFileAndFromNvram)
{
    const bytes chain = roms({kEfi64, kFcode, kEfiIpf, kLegacy, kEfiEbc, kClp, kEfi86, kPci30});
    const uint32_t want[8] = {0x7010, 0x7020, 0x7030, 0x7040, 0x7050, 0x7060, 0x7070, 0x7080};
    const char* const wantNames[8] = {"legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
                                      "EFI x86",    "EFI IPF",       "EFI EBC",   "EFI x64"};
    FakeHost host(board_with(chain));
    int index = -1;
    uint32_t offset = 0;
    ASSERT_EQ(0, toe_nvm_find_dir_entry(host.ops(), 0x10000000u, &index));
    ASSERT_EQ(0, toe_nvm_read_dir_entry(host.ops(), index, &offset, nullptr, nullptr, nullptr, nullptr));
    for (bool fromNvram : {false, true}) {
        SCOPED_TRACE(fromNvram ? "NVRAM" : "file");
        uint32_t revisions[8];
        const char* names[8] = {};
        ASSERT_EQ(0, toe_option_rom_versions(host.ops(), revisions, fromNvram ? nullptr : chain.data(),
                                             uint32_t(chain.size()), offset, names, 0));
        for (int slot = 0; slot < 8; ++slot) {
            EXPECT_EQ(revisions[slot], want[slot]) << slot;
            ASSERT_NE(names[slot], nullptr) << slot;
            EXPECT_STREQ(names[slot], wantNames[slot]);
        }
    }
    // Kinds the walk does not know fill nothing and say so.
    fwupg::nvm::test::take_debug_text();
    const bytes odd = roms({{0, 2, 0x7011, 0}, {3, 3, 0x7012, 0xAA64}, {2, 3, 0x7013, 0}, kPci30});
    uint32_t revisions[8];
    const char* names[8] = {};
    ASSERT_EQ(0, toe_option_rom_versions(host.ops(), revisions, odd.data(), uint32_t(odd.size()), 0, names, 0));
    EXPECT_EQ(fwupg::nvm::test::take_debug_text(), "invalid MBA type\ninvalid EFI type\n");
    for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(revisions[slot], slot == 2 ? 0x7030u : 0u) << slot;
}

// The version check of a boot agent goes slot by slot: the first kind removed or older refuses
// with its own name, and an upgrade that changes nothing names the first kind after slot 0 that
// both hold.
TEST(RomWalkSlots, TheVersionCheckNamesTheKindOfEverySlot)
{
    const bytes nvram = roms({kLegacy, kClp, kFcode, kEfi86, kEfiIpf, kEfiEbc});
    const std::string downgrade = "Please use \"-F\" option to force downgrade.\n";
    auto older = [](rom r) {
        r.rev = uint16_t(r.rev - 1);
        return r;
    };
    struct Case {
        const char* what;
        bytes file;
        int rc;
        std::string printed;
    };
    const Case cases[] = {
        {"the CLP image older", roms({kLegacy, older(kClp), kFcode, kEfi86, kEfiIpf, kEfiEbc}), 1,
         "PCI30_CLP MBA downgrade from (7.0.32) to (7.0.31) is requested\n" + downgrade},
        {"FCODE removed", roms({kLegacy, kClp, kEfi86, kEfiIpf, kEfiEbc}), 1,
         "This \"nvm upgrade\" operation involves removal of FCODE.\n" + downgrade},
        {"EFI x86 older", roms({kLegacy, kClp, kFcode, older(kEfi86), kEfiIpf, kEfiEbc}), 1,
         "EFI x86 downgrade from (7.0.80) to (7.0.79) is requested\n" + downgrade},
        {"EFI IPF removed", roms({kLegacy, kClp, kFcode, kEfi86, kEfiEbc}), 1,
         "This \"nvm upgrade\" operation involves removal of EFI IPF.\n" + downgrade},
        {"EFI EBC older", roms({kLegacy, kClp, kFcode, kEfi86, kEfiIpf, older(kEfiEbc)}), 1,
         "EFI EBC downgrade from (7.0.112) to (7.0.111) is requested\n" + downgrade},
        {"every kind the same", nvram, 1,
         "PCI30_CLP MBA upgrade from (7.0.32) to (7.0.32) is requested\nPlease use \"-F\" option to force upgrade.\n"},
        {"only EFI EBC newer", roms({kLegacy, kClp, kFcode, kEfi86, kEfiIpf, {3, 3, 0x7071, 0x0EBC}}), 0, ""},
    };
    for (const Case& c : cases) {
        FakeHost host(board_with(nvram));
        fwupg::nvm::test::take_debug_text();
        host.last_error = 0;
        const int rc = toe_nvm_upgrade_version_check(host.ops(), TOE_IMG_MBA, c.file.data(), uint32_t(c.file.size()));
        EXPECT_EQ(rc, c.rc) << c.what;
        EXPECT_EQ(fwupg::nvm::test::take_debug_text(), c.printed) << c.what;
        EXPECT_EQ(host.last_error, c.rc ? 35u : 0u) << c.what;
    }
}
