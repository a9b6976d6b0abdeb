#include "testkit/iscsi_cfg.h"

#include <cstring>
#include <stdexcept>

namespace testkit {
namespace {

struct Map {
  size_t size;
  uint16_t version;
  size_t addr[5], addr_len;
  size_t text_a, text_a_len, text_b, text_b_len, text_c, text_c_len;
  size_t target[2], target_len;
  size_t t_addr_len, t_word3, t_text_d, t_text_d_len, t_text_e, t_text_f;
};

const Map kLayout1{1020, 0x0100, {0xa8, 0xac, 0xb0, 0x167, 0x16b}, 4,
                   0xb4, 129, 0x135, 33, 0x156, 17,
                   {0x1a8, 0x2a8}, 0x100,
                   4, 0x08, 0x0a, 33, 0x2b, 0x3c};
const Map kLayout2{2044, 0x0200, {0xa8, 0xb8, 0xc8, 0xd8, 0xe8}, 16,
                   0xf8, 129, 0x179, 129, 0x1fa, 0x2c0 - 0x1fa,
                   {0x2c0, 0x500}, 0x240,
                   16, 0x14, 0x16, 129, 0x97, 0xa8};
constexpr size_t kTextELen = 17;

const Map& map_of(int layout) {
  if (layout == 1) return kLayout1;
  if (layout == 2) return kLayout2;
  throw std::invalid_argument("iSCSI configuration layout must be 1 or 2");
}

void put_text(Bytes& b, size_t off, size_t field, const std::string& text) {
  if (text.size() >= field) throw std::invalid_argument("text does not fit its field: " + text);
  std::memcpy(&b[off], text.data(), text.size());
}

std::string get_text(const Bytes& b, size_t off, size_t field) {
  const char* p = reinterpret_cast<const char*>(&b[off]);
  return std::string(p, strnlen(p, field));
}

void put_address(Bytes& b, size_t off, size_t width, const IscsiAddress& a) {
  for (size_t i = width; i < a.size(); ++i)
    if (a[i]) throw std::invalid_argument("address wider than its field");
  std::memcpy(&b[off], a.data(), width);
}

IscsiAddress get_address(const Bytes& b, size_t off, size_t width) {
  IscsiAddress a{};
  std::memcpy(a.data(), &b[off], width);
  return a;
}

std::ostream& hex_bytes(std::ostream& os, const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < n; ++i) os << kDigits[p[i] >> 4] << kDigits[p[i] & 15];
  return os;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const IscsiBootCfg& c) {
  os << "{flags " << std::hex << c.flags << std::dec << ", head \"" << c.head_text << "\", bytes "
     << unsigned(c.byte_29) << "/" << unsigned(c.byte_2a) << ", block ";
  hex_bytes(os, c.block.data(), c.block.size());
  for (const IscsiAddress& a : c.address) hex_bytes(os << ", addr ", a.data(), a.size());
  os << ", A \"" << c.text_a << "\", B \"" << c.text_b << "\", C \"" << c.text_c << "\"";
  for (const IscsiTarget& t : c.target) {
    os << ", target {" << t.word1 << " " << t.word2 << " " << t.word3 << ", addr ";
    hex_bytes(os, t.address.data(), t.address.size());
    os << ", D \"" << t.text_d << "\", E \"" << t.text_e << "\", F \"" << t.text_f << "\"}";
  }
  return os << "}";
}

IscsiBootCfg iscsi_sample_settings() {
  IscsiBootCfg c;
  c.flags = 0x00000005;
  c.head_text = "port-0 boot";
  c.byte_29 = 0x11;
  c.byte_2a = 0x22;
  for (size_t i = 0; i < c.block.size(); ++i) c.block[i] = uint8_t(0xA0 + i);
  c.address[0] = {192, 168, 0, 10};
  c.address[1] = {255, 255, 255, 0};
  c.address[2] = {192, 168, 0, 1};
  c.address[3] = {10, 0, 0, 53};
  c.address[4] = {10, 0, 0, 54};
  c.text_a = "iqn.2026-12.example:initiator-0";
  c.text_b = "chap-user";
  c.text_c = "chap-secret";
  for (int t = 0; t < 2; ++t) {
    IscsiTarget& g = c.target[t];
    g.word1 = uint16_t(0x0C00 + t);
    g.word2 = uint16_t(3260 + t);
    g.word3 = uint16_t(0x5500 + t);
    g.address = {192, 168, 1, uint8_t(20 + t)};
    g.text_d = "iqn.2026-12.example:target-" + std::to_string(t);
    g.text_e = "tgt-user-" + std::to_string(t);
    g.text_f = "tgt-secret-" + std::to_string(t);
  }
  return c;
}

IscsiBootCfg iscsi_without_addresses(IscsiBootCfg c) {
  c.address = {};
  for (IscsiTarget& t : c.target) t.address = {};
  return c;
}

Bytes iscsi_boot_cfg_block(const IscsiBootCfg& c, int layout) {
  const Map& m = map_of(layout);
  Bytes b(m.size, 0);
  put_le16(&b[0], 0x6269);
  put_le16(&b[2], m.version);
  put_le32(&b[4], c.flags);
  put_text(b, 0x08, 33, c.head_text);
  b[0x29] = c.byte_29;
  b[0x2a] = c.byte_2a;
  std::memcpy(&b[0x80], c.block.data(), c.block.size());
  for (int i = 0; i < 5; ++i) put_address(b, m.addr[i], m.addr_len, c.address[i]);
  put_text(b, m.text_a, m.text_a_len, c.text_a);
  put_text(b, m.text_b, m.text_b_len, c.text_b);
  put_text(b, m.text_c, m.text_c_len, c.text_c);
  for (int t = 0; t < 2; ++t) {
    const size_t base = m.target[t];
    const IscsiTarget& g = c.target[t];
    put_le16(&b[base], g.word1);
    put_le16(&b[base + 2], g.word2);
    put_address(b, base + 4, m.t_addr_len, g.address);
    put_le16(&b[base + m.t_word3], g.word3);
    put_text(b, base + m.t_text_d, m.t_text_d_len, g.text_d);
    put_text(b, base + m.t_text_e, kTextELen, g.text_e);
    put_text(b, base + m.t_text_f, m.target_len - m.t_text_f, g.text_f);
  }
  return b;
}

std::optional<IscsiBlockRead> read_iscsi_boot_cfg(const Bytes& b) {
  if (b.size() < 4 || get_le16(&b[0]) != 0x6269) return std::nullopt;
  const uint16_t version = get_le16(&b[2]);
  const int layout = version == 0x0100 ? 1 : version == 0x0200 ? 2 : 0;
  if (!layout) return std::nullopt;
  const Map& m = map_of(layout);
  if (b.size() < m.size) return std::nullopt;
  IscsiBlockRead r;
  r.layout = layout;
  IscsiBootCfg& c = r.cfg;
  c.flags = get_le32(&b[4]);
  c.head_text = get_text(b, 0x08, 33);
  c.byte_29 = b[0x29];
  c.byte_2a = b[0x2a];
  std::memcpy(c.block.data(), &b[0x80], c.block.size());
  for (int i = 0; i < 5; ++i) c.address[i] = get_address(b, m.addr[i], m.addr_len);
  c.text_a = get_text(b, m.text_a, m.text_a_len);
  c.text_b = get_text(b, m.text_b, m.text_b_len);
  c.text_c = get_text(b, m.text_c, m.text_c_len);
  for (int t = 0; t < 2; ++t) {
    const size_t base = m.target[t];
    IscsiTarget& g = c.target[t];
    g.word1 = get_le16(&b[base]);
    g.word2 = get_le16(&b[base + 2]);
    g.address = get_address(b, base + 4, m.t_addr_len);
    g.word3 = get_le16(&b[base + m.t_word3]);
    g.text_d = get_text(b, base + m.t_text_d, m.t_text_d_len);
    g.text_e = get_text(b, base + m.t_text_e, kTextELen);
    g.text_f = get_text(b, base + m.t_text_f, m.target_len - m.t_text_f);
  }
  return r;
}

}  // namespace testkit
