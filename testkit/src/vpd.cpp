#include "testkit/vpd.h"

#include <stdexcept>

namespace testkit {
namespace {

void check_len(const std::string& v, size_t max, const char* what) {
  if (v.size() > max) throw std::invalid_argument(std::string("VPD field too long: ") + what);
}

void add_field(Bytes& out, const char* kw, const uint8_t* data, size_t n) {
  if (n > 255) throw std::invalid_argument("VPD field longer than 255 bytes");
  out.push_back(uint8_t(kw[0]));
  out.push_back(uint8_t(kw[1]));
  out.push_back(uint8_t(n));
  out.insert(out.end(), data, data + n);
}

void add_text(Bytes& out, const char* kw, const std::string& s) {
  add_field(out, kw, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A large resource tag and its little-endian u16 length.
void add_tag(Bytes& out, uint8_t tag, size_t len) {
  out.push_back(tag);
  out.push_back(uint8_t(len));
  out.push_back(uint8_t(len >> 8));
}

// PN, EC, SN, MN and, when not empty, V0.
void add_fixed_fields(Bytes& out, const VpdFields& f) {
  add_text(out, "PN", f.pn);
  add_text(out, "EC", f.ec);
  add_text(out, "SN", f.sn);
  add_text(out, "MN", f.mn);
  if (!f.v0.empty()) add_text(out, "V0", f.v0);
}

uint8_t minus_sum(const Bytes& b, size_t from, size_t to) {
  unsigned sum = 0;
  for (size_t i = from; i < to; ++i) sum += b[i];
  return uint8_t(-sum);
}

}  // namespace

Bytes vpd_image_128(const VpdFields& f) {
  check_len(f.name, 48, "name");
  check_len(f.pn, 16, "PN");
  check_len(f.ec, 10, "EC");
  check_len(f.sn, 16, "SN");
  check_len(f.mn, 4, "MN");
  check_len(f.v0, 16, "V0");
  Bytes b;
  size_t n = f.name.size();
  add_tag(b, 0x82, n + 1);
  b.insert(b.end(), f.name.begin(), f.name.end());
  b.push_back(0);
  add_tag(b, 0x90, 121 - (n + 1));
  add_fixed_fields(b, f);
  if (!f.yb.empty()) add_field(b, "YB", f.yb.data(), f.yb.size());
  // "RV", its length, then the checksum byte; the RV data run up to byte 126.
  size_t rv = b.size();
  if (rv + 3 > 126) throw std::invalid_argument("VPD fields do not fit 128 bytes");
  b.push_back('R');
  b.push_back('V');
  b.push_back(uint8_t(126 - (rv + 3) + 1));
  b.push_back(minus_sum(b, 0, b.size()));
  b.resize(127, 0);
  b.push_back(0x78);
  return b;
}

Bytes vpd_directory_image(const VpdFields& f, uint32_t area, uint32_t revision,
                          const std::vector<std::pair<std::string, std::string>>& extra) {
  if (area % 4 != 0 || area < 16) throw std::invalid_argument("VPD area must be a multiple of 4");
  check_len(f.name, 255, "name");
  Bytes r;
  size_t n = f.name.size();
  add_tag(r, 0x82, n);
  r.insert(r.end(), f.name.begin(), f.name.end());
  add_tag(r, 0x90, area - n - 7);
  add_fixed_fields(r, f);
  for (const auto& [kw, text] : extra) {
    if (kw.size() != 2) throw std::invalid_argument("VPD keyword must have two letters");
    add_text(r, kw.c_str(), text);
  }
  if (!f.yb.empty()) add_field(r, "YB", f.yb.data(), f.yb.size());
  size_t rv = r.size();
  // The read-only area ends at area - 2; "RV" needs its keyword, length and checksum byte.
  if (rv + 4 > area - 1) throw std::invalid_argument("VPD fields do not fit the area");
  size_t rv_len = (area - 2) - (rv + 2);
  if (rv_len > 255) throw std::invalid_argument("VPD area leaves more than 255 bytes at RV");
  r.push_back('R');
  r.push_back('V');
  r.push_back(uint8_t(rv_len));
  r.push_back(minus_sum(r, 0, r.size()));
  r.resize(area - 1, 0);
  r.push_back(0x78);
  Bytes img(4);
  put_le32(img.data(), revision);
  img.insert(img.end(), r.begin(), r.end());
  return img;
}

std::string vpd_text_file(const VpdFields& f, uint32_t region_size, unsigned revision) {
  std::string s;
  s += "# VPD description\n";
  s += "REVISION = " + std::to_string(revision) + "\n\n";
  s += "[REGION=VPD-R, " + std::to_string(region_size) + "]\n";
  s += "PRODUCT NAME=Text,\"" + f.name + "\"\n";
  auto line = [&](const char* kw, const std::string& v) {
    if (!v.empty()) s += std::string(kw) + "=Text,\"" + v + "\"\n";
  };
  line("PN", f.pn);
  line("EC", f.ec);
  line("SN", f.sn);
  line("MN", f.mn);
  line("V0", f.v0);
  return s;
}

}  // namespace testkit
