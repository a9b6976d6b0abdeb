// The legacy verifier against damage made by hand: each case changes a few bytes of a known-good
// board (and, where the case needs a consistent but wrong NVRAM, writes the CRC by hand with zlib),
// and must fail with its own message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include <zlib.h>

#include "testkit/legacy_image.h"
#include "testkit/legacy_stock.h"

using namespace testkit::legacy;

namespace {

uint32_t be(const bytes& n, size_t at)
{
    return uint32_t(n.at(at)) << 24 | uint32_t(n.at(at + 1)) << 16 | uint32_t(n.at(at + 2)) << 8 | n.at(at + 3);
}

void set_be(bytes& n, size_t at, uint32_t v)
{
    n.at(at) = uint8_t(v >> 24);
    n.at(at + 1) = uint8_t(v >> 16);
    n.at(at + 2) = uint8_t(v >> 8);
    n.at(at + 3) = uint8_t(v);
}

// zlib's CRC-32 of n[at, at + len), stored least significant byte first right after it.
void reseal(bytes& n, size_t at, size_t len)
{
    const uint32_t crc = uint32_t(::crc32(::crc32(0, nullptr, 0), n.data() + at, uInt(len)));
    for (int i = 0; i < 4; ++i)
        n.at(at + len + size_t(i)) = uint8_t(crc >> (8 * i));
}

void reseal_directory(bytes& n) { reseal(n, 0x14, 0xE8); }

// Byte k of the VPD as the adapter reads it: NVRAM holds every dword of it reversed.
uint8_t& vpd_byte(bytes& n, size_t k) { return n.at(0x300 + (k & ~size_t(3)) + 3 - (k & 3)); }

std::string hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v));
    return buf;
}

// A two-port board as the demo makes it: boot code at 0x600, then the boot agent (entry 0), the
// iSCSI boot image (1), both ports' iSCSI configurations (2, 3), the NC-SI image (4) and a user
// block (5).
bytes good_board()
{
    adapter a;
    a.board = 5709;
    a.product = "Demo adapter l-5709";
    a.sn = "DEMO5709";
    stock_options o;
    o.device = 0x1639;
    o.ip = "4n6";
    a.images = {placed("BC1", stock_image("BC1", "7.10.1")),
                placed("MBA", stock_image("MBA", "7.10.1", o)),
                placed("ISCSI_B", stock_image("ISCSI_B", "7.10.1", o)),
                placed("ISB_CFG", stock_image("ISB_CFG", "1.0.0")),
                placed("ISB_CFG2", stock_image("ISB_CFG2", "1.0.0")),
                placed("NCSI_CMN", stock_image("NCSI_CMN", "7.10.1")),
                placed("USR_BLK", stock_image("USR_BLK", ""))};
    return build_nvram(a);
}

struct entry {
    uint32_t flags, offset, length;
};
entry dir_entry(const bytes& n, int i)
{
    const size_t e = 0x14 + 12 * size_t(i);
    return {be(n, e + 4), be(n, e + 8), be(n, e + 4) & 0xFFFFFC};
}

// Index of the VPD keyword's first letter in the adapter's reading of the VPD.
size_t vpd_keyword(bytes& n, char a, char b)
{
    for (size_t k = 0; k + 1 < 128; ++k)
        if (vpd_byte(n, k) == uint8_t(a) && vpd_byte(n, k + 1) == uint8_t(b))
            return k;
    throw std::runtime_error("keyword not in the VPD");
}

}  // namespace

