#include "testkit/package.h"

#include <stdexcept>
#include <string>

namespace testkit {

uint32_t package_tag(std::string_view name) {
  struct Row { std::string_view name; uint8_t b[4]; };
  static const Row kTags[] = {
      {"MBA", {0, 'm', 'b', 'a'}},   {"MFW", {'m', 'f', 'w', '1'}}, {"L2T", {0, 'l', '2', 't'}},
      {"CCM", {0, 'c', 'c', 'm'}},   {"IBOOT", {0, 0, 'i', 'b'}},   {"FBOOT", {0, 'f', 'e', 'b'}},
      {"PHY", {0, 'p', 'h', 'y'}},   {"INIT_HW", {'h', 'w', 'i', 't'}}, {"META", {'m', 'e', 't', 'a'}},
      {"NVM_CFG", {'n', 'c', 'f', 'g'}}, {"PK", {0x80, 0x85, 'u', 'i'}},
  };
  for (const Row& r : kTags)
    if (r.name == name) return get_le32(r.b);
  throw std::invalid_argument("unknown package entry: " + std::string(name));
}

Bytes package(const PackageDef& s) {
  size_t n = s.entries.size(), rows = s.rows.size();
  size_t table = 8 + 16 * rows;
  size_t head = 32 + 32 * n + table;
  Bytes out(head, 0);
  std::copy(s.magic.begin(), s.magic.end(), out.begin());
  put_le16(&out[4], s.format_version);
  put_le16(&out[6], s.header_length ? *s.header_length : uint16_t(head));
  put_le16(&out[10], s.entry_count ? *s.entry_count : uint16_t(n));
  out[12] = s.byte12;
  out[13] = s.major;
  out[14] = s.minor;
  out[15] = s.build;
  out[18] = s.date1;
  out[19] = s.date2;
  put_le16(&out[20], s.year);
  for (size_t i = 0; i < n; ++i) {
    const PackageEntry& e = s.entries[i];
    out.resize((out.size() + 3) & ~size_t(3), 0);
    uint32_t off = uint32_t(out.size());
    out.insert(out.end(), e.data.begin(), e.data.end());
    uint8_t* d = &out[32 + 32 * i];
    put_le32(d, e.tag);
    put_le32(d + 4, e.offset ? *e.offset : off);
    put_le32(d + 8, e.length ? *e.length : uint32_t(e.data.size()));
  }
  uint8_t* t = &out[32 + 32 * n];
  put_le16(t, uint16_t(rows));
  for (size_t r = 0; r < rows; ++r) {
    uint8_t* p = t + 8 + 16 * r;
    put_le16(p, s.rows[r].vid);
    put_le16(p + 2, s.rows[r].did);
    put_le16(p + 4, s.rows[r].svid);
    put_le16(p + 6, s.rows[r].ssid);
    put_le32(p + 8, s.rows[r].mask);
  }
  return out;
}

}  // namespace testkit
