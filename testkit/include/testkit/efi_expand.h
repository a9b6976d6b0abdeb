// A plain decoder of the UEFI compression format, written from the format description: symbols
// are read bit by bit against the canonical codes (no lookup tables), which keeps it short and
// independent of the engine's table-driven decoder. It is checked against streams of the
// reference compressors; it checks the kit's compressor, and the E4 verifier reads the EFI
// drivers of boot-agent ROMs with it. Never throws; bad input gives nothing.
#pragma once

#include "testkit/bytes.h"

#include <optional>
#include <vector>

namespace testkit {

class EfiExpander {
public:
  EfiExpander(const Bytes& src, unsigned pbit) : src_(src), pbit_(pbit) {}

  std::optional<Bytes> run() {
    if (src_.size() < 8) return std::nullopt;
    uint32_t comp = get_le32(&src_[0]), orig = get_le32(&src_[4]);
    if (src_.size() - 8 < comp || orig > (1u << 26)) return std::nullopt;
    end_ = 8 + size_t(comp);
    bit_ = 8 * 8;
    Bytes out;
    uint32_t left = 0;
    while (out.size() < orig) {
      if (left == 0) {
        left = bits(16);
        if (!read_tables()) return std::nullopt;
        if (left == 0) return std::nullopt;
      }
      --left;
      auto c = decode(c_);
      if (!c) return std::nullopt;
      if (*c < 256) {
        out.push_back(uint8_t(*c));
        continue;
      }
      auto ps = decode(p_);
      if (!ps) return std::nullopt;
      uint32_t pos = *ps <= 1 ? *ps : (1u << (*ps - 1)) + bits(*ps - 1);
      if (pos + 1 > out.size()) return std::nullopt;
      size_t from = out.size() - pos - 1;
      for (unsigned k = 0; k < *c - 253 && out.size() < orig; ++k) out.push_back(out[from + k]);
    }
    return out;
  }

private:
  struct Set {
    std::vector<uint8_t> len;
    int single = -1;
    uint32_t first[17] = {}, count[17] = {}, index[17] = {};
    std::vector<unsigned> symbols;
  };

  uint32_t bits(unsigned n) {
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i, ++bit_) {
      size_t byte = bit_ / 8;
      unsigned b = byte < end_ ? (src_[byte] >> (7 - bit_ % 8)) & 1 : 0;
      v = v << 1 | b;
    }
    return v;
  }

  std::optional<unsigned> decode(const Set& s) {
    if (s.single >= 0) return unsigned(s.single);
    uint32_t code = 0;
    for (unsigned l = 1; l <= 16; ++l) {
      code = code << 1 | bits(1);
      if (code >= s.first[l] && code < s.first[l] + s.count[l]) return s.symbols[s.index[l] + (code - s.first[l])];
    }
    return std::nullopt;
  }

  // Canonical codes: the first code of length l follows all shorter codes; within a length the
  // symbols go in order.
  static void prepare(Set& s) {
    for (unsigned l = 1; l <= 16; ++l) {
      s.first[l] = (s.first[l - 1] + s.count[l - 1]) << 1;
      s.index[l] = uint32_t(s.symbols.size());
      for (size_t sym = 0; sym < s.len.size(); ++sym)
        if (s.len[sym] == l) s.symbols.push_back(unsigned(sym)), ++s.count[l];
    }
  }

  Set pt_table(unsigned nn, unsigned nbit, int special) {
    Set s;
    unsigned n = bits(nbit);
    if (n == 0) {
      s.single = int(bits(nbit));
      return s;
    }
    s.len.assign(nn, 0);
    unsigned i = 0;
    while (i < n && i < nn) {
      unsigned c = bits(3);
      if (c == 7)
        while (bits(1)) ++c;
      s.len[i++] = uint8_t(c);
      if (int(i) == special)
        for (unsigned z = bits(2); z > 0 && i < nn; --z) s.len[i++] = 0;
    }
    prepare(s);
    return s;
  }

  bool read_tables() {
    Set t = pt_table(19, 5, 3);
    unsigned n = bits(9);
    c_ = Set{};
    if (n == 0) {
      c_.single = int(bits(9));
    } else {
      c_.len.assign(510, 0);
      unsigned i = 0;
      while (i < n && i < 510) {
        auto s = decode(t);
        if (!s) return false;
        if (*s > 2) {
          c_.len[i++] = uint8_t(*s - 2);
          continue;
        }
        unsigned run = *s == 0 ? 1 : *s == 1 ? bits(4) + 3 : bits(9) + 20;
        while (run-- && i < 510) c_.len[i++] = 0;
      }
      prepare(c_);
    }
    p_ = pt_table(31, pbit_, -1);
    return true;
  }

  const Bytes& src_;
  unsigned pbit_;
  size_t end_ = 0, bit_ = 0;
  Set c_, p_;
};

inline std::optional<Bytes> efi_expand(const Bytes& src, unsigned pbit = 4) {
  return EfiExpander(src, pbit).run();
}

}  // namespace testkit
