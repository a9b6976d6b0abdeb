// The E4 kit checked against bytes written out by hand from the format description, so that the
// kit and the engine cannot share a mistake unseen. CRC values were computed separately with
// Python's zlib over the word-reversed bytes.
#include "testkit/e4_images.h"
#include "testkit/e4_nvram.h"
#include "testkit/e4_reader.h"

#include <gtest/gtest.h>

using namespace testkit;

namespace {
Bytes slice(const Bytes& b, size_t off, size_t n) { return Bytes(b.begin() + long(off), b.begin() + long(off + n)); }
}  // namespace

TEST(E4Golden, DirectoryCopyWithCrc) {
  Bytes want = {
      0x02, 0x00, 0x00, 0x00,  // seq 2
      0x01, 0x00, 0x00, 0x00,  // count 1
      0x00, 0x00, 0x00, 0x00,  // reserved
      0x0A, 0x00, 0x00, 0x00,  // NVM_CFG1
      0x00, 0x40, 0x00, 0x00,  // at 0x4000
      0x94, 0x10, 0x00, 0x00,  // 4240 bytes and the CRC dword
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0xB9, 0xCC, 0xCD, 0x99,  // CRC 0xB9CCCD99, most significant byte first
  };
  EXPECT_EQ(e4::dir_copy(2, {{10, 0x4000, 0x1094, 0, 0}}), want);

  Bytes nv(0x5000, 0xFF);
  std::copy(want.begin(), want.end(), nv.begin() + 0x2000);
  EXPECT_EQ(e4::check_copy(nv, 0), e4::CopyState::Valid);
  nv[0x2000 + 33] ^= 1;
  EXPECT_EQ(e4::check_copy(nv, 0), e4::CopyState::BadCrc);
}

TEST(E4Golden, ImageWithTrailingCrcStandsAsInItsFile) {
  e4::NvramDef s;
  s.images.push_back({e4::type::BDN, {1, 2, 3, 4, 5, 6, 7, 8}});
  Bytes nv = e4::build(s).nvram;
  Bytes want = {1, 2, 3, 4, 5, 6, 7, 8, 0x46, 0xE3, 0x2E, 0xD6};
  EXPECT_EQ(slice(nv, 0x4000, 12), want);
}

