// The kit checked against bytes written out by hand, so that the kit and the engines cannot share
// a mistake unseen. CRC values were computed separately with zlib.
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"
#include "testkit/iscsi_cfg.h"
#include "testkit/package.h"
#include "testkit/phy_image.h"
#include "testkit/text_images.h"
#include "testkit/vpd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testkit;

namespace {

Bytes slice(const Bytes& b, size_t off, size_t n) { return Bytes(b.begin() + long(off), b.begin() + long(off + n)); }

// Writes `bytes` into `b` at `at`.
void put(Bytes& b, size_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), b.begin() + long(at)); }
void put(Bytes& b, size_t at, const std::string& text) { std::copy(text.begin(), text.end(), b.begin() + long(at)); }

e1e3::Built two_image_board() {
  e1e3::NvramDef s;
  s.chip = e1e3::Chip::E3;
  s.size = 0x10000;
  s.images.push_back({"BC1", {1, 2, 3, 4, 5, 6, 7, 8}, {}, {}, 0});
  s.images.push_back({"L2T", {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18}, {}, {}, 0});
  return e1e3::build(s);
}

}  // namespace

TEST(Golden, BootstrapRecord) {
  Bytes nv = two_image_board().nvram;
  // magic, SRAM load address, dword count with the CRC word, NVM offset, CRC of bytes 0-15.
  Bytes want = {0x66, 0x99, 0x55, 0xAA, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x03,
                0x00, 0x00, 0x0C, 0x28, 0x30, 0xD3, 0x73, 0x04};
  EXPECT_EQ(slice(nv, 0, 20), want);
}

TEST(Golden, ImageIsWordReversedWithTrailingCrc) {
  Bytes nv = two_image_board().nvram;
  Bytes want = {0x04, 0x03, 0x02, 0x01, 0x08, 0x07, 0x06, 0x05, 0xD6, 0x2E, 0xE3, 0x46};
  EXPECT_EQ(slice(nv, 0xC28, 12), want);
}

TEST(Golden, DirectoryEntry) {
  Bytes nv = two_image_board().nvram;
  // L2T: SRAM 0x1C0000, flags type 0x70000000 | processor 0x03000000 | length 12, offset 0xC34.
  Bytes want = {0x00, 0x1C, 0x00, 0x00, 0x73, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x0C, 0x34};
  EXPECT_EQ(slice(nv, 0x14, 12), want);
}

TEST(Golden, WrappedHeader) {
  WrappedRecord r;
  r.tag = tag_of("mfw1");
  r.version = 2;
  r.compat = 0x00200200;
  r.data = {'A', 'B', 'C', 'D'};
  Bytes want = {0xAA, 0x55, 0x99, 0x66, 0x02, 0x00, 0x00, 0x00, 0x6D, 0x66, 0x77, 0x31,
                0x00, 0x02, 0x20, 0x00, 0x04, 0x00, 0x00, 0x00, 'A',  'B',  'C',  'D'};
  EXPECT_EQ(wrapped_file({r}), want);
  EXPECT_EQ(tag_of(std::string("\0bc1", 4)), 0x31636200u);
}

TEST(Golden, PackageHeaderDirectoryAndTable) {
  PackageDef s;
  s.major = 7;
  s.minor = 10;
  s.build = 3;
  s.date1 = 12;
  s.date2 = 31;
  s.year = 2023;
  s.entries.push_back({package_tag("MFW"), {9, 8, 7, 6}, {}, {}});
  s.rows.push_back({0x14E4, 0x168E, 0x103C, 0x1234, 1});
  Bytes want = {
      'K',  'R',  'V',  'T',  0x01, 0x00, 0x58, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x07, 0x0A, 0x03,
      0x00, 0x00, 0x0C, 0x1F, 0xE7, 0x07, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      // directory entry 0: tag "mfw1", offset 0x58, length 4
      'm',  'f',  'w',  '1',  0x58, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0,    0,    0,    0,
      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      // PCI table: one row
      0x01, 0x00, 0,    0,    0,    0,    0,    0,
      0xE4, 0x14, 0x8E, 0x16, 0x3C, 0x10, 0x34, 0x12, 0x01, 0x00, 0x00, 0x00, 0,    0,    0,    0,
      9,    8,    7,    6};
  EXPECT_EQ(package(s), want);
}

