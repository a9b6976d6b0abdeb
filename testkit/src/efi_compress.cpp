#include "testkit/efi_compress.h"

#include <algorithm>
#include <array>
#include <queue>
#include <stdexcept>
#include <vector>

namespace testkit {
namespace {

constexpr unsigned kNC = 510;        // char/length symbols
constexpr unsigned kNT = 19;         // code-length symbols
constexpr unsigned kCBit = 9, kTBit = 5;
constexpr unsigned kMinMatch = 3, kMaxMatch = 256;
constexpr size_t kWindow = 8192;     // positions 0..8191 (distance - 1)
constexpr size_t kBlockTokens = 0x4000;
constexpr unsigned kMaxLen = 16;     // longest code the format allows

class BitWriter {
public:
  void put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      cur_ = uint8_t(cur_ << 1 | ((value >> i) & 1));
      if (++fill_ == 8) {
        out_.push_back(cur_);
        cur_ = 0;
        fill_ = 0;
      }
    }
  }
  Bytes finish() {
    if (fill_) out_.push_back(uint8_t(cur_ << (8 - fill_)));
    fill_ = 0;
    return std::move(out_);
  }

private:
  Bytes out_;
  uint8_t cur_ = 0;
  unsigned fill_ = 0;
};

struct Token {
  uint16_t c;    // byte, or 253 + match length
  uint16_t pos;  // distance - 1 of a match
};

unsigned bit_length(uint32_t v) {
  unsigned n = 0;
  while (v) ++n, v >>= 1;
  return n;
}

// Greedy LZ77 over hash chains of 3-byte prefixes.
std::vector<Token> tokenize(const uint8_t* p, size_t n) {
  std::vector<Token> out;
  std::vector<int64_t> head(1 << 15, -1), prev(n, -1);
  auto hash = [&](size_t i) { return (p[i] << 10 ^ p[i + 1] << 5 ^ p[i + 2]) & 0x7FFF; };
  auto insert = [&](size_t i) {
    if (i + 2 >= n) return;
    unsigned h = hash(i);
    prev[i] = head[h];
    head[h] = int64_t(i);
  };
  for (size_t i = 0; i < n;) {
    size_t best = 0, best_pos = 0;
    if (i + kMinMatch <= n) {
      int64_t cand = head[hash(i)];
      for (int depth = 0; cand >= 0 && depth < 64 && i - size_t(cand) <= kWindow; ++depth, cand = prev[cand]) {
        size_t len = 0, limit = std::min<size_t>(kMaxMatch, n - i);
        while (len < limit && p[size_t(cand) + len] == p[i + len]) ++len;
        if (len > best) best = len, best_pos = i - size_t(cand) - 1;
        if (best == limit) break;
      }
    }
    if (best >= kMinMatch) {
      out.push_back({uint16_t(253 + best), uint16_t(best_pos)});
      for (size_t k = 0; k < best; ++k) insert(i + k);
      i += best;
    } else {
      out.push_back({p[i], 0});
      insert(i);
      ++i;
    }
  }
  return out;
}

// Huffman code lengths of at most 16 bits; symbols of frequency 0 get length 0. Needs at least two
// used symbols.
std::vector<uint8_t> code_lengths(std::vector<uint32_t> freq) {
  for (;;) {
    struct Node {
      uint64_t w;
      int id;
      bool operator>(const Node& o) const { return w != o.w ? w > o.w : id > o.id; }
    };
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> q;
    std::vector<int> parent(freq.size() * 2, -1);
    int next = int(freq.size());
    for (size_t i = 0; i < freq.size(); ++i)
      if (freq[i]) q.push({freq[i], int(i)});
    while (q.size() > 1) {
      Node a = q.top();
      q.pop();
      Node b = q.top();
      q.pop();
      parent[a.id] = parent[b.id] = next;
      q.push({a.w + b.w, next++});
    }
    std::vector<uint8_t> len(freq.size(), 0);
    unsigned longest = 0;
    for (size_t i = 0; i < freq.size(); ++i) {
      if (!freq[i]) continue;
      unsigned d = 0;
      for (int at = int(i); parent[at] >= 0; at = parent[at]) ++d;
      len[i] = uint8_t(std::min(d, 255u));
      longest = std::max(longest, d);
    }
    if (longest <= kMaxLen) return len;
    for (auto& f : freq)  // flatten the distribution and try again
      if (f) f = (f + 1) / 2;
  }
}

// Canonical codes: shorter codes first, within a length by symbol.
std::vector<uint16_t> canonical_codes(const std::vector<uint8_t>& len) {
  std::array<uint32_t, kMaxLen + 2> count{}, start{};
  for (uint8_t l : len) ++count[l];
  count[0] = 0;
  for (unsigned l = 1; l <= kMaxLen; ++l) start[l + 1] = start[l] + (count[l] << (kMaxLen - l));
  std::vector<uint16_t> code(len.size(), 0);
  for (size_t s = 0; s < len.size(); ++s) {
    if (!len[s]) continue;
    code[s] = uint16_t(start[len[s]] >> (kMaxLen - len[s]));
    start[len[s]] += 1u << (kMaxLen - len[s]);
  }
  return code;
}

struct Code {
  std::vector<uint8_t> len;
  std::vector<uint16_t> code;
  int single = -1;  // the one symbol of a one-symbol set
  bool empty = true;
};

