// The test kit's own checks: byte-for-byte facts written by hand, so the kit and the engine cannot
// share a mistake unseen.
#include <gtest/gtest.h>

#include "testkit/legacy_image.h"

using namespace testkit::legacy;

TEST(LegacyImageKit, BootstrapCrcMatchesHandWrittenBytes)
{
    bytes b = {0x66, 0x99, 0x55, 0xAA, 0x08, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 0, 0x06, 0, 0, 0, 0, 0};
    seal(b, 0, 16);
    EXPECT_EQ(bytes({0x37, 0x16, 0xF6, 0x3A}), bytes(b.begin() + 16, b.end()));
    EXPECT_TRUE(residue_ok(b, 0, 20));
}

// An x86 ROM image carries the byte at 7 that makes all its bytes sum to 0 modulo 256. The image
// here is zero but for its header and data structure, so the sum is written out by hand:
// 55+AA+01+1C + "PCIR" 50+43+49+52 + E4+14 + 8E+16 + 03 + 01 + 34+12 + 80 = 0x4B0, so byte 7 is 0x50.
TEST(LegacyImageKit, X86RomChecksumByteMatchesHandWrittenSum)
{
    const bytes r = rom_image(0x168E, 0, 3, 0x1234, true, 0, 1);
    ASSERT_EQ(512u, r.size());
    bytes want(512, 0);
    for (auto [at, v] : std::initializer_list<std::pair<size_t, uint8_t>>{
             {0, 0x55}, {1, 0xAA}, {2, 0x01}, {7, 0x50}, {0x18, 0x1C}, {0x1C, 'P'}, {0x1D, 'C'}, {0x1E, 'I'},
             {0x1F, 'R'}, {0x20, 0xE4}, {0x21, 0x14}, {0x22, 0x8E}, {0x23, 0x16}, {0x28, 0x03}, {0x2C, 0x01},
             {0x2E, 0x34}, {0x2F, 0x12}, {0x31, 0x80}})
        want[at] = v;
    EXPECT_EQ(want, r);
    // An EFI image (code type 3) keeps its byte 7: the sum belongs to x86 images only.
    EXPECT_EQ(0, rom_image(0x168E, 3, 3, 0x1234, true, 0x8664, 1)[7]);
}

TEST(LegacyImageKit, EveryBoardImagePassesItsOwnVerifier)
{
    for (int board : {5706, 5708, 5709, 5716, 57728}) {
        adapter a;
        a.board = board;
        a.images = {{0xF0000000u, 0x07000000u, 0x08000000u, text_image("BC1 1.2.3", 1, 2, 3)},
                    {0x00000000u, 0x07000000u, 0x08000000u, text_image("BC2 4.5.6", 4, 5, 6)},
                    {0x10000000u, 0x01000000u, 0, dword_reversed(rom_image(0x1639, 0, 0, 0x7203, true))}};
        const bytes n = build_nvram(a);
        EXPECT_EQ("", verify_nvram(n)) << board;
        EXPECT_EQ(0x41000000u, get_be32(n, HW_INFO));
        EXPECT_EQ(0x82, n[VPD + 3]) << "VPD tag sits in the first dword, reversed";
    }
}

TEST(LegacyImageKit, BufferedBootstrapHoldsFlashAddressAndCorruptionIsSeen)
{
    adapter a;
    a.buffered = true;
    a.images = {{0x00000000u, 0x07000000u, 0x08000000u, text_image("BC2", 1, 0, 0, 0x200)},
                {0xF0000000u, 0x07000000u, 0x08000000u, text_image("BC1", 1, 0, 0)}};
    bytes n = build_nvram(a);
    // BC1 follows the 0x204-byte BC2 image at linear 0x804: page 7, byte 204.
    EXPECT_EQ((7u << 9) | 204u, get_be32(n, 12));
    EXPECT_EQ("", verify_nvram(n, true));
    n[0x610] ^= 1;
    EXPECT_NE("", verify_nvram(n, true));
}

// Where the images lie: a directory entry moved or retyped (its directory CRC resealed, so only
// the placement is wrong) is reported for what is wrong with it, whatever its own CRC says.
TEST(LegacyImageKit, VerifierChecksPlacementAndTypeOfEveryImage)
{
    adapter a;
    a.images = {{0xF0000000u, 0x07000000u, 0x08000000u, text_image("BC1 1.2.3", 1, 2, 3, 0x100)},
                {0x00000000u, 0x07000000u, 0x08000000u, text_image("BC2 4.5.6", 4, 5, 6, 0x100)},
                {0x10000000u, 0x01000000u, 0, dword_reversed(rom_image(0x1639, 0, 0, 0x7203, true))}};
    const bytes good = build_nvram(a);
    ASSERT_EQ("", verify_nvram(good));
    // Entry 0 is BC2 at 0x704 (BC1 takes 0x600-0x703), entry 1 the MBA at 0x808.
    ASSERT_EQ(0x704u, get_be32(good, 0x1C));
    ASSERT_EQ(0x808u, get_be32(good, 0x28));
    const uint32_t bc2_flags = get_be32(good, 0x18);
    const struct {
        const char* what;
        size_t word;  // NVRAM offset of the directory word changed
        uint32_t value;
        const char* report;
    } cases[] = {
        {"offset not a dword", 0x1C, 0x706, "entry 0 not dword-aligned"},
        {"inside the fixed area", 0x1C, 0x500, "entry 0 inside the fixed area"},
        {"beyond the NVRAM", 0x1C, 0x40000 - 0x80, "entry 0 beyond the NVRAM"},
        {"over the next image", 0x1C, 0x800, "entry 1 overlaps entry 0"},
        {"over the boot code", 0x1C, 0x6F0, "entry 0 overlaps BC1"},
        {"boot-code type in the directory", 0x18, (bc2_flags & 0x0FFFFFFFu) | 0xF0000000u,
         "entry 0 has unknown directory type 0xF0000000"},
        {"bit 0 on a type without it", 0x18, bc2_flags | 0x50000001u, "entry 0 has unknown directory type 0x50000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bytes n = good;
        put_be32(n, c.word, c.value);
        seal(n, 0x14, 0xFC - 0x14);
        const std::string report = verify_nvram(n);
        EXPECT_NE(report.find(c.report), std::string::npos) << report;
        EXPECT_EQ(report.find("DIRECTORY"), std::string::npos) << report;
    }
}
