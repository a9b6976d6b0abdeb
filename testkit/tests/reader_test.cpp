#include "testkit/e1e3_reader.h"
#include "testkit/images.h"

#include <gtest/gtest.h>

using namespace testkit;
using namespace testkit::e1e3;

TEST(Reader, VersionTextOfEachKindAsTheDeviceReportsIt) {
  struct Case {
    const char* kind;
    const char* version;
    const char* text;
  };
  const Case cases[] = {
      {"BC1", "7.10.3", "BC1 7.10.3"},
      {"BC2", "7.10.3", "BC2 7.10.3"},
      {"NCSI_CMN", "1.2.3", "NCSIc 1.2.3"},
      {"IPMI", "2.0.1", "IPMI 2.0.1"},
      {"MFW1", "7.10.3.1", "MFW1 7.10.3.1"},
      {"SWIM12B", "7.10.3", "SWIM12B 7.10.3"},
      {"L2C", "7.8.300", "L2C 7.8.300"},
      {"ISCSI_B", "7.4.2", "v7.4.2"},
      {"I_B_CFG", "1.0.0", "v1.0"},
      {"I_B_CFG2", "2.0.0", "v2.0"},
      {"FEB_CFG3", "3.4.0", "v3.4"},
      {"NIC_PRTION", "2.0.0", "Rev2"},
      {"NIV", "3.0.0", "Rev3"},
      {"NIVPROFILES", "", "N/A"},
      {"CFG_SHARED", "", "N/A"},
      {"MODULES_PN", "4.0.0", "Rev 4"},
      {"VPD", "1.0.0", "VPD 1"},
      {"CCM", "1.2.3", "v1.2.3"},
      {"MDUMP", "1.2.3.4", "v1.2.3.4"},
      {"OCNVM", "5.6.7", "OCNVM 5.6.7"},
      {"MBA", "7.10.3", "PCI30 MBA 7.10.3;EFI x64 7.10.3;"},
  };
  NvramDef s;
  s.size = 0x80000;
  for (const Case& c : cases) s.images.push_back({c.kind, stock_image(c.kind, c.version), {}, {}, 0});
  Bytes nv = build(s).nvram;
  for (const Case& c : cases) {
    auto im = find_image(nv, c.kind);
    ASSERT_TRUE(im) << c.kind;
    EXPECT_EQ(im->version, c.text) << c.kind;
  }
}

TEST(Reader, ListsBootstrapDirectoryThenExtendedInOrder) {
  NvramDef s;
  s.images.push_back({"MFW1", stock_image("MFW1", "7.10.3"), {}, {}, 0});
  s.images.push_back({"BC2", stock_image("BC2", "7.10.2"), {}, {}, 0});
  s.images.push_back({"SWIM3", stock_image("SWIM3", "7.10.3"), {}, {}, 0});
  s.images.push_back({"BC1", stock_image("BC1", "7.10.1"), {}, {}, 0});
  auto list = list_images(build(s).nvram);
  std::vector<std::string> got;
  for (const auto& im : list) got.push_back(im.name + "=" + im.version);
  EXPECT_EQ(got, (std::vector<std::string>{"BC1=BC1 7.10.1", "BC2=BC2 7.10.2", "MFW1=MFW1 7.10.3",
                                           "SWIM3=SWIM3 7.10.3"}));
}

TEST(Reader, BootstrapThatNamesMfw1IsNotListedAsBootcode) {
  NvramDef s;
  s.images.push_back({"MFW1", stock_image("MFW1", "7.10.3"), {}, {}, 0});
  auto list = list_images(build(s).nvram);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "MFW1");
}

TEST(Reader, RewrittenImageChangesTheVersion) {
  NvramDef s;
  s.images.push_back({"BC1", stock_image("BC1", "7.10.3"), {}, {}, 0});
  Built b = build(s);
  Bytes newer = stock_image("BC1", "7.12.0");
  put_host_view(b.nvram, b.placed[0].offset, newer.data(), newer.size());
  EXPECT_EQ(find_image(b.nvram, "BC1")->version, "BC1 7.12.0");
}

TEST(Reader, OutOfRangeEntriesHaveNoVersionAndGarbageDoesNotCrash) {
  NvramDef s;
  s.images.push_back({"IPMI", stock_image("IPMI", "1.0.0"), {}, {}, 0});
  Built b = build(s);
  set_be32(b.nvram, layout::dir_entry(0) + 8, 0x3FFF0);
  auto list = list_images(b.nvram);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].version, "");
  for (size_t n : {size_t(0), size_t(0x100), size_t(0x1000)}) {
    Bytes junk(n, 0xFF);
    EXPECT_NO_THROW(list_images(junk));
  }
}

TEST(Reader, MbaSlotsFollowTheRomChain) {
  MbaDef m;
  RomImage legacy;
  legacy.pcir_revision = 0;
  legacy.code_revision = 0x1203;
  RomImage clp;
  clp.clp_entry = 0x40;
  clp.code_revision = 0x2304;
  RomImage fcode;
  fcode.code_type = 1;
  fcode.code_revision = 0x3405;
  RomImage ebc;
  ebc.code_type = 3;
  ebc.efi_machine = 0xEBC;
  ebc.code_revision = 0x4506;
  m.images = {legacy, clp, fcode, ebc};
  auto slots = mba_slots(mba_rom(m));
  std::vector<std::string> names;
  for (const auto& [n, r] : slots) names.push_back(n);
  EXPECT_EQ(names, (std::vector<std::string>{"legacy MBA", "PCI30_CLP MBA", "FCODE", "EFI EBC"}));
}

// The configuration and feature words are read from each path's own block, in NVRAM byte order;
// a path the chip lacks, a CRC word and bytes outside the block give nothing.
TEST(Reader, ConfigurationAndFeatureWordsOfEachPath) {
  NvramDef s;
  s.size = 0x10000;
  s.words = {{276, 0x00030000}, {2044, 0x00050000}, {1108, 0x02000000}, {2876, 0x08000000}};
  const Bytes nv = build(s).nvram;
  EXPECT_EQ(config_word(nv, Chip::E3, 0, 20), 0x00030000u);
  EXPECT_EQ(config_word(nv, Chip::E3, 1, 20), 0x00050000u);
  EXPECT_EQ(feature_word(nv, Chip::E3, 0, 4), 0x02000000u);
  EXPECT_EQ(feature_word(nv, Chip::E3, 1, 4), 0x08000000u);
  EXPECT_EQ(config_word(nv, Chip::E3, 0, 0), layout::kCfgFirstWord);

  EXPECT_FALSE(config_word(nv, Chip::E1, 1, 20));
  EXPECT_FALSE(config_word(nv, Chip::E3, 0, 22));
  EXPECT_FALSE(config_word(nv, Chip::E3, 0, layout::kCfgLen - 4));
  EXPECT_FALSE(feature_word(nv, Chip::E3, 0, layout::kFeatLen));
  EXPECT_FALSE(config_word(Bytes(270, 0xFF), Chip::E3, 0, 20));
}