Code make_code(const std::vector<uint32_t>& freq) {
  Code c;
  int used = 0;
  for (size_t i = 0; i < freq.size(); ++i)
    if (freq[i]) ++used, c.single = int(i);
  c.empty = used == 0;
  if (used >= 2) {
    c.single = -1;
    c.len = code_lengths(freq);
    c.code = canonical_codes(c.len);
  }
  return c;
}

void put_symbol(BitWriter& w, const Code& c, unsigned s) {
  if (c.single >= 0 || c.empty) return;  // a one-symbol set takes no bits
  w.put(c.code[s], c.len[s]);
}

// Number of entries up to the last non-zero length.
unsigned used_count(const std::vector<uint8_t>& len) {
  unsigned n = unsigned(len.size());
  while (n && !len[n - 1]) --n;
  return n;
}

// A code-length or position table: count in `nbit` bits, lengths 0-6 in 3 bits, 7 and more as
// 111 followed by (length - 7) ones and a zero; with `special` (3) a 2-bit zero run follows the
// third length.
void put_pt_table(BitWriter& w, const Code& c, unsigned nbit, int special) {
  if (c.single >= 0 || c.empty) {
    w.put(0, nbit);
    w.put(c.single >= 0 ? unsigned(c.single) : 0, nbit);
    return;
  }
  unsigned n = used_count(c.len);
  w.put(n, nbit);
  for (unsigned i = 0; i < n;) {
    unsigned l = c.len[i++];
    if (l < 7) {
      w.put(l, 3);
    } else {
      w.put(7, 3);
      for (unsigned k = 7; k < l; ++k) w.put(1, 1);
      w.put(0, 1);
    }
    if (int(i) == special) {
      unsigned z = 0;
      while (z < 3 && i + z < n && !c.len[i + z]) ++z;
      w.put(z, 2);
      i += z;
    }
  }
}

// The char/length lengths as code-length symbols: 0 one zero, 1 a run of 3-18 zeros (4 bits),
// 2 a run of 20 or more (9 bits), 3 + k a length of k + 1.
struct CLenSym {
  unsigned sym, extra, bits;
};
std::vector<CLenSym> clen_symbols(const std::vector<uint8_t>& len, unsigned n) {
  std::vector<CLenSym> out;
  for (unsigned i = 0; i < n;) {
    if (len[i]) {
      out.push_back({len[i] + 2u, 0, 0});
      ++i;
      continue;
    }
    unsigned run = 0;
    while (i + run < n && !len[i + run]) ++run;
    i += run;
    if (run <= 2) {
      for (unsigned k = 0; k < run; ++k) out.push_back({0, 0, 0});
    } else if (run <= 18) {
      out.push_back({1, run - 3, 4});
    } else if (run == 19) {
      out.push_back({0, 0, 0});
      out.push_back({1, 15, 4});
    } else {
      out.push_back({2, run - 20, kCBit});
    }
  }
  return out;
}

void put_block(BitWriter& w, const Token* t, size_t count, unsigned pbit) {
  std::vector<uint32_t> cfreq(kNC, 0), pfreq(1u << pbit, 0);
  for (size_t i = 0; i < count; ++i) {
    ++cfreq[t[i].c];
    if (t[i].c >= 256) ++pfreq[bit_length(t[i].pos)];
  }
  Code c = make_code(cfreq), p = make_code(pfreq);
  w.put(uint32_t(count), 16);
  if (c.single >= 0 || c.empty) {
    put_pt_table(w, Code{}, kTBit, 3);
    w.put(0, kCBit);
    w.put(c.single >= 0 ? unsigned(c.single) : 0, kCBit);
  } else {
    unsigned n = used_count(c.len);
    auto syms = clen_symbols(c.len, n);
    std::vector<uint32_t> tfreq(kNT, 0);
    for (const auto& s : syms) ++tfreq[s.sym];
    Code tc = make_code(tfreq);
    put_pt_table(w, tc, kTBit, 3);
    w.put(n, kCBit);
    for (const auto& s : syms) {
      put_symbol(w, tc, s.sym);
      if (s.bits) w.put(s.extra, s.bits);
    }
  }
  put_pt_table(w, p, pbit, -1);
  for (size_t i = 0; i < count; ++i) {
    put_symbol(w, c, t[i].c);
    if (t[i].c < 256) continue;
    unsigned ps = bit_length(t[i].pos);
    put_symbol(w, p, ps);
    if (ps > 1) w.put(t[i].pos - (1u << (ps - 1)), ps - 1);
  }
}

}  // namespace

Bytes efi_compress(const uint8_t* data, size_t n, unsigned pbit) {
  if (pbit != 4 && pbit != 5) throw std::invalid_argument("position-set width must be 4 or 5");
  if (n > 0xFFFFFFFFu) throw std::invalid_argument("input too large");
  std::vector<Token> tokens = tokenize(data, n);
  BitWriter w;
  for (size_t at = 0; at < tokens.size(); at += kBlockTokens)
    put_block(w, tokens.data() + at, std::min(kBlockTokens, tokens.size() - at), pbit);
  if (tokens.empty()) put_block(w, nullptr, 0, pbit);
  Bytes body = w.finish();
  Bytes out(8);
  put_le32(&out[0], uint32_t(body.size()));
  put_le32(&out[4], uint32_t(n));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace testkit
