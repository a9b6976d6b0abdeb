// The verifier rejects an image with one CRC, one pointer or one length corrupted. Pointer and
// length cases repair the CRC that covers them, so that the check under test is the one that
// must notice.
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testkit;
using namespace testkit::e1e3;

namespace {

struct Board {
  Built built;
  uint32_t ext;
  const Placed& at(const std::string& kind) const {
    for (const Placed& p : built.placed)
      if (p.kind == kind) return p;
    throw std::logic_error("no " + kind);
  }
};

Board board() {
  NvramDef s;
  s.chip = Chip::E2;
  s.size = 0x20000;
  set_board(s, 0x14E4, 0x1662, 0x14E4, 0x1234, 0x0010180000C0ull, 2);
  s.images.push_back({"BC1", stock_image("BC1", "7.10.3"), {}, {}, 0});
  s.images.push_back({"MBA", stock_image("MBA", "7.10.3", 0, 0x1662), {}, {}, 0});
  s.images.push_back({"L2T", stock_image("L2T", "7.10.3"), {}, {}, 0});
  s.images.push_back({"MFW2", stock_image("MFW2", "7.10.3"), {}, {}, 0});
  s.images.push_back({"SWIM1", stock_image("SWIM1", "7.10.3"), {}, {}, 0x100});
  Board b{build(s), 0};
  b.ext = *b.built.ext_dir_offset;
  return b;
}

void fix_dir(Bytes& nv) { fix_crc(nv, layout::kDir, layout::kDirRegionLen); }
void fix_ext(Bytes& nv, uint32_t ext) { fix_crc(nv, ext, layout::kExtDirLen); }

}  // namespace

TEST(Verify, AcceptsTheBuiltBoardAndListsItsImages) {
  Board b = board();
  Report r = verify(b.built.nvram, Chip::E2);
  ASSERT_TRUE(r.ok()) << r.text();
  std::vector<std::string> where;
  for (const auto& im : r.images) where.push_back(im.where + " " + im.name);
  EXPECT_EQ(where, (std::vector<std::string>{"bootstrap BC1", "dir[0] MBA", "dir[1] L2T", "ext-dir EXT_DIR",
                                             "ext[0] MFW2", "ext[1] SWIM1"}));
}

