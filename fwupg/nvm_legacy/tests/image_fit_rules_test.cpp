// The two special rules of the image-file fit check: an IPMI upgrade also makes room for the IPMI
// configuration block, and a newer NCSI common image needs no separate extension library.
#include <gtest/gtest.h>

#include "fake_host.h"
#include "fwupg/nvm_legacy/directory.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;

namespace {

constexpr uint32_t MCP = 0x07000000;
constexpr uint32_t IPMI_CFG = 0x70000000u;

image img(uint32_t type, size_t bytes_with_crc)
{
    return image{type, MCP, 0x08000000, bytes(bytes_with_crc - 4, 0x5A), 0};
}

// 0x1400 bytes of NVRAM: the fixed area to 0x600 and a boot code of 0x40 leave 0xDC0 bytes.
adapter board(std::vector<image> more = {})
{
    adapter a;
    a.nvm_size = 0x1400;
    a.images = {img(0xF0000000u, 0x40)};
    a.images.insert(a.images.end(), more.begin(), more.end());
    return a;
}

bytes cat(bytes a, const bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int Fits(const adapter& a, const bytes& file, const char* option, std::vector<uint32_t> skip)
{
    FakeHost host(a);
    skip.push_back(0);
    int fits = -1;
    EXPECT_EQ(0, toe_nvm_image_file_fits(host.ops(), file.data(), uint32_t(file.size()), option, skip.data(), &fits));
    return fits;
}

}  // namespace

// The configuration block is counted with 556 bytes, in place of one the adapter holds already.
TEST(ImageFitRules, AnIpmiUpgradeMakesRoomForItsConfigurationBlock)
{
    const uint32_t init = tag('\0', 'i', 'p', 'i'), serv = tag('\0', 'i', 'p', 's');
    // 0x404 + 0x790 (+ 0x22C for the configuration) against 0xDC0.
    auto ipmi = [&](size_t serviceBytes) {
        return cat(wrapped_v2(init, 0, bytes(0x400, 1)), wrapped_v2(serv, 0, bytes(serviceBytes, 1)));
    };
    struct Case {
        const char* what;
        adapter a;
        bytes file;
        const char* option;
        int fits;
    };
    const Case cases[] = {
        {"fills the room with the configuration block", board(), ipmi(0x78C), "-ipmi", 1},
        {"one dword more does not fit", board(), ipmi(0x790), "-ipmi", 0},
        {"the same records under another option need no block", board(), ipmi(0x790), "-ump", 1},
        // 0x640 + 0x404 + 0x604 + 0x22C fits in 0x1400; with the held 0x800-byte block it would not.
        {"the new block replaces the one held", board({img(IPMI_CFG, 0x800)}), ipmi(0x600), "-ipmi", 1},
        {"the held block counts under another option", board({img(IPMI_CFG, 0x800)}), ipmi(0x600), "-ump", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Fits(c.a, c.file, c.option, {}), c.fits) << c.what;
}

// A version-2 "nccm" record whose word at byte 136 (from its header) is above 0x1000605 marks a
// newer common image: while anything is left out, its "nclx" record is left out too.
TEST(ImageFitRules, ANewerNcsiCommonImageLeavesTheExtensionLibraryOut)
{
    const uint32_t nccm = tag('n', 'c', 'c', 'm'), nclx = tag('n', 'c', 'l', 'x'), ump = tag('\0', 'i', 'm', 'd');
    auto bundle = [&](uint32_t version, bool v2 = true) {
        bytes common(0x200, 1);
        // Byte 136 of the record is byte 116 of a version-2 record's data; little-endian.
        for (int i = 0; i < 4; ++i) common[116 + i] = uint8_t(version >> (8 * i));
        // 0x204 + 0xC04 overflow the 0xDC0 bytes; 0x204 alone fits.
        return cat(v2 ? wrapped_v2(nccm, 0, common) : wrapped_v1(nccm, common), wrapped_v2(nclx, 0, bytes(0xC00, 1)));
    };
    struct Case {
        const char* what;
        bytes file;
        std::vector<uint32_t> skip;
        int fits;
    };
    const Case cases[] = {
        {"newer common image, a tag left out", bundle(0x01000606), {ump}, 1},
        {"newer common image, nothing left out", bundle(0x01000606), {}, 0},
        {"common image of 1.0.6.5 is not newer", bundle(0x01000605), {ump}, 0},
        {"a version-1 record marks nothing", bundle(0x01000606, false), {ump}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Fits(board(), c.file, "-ncsi", c.skip), c.fits) << c.what;
}