TEST(E4Golden, ImageHeaderOfEachVersion) {
  const Bytes data(10, 0x11);
  struct Case {
    unsigned version;
    uint32_t group;
    Bytes want;
  } cases[] = {
      {3, e4::kGroupA,
       {0xAA, 0x55, 0x99, 0x66, 0x03, 0, 0, 0, 0x0A, 0, 0, 0, 0x00, 0x00, 0x40, 0x00,
        0, 0, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0}},
      // Versions 1 and 2 carry the type in bits 21-31: 10 << 21 = 0x01400000.
      {2, e4::kGroupA,
       {0xAA, 0x55, 0x99, 0x66, 0x02, 0, 0, 0, 0x00, 0x00, 0x40, 0x01, 0x00, 0x00, 0x40, 0x00,
        0, 0, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0}},
      {1, e4::kGroupB,
       {0xAA, 0x55, 0x99, 0x66, 0x01, 0, 0, 0, 0x00, 0x00, 0x40, 0x01, 0x00, 0x00, 0x20, 0x00,
        0, 0, 0, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Bytes file = e4::headed_image(e4::HeaderDef(10, c.version, c.group), data);
    EXPECT_EQ(slice(file, 0, 32), c.want);
    ASSERT_EQ(file.size(), 32u + 12u);  // data padded to a multiple of 4
    EXPECT_EQ(slice(file, 32, 12), (Bytes{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0, 0}));
  }
}

TEST(E4Golden, BundleHeaderAndFirstItem) {
  Bytes b = e4::bundle({{e4::type::TIM1, {'a', 'b', 'c', 'd'}}});
  Bytes want = {
      0xBD, 0xBD, 0xBD, 0xBD, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x34, 0, 0, 0,  // magic, 1, one item, 52 bytes
      0xAA, 0x55, 0x99, 0x66, 0x03, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0x00, 0x40, 0x00,
      0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0, 0, 0, 0, 0, 0, 0,
      'a', 'b', 'c', 'd',
  };
  EXPECT_EQ(b, want);
}

TEST(E4Golden, NvmCfg1WordLayout) {
  e4::NvmCfgDef s;
  s.port_mode = 4;
  s.mbi = {8, 10, 5};
  s.year = 2024, s.month = 6, s.day = 15;
  s.uefi_version = 0x00020003;
  Bytes img = e4::nvm_cfg(s);
  ASSERT_EQ(img.size(), 4240u);
  EXPECT_EQ(slice(img, 44, 4), (Bytes{0x04, 0x00, 0x00, 0x00}));   // word 11: port mode
  EXPECT_EQ(slice(img, 124, 4), (Bytes{0x05, 0x0A, 0x08, 0x00}));  // word 31: MBI 8.10.5
  // Word 32: month << 24 | day << 16 | 2024 (0x07E8) with its two bytes swapped.
  EXPECT_EQ(slice(img, 128, 4), (Bytes{0x07, 0xE8, 0x0F, 0x06}));
  EXPECT_EQ(slice(img, 148, 4), (Bytes{0x03, 0x00, 0x02, 0x00}));  // word 37: UEFI driver version
  // The file form holds every word big-endian.
  Bytes file = e4::nvm_cfg_file(img);
  EXPECT_EQ(slice(file, 124, 4), (Bytes{0x00, 0x08, 0x0A, 0x05}));

  e4::set_cfg_field(img, 22, 0, 4, 2);  // MBA size code keeps the word's other bits
  e4::set_cfg_field(img, 22, 8, 8, 0xAB);
  EXPECT_EQ(slice(img, 88, 4), (Bytes{0x02, 0xAB, 0x00, 0x00}));
}

TEST(E4Golden, SwizzledVersionText) {
  Bytes img = e4::stock_image(e4::type::TIM1, "8.10.5.0");
  Bytes want = {' ', 'M', 'I', 'T', '0', '1', '.', '8', '0', '.', '5', '.', 0, 0, 0, 0};
  EXPECT_EQ(slice(img, 0, 16), want);
  Bytes lim = e4::stock_image(e4::type::LIM, "1.2.3.4");
  // "LIM 1.2.3.4": "LIM " "1.2." "3.4" each reversed.
  EXPECT_EQ(slice(lim, 16, 12), (Bytes{' ', 'M', 'I', 'L', '.', '2', '.', '1', 0, '4', '.', '3'}));
}

TEST(E4Golden, MetaTextOffsetsAreBitsWithinTheEntityBlock) {
  std::vector<e4::MetaOption> options = {
      {7, "Port MAC", "mac", 612, "port", "hw", {}, {}},
      {9, "MBI", "24", 124, "glob", "mbi", 8, 57940},
      {12, "Lanes", "4", 2988, "func", "user", {}, {}},
  };
  // Port block 0 starts at byte 560 (612 is bit 416 in it), function block 0 at 2960 (bit 224).
  const std::string want =
      "array set nvm_cfg {"
      "7,name {Port MAC} 7,size mac 7,offset 416 7,entity_name port 7,configType hw "
      "9,name {MBI} 9,size 24 9,offset 992 9,entity_name glob 9,configType mbi 9,elementSize 8 "
      "9,exChipNumAttrs 57940 "
      "12,name {Lanes} 12,size 4 12,offset 224 12,entity_name func 12,configType user }";
  EXPECT_EQ(e4::meta_text(options), want);
  Bytes img = e4::meta_image("set a {1 }");  // 10 characters, a NUL, padded to 12
  EXPECT_EQ(img, (Bytes{'s', 'e', 't', ' ', 'a', ' ', '{', '1', ' ', '}', 0, 0}));
}

TEST(E4Golden, NvmCfgMacWords) {
  e4::NvmCfgDef s;
  s.mac = 0x001018E40100;
  Bytes img = e4::nvm_cfg(s);
  // Port 1's MAC (base + 1) at bytes 612 + 600: high word 0x0010, low word 0x18E40101, little-endian.
  EXPECT_EQ(slice(img, 1212, 8), (Bytes{0x10, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE4, 0x18}));
  // Function 3's MAC at bytes 2960 + 3 * 80.
  EXPECT_EQ(slice(img, 3200, 8), (Bytes{0x10, 0x00, 0x00, 0x00, 0x03, 0x01, 0xE4, 0x18}));
}
