// The E4 kit: the choice of directory copy, the verifier, the version texts of the reader, bundles,
// the boot-agent ROM with its EFI driver, and the description parser.
#include "testkit/efi_expand.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"
#include "testkit/e4_rom.h"

#include <gtest/gtest.h>

using namespace testkit;
using namespace testkit::e4;

namespace {

Bytes stock() { return build(stock_nvram({})).nvram; }

// Writes a copy with a given seq and count whose CRC holds (or is broken).
void put_copy(Bytes& nv, unsigned copy, uint32_t seq, uint32_t count, bool good_crc = true) {
  uint32_t at = dir_copy_offset(copy);
  std::fill(nv.begin() + at, nv.begin() + at + kDirCopySize, 0xFF);
  uint32_t body = 12 + 20 * std::min<uint32_t>(count, 200);
  std::fill(nv.begin() + at, nv.begin() + at + body, 0);
  put_le32(&nv[at], seq);
  put_le32(&nv[at + 4], count);
  for (uint32_t i = 0; i < std::min<uint32_t>(count, 200); ++i) put_le32(&nv[at + 12 + 20 * i], type::BDN);
  uint32_t c = crc(&nv[at], body);
  put_le32(&nv[at + body], good_crc ? c : ~c);
}

}  // namespace

TEST(E4Directory, CopyChoice) {
  struct Case {
    const char* what;
    uint32_t seq0, count0;
    bool crc0;
    uint32_t seq1, count1;
    bool crc1;
    int want;  // -1: none
  } cases[] = {
      {"both erased", 0xFFFFFFFF, 0xFFFFFFFF, true, 0xFFFFFFFF, 0xFFFFFFFF, true, -1},
      {"copy 0 newer with a bad CRC", 5, 3, false, 3, 3, true, 1},
      {"equal seq", 4, 3, true, 4, 3, true, 0},
      {"seq 0x80000000 is below 1", 0x80000000, 3, true, 1, 3, true, 1},
      {"count 150", 9, 150, true, 2, 3, true, 1},
      {"count 0 with a good CRC: taken, and unreadable", 9, 0, true, 2, 3, true, -1},
      {"seq 0xFFFFFFFE is empty", 0xFFFFFFFE, 3, true, 2, 3, true, 1},
      {"only copy 1 valid", 0xFFFFFFFF, 0xFFFFFFFF, true, 7, 2, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes nv(0x4000, 0xFF);
    if (c.seq0 != 0xFFFFFFFF) put_copy(nv, 0, c.seq0, c.count0, c.crc0);
    if (c.seq1 != 0xFFFFFFFF) put_copy(nv, 1, c.seq1, c.count1, c.crc1);
    auto d = directory(nv);
    if (c.want < 0) {
      EXPECT_FALSE(d);
    } else {
      ASSERT_TRUE(d);
      EXPECT_EQ(int(d->copy), c.want);
    }
  }
}

TEST(E4Directory, BanksAndTypes) {
  EXPECT_EQ(type_name(31), "FCOE_CFG");
  EXPECT_EQ(type_name(30), "");
  EXPECT_EQ(type_name(35), "");
  EXPECT_EQ(type_id("PK"), 36u);
  EXPECT_FALSE(type_id("pk"));
  EXPECT_EQ(bank_of(type::TIM1), 0u);
  EXPECT_EQ(bank_of(type::EAGLE_FW2), 1u);
  EXPECT_FALSE(bank_of(type::MBA));
  EXPECT_EQ(type_in_bank(type::TIM1, 1), type::TIM2);
  EXPECT_EQ(type_in_bank(type::ETH_PHY_FW2, 0), type::ETH_PHY_FW1);
  EXPECT_EQ(type_in_bank(type::NVM_CFG1, 1), type::NVM_CFG1);
}

TEST(E4Verify, StockAdapterPassesAndListsItsVersions) {
  Bytes nv = stock();
  Report r = verify(nv);
  EXPECT_TRUE(r.ok()) << r.text();
  auto d = directory(nv);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->copy, 0u);
  EXPECT_EQ(d->next_bank(), 0u);
  struct Want {
    uint32_t type;
    const char* version;
  } wants[] = {
      {type::TIM1, "TIM 8.10.5.0"},     {type::MIM2, "MIM 8.10.5.0"},   {type::LIM, "LIM 8.10.5.0"},
      {type::RECOVERY, "RCVR 8.10.5.0"}, {type::INIT_HW, "8.10.5.0"},    {type::NVM_CFG1, "8.10.5"},
      {type::MBA, "PCI30 MBA 0.7.9;EFI x64 7.0.0.9"}, {type::DIR1, ""},
  };
  for (const Want& w : wants) {
    SCOPED_TRACE(type_name(w.type));
    auto im = find_image(nv, w.type);
    ASSERT_TRUE(im);
    EXPECT_EQ(im->version, w.version);
  }
}

