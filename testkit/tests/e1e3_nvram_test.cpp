#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"

#include <gtest/gtest.h>

using namespace testkit;
using namespace testkit::e1e3;

namespace {

NvramDef e3_board() {
  NvramDef s;
  s.chip = Chip::E3;
  s.text20 = "BOARD TEXT 0123456789";
  s.part_number = "PN-12345";
  set_board(s, 0x14E4, 0x168E, 0x103C, 0x339D, 0x001018AABB00ull, 2);
  s.images.push_back({"MBA", stock_image("MBA", "7.10.3"), {}, {}, 0});
  s.images.push_back({"L2T", stock_image("L2T", "7.10.3"), {}, {}, 0});
  s.images.push_back({"MFW1", stock_image("MFW1", "7.10.3"), {}, {}, 0});
  s.images.push_back({"MFW2", stock_image("MFW2", "7.10.3"), {}, {}, 0});
  s.images.push_back({"SWIM1", stock_image("SWIM1", "7.10.3"), {}, {}, 0});
  s.images.push_back({"NIC_PRTION", stock_image("NIC_PRTION", "1.0.0"), {}, {}, 0});
  s.images.push_back({"CFG_SHARED", stock_image("CFG_SHARED", ""), {}, {}, 0});
  return s;
}

}  // namespace

TEST(E1e3Nvram, FixedAreaHoldsTheBoardDescription) {
  Built b = build(e3_board());
  const Bytes& nv = b.nvram;
  ASSERT_EQ(nv.size(), 0x40000u);
  for (unsigned path = 0; path < 2; ++path) {
    EXPECT_EQ(be32_at(nv, layout::cfg(path)), 0x41000000u);
    // Function 0 sits on path 0, function 1 on path 1, both as port 0 (two-port mode).
    uint32_t p = layout::port_part(path, 0);
    EXPECT_EQ(be32_at(nv, p), 0x14E4168Eu);
    EXPECT_EQ(be32_at(nv, p + 4), 0x339D103Cu);
    EXPECT_EQ(be32_at(nv, p + 16), 0x0010u);
    EXPECT_EQ(be32_at(nv, p + 20), 0x18AABB00u + path);
  }
  // Port 1 of path 1 is at 2068 + 400 as the engine's second-path rule says (field 300 of port 1).
  EXPECT_EQ(layout::port_part(1, 1), 2468u);
  // Texts stand in host view: each NVRAM word reversed.
  Bytes pn = get_host_view(nv, 260, 16);
  EXPECT_EQ(std::string(pn.begin(), pn.begin() + 8), "PN-12345");
  Bytes t = get_host_view(nv, 0xE8, 20);
  EXPECT_EQ(std::string(t.begin(), t.end()), "BOARD TEXT 012345678");
  // VPD copy: host view starts with the ID-string tag and ends with the end tag at 127.
  Bytes vpd = get_host_view(nv, 0x540, 256);
  EXPECT_EQ(vpd[0], 0x82);
  EXPECT_EQ(vpd[127], 0x78);
}

TEST(E1e3Nvram, ExtendedDirectoryListsItsImagesAndEntry15PointsAtIt) {
  Built b = build(e3_board());
  ASSERT_TRUE(b.ext_dir_offset);
  uint32_t ext = *b.ext_dir_offset;
  const Bytes& nv = b.nvram;
  EXPECT_EQ(be32_at(nv, layout::dir_entry(15)), 0u);
  EXPECT_EQ(be32_at(nv, layout::dir_entry(15) + 4), 0xE1000000u | 780u);
  EXPECT_EQ(be32_at(nv, layout::dir_entry(15) + 8), ext);
  EXPECT_EQ(be32_at(nv, ext), 5u);
  uint32_t sum = 0;
  for (const Placed& p : b.placed)
    if (p.home == Home::Extended) sum += p.length;
  EXPECT_EQ(be32_at(nv, ext + 4), sum);
  // Entry 0 is MFW1, with the MCP load address.
  EXPECT_EQ(be32_at(nv, ext + 8), 0x08000010u);
  EXPECT_EQ(be32_at(nv, ext + 12) & kTypeMask, 0x20000003u);
  // No bootcode image: the bootstrap names MFW1.
  EXPECT_EQ(be32_at(nv, 0), 0x669955AAu);
  EXPECT_EQ(be32_at(nv, 12), be32_at(nv, ext + 16));
  EXPECT_EQ(be32_at(nv, 8) * 4, be32_at(nv, ext + 12) & kLenMask);
}

