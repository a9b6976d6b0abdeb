#include "testkit/fwdata.h"
#include "testkit/images.h"
#include "testkit/package.h"
#include "testkit/vpd.h"

#include <gtest/gtest.h>

using namespace testkit;

TEST(Files, MbaChainHeadersChecksumsAndDescriptor) {
  MbaDef m = mba_stock(0x1662, "7.10.3");
  m.family_bits = 0x10;
  m.restrict_flag = 1;
  Bytes rom = mba_rom(m);
  ASSERT_EQ(rom.size(), 6u * 512);
  // First image: 55 AA, size byte, PCIR pointer, descriptor.
  EXPECT_EQ(rom[0], 0x55);
  EXPECT_EQ(rom[1], 0xAA);
  EXPECT_EQ(rom[2], 4);
  uint16_t pcir = le16_at(rom, 0x18);
  EXPECT_EQ(std::string(rom.begin() + pcir, rom.begin() + pcir + 4), "PCIR");
  EXPECT_EQ(le16_at(rom, pcir + 4), 0x14E4);
  EXPECT_EQ(le16_at(rom, pcir + 6), 0x1662);
  EXPECT_EQ(le16_at(rom, pcir + 16), 4);
  EXPECT_EQ(le16_at(rom, pcir + 18), 0x7A03);
  EXPECT_EQ(rom[pcir + 20], 0);
  EXPECT_EQ(rom[pcir + 21], 0);
  uint16_t desc = le16_at(rom, 8);
  EXPECT_EQ(rom[desc], 0x10);
  EXPECT_EQ(rom[desc + 1], 1);
  unsigned sum = 0;
  for (size_t i = 0; i < 4 * 512; ++i) sum += rom[i];
  EXPECT_EQ(sum & 0xFF, 0u) << "code type 0 image must sum to zero";
  // Second image: EFI x64, last in the chain.
  size_t e = 4 * 512;
  EXPECT_EQ(le16_at(rom, e), 0xAA55);
  EXPECT_EQ(le16_at(rom, e + 10), 0x8664);
  uint16_t epcir = le16_at(rom, e + 0x18);
  EXPECT_EQ(rom[e + epcir + 20], 3);
  EXPECT_EQ(rom[e + epcir + 21], 0x80);
}

TEST(Files, NcsiBundleCarriesRecordsTextAndVersionWord) {
  struct Case {
    const char* version;
    size_t word_at;
  };
  for (const Case c : {Case{"7.10.3", 140}, Case{"1.0.5", 136}}) {
    Bytes f = ncsi_bundle(c.version, true, true, 0x200000);
    EXPECT_EQ(le32_at(f, 0), 0x669955AAu);
    EXPECT_EQ(le32_at(f, 8), tag_of("nccm"));
    EXPECT_EQ(le32_at(f, 12), 0x200000u);
    uint32_t len1 = le32_at(f, 16);
    EXPECT_EQ(le32_at(f, 20 + len1 + 8), tag_of("ncle"));
    uint32_t len2 = le32_at(f, 20 + len1 + 16);
    EXPECT_EQ(le32_at(f, 40 + len1 + len2 + 8), tag_of("nclx"));
    // Text at 124, each word big-endian: swapping each word gives the text.
    Bytes t(f.begin() + 124, f.begin() + 136);
    reverse_words(t.data(), t.size());
    EXPECT_EQ(std::string(t.begin(), t.begin() + 5), "NCSI ") << c.version;
    auto v = parse_version(c.version);
    EXPECT_EQ(le32_at(f, c.word_at), v[0] << 24 | v[1] << 16 | v[2] << 8) << c.version;
  }
}

TEST(Files, WrappedFileChainsRecordsAndPadsData) {
  WrappedRecord a = stock_record("MFW1", "7.10.3");
  WrappedRecord b;
  b.tag = tag_of("mfw2");
  b.data = {1, 2, 3, 4, 5};
  b.version = 3;
  b.length = 0x7FFFFFFF;
  Bytes f = wrapped_file({a, b});
  uint32_t l1 = le32_at(f, 16);
  EXPECT_EQ(l1, a.data.size());
  // The version text reads naturally once each word is swapped, as the engine converts it.
  EXPECT_EQ(get_nvram_text(f, 20 + 16, 16), "MFW1 7.10.3");
  EXPECT_EQ(le32_at(f, 20 + l1 + 4), 3u);
  EXPECT_EQ(le32_at(f, 20 + l1 + 16), 0x7FFFFFFFu);
  EXPECT_EQ(f.size(), 20 + l1 + 20 + 8);
}

