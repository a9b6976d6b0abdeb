#include "testkit/e4_rom_reader.h"

#include "testkit/efi_expand.h"

#include <cstdio>
#include <cstring>

namespace testkit::e4 {
namespace {

constexpr const char* kSlots[8] = {"legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
                                   "EFI x86",    "EFI IPF",       "EFI EBC",   "EFI x64"};
constexpr unsigned kMaxImages = 8;
constexpr uint32_t kEfiSignature = 0x0EF1;

bool inside(size_t n, uint64_t at, uint64_t len) { return at <= n && n - at >= len; }

std::string at_text(const char* fmt, unsigned a, uint64_t b) {
  char buf[96];
  std::snprintf(buf, sizeof buf, fmt, a, (unsigned long long)b);
  return buf;
}

// The image version of a PE file: MajorImageVersion << 16 | MinorImageVersion.
std::optional<uint32_t> pe_version(const Bytes& pe, std::string* why) {
  auto fail = [&](const char* w) {
    *why = w;
    return std::nullopt;
  };
  if (pe.size() < 0x40 || get_le16(&pe[0]) != 0x5A4D) return fail("no MZ header");
  uint32_t nt = get_le32(&pe[0x3C]);
  if (!inside(pe.size(), nt, 24 + 48)) return fail("PE header outside the driver");
  if (get_le32(&pe[nt]) != 0x00004550) return fail("no PE signature");
  const uint8_t* opt = &pe[nt + 24];
  uint16_t magic = get_le16(opt);
  if (magic != 0x10B && magic != 0x20B) return fail("optional header magic is neither 0x10B nor 0x20B");
  return uint32_t(get_le16(opt + 44)) << 16 | get_le16(opt + 46);
}

}  // namespace

std::string component_version(uint32_t v) {
  char buf[48];
  if (v < 0x10000)
    std::snprintf(buf, sizeof buf, "%u.%u.%u", (v & 0xFF000) >> 12, (v & 0xF00) >> 8, v & 0xFF);
  else
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (v & 0xF0000) >> 16, (v & 0xF000) >> 12, (v & 0xF00) >> 8,
                  v & 0xFF);
  return buf;
}

std::optional<uint32_t> efi_driver_version(const uint8_t* p, size_t n, size_t at, size_t len, std::string* why) {
  std::string local;
  if (!why) why = &local;
  if (!inside(n, at, len) || len < 0x1A) {
    *why = "EFI image outside the ROM";
    return std::nullopt;
  }
  if (get_le16(p + at) != 0xAA55 || get_le32(p + at + 4) != kEfiSignature) {
    *why = "no EFI image signature";
    return std::nullopt;
  }
  uint16_t compression = get_le16(p + at + 0x0C);
  uint16_t offset = get_le16(p + at + 0x16);
  if (offset >= len) {
    *why = "EFI driver offset outside its ROM image";
    return std::nullopt;
  }
  Bytes stored(p + at + offset, p + at + len);
  Bytes pe;
  if (compression) {
    auto out = efi_expand(stored, 4);
    if (!out) {
      *why = "EFI driver does not decompress";
      return std::nullopt;
    }
    pe = std::move(*out);
  } else {
    pe = std::move(stored);
  }
  std::string w;
  auto v = pe_version(pe, &w);
  if (!v) *why = "EFI driver: " + w;
  return v;
}

RomReading read_rom(const uint8_t* p, size_t n, uint32_t uefi_override) {
  RomReading r;
  uint32_t v[8] = {};
  size_t at = 0;
  bool last = false;
  for (unsigned i = 0; i < kMaxImages && !last; ++i) {
    if (!inside(n, at, 0x1A)) {
      r.errors.push_back(at_text("ROM image %u at 0x%llX: outside the MBA image", i, at));
      break;
    }
    if (get_le16(p + at) != 0xAA55) {
      r.errors.push_back(at_text("ROM image %u at 0x%llX: no 0xAA55 signature", i, at));
      break;
    }
    size_t d = at + p[at + 0x18];  // the low byte of the word at 0x18
    if (!inside(n, d, 0x1C) || std::memcmp(p + d, "PCIR", 4) != 0) {
      r.errors.push_back(at_text("ROM image %u at 0x%llX: no PCI data structure", i, at));
      break;
    }
    uint8_t code = p[d + 0x14], revision = p[d + 0x0C];
    uint16_t units = get_le16(p + d + 0x10), code_revision = get_le16(p + d + 0x12);
    last = p[d + 0x15] & 0x80;
    size_t len = size_t(units) * 512;
    if (units == 0 || !inside(n, at, len)) {
      r.errors.push_back(at_text("ROM image %u at 0x%llX: length runs past the MBA image", i, at));
      break;
    }
    if (code == 0) {
      // An x86 image's bytes, over the size its header gives in 512-byte units, sum to 0.
      size_t sized = size_t(p[at + 2]) * 512;
      unsigned sum = 0;
      for (size_t k = 0; k < sized && at + k < n; ++k) sum += p[at + k];
      if (sized == 0 || !inside(n, at, sized) || sum % 256)
        r.errors.push_back(at_text("ROM image %u at 0x%llX: x86 image bytes do not sum to 0", i, at));
      if (revision == 0) v[0] = code_revision;
      else if (revision == 3) v[get_le16(p + d + 0x1A) ? 1 : 2] = code_revision;
      else r.errors.push_back(at_text("ROM image %u at 0x%llX: invalid MBA type", i, at));
    } else if (code == 1) {
      v[3] = code_revision;
    } else if (code == 3) {
      for (unsigned s = 4; s < 8; ++s) v[s] = 0;
      std::string why;
      auto own = efi_driver_version(p, n, at, len, &why);
      if (!own) r.errors.push_back(at_text("ROM image %u at 0x%llX: ", i, at) + why);
      uint32_t version = uefi_override ? uefi_override : own.value_or(0);
      if (version == 0) version = code_revision;
      int slot = -1;
      switch (get_le16(p + at + 0x0A)) {
        case 0x14C: slot = 4; break;
        case 0x200: slot = 5; break;
        case 0xEBC: slot = 6; break;
        case 0x8664: slot = 7; break;
        default: r.errors.push_back(at_text("ROM image %u at 0x%llX: invalid EFI type", i, at)); break;
      }
      if (slot >= 0) v[slot] = version;
    }
    at += len;
  }
  if (!last && r.errors.empty()) r.errors.push_back("no last ROM image within 8 images");
  for (unsigned s = 0; s < 8; ++s)
    if (v[s]) r.components.push_back({s, kSlots[s], v[s]});
  return r;
}

std::string rom_version_text(const RomReading& r) {
  std::string s;
  for (const RomComponent& c : r.components) {
    if (!s.empty()) s += ";";
    s += c.name + " " + component_version(c.version);
  }
  return s;
}

}  // namespace testkit::e4
