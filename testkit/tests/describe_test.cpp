#include "testkit/describe.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"

#include <gtest/gtest.h>

using namespace testkit;

TEST(Describe, NvramDescriptionBuildsTheBoardItNames) {
  const char* text =
      "# a two-port E2 board\n"
      "chip=E2\n"
      "size=0x40000\n"
      "board=0x14E4 0x1662 0x103C 0x1916 001018AA0000 2\n"
      "part_number=PN-X\n"
      "vpd.sn=SERIAL1\n"
      "image=BC1 7.10.3\n"
      "image=MBA 7.10.3\n"
      "image=IPMI 1.2.3 size=0x100 gap=0x40\n"
      "image=NIC_PRTION 1.0.0\n"
      "word=1104 0x00001000\n";
  e1e3::NvramDef s = parse_nvram_description(text);
  EXPECT_EQ(s.chip, e1e3::Chip::E2);
  EXPECT_EQ(s.ports[1][0].mac, 0x001018AA0001ull);
  EXPECT_EQ(s.vpd.sn, "SERIAL1");
  e1e3::Built b = e1e3::build(s);
  EXPECT_TRUE(e1e3::verify(b.nvram, e1e3::Chip::E2).ok()) << e1e3::verify(b.nvram, e1e3::Chip::E2).text();
  EXPECT_EQ(be32_at(b.nvram, 1104), 0x1000u);
  EXPECT_EQ(e1e3::find_image(b.nvram, "IPMI")->length, 0x104u);
  // The boot agent carries the board's device id.
  EXPECT_EQ(e1e3::find_image(b.nvram, "MBA")->version, "PCI30 MBA 7.10.3;EFI x64 7.10.3;");
}

TEST(Describe, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"chip=E9\n", "line 1: chip must be"},
      {"size=0x1000\n\nimage=NOPE 1.0.0\n", "line 3: unknown image kind"},
      {"board=1 2 3\n", "line 1: board="},
      {"image=BC1 7.x.3\n", "line 1: bad version"},
      {"colour=blue\n", "line 1: unknown key colour"},
      {"just words\n", "line 1: expected key=value"},
      {"word=0x100 0x1FFFFFFFF\n", "line 1: number too large"},
  };
  for (const Case& c : cases) {
    try {
      parse_nvram_description(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
  }
}

TEST(Describe, PackageDescriptionWithOverrides) {
  const char* text =
      "version=7.12.0\n"
      "date=6 15 2024\n"
      "entry=MFW wrap=MFW1:7.12.0,MFW2:7.12.0\n"
      "entry=MBA stock=MBA:7.12.0 offset=0x100000\n"
      "row=0x14E4 0x168E 0x14E4 0x168E 3\n"
      "header_length=99\n";
  PackageDef s = parse_package_description(text);
  ASSERT_EQ(s.entries.size(), 2u);
  EXPECT_EQ(s.entries[0].tag, package_tag("MFW"));
  EXPECT_EQ(le32_at(s.entries[0].data, 8), tag_of("mfw1"));
  Bytes p = package(s);
  EXPECT_EQ(p[13], 7);
  EXPECT_EQ(p[14], 12);
  EXPECT_EQ(le16_at(p, 6), 99);
  EXPECT_EQ(le32_at(p, 64 + 4), 0x100000u);
  EXPECT_THROW(parse_package_description("entry=MBA\n"), std::invalid_argument);
  EXPECT_THROW(parse_package_description("entry=WHAT stock=MBA:1.0.0\n"), std::invalid_argument);
}

TEST(Describe, FirmwareDataDescription) {
  auto models = parse_fwdata_description(
      "[model]\nname=A\ndevid=168E\nsubdevid=1006\nmbi=7.12.0\nmbiFile=mbi.bin\n[model]\nname=B\n");
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].devid, "168E");
  ASSERT_EQ(models[0].components.size(), 2u);
  EXPECT_EQ(models[0].components[1], (std::pair<std::string, std::string>{"mbiFile", "mbi.bin"}));
  EXPECT_THROW(parse_fwdata_description("name=A\n"), std::invalid_argument);
}