TEST(E4Verify, OtherVersionLayouts) {
  NvramDef s;
  s.images = {{type::ISCSI_CFG, stock_image(type::ISCSI_CFG, "2.5")},
              {type::FCOE_CFG, stock_image(type::FCOE_CFG, "1.3")},
              {type::ETH_PHY_FW1, stock_image(type::ETH_PHY_FW1, "3.4.5.6")},
              {type::CCM, stock_image(type::CCM, "1.2.3.4")}};
  Bytes nv = build(s).nvram;
  EXPECT_EQ(find_image(nv, type::ISCSI_CFG)->version, "ISCSI_CFG 2.5");
  EXPECT_EQ(find_image(nv, type::FCOE_CFG)->version, "FCOE_CFG 1.3");
  EXPECT_EQ(find_image(nv, type::ETH_PHY_FW1)->version, "3.4.5.6");
  EXPECT_EQ(find_image(nv, type::CCM)->version, "CCM 1.2.3.4");
}

TEST(E4Verify, FindsEachFault) {
  struct Case {
    const char* what;
    void (*spoil)(Bytes&, const Built&);
    const char* expect;
  } cases[] = {
      {"image CRC", [](Bytes& nv, const Built& b) { nv[b.entries[1].offset + 5] ^= 0x40; }, "TIM1: CRC"},
      {"no directory", [](Bytes& nv, const Built&) { nv[0x2000] ^= 1; }, "no directory copy in force"},
      {"overlap",
       [](Bytes& nv, const Built& b) {
         auto e = b.entries;
         e[2].offset = e[1].offset + 4;
         write_dir_copy(nv, 0, 2, e);
       },
       "overlaps"},
      {"below 0x4000",
       [](Bytes& nv, const Built& b) {
         auto e = b.entries;
         e[1].offset = 0x1000;
         write_dir_copy(nv, 0, 2, e);
       },
       "below 0x4000"},
      {"outside", [](Bytes& nv, const Built& b) {
         auto e = b.entries;
         e[2].length = 0x100000;
         write_dir_copy(nv, 0, 2, e);
       },
       "outside the NVRAM"},
      {"unknown type", [](Bytes& nv, const Built& b) {
         auto e = b.entries;
         e[2].type = 30;
         write_dir_copy(nv, 0, 2, e);
       },
       "unknown type 30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Built b = build(stock_nvram({}));
    c.spoil(b.nvram, b);
    Report r = verify(b.nvram);
    EXPECT_NE(r.text().find(c.expect), std::string::npos) << r.text();
  }
}

// The boot agent's version text: one "<component> <version>" per component joined by ";", an
// EFI driver's version taken from NVM_CFG1's UEFI word when set, else from the driver's PE
// header, else from its ROM image's code revision.
TEST(E4Verify, BootAgentVersionText) {
  struct Case {
    const char* what;
    void (*change)(RomDef&, NvmCfgDef&);
    const char* want;
    bool valid;
  } cases[] = {
      {"driver's own version", [](RomDef&, NvmCfgDef&) {}, "PCI30 MBA 0.7.9;EFI x64 7.0.0.9", true},
      {"UEFI word of NVM_CFG1", [](RomDef&, NvmCfgDef& c) { c.uefi_version = 0x00020003; },
       "PCI30 MBA 0.7.9;EFI x64 2.0.0.3", true},
      {"driver version 0: the code revision",
       [](RomDef& r, NvmCfgDef&) { r.efi->major = 0, r.efi->minor = 0; }, "PCI30 MBA 0.7.9;EFI x64 0.7.9", true},
      {"uncompressed driver", [](RomDef& r, NvmCfgDef&) { r.efi->compressed = false; },
       "PCI30 MBA 0.7.9;EFI x64 7.0.0.9", true},
      {"CLP and FCODE images",
       [](RomDef& r, NvmCfgDef&) {
         r.clp_revision = 0x0801;
         r.fcode_revision = 0x0102;
       },
       "PCI30_CLP MBA 0.8.1;PCI30 MBA 0.7.9;FCODE 0.1.2;EFI x64 7.0.0.9", true},
      {"IA-32 driver", [](RomDef& r, NvmCfgDef&) { r.efi->machine = 0x14C; }, "PCI30 MBA 0.7.9;EFI x86 7.0.0.9", true},
      {"driver of an unknown machine", [](RomDef& r, NvmCfgDef&) { r.efi->machine = 0x1234; }, "PCI30 MBA 0.7.9",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RomDef rom = mba_stock("0.7.9");
    NvmCfgDef cfg;
    c.change(rom, cfg);
    NvramDef s = stock_nvram({});
    for (ImageDef& im : s.images) {
      if (im.type == type::MBA) im.data = mba_rom(rom);
      if (im.type == type::NVM_CFG1) im.data = nvm_cfg(cfg);
    }
    Bytes nv = build(s).nvram;
    EXPECT_EQ(find_image(nv, type::MBA)->version, c.want);
    EXPECT_EQ(verify(nv).ok(), c.valid) << verify(nv).text();
  }
}

TEST(E4Files, BundleRoundTripAndDamage) {
  auto items = mfw_bundle_items("8.12.3.0", 1);
  Bytes b = bundle(items);
  auto back = parse_bundle(b);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), items.size());
  EXPECT_EQ((*back)[0].type, type::TIM2);
  EXPECT_EQ((*back)[0].data, items[0].data);
  EXPECT_FALSE(parse_bundle(bundle(items, 0x669955AA)));
  EXPECT_FALSE(parse_bundle(bundle(items, kBundleMagic, kGroupA, 3)));
}

