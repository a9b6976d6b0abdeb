// The E4 kit checked against bytes written out by hand from the format description, so that the
// kit and the engine cannot share a mistake unseen. CRC values were computed separately with
// Python's zlib over the word-reversed bytes.
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_nvram.h"
#include "testkit/e4_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

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

// ---------------------------------------------------------------------------------------------
// The verifier against damage made by hand. The known-good board is the kit's stock adapter with
// both directory copies written (copy 0 in force with seq 2, copy 1 older with seq 1), laid out
// as its description says: 19 entries {DIR1, DIR2, TIM1, TIM2, MIM1, MIM2, PCIE_FW1, PCIE_FW2,
// AVS_FW1, AVS_FW2, LIM, RECOVERY, INIT_HW, HW_SET, MBA, NVM_CFG1, DEFAULT_CFG, META, VPD}, images
// from 0x4000. Each damage is written here byte by byte; CRCs that a case fixes up are computed
// here with zlib, not by the kit.

namespace {

constexpr size_t kCopy0 = 0x2000, kCopy1 = 0x3000;
enum Index { kDir1, kDir2, kTim1, kTim2, kMim1, kMim2, kPcie1, kPcie2, kAvs1, kAvs2, kLim, kRecovery, kInitHw,
             kHwSet, kMba, kNvmCfg1, kDefaultCfg, kMeta, kVpd, kCount };

uint32_t le(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
void put(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> 8 * i);
}
// Field f (0 type, 1 offset, 2 length) of entry i of a copy.
size_t field(size_t copy, int i, int f) { return copy + 12 + 20 * size_t(i) + 4 * size_t(f); }

// The CRC of n bytes at `at` stored right after them: zlib's CRC-32 of the bytes with each group
// of 4 reversed, most significant byte first.
void store_crc(Bytes& nv, size_t at, size_t n) {
  Bytes reversed(n);
  for (size_t i = 0; i < n; ++i) reversed[i] = nv[at + (i & ~size_t(3)) + 3 - (i & 3)];
  uint32_t c = uint32_t(crc32(0, reversed.data(), uInt(n)));
  for (int i = 0; i < 4; ++i) nv[at + n + i] = uint8_t(c >> (24 - 8 * i));
}
void fix_copy(Bytes& nv, size_t copy) { store_crc(nv, copy, 12 + 20 * le(nv, copy + 4)); }
void fix_image(Bytes& nv, int i) { store_crc(nv, le(nv, field(kCopy0, i, 1)), le(nv, field(kCopy0, i, 2)) - 4); }
// Changes field f of entry i in the copy in force and fixes that copy's CRC.
void edit_entry(Bytes& nv, int i, int f, uint32_t v) {
  put(nv, field(kCopy0, i, f), v);
  fix_copy(nv, kCopy0);
}

Bytes known_good() {
  e4::NvramDef s = e4::stock_nvram({});
  s.other = e4::SecondCopy::Older;
  return e4::build(s).nvram;
}

}  // namespace

TEST(E4GoldenVerify, KnownGoodBoardsPass) {
  Bytes good = known_good();
  ASSERT_EQ(le(good, kCopy0 + 4), uint32_t(kCount));
  ASSERT_EQ(le(good, field(kCopy0, kTim1, 1)), 0x4000u);
  ASSERT_EQ(le(good, field(kCopy0, kDir2, 1)), 0x3000u);
  EXPECT_TRUE(e4::verify(good).ok()) << e4::verify(good).text();

  // Copy 1 erased, and then only DIR1 listed (the stock adapter as built).
  Bytes one = e4::build(e4::stock_nvram({})).nvram;
  EXPECT_EQ(le(one, kCopy1), 0xFFFFFFFFu);
  EXPECT_EQ(le(one, kCopy0 + 4), uint32_t(kCount - 1));
  EXPECT_TRUE(e4::verify(one).ok()) << e4::verify(one).text();

  // As a bundle for bank 1 leaves it: copy 1 in force with seq 3 (bank 1 boots next, its TIM2 and
  // MIM2 listed), copy 0 older.
  e4::NvramDef s = e4::stock_nvram({});
  s.copy = 1, s.seq = 3, s.other = e4::SecondCopy::Older;
  Bytes bank1 = e4::build(s).nvram;
  EXPECT_TRUE(e4::verify(bank1).ok()) << e4::verify(bank1).text();
}

