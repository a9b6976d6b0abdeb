#include "testkit/e4_reader.h"

#include "testkit/e4_rom_reader.h"

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
  // Candidates: a copy not marked empty whose count is below 150. The one with the greater seq
  // (signed; copy 0 on a tie) is tried first; the first whose CRC holds is taken. A copy taken
  // with a count of 0 cannot be read, and then there is no directory.
  struct Head {
    bool candidate = false;
    uint32_t seq = 0, count = 0;
  } h[2];
  for (unsigned c = 0; c < 2; ++c) {
    uint32_t at = dir_copy_offset(c);
    if (!inside(nv, at, 32)) continue;
    h[c].seq = get_le32(&nv[at]);
    h[c].count = get_le32(&nv[at + 4]);
    h[c].candidate = h[c].seq < kSeqEmpty && h[c].count <= kDirMaxCount;
  }
  unsigned first = int32_t(h[0].seq) >= int32_t(h[1].seq) ? 0 : 1;
  for (unsigned c : {first, 1 - first}) {
    if (!h[c].candidate) continue;
    uint32_t at = dir_copy_offset(c), body = 12 + 20 * h[c].count;
    if (!inside(nv, at, body + 4) || get_le32(&nv[at + body]) != crc(&nv[at], body)) continue;
    return read_copy(nv, c);
  }
  return std::nullopt;
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

std::string version_text(uint32_t t, const Bytes& nv, uint32_t offset, uint32_t length, uint32_t uefi_override) {
  if (!inside(nv, offset, length)) return "";
  Entry im{t, offset, length, 0, 0};
  auto word = [&](uint32_t at) { return image_word(nv, im, at); };
  if (auto at = text_offset(t)) return swizzled_text(&nv[offset], length, *at);
  char buf[48];
  switch (t) {
    case type::MBA:
      return rom_version_text(read_rom(&nv[offset], length >= 4 ? length - 4 : 0, uefi_override));
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
  uint32_t uefi = 0;
  for (const Entry& e : d->entries)
    if (e.type == type::NVM_CFG1) {
      uefi = image_word(nv, e, kUefiVersionByte).value_or(0);
      break;
    }
  for (const Entry& e : d->entries)
    out.push_back({type_name(e.type), e, version_text(e.type, nv, e.offset, e.length, uefi)});
  return out;
}

std::optional<ImageVersion> find_image(const Bytes& nv, uint32_t t) {
  for (auto& im : list_images(nv))
    if (im.entry.type == t) return im;
  return std::nullopt;
}

}  // namespace testkit::e4
