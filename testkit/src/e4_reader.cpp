#include "testkit/e4_reader.h"

#include "testkit/e1e3_reader.h"

#include <algorithm>
#include <cstdio>

namespace testkit::e4 {
namespace {

bool inside(const Bytes& b, uint64_t off, uint64_t n) { return off <= b.size() && b.size() - off >= n; }

std::string dotted4(uint32_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  return buf;
}

// Types whose version is a 16-character text, and where it stands.
std::optional<size_t> text_offset(uint32_t t) {
  switch (t) {
    case type::TIM1: case type::TIM2: case type::MIM1: case type::MIM2: case type::OPT_MODULES:
    case type::RECOVERY:
      return 0;
    case type::LIM: case type::CCM:
      return 16;
    default:
      return std::nullopt;
  }
}

}  // namespace

const char* copy_state_name(CopyState s) {
  switch (s) {
    case CopyState::Valid: return "valid";
    case CopyState::Empty: return "empty";
    case CopyState::BadCount: return "bad count";
    case CopyState::BadCrc: return "bad CRC";
    case CopyState::OutOfNvram: return "outside the NVRAM";
  }
  return "?";
}

CopyState check_copy(const Bytes& nv, unsigned copy) {
  uint32_t at = dir_copy_offset(copy);
  if (!inside(nv, at, kDirCopySize)) return CopyState::OutOfNvram;
  uint32_t seq = get_le32(&nv[at]), count = get_le32(&nv[at + 4]);
  if (seq >= kSeqEmpty) return CopyState::Empty;
  if (count == 0 || count > kDirMaxCount) return CopyState::BadCount;
  uint32_t body = 12 + 20 * count;
  return get_le32(&nv[at + body]) == crc(&nv[at], body) ? CopyState::Valid : CopyState::BadCrc;
}

std::optional<Directory> read_copy(const Bytes& nv, unsigned copy) {
  if (check_copy(nv, copy) != CopyState::Valid) return std::nullopt;
  uint32_t at = dir_copy_offset(copy);
  Directory d;
  d.copy = copy;
  d.seq = get_le32(&nv[at]);
  uint32_t count = get_le32(&nv[at + 4]);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = &nv[at + 12 + 20 * i];
    d.entries.push_back({get_le32(p), get_le32(p + 4), get_le32(p + 8), get_le32(p + 12), get_le32(p + 16)});
  }
  return d;
}

std::optional<Directory> directory(const Bytes& nv) {
  auto c0 = read_copy(nv, 0), c1 = read_copy(nv, 1);
  if (c0 && c1) return int32_t(c0->seq) >= int32_t(c1->seq) ? c0 : c1;
  return c0 ? c0 : c1;
}