TEST(E4GoldenVerify, EachDamageFailsWithItsOwnMessage) {
  struct Case {
    const char* what;
    void (*damage)(Bytes&);
    const char* message;
  } cases[] = {
      // The directory copies.
      {"copy in force: an entry's byte flipped, the older copy valid",
       [](Bytes& nv) { nv[field(kCopy0, kTim1, 1) + 1] ^= 0x01; }, "directory copy 0 (seq 2) damaged: bad CRC"},
      {"copy in force: its seq damaged", [](Bytes& nv) { nv[kCopy0] ^= 0x04; },
       "directory copy 0 (seq 6) damaged: bad CRC"},
      {"copy in force: count 150 with its CRC fixed up",
       [](Bytes& nv) {
         put(nv, kCopy0 + 4, 150);
         fix_copy(nv, kCopy0);
       },
       "directory copy 0 (seq 2) damaged: count 150"},
      {"copy in force: count 0 with its CRC fixed up (taken, and unreadable)",
       [](Bytes& nv) {
         put(nv, kCopy0 + 4, 0);
         fix_copy(nv, kCopy0);
       },
       "no directory copy in force"},
      {"older copy damaged", [](Bytes& nv) { nv[field(kCopy1, kMba, 2)] ^= 0x10; },
       "directory copy 1 (seq 1) damaged: bad CRC"},
      {"second copy newer but bad", [](Bytes& nv) { put(nv, kCopy1, 3); }, "directory copy 1 (seq 3) damaged: bad CRC"},
      {"DIR2 listed, copy 1 erased",
       [](Bytes& nv) { std::fill(nv.begin() + kCopy1, nv.begin() + kCopy1 + 0x1000, 0xFF); },
       "DIR2: names directory copy 1, which is empty"},
      {"DIR2 naming copy 0", [](Bytes& nv) { edit_entry(nv, kDir2, 1, 0x2000); },
       "DIR2: 0x2000+0x18C is not its directory copy at 0x3000"},
      // Entries.
      {"unknown type", [](Bytes& nv) { edit_entry(nv, kPcie2, 0, 30); }, "entry 7: unknown type 30"},
      {"type listed twice", [](Bytes& nv) { edit_entry(nv, kPcie2, 0, 15); }, "PCIE_FW1: listed twice"},
      {"length not whole dwords", [](Bytes& nv) { edit_entry(nv, kTim1, 2, 0x402); },
       "TIM1: offset 0x4000 or length 0x402 not a whole number of dwords"},
      {"image past the end", [](Bytes& nv) { edit_entry(nv, kVpd, 2, 0x40000); }, "VPD: 0x8BD0+0x40000 outside the NVRAM"},
      {"overlap", [](Bytes& nv) { edit_entry(nv, kTim2, 1, 0x4200); }, "TIM2 overlaps TIM1"},
      {"image inside the directory area", [](Bytes& nv) { edit_entry(nv, kMeta, 1, 0x3800); },
       "META: 0x3800+0x234 inside the directory area"},
      {"image below the image area", [](Bytes& nv) { edit_entry(nv, kMeta, 1, 0x1000); }, "META: offset 0x1000 below 0x4000"},
      {"image byte flipped", [](Bytes& nv) { nv[le(nv, field(kCopy0, kPcie1, 1)) + 9] ^= 0x80; }, "PCIE_FW1: CRC"},
      // Configuration images and banks.
      {"NVM_CFG1 gone (its entry now a crash dump)", [](Bytes& nv) { edit_entry(nv, kNvmCfg1, 0, 27); },
       "NVM_CFG1 missing"},
      {"DEFAULT_CFG short", [](Bytes& nv) { edit_entry(nv, kDefaultCfg, 2, 0x1090); }, "DEFAULT_CFG: 0x1090 bytes, not 0x1094"},
      {"bank 0 boots next without TIM1", [](Bytes& nv) { edit_entry(nv, kTim1, 0, 27); },
       "bank 0 boots next but TIM1 is missing"},
      {"bank 1 boots next without MIM2",
       [](Bytes& nv) {
         put(nv, kCopy0, 3);
         edit_entry(nv, kMim2, 0, 27);
       },
       "bank 1 boots next but MIM2 is missing"},
      // Version texts, each image's CRC fixed up.
      {"TIM text unreadable",
       [](Bytes& nv) {
         nv[le(nv, field(kCopy0, kTim2, 1)) + 3] = 'X';  // "TIM " is stored as " MIT"
         fix_image(nv, kTim2);
       },
       "TIM2: version text \"XIM 8.10.5.0\" does not read as \"TIM a.b.c.d\""},
      {"LIM text cut short",
       [](Bytes& nv) {
         nv[le(nv, field(kCopy0, kLim, 1)) + 16 + 11] = 0;  // "LIM 8.10.5.0" -> "LIM 8.10"
         fix_image(nv, kLim);
       },
       "LIM: version text \"LIM 8.10\" does not read"},
      {"INIT_HW version pointer past the image",
       [](Bytes& nv) {
         put(nv, le(nv, field(kCopy0, kInitHw, 1)), 0x1000);
         fix_image(nv, kInitHw);
       },
       "INIT_HW: version word outside the image"},
      {"EFI driver signature gone",
       [](Bytes& nv) {
         nv[le(nv, field(kCopy0, kMba, 1)) + 0x400 + 4] = 0;  // 0x0EF1 of the second ROM image
         fix_image(nv, kMba);
       },
       "MBA: ROM image 1 at 0x400: no EFI image signature"},
      {"EFI driver does not decompress",
       [](Bytes& nv) {
         size_t efi = le(nv, field(kCopy0, kMba, 1)) + 0x400;
         put(nv, efi + 0x40, 0x7FFF);  // the compressed size in the driver's header: past the image
         fix_image(nv, kMba);
       },
       "MBA: ROM image 1 at 0x400: EFI driver does not decompress"},
      {"x86 image's checksum byte wrong",
       [](Bytes& nv) {
         nv[le(nv, field(kCopy0, kMba, 1)) + 7] ^= 0x01;  // the byte that makes the legacy image sum to 0
         fix_image(nv, kMba);
       },
       "MBA: ROM image 0 at 0x0: x86 image bytes do not sum to 0"},
      {"ROM chain without its last image",
       [](Bytes& nv) {
         size_t efi = le(nv, field(kCopy0, kMba, 1)) + 0x400;
         nv[efi + 0x1C + 0x15] = 0;  // the EFI image's last-image flag
         fix_image(nv, kMba);
       },
       "MBA: ROM image 2 at 0x600: outside the MBA image"},
      {"VPD checksum wrong",
       [](Bytes& nv) {
         nv[le(nv, field(kCopy0, kVpd, 1)) + 4 + 8] ^= 0x20;  // a letter of the product name
         fix_image(nv, kVpd);
       },
       "VPD: RV checksum does not sum to 0"},
      {"VPD without its read-only area tag",
       [](Bytes& nv) {
         size_t vpd = le(nv, field(kCopy0, kVpd, 1)) + 4;
         nv[vpd + 3 + nv[vpd + 1]] = 0x91;  // the 0x90 tag after the ID string
         fix_image(nv, kVpd);
       },
       "VPD: no read-only area tag 0x90 after the ID string"},
      {"part truncated by 2 bytes", [](Bytes& nv) { nv.resize(nv.size() - 2); },
       "NVRAM size 0x3FFFE is not a whole number of dwords"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes nv = known_good();
    c.damage(nv);
    e4::Report r = e4::verify(nv);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.text().find(c.message), std::string::npos) << r.text();
  }
}