// Every x86 image of a chain (the plain legacy image and the one with a CLP entry) sums to 0
// modulo 256 over its size byte x 512 bytes; the FCODE and EFI images carry no such sum.
TEST(E4Files, MbaRomX86ImagesSumToZero) {
  RomDef s = mba_stock("0.7.9");
  s.clp_revision = 0x0709;
  s.fcode_revision = 0x0102;
  const Bytes rom = mba_rom(s);
  std::vector<uint8_t> code_types;
  for (size_t at = 0; at < rom.size();) {
    ASSERT_EQ(get_le16(&rom[at]), 0xAA55) << at;
    const size_t pcir = at + get_le16(&rom[at + 0x18]);
    code_types.push_back(rom[pcir + 0x14]);
    if (rom[pcir + 0x14] == 0) {
      uint8_t sum = 0;
      for (size_t i = 0; i < size_t(rom[at + 2]) * 512; ++i) sum = uint8_t(sum + rom[at + i]);
      EXPECT_EQ(sum, 0) << "x86 image at " << at;
    }
    if (rom[pcir + 0x15] & 0x80) break;
    at += size_t(get_le16(&rom[pcir + 0x10])) * 512;
  }
  EXPECT_EQ(code_types, (std::vector<uint8_t>{0, 0, 1, 3}));
}