TEST(LegacyVerifier, EachDamageOfAGoodBoardFailsWithItsOwnMessage)
{
    const bytes good = good_board();
    ASSERT_EQ("", verify_nvram(good));
    // Where the board names itself, written out by hand: each function's PCI ids (vendor and
    // device, subsystem) and MAC address (upper two bytes in the low half of the first word).
    const struct {
        size_t at;
        bytes want;
    } identity[] = {
        {0x154, {0x14, 0xE4, 0x16, 0x39, 0x16, 0x39, 0x14, 0xE4}},
        {0x1A8, {0x14, 0xE4, 0x16, 0x39, 0x16, 0x39, 0x14, 0xE4}},
        {0x134, {0x00, 0x00, 0x00, 0x10, 0x18, 0x01, 0x02, 0x03}},
        {0x188, {0x00, 0x00, 0x00, 0x10, 0x18, 0x01, 0x02, 0x04}},
    };
    for (const auto& w : identity)
        EXPECT_EQ(w.want, bytes(good.begin() + long(w.at), good.begin() + long(w.at + 8))) << "HW_INFO +" << w.at;
    ASSERT_EQ(0x10000000u, dir_entry(good, 0).flags & 0xF0000001u);
    ASSERT_EQ(0xD0000000u, dir_entry(good, 1).flags & 0xF0000001u);
    ASSERT_EQ(0xE0000000u, dir_entry(good, 3).flags & 0xF0000001u);
    ASSERT_EQ(0x40000000u, dir_entry(good, 4).flags & 0xF0000001u);
    ASSERT_EQ(0xA0000000u, dir_entry(good, 5).flags & 0xF0000001u);
    const entry iscsi = dir_entry(good, 1), mba = dir_entry(good, 0), ncsi = dir_entry(good, 4);
    const uint32_t bc1_len = be(good, 8) * 4;
    const entry usr = dir_entry(good, 5);
    const uint32_t last_end = usr.offset + usr.length;

    const struct {
        const char* what;
        std::function<void(bytes&)> damage;
        std::string report;
    } cases[] = {
        {"part 4 KiB shorter than HW_INFO records", [](bytes& n) { n.resize(0x3F000); },
         "NVRAM size 0x0003F000 differs from HW_INFO's 0x00040000; "},
        {"part cut by 2 bytes", [](bytes& n) { n.resize(0x3FFFE); },
         "NVRAM size 0x0003FFFE not a whole number of 4 KiB; NVRAM size 0x0003FFFE differs from HW_INFO's "
         "0x00040000; "},
        {"part cut inside its last image", [&](bytes& n) { n.resize(last_end - 8); },
         "NVRAM size " + hex(last_end - 8) + " not a whole number of 4 KiB; NVRAM size " + hex(last_end - 8) +
             " differs from HW_INFO's 0x00040000; entry 5 beyond the NVRAM; "},
        {"HW_INFO records another size",
         [](bytes& n) {
             set_be(n, 0x128, 0x00020000u);
             reseal(n, 0x100, 0xFC);
         },
         "NVRAM size 0x00040000 differs from HW_INFO's 0x00020000; "},
        {"FEAT_INFO byte flipped", [](bytes& n) { n[0x250] ^= 0x10; }, "FEAT_INFO CRC bad; "},
        // HW_INFO erased where the board names itself, each with its CRC written again: what an
        // engine that renews CRCs over erased bytes leaves.
        {"function 1's MAC address erased, CRC fixed",
         [](bytes& n) {
             set_be(n, 0x188, 0xFFFFFFFFu);
             set_be(n, 0x18C, 0xFFFFFFFFu);
             reseal(n, 0x100, 0xFC);
         },
         "HW_INFO function 1 has a blank MAC address; "},
        {"function 0's MAC address zeroed, CRC fixed",
         [](bytes& n) {
             set_be(n, 0x134, 0);
             set_be(n, 0x138, 0);
             reseal(n, 0x100, 0xFC);
         },
         "HW_INFO function 0 has a blank MAC address; "},
        {"function 1's PCI ids erased, CRC fixed",
         [](bytes& n) {
             set_be(n, 0x1A8, 0xFFFFFFFFu);
             reseal(n, 0x100, 0xFC);
         },
         "HW_INFO function 1 names no device id; "},
        {"both functions' PCI ids erased, CRC fixed",
         [](bytes& n) {
             set_be(n, 0x154, 0xFFFFFFFFu);
             set_be(n, 0x1A8, 0xFFFFFFFFu);
             reseal(n, 0x100, 0xFC);
         },
         "HW_INFO names no device id; "},
        {"VPD serial number changed, RV left", [](bytes& n) { vpd_byte(n, vpd_keyword(n, 'S', 'N') + 3) ^= 1; },
         "VPD RV checksum bad; "},
        {"VPD keyword unknown, RV fixed",
         [](bytes& n) {
             const size_t pn = vpd_keyword(n, 'P', 'N'), rv = vpd_keyword(n, 'R', 'V');
             vpd_byte(n, pn + 1) = 'X';
             vpd_byte(n, rv + 3) = uint8_t(vpd_byte(n, rv + 3) - ('X' - 'N'));
         },
         "VPD unknown keyword PX; "},
        {"VPD ID string tag gone", [](bytes& n) { vpd_byte(n, 0) = 0; }, "VPD no ID string; "},
        {"VPD end tag gone", [](bytes& n) { vpd_byte(n, 127) = 0; }, "VPD no end tag after its areas; "},
        {"bootstrap without magic, CRC fixed",
         [](bytes& n) {
             set_be(n, 0, 0);
             reseal(n, 0, 16);
         },
         "bootstrap without its magic names boot code; "},
        {"bootstrap with magic and no boot code, CRC fixed",
         [](bytes& n) {
             set_be(n, 8, 0);
             reseal(n, 0, 16);
         },
         "bootstrap names no boot code; "},
        {"boot code text unreadable, CRC fixed",
         [&](bytes& n) {
             n[0x600 + 16] = 0x01;
             reseal(n, 0x600, bc1_len - 4);
         },
         "BC1 no version text; "},
        {"boot agent without its ROM signature, CRC fixed",
         [&](bytes& n) {
             n[mba.offset + 3] = 0;  // ROM byte 0, NVRAM holds the ROM dword-reversed
             reseal(n, mba.offset, mba.length - 4);
         },
         "entry 0 (MBA) boot-agent ROM unreadable: ROM image 0 has no ROM signature; "},
        {"iSCSI version pointer past its image, CRC fixed",
         [&](bytes& n) {
             set_be(n, iscsi.offset + 4, iscsi.length - 4);
             reseal(n, iscsi.offset, iscsi.length - 4);
         },
         "entry 1 (ISCSI_B) version pointer " + hex(iscsi.length - 4) + " outside its image; "},
        {"iSCSI version text without its v, CRC fixed",
         [&](bytes& n) {
             const uint32_t text = be(n, iscsi.offset + 4);
             n[iscsi.offset + text + 3] = 'x';  // the text's first byte, dword-reversed
             reseal(n, iscsi.offset, iscsi.length - 4);
         },
         "entry 1 (ISCSI_B) version text \"x7.10.1\" is not va.b.c; "},
        {"boot agent filed with the MCP's processor code, directory CRC fixed",
         [](bytes& n) {
             set_be(n, 0x18, (be(n, 0x18) & ~0x0F000000u) | 0x07000000u);
             reseal_directory(n);
         },
         "entry 0 (MBA) has processor code 0x07000000, its type's is 0x01000000; "},
        {"two entries of one type, directory CRC fixed",
         [](bytes& n) {
             const size_t flags = 0x18 + 12 * 3;
             set_be(n, flags, (be(n, flags) & 0x0FFFFFFEu) | 0xC0000000u);
             reseal_directory(n);
         },
         "entry 3 repeats the directory type of entry 2; "},
        {"user block given an SRAM address, directory CRC fixed",
         [](bytes& n) {
             set_be(n, 0x14 + 12 * 5, 0x08000000u);
             reseal_directory(n);
         },
         "entry 5 (USR_BLK) has SRAM address 0x08000000, not 0xFFFFFFFF; "},
        {"NC-SI image byte flipped", [&](bytes& n) { n[ncsi.offset + 40] ^= 0x80; }, "entry 4 CRC bad; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bytes n = good;
        c.damage(n);
        EXPECT_EQ(c.report, verify_nvram(n));
    }
}

// A VPD written byte by byte: ID string "Hand", PN "P-1", RV with the checksum byte, end tag. The
// format accepts a checksum over the whole VPD and one counted from the read-only area's tag.
TEST(LegacyVerifier, HandWrittenVpdPassesWithEitherChecksumForm)
{
    const struct {
        const char* what;
        uint8_t checksum;
        const char* report;
    } cases[] = {
        {"sum from the ID string", 0x6C, ""},
        {"sum from the read-only tag", 0x6E, ""},
        {"neither", 0x6D, "VPD RV checksum bad; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint8_t vpd[22] = {0x82, 0x05, 0x00, 'H', 'a', 'n', 'd', 0x00, 0x90, 0x0A, 0x00,
                                 'P',  'N',  0x03, 'P', '-', '1', 'R', 'V', 0x01, c.checksum, 0x78};
        bytes n = good_board();
        std::fill(n.begin() + 0x300, n.begin() + 0x400, 0);
        for (size_t k = 0; k < sizeof vpd; ++k)
            vpd_byte(n, k) = vpd[k];
        EXPECT_EQ(c.report, verify_nvram(n));
    }
}

// A boot agent written byte by byte as one ROM image of 1 KiB: signature 55 AA, two 512-byte units,
// and the pointer to the PCI data structure, a 16-bit little-endian field at 0x18, with the
// structure where it points ("PCIR", vendor 14E4, device 1639, structure revision 3, two units,
// code revision 0x0102, code type 0, the last-image mark). A pointer of 0x100 or more uses both
// bytes of the field.
TEST(LegacyVerifier, HandWrittenRomFindsItsDataStructureThroughTheWholePointer)
{
    const struct {
        const char* what;
        uint8_t lo, hi;     // the pointer field at 0x18, 0x19
        size_t structure;   // where the structure is written
        const char* report;
    } cases[] = {
        {"pointer 0x001C", 0x1C, 0x00, 0x1C, ""},
        {"pointer 0x0100", 0x00, 0x01, 0x100, ""},
        {"pointer 0x0234", 0x34, 0x02, 0x234, ""},
        {"pointer 0x011C, structure at 0x1C (where the low byte alone points)", 0x1C, 0x01, 0x1C,
         "entry 0 (MBA) boot-agent ROM unreadable: ROM image 0 has no PCI data structure; "},
        {"pointer 0x0000", 0x00, 0x00, 0x100,
         "entry 0 (MBA) boot-agent ROM unreadable: ROM image 0 has no PCI data structure; "},
        {"pointer 0x03F0, structure past the image", 0xF0, 0x03, 0x100,
         "entry 0 (MBA) boot-agent ROM unreadable: ROM image 0 has no PCI data structure; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bytes rom(1024, 0);
        rom[0] = 0x55;
        rom[1] = 0xAA;
        rom[2] = 0x02;
        rom[0x18] = c.lo;
        rom[0x19] = c.hi;
        const uint8_t pcir[0x18] = {'P',  'C',  'I',  'R',  0xE4, 0x14, 0x39, 0x16, 0x00, 0x00, 0x18, 0x00,
                                    0x03, 0x00, 0x00, 0x02, 0x02, 0x00, 0x02, 0x01, 0x00, 0x80, 0x00, 0x00};
        std::copy(std::begin(pcir), std::end(pcir), rom.begin() + std::ptrdiff_t(c.structure));
        uint8_t sum = 0;
        for (uint8_t b : rom)
            sum = uint8_t(sum + b);
        rom[7] = uint8_t(-sum);
        // The NVRAM holds the ROM with every dword reversed.
        bytes image(rom.size());
        for (size_t k = 0; k < rom.size(); ++k)
            image[k] = rom[(k & ~size_t(3)) + 3 - (k & 3)];
        adapter a;
        a.images = {placed("BC1", stock_image("BC1", "7.10.1")), placed("MBA", image)};
        EXPECT_EQ(c.report, verify_nvram(build_nvram(a)));
    }
}
