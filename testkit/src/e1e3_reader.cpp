#include "testkit/e1e3_reader.h"

#include <cstdio>

namespace testkit::e1e3 {
namespace {

using namespace layout;

bool inside(const Bytes& nv, uint64_t off, uint64_t len) { return off + len <= nv.size(); }

std::string fmt(const char* f, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, a, b, c, d);
  return buf;
}

bool one_of(const std::string& n, std::initializer_list<const char*> names) {
  for (const char* x : names)
    if (n == x) return true;
  return false;
}

}  // namespace

std::vector<std::pair<std::string, uint16_t>> mba_slots(const Bytes& rom) {
  static const char* const kSlots[8] = {"legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
                                        "EFI x86",    "EFI IPF",       "EFI EBC",   "EFI x64"};
  uint16_t rev[8] = {};
  size_t at = 0;
  for (int n = 0; n < 8; ++n) {
    if (!inside(rom, at, 0x1A) || get_le16(&rom[at]) != 0xAA55) break;
    size_t d = at + get_le16(&rom[at + 0x18]);
    if (!inside(rom, d, 28)) break;
    uint8_t code = rom[d + 20], pcir_rev = rom[d + 12];
    uint16_t units = get_le16(&rom[d + 16]), crev = get_le16(&rom[d + 18]);
    int slot = -1;
    if (code == 0) {
      if (pcir_rev == 0) slot = 0;
      else if (pcir_rev == 3) slot = get_le16(&rom[d + 26]) ? 1 : 2;
    } else if (code == 1) {
      slot = 3;
    } else if (code == 3) {
      switch (get_le16(&rom[at + 10])) {
        case 0x14C: slot = 4; break;
        case 0x200: slot = 5; break;
        case 0xEBC: slot = 6; break;
        case 0x8664: slot = 7; break;
        default: break;
      }
    }
    if (slot >= 0) rev[slot] = crev;
    if (rom[d + 21] & 0x80 || units == 0) break;
    at += size_t(units) * 512;
  }
  std::vector<std::pair<std::string, uint16_t>> out;
  for (int s = 0; s < 8; ++s)
    if (rev[s]) out.emplace_back(kSlots[s], rev[s]);
  return out;
}

