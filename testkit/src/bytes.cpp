#include "testkit/bytes.h"

#include "platform/byte_order.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testkit {

void put_be32(uint8_t* p, uint32_t v) { platform::store_be32(p, v); }

void put_le32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

void put_le16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void put_be16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

uint32_t get_be32(const uint8_t* p) { return platform::load_be32(p); }

uint32_t get_le32(const uint8_t* p) {
  return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint16_t get_le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint16_t get_be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

namespace {
void need(const Bytes& b, size_t off, size_t n) {
  if (off > b.size() || b.size() - off < n) throw std::out_of_range("testkit: access past end of buffer");
}
}  // namespace

void set_be32(Bytes& b, size_t off, uint32_t v) { need(b, off, 4); put_be32(&b[off], v); }
void set_le32(Bytes& b, size_t off, uint32_t v) { need(b, off, 4); put_le32(&b[off], v); }
void set_le16(Bytes& b, size_t off, uint16_t v) { need(b, off, 2); put_le16(&b[off], v); }
uint32_t be32_at(const Bytes& b, size_t off) { need(b, off, 4); return get_be32(&b[off]); }
uint32_t le32_at(const Bytes& b, size_t off) { need(b, off, 4); return get_le32(&b[off]); }
uint16_t le16_at(const Bytes& b, size_t off) { need(b, off, 2); return get_le16(&b[off]); }

uint32_t crc32_of(const uint8_t* p, size_t n) {
  uLong c = crc32(0L, Z_NULL, 0);
  while (n > 0) {
    uInt chunk = n > 0x40000000 ? 0x40000000 : uInt(n);
    c = crc32(c, p, chunk);
    p += chunk;
    n -= chunk;
  }
  return uint32_t(c);
}

void store_region_crc(Bytes& nvram, size_t off, size_t len) {
  if (len < 4) throw std::invalid_argument("testkit: CRC region shorter than its trailer");
  need(nvram, off, len);
  put_le32(&nvram[off + len - 4], crc32_of(&nvram[off], len - 4));
}

bool region_crc_ok(const Bytes& nvram, size_t off, size_t len) {
  if (len < 4 || off > nvram.size() || nvram.size() - off < len) return false;
  return get_le32(&nvram[off + len - 4]) == crc32_of(&nvram[off], len - 4);
}

void reverse_words(uint8_t* p, size_t n) {
  for (size_t i = 0; i + 4 <= n; i += 4) {
    std::swap(p[i], p[i + 3]);
    std::swap(p[i + 1], p[i + 2]);
  }
}

Bytes words_reversed(const Bytes& b) {
  Bytes r = b;
  reverse_words(r.data(), r.size());
  return r;
}

void pad4(Bytes& b) { b.resize((b.size() + 3) & ~size_t(3), 0); }

void put_nvram_text(Bytes& host_view, size_t off, std::string_view text, size_t field) {
  need(host_view, off, field);
  // Build the text in reading order, then place each byte where the word reversal puts it.
  for (size_t i = 0; i < field; ++i) {
    uint8_t c = i < text.size() ? uint8_t(text[i]) : 0;
    size_t pos = off + i;
    size_t word = pos & ~size_t(3);
    host_view[word + 3 - (pos & 3)] = c;
  }
}

std::string get_nvram_text(const Bytes& host_view, size_t off, size_t field) {
  std::string s;
  for (size_t i = 0; i < field; ++i) {
    size_t pos = off + i;
    size_t word = pos & ~size_t(3);
    if (word + 3 >= host_view.size()) break;
    char c = char(host_view[word + 3 - (pos & 3)]);
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

void put_host_view(Bytes& nvram, size_t off, const uint8_t* p, size_t n) {
  if (off % 4 != 0) throw std::invalid_argument("testkit: host-view copy at an unaligned offset");
  size_t padded = (n + 3) & ~size_t(3);
  need(nvram, off, padded);
  for (size_t i = 0; i < padded; ++i) {
    uint8_t c = i < n ? p[i] : 0;
    nvram[off + (i & ~size_t(3)) + 3 - (i & 3)] = c;
  }
}

Bytes get_host_view(const Bytes& nvram, size_t off, size_t n) {
  if (off % 4 != 0 || n % 4 != 0) throw std::invalid_argument("testkit: host-view read not word-aligned");
  need(nvram, off, n);
  Bytes r(nvram.begin() + long(off), nvram.begin() + long(off + n));
  reverse_words(r.data(), r.size());
  return r;
}

void fill_pattern(uint8_t* p, size_t n, uint32_t seed) {
  uint32_t x = seed * 2654435761u + 0x9E3779B9u;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    p[i] = uint8_t(x);
  }
}

uint64_t parse_number(std::string_view text) {
  std::string s(text);
  if (s.empty()) throw std::invalid_argument("empty number");
  size_t used = 0;
  uint64_t v = 0;
  try {
    v = std::stoull(s, &used, 0);
  } catch (const std::exception&) {
    throw std::invalid_argument("not a number: " + s);
  }
  if (used != s.size() || s[0] == '-') throw std::invalid_argument("not a number: " + s);
  return v;
}

std::vector<unsigned> parse_version(std::string_view text) {
  std::vector<unsigned> parts;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    std::string_view piece = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (piece.empty() || piece.size() > 5) throw std::invalid_argument("bad version: " + std::string(text));
    unsigned v = 0;
    for (char c : piece) {
      if (c < '0' || c > '9') throw std::invalid_argument("bad version: " + std::string(text));
      v = v * 10 + unsigned(c - '0');
    }
    if (v > 65535) throw std::invalid_argument("bad version: " + std::string(text));
    parts.push_back(v);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() < 3 || parts.size() > 4) throw std::invalid_argument("bad version: " + std::string(text));
  return parts;
}

Bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot open " + path);
  Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) throw std::runtime_error("cannot read " + path);
  return b;
}

void write_file(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot create " + path);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

void write_text_file(const std::string& path, std::string_view text) {
  write_file(path, Bytes(text.begin(), text.end()));
}

}  // namespace testkit