TEST(Verify, RejectsOneCorruption) {
  struct Case {
    const char* what;
    std::function<void(Board&, Bytes&)> corrupt;
    const char* error;  // a piece of the expected message
  };
  const std::vector<Case> cases = {
      // CRCs
      {"bootstrap CRC", [](Board&, Bytes& nv) { nv[19] ^= 1; }, "bootstrap CRC"},
      {"directory CRC", [](Board&, Bytes& nv) { nv[0xFC] ^= 0x80; }, "directory CRC"},
      {"directory entry under its CRC", [](Board&, Bytes& nv) { nv[0x14 + 3] ^= 1; }, "directory CRC"},
      {"20-char text under the directory CRC", [](Board&, Bytes& nv) { nv[0xE8] ^= 1; }, "directory CRC"},
      {"configuration path 0", [](Board&, Bytes& nv) { nv[300] ^= 1; }, "configuration CRC mismatch, path 0"},
      {"configuration path 1", [](Board&, Bytes& nv) { nv[2068 + 20] ^= 1; }, "configuration CRC mismatch, path 1"},
      {"feature path 0", [](Board&, Bytes& nv) { nv[1104] ^= 1; }, "feature CRC mismatch, path 0"},
      {"feature path 1 CRC word", [](Board&, Bytes& nv) { nv[3108] ^= 1; }, "feature CRC mismatch, path 1"},
      {"bootcode byte", [](Board& b, Bytes& nv) { nv[b.at("BC1").offset + 40] ^= 1; }, "bootstrap BC1: image CRC"},
      {"main image byte", [](Board& b, Bytes& nv) { nv[b.at("MBA").offset + 5] ^= 1; }, "dir[0] MBA: image CRC"},
      {"main image trailer", [](Board& b, Bytes& nv) { const Placed& p = b.at("L2T"); nv[p.offset + p.length - 1] ^= 1; },
       "dir[1] L2T: image CRC"},
      {"extended image byte", [](Board& b, Bytes& nv) { nv[b.at("SWIM1").offset + 16] ^= 1; }, "ext[1] SWIM1: image CRC"},
      {"extended directory CRC", [](Board& b, Bytes& nv) { nv[b.ext + 776] ^= 1; }, "ext-dir EXT_DIR: image CRC"},
      // pointers
      {"bootstrap offset", [](Board&, Bytes& nv) { set_be32(nv, 12, be32_at(nv, 12) + 4); fix_crc(nv, 0, 20); },
       "bootstrap BC1: image CRC"},
      {"bootstrap offset past the end", [](Board&, Bytes& nv) { set_be32(nv, 12, 0x1FFF0); fix_crc(nv, 0, 20); },
       "runs past the end"},
      {"bootstrap magic", [](Board&, Bytes& nv) { set_be32(nv, 0, 0x669955AB); fix_crc(nv, 0, 20); }, "magic"},
      {"directory offset into another image",
       [](Board& b, Bytes& nv) { set_be32(nv, layout::dir_entry(1) + 8, b.at("MBA").offset + 0x200); fix_dir(nv); },
       "overlaps"},
      {"directory offset into the fixed area",
       [](Board&, Bytes& nv) { set_be32(nv, layout::dir_entry(1) + 8, 0x540); fix_dir(nv); }, "fixed area"},
      {"directory offset unaligned",
       [](Board&, Bytes& nv) { set_be32(nv, layout::dir_entry(1) + 8, be32_at(nv, layout::dir_entry(1) + 8) + 2); fix_dir(nv); },
       "not 4-aligned"},
      {"extended directory moved",
       [](Board& b, Bytes& nv) { set_be32(nv, layout::dir_entry(15) + 8, b.ext + 0x10); fix_dir(nv); }, "ext-dir"},
      {"extended directory outside entry 15",
       [](Board&, Bytes& nv) { set_be32(nv, layout::dir_entry(14) + 4, 0xE1000000 | 780); fix_dir(nv); },
       "outside entry 15"},
      {"extended entry offset",
       [](Board& b, Bytes& nv) { set_be32(nv, b.ext + 8 + 12 + 8, b.at("MFW2").offset); fix_ext(nv, b.ext); }, "overlaps"},
      // lengths and counts
      {"bootstrap dword count", [](Board&, Bytes& nv) { set_be32(nv, 8, be32_at(nv, 8) - 1); fix_crc(nv, 0, 20); },
       "bootstrap BC1: image CRC"},
      {"directory length longer",
       [](Board&, Bytes& nv) { set_be32(nv, layout::dir_entry(1) + 4, be32_at(nv, layout::dir_entry(1) + 4) + 0x400); fix_dir(nv); },
       "dir[1] L2T"},
      {"directory length shorter",
       [](Board&, Bytes& nv) { set_be32(nv, layout::dir_entry(0) + 4, be32_at(nv, layout::dir_entry(0) + 4) - 4); fix_dir(nv); },
       "dir[0] MBA: image CRC"},
      {"extended directory length",
       [](Board&, Bytes& nv) { set_be32(nv, layout::dir_entry(15) + 4, 0xE1000000 | 776); fix_dir(nv); }, "is not 0x30C"},
      {"extended byte count", [](Board& b, Bytes& nv) { set_be32(nv, b.ext + 4, be32_at(nv, b.ext + 4) + 4); fix_ext(nv, b.ext); },
       "byte count"},
      {"extended count too large", [](Board& b, Bytes& nv) { set_be32(nv, b.ext, 65); fix_ext(nv, b.ext); }, "exceeds 64"},
      {"extended count too small", [](Board& b, Bytes& nv) { set_be32(nv, b.ext, 1); fix_ext(nv, b.ext); }, "unused slot 1"},
      {"extended entry length",
       [](Board& b, Bytes& nv) {
         uint32_t f = b.ext + 8 + 4;
         set_be32(nv, f, be32_at(nv, f) + 4);
         set_be32(nv, b.ext + 4, be32_at(nv, b.ext + 4) + 4);
         fix_ext(nv, b.ext);
       },
       "ext[0] MFW2: image CRC"},
  };
  for (const Case& c : cases) {
    Board b = board();
    Bytes nv = b.built.nvram;
    c.corrupt(b, nv);
    Report r = verify(nv, Chip::E2);
    EXPECT_FALSE(r.ok()) << c.what;
    EXPECT_NE(r.text().find(c.error), std::string::npos) << c.what << "\n" << r.text();
  }
}

TEST(Verify, BootstrapNamingMfw1IsNotAnOverlap) {
  NvramDef s;
  set_board(s, 0x14E4, 0x168E, 0x14E4, 0x1234, 0x0010180000D0ull, 2);
  s.images.push_back({"MFW1", stock_image("MFW1", "7.10.3"), {}, {}, 0});
  Built b = build(s);
  EXPECT_TRUE(verify(b.nvram, Chip::E3).ok()) << verify(b.nvram, Chip::E3).text();
}

TEST(Verify, SurvivesGarbage) {
  for (size_t size : {size_t(0), size_t(3), size_t(0x1000), size_t(0x8000)}) {
    Bytes nv(size, 0xFF);
    EXPECT_FALSE(verify(nv, Chip::E3).ok());
  }
}