TEST(Files, PackageOverridesMakeMalformedVariants) {
  PackageDef good;
  good.entries.push_back({package_tag("MBA"), Bytes(64, 0xAB), {}, {}});
  good.entries.push_back({package_tag("PK"), Bytes(16, 0xCD), {}, {}});
  good.rows.push_back({0x14E4, 0x16A1, 0x103C, 0x22FA, 3});
  Bytes ok = package(good);
  EXPECT_EQ(le16_at(ok, 6), 32 + 64 + 8 + 16);
  uint32_t off0 = le32_at(ok, 32 + 4);
  EXPECT_EQ(off0 % 4, 0u);
  EXPECT_EQ(ok[off0], 0xAB);
  EXPECT_EQ(le32_at(ok, 64), get_le32(std::array<uint8_t, 4>{0x80, 0x85, 'u', 'i'}.data()));

  struct Case {
    const char* what;
    void (*change)(PackageDef&);
    size_t at;
    uint32_t want;
    int width;
  };
  const Case cases[] = {
      {"magic", [](PackageDef& s) { s.magic = {'K', 'R', 'V', 'X'}; }, 3, 'X', 1},
      {"version 0", [](PackageDef& s) { s.format_version = 0; }, 4, 0, 2},
      {"header length", [](PackageDef& s) { s.header_length = 100; }, 6, 100, 2},
      {"entry count 0", [](PackageDef& s) { s.entry_count = 0; }, 10, 0, 2},
      {"byte 12", [](PackageDef& s) { s.byte12 = 0; }, 12, 0, 1},
      {"offset past the end", [](PackageDef& s) { s.entries[0].offset = 0x100000; }, 36, 0x100000, 4},
      {"length past the end", [](PackageDef& s) { s.entries[1].length = 0xFFFFFFF0; }, 72, 0xFFFFFFF0, 4},
  };
  for (const Case& c : cases) {
    PackageDef s = good;
    c.change(s);
    Bytes p = package(s);
    uint32_t got = c.width == 1 ? p[c.at] : c.width == 2 ? le16_at(p, c.at) : le32_at(p, c.at);
    EXPECT_EQ(got, c.want) << c.what;
    EXPECT_EQ(p.size(), ok.size()) << c.what;
  }
  EXPECT_THROW(package_tag("NOPE"), std::invalid_argument);
}

TEST(Files, DirectoryVpdImageLayout) {
  VpdFields f;
  f.name = "NAME";
  Bytes img = vpd_directory_image(f, 128, 1, {{"V3", "7.10.3"}});
  ASSERT_EQ(img.size(), 132u);
  EXPECT_EQ(le32_at(img, 0), 1u);
  EXPECT_EQ(img[4], 0x82);
  EXPECT_EQ(le16_at(img, 5), 4);
  EXPECT_EQ(img[11], 0x90);
  EXPECT_EQ(le16_at(img, 12), 128 - 4 - 7);
  EXPECT_EQ(img[131], 0x78);
  std::string s(img.begin(), img.end());
  EXPECT_NE(s.find("V3\x06" "7.10.3"), std::string::npos);
  size_t rv = s.find("RV");
  ASSERT_NE(rv, std::string::npos);
  // RV's data (checksum first) end right before the end tag; the checksum zeroes the sum from
  // the 0x82 tag.
  EXPECT_EQ(rv + 3 + img[rv + 2], 131u);
  unsigned sum = 0;
  for (size_t i = 4; i <= rv + 3; ++i) sum += img[i];
  EXPECT_EQ(sum & 0xFF, 0u);
  EXPECT_THROW(vpd_directory_image(f, 16), std::invalid_argument);
}

TEST(Files, VpdTextFileAndFirmwareDataXml) {
  VpdFields f;
  std::string t = vpd_text_file(f, 128);
  EXPECT_NE(t.find("REVISION = 1\n"), std::string::npos);
  EXPECT_NE(t.find("[REGION=VPD-R, 128]\n"), std::string::npos);
  EXPECT_NE(t.find("PN=Text,\"" + f.pn + "\"\n"), std::string::npos);

  NicFwModel m{"Board \"A\" & co", "14E4", "168E", "103C", "339D", {{"bootcode", "7.10.3"}, {"bcFile", "bc.bin"}}};
  std::string x = nicfwdata_xml({m});
  EXPECT_NE(x.find("<nic_fw_package>"), std::string::npos);
  EXPECT_NE(x.find("name=\"Board &quot;A&quot; &amp; co\""), std::string::npos);
  EXPECT_NE(x.find("devid=\"168E\" subvenid=\"103C\" subdevid=\"339D\" bootcode=\"7.10.3\" bcFile=\"bc.bin\""),
            std::string::npos);
  EXPECT_NE(nicfwdata_xml({}, "wrong_root").find("<wrong_root>"), std::string::npos);
}