std::string swizzled_text(const uint8_t* p, size_t n, size_t at) {
  std::string s;
  for (size_t i = 0; i < 16 && at + (i | 3) < n; ++i) {
    char c = char(p[at + (i & ~size_t(3)) + 3 - (i & 3)]);
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

std::optional<uint32_t> image_word(const Bytes& nv, const Entry& image, uint32_t at) {
  if (uint64_t(at) + 4 > image.length || !inside(nv, uint64_t(image.offset) + at, 4)) return std::nullopt;
  return get_le32(&nv[image.offset + at]);
}

std::string version_text(uint32_t t, const Bytes& nv, uint32_t offset, uint32_t length) {
  if (!inside(nv, offset, length)) return "";
  Entry im{t, offset, length, 0, 0};
  auto word = [&](uint32_t at) { return image_word(nv, im, at); };
  if (auto at = text_offset(t)) return swizzled_text(&nv[offset], length, *at);
  char buf[48];
  switch (t) {
    case type::MBA: {
      std::string s;
      Bytes rom(nv.begin() + offset, nv.begin() + offset + length);
      for (const auto& [slot, r] : e1e3::mba_slots(rom)) {
        std::snprintf(buf, sizeof buf, " %u.%u.%u;", (r >> 12) & 0xF, (r >> 8) & 0xF, r & 0xFF);
        s += slot + buf;
      }
      return s;
    }
    case type::INIT_HW: {
      auto x = word(0);
      if (!x || uint64_t(*x) + 8 > length) return "";
      return dotted4(get_be32(&nv[offset + *x + 4]));
    }
    case type::ISCSI_CFG: case type::FCOE_CFG: {
      auto w = word(0);
      if (!w) return "";
      std::snprintf(buf, sizeof buf, "%s %u.%u", type_name(t).c_str(), (*w >> 8) & 0xFF, *w & 0xFF);
      return buf;
    }
    case type::ETH_PHY_FW1: case type::ETH_PHY_FW2:
      return length >= 4 ? dotted4(get_be32(&nv[offset])) : "";
    case type::NVM_CFG1: case type::DEFAULT_CFG: {
      auto w = word(124);
      if (!w) return "";
      std::snprintf(buf, sizeof buf, "%u.%u.%u", (*w >> 16) & 0xFF, (*w >> 8) & 0xFF, *w & 0xFF);
      return buf;
    }
    default:
      return "";
  }
}

std::vector<ImageVersion> list_images(const Bytes& nv) {
  std::vector<ImageVersion> out;
  auto d = directory(nv);
  if (!d) return out;
  for (const Entry& e : d->entries) out.push_back({type_name(e.type), e, version_text(e.type, nv, e.offset, e.length)});
  return out;
}

std::optional<ImageVersion> find_image(const Bytes& nv, uint32_t t) {
  for (auto& im : list_images(nv))
    if (im.entry.type == t) return im;
  return std::nullopt;
}

std::string Report::text() const {
  std::string s;
  for (const auto& e : errors) s += e + "\n";
  return s;
}

Report verify(const Bytes& nv) {
  Report r;
  char buf[160];
  auto err = [&](const char* fmt, auto... a) {
    std::snprintf(buf, sizeof buf, fmt, a...);
    r.errors.emplace_back(buf);
  };
  auto d = directory(nv);
  if (!d) {
    err("no valid directory copy (copy 0 %s, copy 1 %s)", copy_state_name(check_copy(nv, 0)),
        copy_state_name(check_copy(nv, 1)));
    return r;
  }
  std::vector<const Entry*> placed;
  for (size_t i = 0; i < d->entries.size(); ++i) {
    const Entry& e = d->entries[i];
    std::string name = type_name(e.type);
    const char* n = name.c_str();
    if (name.empty()) {
      err("entry %zu: unknown type %u", i, e.type);
      continue;
    }
    if (e.offset % 4 || e.length % 4 || e.length < 4) {
      err("%s: offset 0x%X or length 0x%X not a multiple of 4", n, e.offset, e.length);
      continue;
    }
    if (!inside(nv, e.offset, e.length)) {
      err("%s: 0x%X+0x%X outside the NVRAM", n, e.offset, e.length);
      continue;
    }
    if (e.type == type::DIR1 || e.type == type::DIR2) {
      if (e.offset != dir_copy_offset(e.type == type::DIR1 ? 0 : 1)) err("%s: offset 0x%X", n, e.offset);
      continue;
    }
    if (e.offset < kFirstImage) err("%s: offset 0x%X below 0x4000", n, e.offset);
    for (const Entry* o : placed) {
      if (o->type == e.type) err("%s: listed twice", n);
      else if (e.offset < o->offset + o->length && o->offset < e.offset + e.length)
        err("%s overlaps %s", n, type_name(o->type).c_str());
    }
    placed.push_back(&e);
    if (e.type == type::CRASH_DUMP) continue;
    uint32_t body = e.length - 4;
    uint32_t stored = get_le32(&nv[e.offset + body]), want = crc(&nv[e.offset], body);
    if (stored != want) err("%s: CRC 0x%08X, computed 0x%08X", n, stored, want);
  }
  return r;
}

}  // namespace testkit::e4