TEST(Golden, Vpd128) {
  const VpdFields f{.name = "AB", .pn = "P", .ec = "E", .sn = "S", .mn = "M", .v0 = {}, .yb = {}};
  Bytes want = {0x82, 0x03, 0x00, 'A', 'B', 0x00, 0x90, 0x76, 0x00, 'P', 'N', 0x01, 'P', 'E',
                'C',  0x01, 'E',  'S', 'N', 0x01, 'S',  'M',  'N',  0x01, 'M', 'R', 'V', 0x63, 0x4C};
  want.resize(127, 0);
  want.push_back(0x78);
  EXPECT_EQ(vpd_image_128(f), want);
}

TEST(Golden, ExtendedDirectory) {
  e1e3::NvramDef s;
  s.chip = e1e3::Chip::E3;
  s.size = 0x10000;
  s.images.push_back({"CCM", {1, 2, 3, 4, 5, 6, 7, 8}, 0x11223344u, {}, 0});
  s.images.push_back({"CFG_SHARED", {9, 10, 11, 12}, 0x55667788u, {}, 0});
  const Bytes nv = e1e3::build(s).nvram;
  // Images at 0xC28 (8 bytes + CRC) and 0xC34 (4 + CRC); the directory right behind them.
  Bytes want(780, 0);
  put(want, 0, Bytes{0x00, 0x00, 0x00, 0x02,    // entry count
                     0x00, 0x00, 0x00, 0x14});  // byte_cnt: 12 + 8, CRC words included
  // CCM: SRAM, type 0x90800003 | processor 0x01000000 | length 12, offset.
  put(want, 8, Bytes{0x11, 0x22, 0x33, 0x44, 0x91, 0x80, 0x00, 0x0F, 0x00, 0x00, 0x0C, 0x28});
  // CFG_SHARED: type 0xE0000003 | processor 0x02000000 | length 8.
  put(want, 20, Bytes{0x55, 0x66, 0x77, 0x88, 0xE2, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x0C, 0x34});
  put(want, 776, Bytes{0x52, 0x9A, 0x1E, 0x01});  // CRC of bytes 0-775, least significant byte first
  EXPECT_EQ(slice(nv, 0xC3C, 780), want);
  // Entry 15 of the main directory: no SRAM, type 0xE0000000 | processor 0x01000000 | 780.
  EXPECT_EQ(slice(nv, 0x14 + 12 * 15, 12),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0xE1, 0x00, 0x03, 0x0C, 0x00, 0x00, 0x0C, 0x3C}));
}

TEST(Golden, ConfigurationAndFeatureBlockCrcs) {
  e1e3::NvramDef s;
  s.chip = e1e3::Chip::E3;
  s.size = 0x10000;
  for (auto& path : s.ports)
    for (auto& port : path) port.vid = port.svid = 0;
  // The last data word of each block, so that a CRC one word off cannot go unseen.
  s.words = {{256 + 840, 0x01020304}, {1104 + 232, 0x0A0B0C0D}, {2024 + 840, 0x01020304}, {2872 + 232, 0x0A0B0C0D}};
  const Bytes nv = e1e3::build(s).nvram;
  for (uint32_t cfg : {256u, 2024u}) {
    SCOPED_TRACE(cfg);
    Bytes want(848, 0);
    want[0] = 0x41;
    put(want, 840, Bytes{0x01, 0x02, 0x03, 0x04, 0x5E, 0x12, 0x39, 0x8C});
    EXPECT_EQ(slice(nv, cfg, 848), want);
  }
  for (uint32_t feat : {1104u, 2872u}) {
    SCOPED_TRACE(feat);
    Bytes want(240, 0);
    put(want, 232, Bytes{0x0A, 0x0B, 0x0C, 0x0D, 0xA8, 0x51, 0x8B, 0xB1});
    EXPECT_EQ(slice(nv, feat, 240), want);
  }
}