TEST(E1e3Nvram, E1HasOnePathAndImagesFrom2024) {
  NvramDef s;
  s.chip = Chip::E1;
  set_board(s, 0x14E4, 0x164E, 0x14E4, 0x1006, 0x0010180000A0ull, 2);
  s.images.push_back({"BC1", stock_image("BC1", "5.2.7"), {}, {}, 0});
  Built b = build(s);
  EXPECT_EQ(b.placed.at(0).offset, 2024u);
  // Functions 0 and 1 are ports 0 and 1 of path 0.
  EXPECT_EQ(be32_at(b.nvram, layout::port_part(0, 1) + 20), 0x180000A1u);
  EXPECT_TRUE(verify(b.nvram, Chip::E1).ok()) << verify(b.nvram, Chip::E1).text();
}

TEST(E1e3Nvram, VerifierAcceptsEveryBuiltShape) {
  struct Case {
    const char* what;
    NvramDef desc;
  };
  std::vector<Case> cases;
  cases.push_back({"E3 board with extended images", e3_board()});
  {
    NvramDef s = e3_board();
    s.chip = Chip::E2;
    s.size = 0x200000;
    s.images.push_back({"NIVPROFILES", stock_image("NIVPROFILES", ""), {}, {}, 0x1000});
    cases.push_back({"2 MiB E2 with a gap", s});
  }
  {
    NvramDef s;
    s.images.push_back({"BC1", stock_image("BC1", "7.0.1"), {}, {}, 0});
    s.images.push_back({"BC2", stock_image("BC2", "7.0.1"), {}, {}, 0});
    s.ext_dir_always = true;
    cases.push_back({"empty extended directory", s});
  }
  {
    NvramDef s;
    for (int i = 0; i < 15; ++i) s.images.push_back({"IPMI", stock_image("IPMI", "1.2.3", 64), {}, {}, 0});
    cases.push_back({"full main directory", s});
  }
  {
    NvramDef s;
    s.size = 0x100000;
    size_t n = 0;
    const ImageKind* all = kinds(&n);
    for (size_t i = 0; i < n; ++i)
      if (home_of(all[i]) != Home::Main || all[i].name == "BC2" || all[i].name == "MBA")
        s.images.push_back({std::string(all[i].name), stock_image(all[i].name, "1.2.3"), {}, {}, 0});
    cases.push_back({"every kind", s});
  }
  {
    NvramDef s;
    cases.push_back({"blank bootstrap", s});
  }
  for (Case& c : cases) {
    // Every shape on a board with its ids and MAC addresses, as the verifier asks of a board.
    if (c.desc.ports[0][0].did == 0) set_board(c.desc, 0x14E4, 0x168E, 0x14E4, 0x1234, 0x0010180000E0ull, 2);
    Built b = build(c.desc);
    Report r = verify(b.nvram, c.desc.chip);
    EXPECT_TRUE(r.ok()) << c.what << "\n" << r.text();
    for (const Placed& p : b.placed) {
      bool found = false;
      for (const FoundImage& f : r.images) found |= f.offset == p.offset && f.length == p.length && f.name == p.kind;
      EXPECT_TRUE(found) << c.what << ": " << p.kind;
    }
  }
}

TEST(E1e3Nvram, RefusesDescriptionsItCannotLayOut) {
  struct Case {
    const char* what;
    NvramDef desc;
  };
  std::vector<Case> cases;
  {
    NvramDef s;
    s.images.push_back({"NO_SUCH", {1, 2, 3, 4}, {}, {}, 0});
    cases.push_back({"unknown kind", s});
  }
  {
    NvramDef s;
    s.size = 0x2000;
    s.images.push_back({"BC1", Bytes(0x2000, 1), {}, {}, 0});
    cases.push_back({"image past the end", s});
  }
  {
    NvramDef s;
    for (int i = 0; i < 16; ++i) s.images.push_back({"IPMI", Bytes(32, 1), {}, {}, 0});
    cases.push_back({"sixteen main images", s});
  }
  {
    NvramDef s;
    s.images.push_back({"BC1", Bytes(32, 1), {}, {}, 0});
    s.images.push_back({"BC1", Bytes(32, 2), {}, {}, 0});
    cases.push_back({"two bootcodes", s});
  }
  {
    NvramDef s;
    s.vpd.pn = "THIS PART NUMBER IS TOO LONG";
    cases.push_back({"VPD field too long", s});
  }
  for (const Case& c : cases) EXPECT_THROW(build(c.desc), std::invalid_argument) << c.what;
}

TEST(E1e3Nvram, PagedFileInsertsSparesEvery256Bytes) {
  Bytes nv(1024);
  for (size_t i = 0; i < nv.size(); ++i) nv[i] = uint8_t(i);
  Bytes p = paged(nv);
  ASSERT_EQ(p.size(), 1024u * 264 / 256);
  EXPECT_EQ(le32_at(p, 256), 0x57105710u);
  EXPECT_EQ(le32_at(p, 260), 0x57105710u);
  EXPECT_EQ(p[264], nv[256]);
  EXPECT_EQ(p[264 * 3 + 255], nv[1023]);
}
