// The kit checked against bytes written out by hand, so that the kit and the engines cannot share
// a mistake unseen. CRC values were computed separately with zlib.
#include "testkit/e1e3_nvram.h"
#include "testkit/images.h"
#include "testkit/package.h"
#include "testkit/vpd.h"

#include <gtest/gtest.h>

using namespace testkit;

namespace {

Bytes slice(const Bytes& b, size_t off, size_t n) { return Bytes(b.begin() + long(off), b.begin() + long(off + n)); }

e1e3::Built two_image_board() {
  e1e3::NvramSpec s;
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
  PackageSpec s;
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