TEST(E4Files, MbaRomWithEfiDriver) {
  for (bool compressed : {true, false}) {
    SCOPED_TRACE(compressed);
    RomDef s = mba_stock("0.7.9");
    s.efi->compressed = compressed;
    s.efi->major = 2, s.efi->minor = 7;
    s.fcode_revision = 0x0102;
    Bytes rom = mba_rom(s);
    auto slots = e1e3::mba_slots(rom);
    ASSERT_EQ(slots.size(), 3u);
    EXPECT_EQ(slots[0], (std::pair<std::string, uint16_t>{"PCI30 MBA", 0x0709}));
    EXPECT_EQ(slots[1].first, "FCODE");
    EXPECT_EQ(slots[2].first, "EFI x64");

    // The EFI image: the third in the chain, each image's length from its PCI data structure.
    size_t at = 0;
    for (int i = 0; i < 2; ++i) at += size_t(get_le16(&rom[at + 0x1C + 0x10])) * 512;
    ASSERT_EQ(get_le32(&rom[at + 4]), 0x0EF1u);
    EXPECT_EQ(get_le16(&rom[at + 0x0C]), compressed ? 1 : 0);
    EXPECT_EQ(rom[at + 0x1C + 0x15], 0x80);  // last image
    Bytes payload(rom.begin() + long(at + get_le16(&rom[at + 0x16])), rom.end());
    Bytes pe = payload;
    if (compressed) {
      auto out = efi_expand(payload);
      ASSERT_TRUE(out);
      pe = *out;
    }
    ASSERT_GE(pe.size(), 0x200u);
    EXPECT_EQ(pe[0], 'M');
    uint32_t nt = get_le32(&pe[0x3C]);
    EXPECT_EQ(get_le32(&pe[nt]), 0x4550u);
    EXPECT_EQ(get_le16(&pe[nt + 24]), 0x20B);
    EXPECT_EQ(get_le16(&pe[nt + 24 + 44]), 2);
    EXPECT_EQ(get_le16(&pe[nt + 24 + 46]), 7);
  }
}

TEST(E4Files, MetaImageEndsInNul) {
  std::string text = meta_text(meta_stock_options(99));
  EXPECT_EQ(text.rfind("array set nvm_cfg {", 0), 0u);
  EXPECT_NE(text.find("1,size mac"), std::string::npos);
  EXPECT_NE(text.find("exChipNumAttrs 57940"), std::string::npos);
  EXPECT_NE(text.find("99,name"), std::string::npos);
  Bytes img = meta_image(text);
  EXPECT_EQ(img.size() % 4, 0u);
  EXPECT_GT(img.size(), text.size());
  EXPECT_EQ(img.back(), 0);
}

TEST(E4Describe, DescriptionBuildsWhatItSays) {
  NvramDef s = parse_e4_description(R"(
# a small E4 adapter
size=0x40000
seq=5
other=older
image=TIM1 8.1.2.3
image=TIM2 8.1.2.4 gap=0x100
image=NVM_CFG1 8.1.2
image=DEFAULT_CFG 8.1.2
image=MIM2 8.1.2.4
cfg=11 4
image=BDN 1.0 bad_crc=1
)");
  Built b = build(s);
  auto d = directory(b.nvram);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->seq, 5u);
  EXPECT_EQ(read_copy(b.nvram, 1)->seq, 4u);
  EXPECT_EQ(find_image(b.nvram, type::TIM2)->version, "TIM 8.1.2.4");
  EXPECT_EQ(find_image(b.nvram, type::TIM2)->entry.offset, find_image(b.nvram, type::TIM1)->entry.offset + 0x404 + 0x100);
  EXPECT_EQ(*image_word(b.nvram, find_image(b.nvram, type::NVM_CFG1)->entry, 44), 4u);
  Report r = verify(b.nvram);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_NE(r.errors[0].find("BDN: CRC"), std::string::npos);
  EXPECT_THROW(parse_e4_description("image=TIM3 1.0\n"), std::invalid_argument);
}