// One stock image of each version-text layout, in host view (as image files carry it; NVRAM
// holds every 4-byte group reversed).
TEST(Golden, VersionTextLayouts) {
  const struct {
    const char* kind;
    const char* version;
    size_t size;
    size_t at;
    Bytes want;
  } cases[] = {
      // "MFW1 7.10.3" at byte 16, each 4-byte group reversed.
      {"MFW1", "7.10.3", 32, 16,
       {'1', 'W', 'F', 'M', '1', '.', '7', ' ', 0, '3', '.', '0', 0, 0, 0, 0}},
      // The running-firmware word of a SWIM image at byte 32.
      {"SWIM1", "7.10.3.1", 36, 32, {0x01, 0x03, 0x0A, 0x07}},
      // L2: major, minor, then the build as a little-endian u16.
      {"L2T", "1.2.300", 32, 0, {0x01, 0x02, 0x2C, 0x01}},
      // Boot configuration: word 0 = major << 24 | minor << 16; iSCSI blocks add the signature 0x6269
      // (their major and minor being the block layout, 1.0 or 2.0).
      {"I_B_CFG", "1.0.0", 0, 0, {0x69, 0x62, 0x00, 0x01}},
      {"FEB_CFG", "2.3.0", 0, 0, {0x00, 0x00, 0x03, 0x02}},
      // NIC_PRTION, NIV, MODULES_PN, HW_SET: word 0 = the revision.
      {"NIC_PRTION", "5.0.0", 0, 0, {0x05, 0x00, 0x00, 0x00}},
      {"HW_SET", "3.0.0", 0, 0, {0x03, 0x00, 0x00, 0x00}},
      // CCM: words 4-6.
      {"CCM", "1.2.3", 0, 16, {0x01, 0, 0, 0, 0x02, 0, 0, 0, 0x03, 0, 0, 0}},
      // MDUMP: word 1, one byte per part, highest first.
      {"MDUMP", "1.2.3.4", 0, 4, {0x04, 0x03, 0x02, 0x01}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const Bytes image = stock_image(c.kind, c.version, c.size);
    ASSERT_GE(image.size(), c.at + c.want.size());
    EXPECT_EQ(slice(image, c.at, c.want.size()), c.want);
  }
}

TEST(Golden, IscsiBootConfigurationBlocks) {
  IscsiBootCfg cfg;
  cfg.flags = 0x3;
  cfg.head_text = "ab";
  cfg.byte_29 = 0x29;
  cfg.byte_2a = 0x2A;
  cfg.block[0] = 0xB0;
  cfg.block[39] = 0xB9;
  cfg.address[0] = {10, 0, 0, 1};
  cfg.address[3] = {10, 0, 0, 4};
  cfg.text_a = "A";
  cfg.text_b = "B";
  cfg.text_c = "C";
  cfg.target[0] = {0x1111, 0x2222, 0x3333, {10, 0, 0, 9}, "D", "E", "F"};
  cfg.target[1].text_f = "G";

  // The head both layouts share: signature, layout, flags, text, the two bytes, the 40-byte block
  // and the first address.
  auto head = [](size_t size, uint8_t layout, uint8_t flags_byte0, uint8_t flags_byte1) {
    Bytes b(size, 0);
    put(b, 0, Bytes{0x69, 0x62, 0x00, layout, flags_byte0, flags_byte1, 0x00, 0x00});
    put(b, 0x08, std::string("ab"));
    put(b, 0x29, Bytes{0x29, 0x2A});
    b[0x80] = 0xB0;
    b[0xA7] = 0xB9;
    put(b, 0xA8, Bytes{10, 0, 0, 1});
    return b;
  };
  Bytes one = head(1020, 0x01, 0x03, 0x00);
  put(one, 0x167, Bytes{10, 0, 0, 4});
  one[0xB4] = 'A';
  one[0x135] = 'B';
  one[0x156] = 'C';
  put(one, 0x1A8, Bytes{0x11, 0x11, 0x22, 0x22, 10, 0, 0, 9, 0x33, 0x33, 'D'});
  one[0x1A8 + 0x2B] = 'E';
  one[0x1A8 + 0x3C] = 'F';
  one[0x2A8 + 0x3C] = 'G';
  EXPECT_EQ(iscsi_boot_cfg_block(cfg, 1), one);

  cfg.flags = 0x100;  // IPv6 addresses
  cfg.address[4] = {0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05};
  Bytes two = head(2044, 0x02, 0x00, 0x01);
  put(two, 0xD8, Bytes{10, 0, 0, 4});
  two[0xE8] = 0xFE;
  two[0xE9] = 0x80;
  two[0xF7] = 0x05;
  two[0xF8] = 'A';
  two[0x179] = 'B';
  two[0x1FA] = 'C';
  put(two, 0x2C0, Bytes{0x11, 0x11, 0x22, 0x22, 10, 0, 0, 9});
  put(two, 0x2C0 + 0x14, Bytes{0x33, 0x33, 'D'});
  two[0x2C0 + 0x97] = 'E';
  two[0x2C0 + 0xA8] = 'F';
  two[0x500 + 0xA8] = 'G';
  EXPECT_EQ(iscsi_boot_cfg_block(cfg, 2), two);
}

TEST(Golden, SfpModuleListImage) {
  const std::vector<SfpModule> modules = {{"JDSU", "00-01-9c", "PLRX"}, {"AB", "*", "*"}};
  Bytes want = {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02};  // revision 1, two entries
  // Name, OUI and part number given; texts space-padded to 16, in reading order.
  Bytes e0 = {0x00, 0x00, 0x00, 0x07};
  for (char c : std::string("JDSU            ")) e0.push_back(uint8_t(c));
  for (uint8_t b : {0x00, 0x01, 0x9C, 0x00}) e0.push_back(b);
  for (char c : std::string("PLRX            ")) e0.push_back(uint8_t(c));
  // Name only: a wildcard OUI is 00-00-00, a wildcard part number the text "*".
  Bytes e1 = {0x00, 0x00, 0x00, 0x01};
  for (char c : std::string("AB              ")) e1.push_back(uint8_t(c));
  for (uint8_t b : {0x00, 0x00, 0x00, 0x00}) e1.push_back(b);
  for (char c : std::string("*               ")) e1.push_back(uint8_t(c));
  want.insert(want.end(), e0.begin(), e0.end());
  want.insert(want.end(), e1.begin(), e1.end());
  ASSERT_EQ(want.size(), 8u + 2 * 40);
  EXPECT_EQ(sfp_module_nvram_image(modules), want);

  // Host form: the header and flags words little-endian, the texts unchanged.
  Bytes host = want;
  put(host, 0, Bytes{0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00});
  put(host, 48, Bytes{0x01, 0x00, 0x00, 0x00});
  EXPECT_EQ(sfp_module_host_image(modules), host);
}

TEST(Golden, HwSetImage) {
  const std::vector<HwSetEntry> entries = {{"PHY", 2, 1, 0x1234, 0xA5A5, 0x3, "RMW_CLR"},
                                           {"PCI", 0, 8, 0x10, 0x1, 0xF, "W"}};
  const Bytes want = {
      0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02,  // version 1, two entries
      // PHY (2), bank 2, PF 1, RMW_CLR (4), address, data, reset POR | HARD.
      0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04,
      0x00, 0x00, 0x12, 0x34, 0x00, 0x00, 0xA5, 0xA5, 0x00, 0x00, 0x00, 0x03,
      // PCI (4), bank 0, PF 8, W (2), address, data, every reset.
      0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02,
      0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0F};
  EXPECT_EQ(hw_set_nvram_image(entries), want);
  Bytes host = want;
  for (size_t i = 0; i < host.size(); i += 4) std::reverse(host.begin() + long(i), host.begin() + long(i + 4));
  EXPECT_EQ(hw_set_host_image(entries), host);
}

TEST(Golden, PhyImage) {
  const Bytes f = phy_image("8727", "2.1.4", 64);
  ASSERT_EQ(f.size(), 20u + 64);
  // Version-1 record header: magic, format version 1, tag "8727", compatibility 0, length 64.
  Bytes header = {0xAA, 0x55, 0x99, 0x66, 0x01, 0x00, 0x00, 0x00, '8',  '7',
                  '2',  '7',  0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00};
  EXPECT_EQ(slice(f, 0, 20), header);
  // The version text at byte 16 of the record's data, in file order, NUL-padded to 16 bytes.
  Bytes text = {'P', 'H', 'Y', ' ', '2', '.', '1', '.', '4', 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(slice(f, 20 + 16, 16), text);
}

// Each port part names the board: its PCI ids at +0 (vendor << 16 | device) and +4 (subsystem
// << 16 | subsystem vendor), its MAC address at +16/+20 (upper two bytes in the low half of the
// first word). Two functions on an E3 board sit as port 0 of each path; the port no function uses
// holds no address. The verifier refuses a port part whose ids or address a cut erased, even with
// its block's CRC written again, and function 0's port without an address.
TEST(Golden, PortPartsNameTheBoardAndTheVerifierSeesThemErased) {
  e1e3::NvramDef s;
  s.chip = e1e3::Chip::E3;
  s.size = 0x10000;
  e1e3::set_board(s, 0x14E4, 0x168E, 0x103C, 0x339D, 0x001018AABB00ull, 2);
  const Bytes nv = e1e3::build(s).nvram;
  const struct {
    uint32_t at;  // the port part: 256 + 44 + 400 x port, path 1 at 2024 + 44 + 400 x port
    Bytes mac;
  } ports[] = {
      {300, {0x00, 0x00, 0x00, 0x10, 0x18, 0xAA, 0xBB, 0x00}},   // path 0 port 0: function 0
      {700, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},   // path 0 port 1: no function
      {2068, {0x00, 0x00, 0x00, 0x10, 0x18, 0xAA, 0xBB, 0x01}},  // path 1 port 0: function 1
      {2468, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},  // path 1 port 1: no function
  };
  for (const auto& p : ports) {
    SCOPED_TRACE(p.at);
    EXPECT_EQ(slice(nv, p.at, 8), (Bytes{0x14, 0xE4, 0x16, 0x8E, 0x33, 0x9D, 0x10, 0x3C}));
    EXPECT_EQ(slice(nv, p.at + 16, 8), p.mac);
  }
  ASSERT_TRUE(e1e3::verify(nv, e1e3::Chip::E3).ok()) << e1e3::verify(nv, e1e3::Chip::E3).text();

  const struct {
    const char* what;
    uint32_t at;
    Bytes bytes;
    std::string error;
  } damage[] = {
      {"MAC erased", 2068 + 16, Bytes(8, 0xFF), "port 0 of path 1: blank MAC address"},
      {"function 0's MAC zeroed", 300 + 16, Bytes(8, 0x00), "port 0 of path 0: blank MAC address"},
      {"an unused port's MAC erased", 700 + 16, Bytes(8, 0xFF), "port 1 of path 0: blank MAC address"},
      {"ids erased", 2068, Bytes(8, 0xFF), "port 0 of path 1: device id 0xFFFF is not the board's 0x168E"},
      {"the board's own ids erased", 300, Bytes(8, 0xFF), "port 0 of path 0 names no device id (0xFFFF)"},
  };
  for (const auto& d : damage) {
    SCOPED_TRACE(d.what);
    Bytes bad = nv;
    put(bad, d.at, d.bytes);
    const uint32_t block = d.at < 2024 ? 256 : 2024;
    e1e3::fix_crc(bad, block, 848);
    const e1e3::Report r = e1e3::verify(bad, e1e3::Chip::E3);
    EXPECT_NE(std::find(r.errors.begin(), r.errors.end(), d.error), r.errors.end()) << r.text();
  }
}