std::string version_text(const std::string& n, const Bytes& nv, uint32_t offset, uint32_t length) {
  length &= ~3u;
  if (offset % 4 || !inside(nv, offset, length)) return "";
  auto word = [&](uint32_t i) -> std::optional<uint32_t> {
    if (4 * (i + 1) > length) return std::nullopt;
    return be32_at(nv, offset + 4 * i);
  };
  if (n == "MBA") {
    std::string s;
    for (const auto& [slot, r] : mba_slots(get_host_view(nv, offset, length))) {
      if (slot == "FCODE") s += slot + fmt(" %04x;", uint16_t(r << 8 | r >> 8));
      else s += slot + fmt(" %u.%u.%u;", (r >> 12) & 0xFF, (r >> 8) & 0xF, r & 0xFF);
    }
    return s;
  }
  if (n.rfind("I_B_CFG", 0) == 0 || n.rfind("FEB_C", 0) == 0) {
    auto w = word(0);
    return w ? fmt("v%u.%u", *w >> 24, (*w >> 16) & 0xFF) : "";
  }
  if (one_of(n, {"NIC_PRTION", "NIV"})) {
    auto w = word(0);
    return w ? fmt("Rev%u", *w & 0xFF) : "";
  }
  if (one_of(n, {"NIVPROFILES", "BOOT_CFG_SHADOW", "BDN", "E3_WC", "E3_PCIE", "E3_WC_V2", "E3_PCIE_V2",
                 "CFG_SHARED"}))
    return "N/A";
  if (n == "MDUMP") {
    auto w = word(1);
    return w ? fmt("v%u.%u.%u.%u", *w >> 24, (*w >> 16) & 0xFF, (*w >> 8) & 0xFF, *w & 0xFF) : "";
  }
  if (n.rfind("L2", 0) == 0) {
    if (length < 8) return "";
    Bytes h = get_host_view(nv, offset, 8);
    return n + fmt(" %u.%u.%u", h[0], h[1], get_le16(&h[2])) + (h[4] & 1 ? " opt" : "");
  }
  if (one_of(n, {"MODULES_PN", "HW_SET"})) {
    auto w = word(0);
    return w ? fmt("Rev %u", *w) : "";
  }
  if (n == "VPD") {
    auto w = word(0);
    return w ? fmt("VPD %u", *w) : "";
  }
  if (n == "OCNVM") {
    auto w = word(1);
    return w ? fmt("OCNVM %u.%u.%u", *w >> 24, (*w >> 16) & 0xFF, (*w >> 8) & 0xFF) : "";
  }
  if (n == "CCM") {
    auto a = word(4), b = word(5), c = word(6);
    return a && b && c ? fmt("v%u.%u.%u", *a, *b, *c) : "";
  }
  if (length < 32) return "";
  std::string s;
  for (uint32_t i = 0; i < 16; ++i) {
    char c = char(nv[offset + 16 + i]);
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

std::vector<ImageVersion> list_images(const Bytes& nv) {
  std::vector<ImageVersion> out;
  if (nv.size() < 0x100) return out;
  auto add = [&](uint32_t type, Home home, int index, uint32_t off, uint32_t len) {
    const ImageKind* k = kind_by_type(type);
    std::string name = k ? std::string(k->name) : "?";
    out.push_back({name, type, home, index, off, len, k ? version_text(name, nv, off, len) : ""});
  };

  // Extended directory first, so that a bootstrap naming MFW1 is recognised.
  std::vector<ImageVersion> ext;
  uint32_t f15 = be32_at(nv, dir_entry(15) + 4), o15 = be32_at(nv, dir_entry(15) + 8);
  if ((f15 & kTypeMask) == kExtDirType && (f15 & kLenMask) != 0 && inside(nv, o15, kExtDirLen)) {
    uint32_t count = be32_at(nv, o15);
    if (count <= kExtDirMax) {
      std::swap(out, ext);
      for (uint32_t k = 0; k < count; ++k) {
        uint32_t p = o15 + 8 + 12 * k;
        uint32_t flags = be32_at(nv, p + 4);
        add(flags & kTypeMask, Home::Extended, int(k), be32_at(nv, p + 8), flags & kLenMask);
      }
      std::swap(out, ext);
    }
  }

  if (be32_at(nv, 0) == kBootstrapMagic) {
    uint32_t count = be32_at(nv, 8), off = be32_at(nv, 12);
    bool is_mfw1 = false;
    for (const auto& e : ext)
      if (e.dir_type == 0x20000003 && e.offset == off) is_mfw1 = true;
    if (count != 0 && count <= nv.size() / 4 && !is_mfw1) add(kBc1Type, Home::Bootstrap, -1, off, count * 4);
  }
  for (unsigned i = 0; i < kDirEntries; ++i) {
    uint32_t flags = be32_at(nv, dir_entry(i) + 4);
    if ((flags & kLenMask) == 0) continue;
    if (i == 15 && (flags & kTypeMask) == kExtDirType) continue;
    add(flags & kTypeMask, Home::Main, int(i), be32_at(nv, dir_entry(i) + 8), flags & kLenMask);
  }
  out.insert(out.end(), ext.begin(), ext.end());
  return out;
}

std::optional<uint32_t> image_word(const Bytes& nv, const ImageVersion& im, uint32_t at) {
  if (at % 4 || uint64_t(at) + 4 > im.length || (im.offset + at) % 4 || !inside(nv, uint64_t(im.offset) + at, 4))
    return std::nullopt;
  return be32_at(nv, im.offset + at);
}

namespace {

std::optional<uint32_t> block_word(const Bytes& nv, Chip chip, unsigned path, uint32_t block, uint32_t block_len,
                                   uint32_t at) {
  if (path >= paths(chip) || at % 4 || uint64_t(at) + 4 > block_len - 4 || !inside(nv, uint64_t(block) + at, 4))
    return std::nullopt;
  return be32_at(nv, block + at);
}

}  // namespace

std::optional<uint32_t> config_word(const Bytes& nv, Chip chip, unsigned path, uint32_t at) {
  return block_word(nv, chip, path, cfg(path), kCfgLen, at);
}

std::optional<uint32_t> feature_word(const Bytes& nv, Chip chip, unsigned path, uint32_t at) {
  return block_word(nv, chip, path, feat(path), kFeatLen, at);
}

bool directory_valid(const Bytes& nv) { return region_crc_ok(nv, kDir, kDirRegionLen); }

std::optional<ImageVersion> find_image(const Bytes& nvram, const std::string& name) {
  for (auto& im : list_images(nvram))
    if (im.name == name) return im;
  return std::nullopt;
}

}  // namespace testkit::e1e3
