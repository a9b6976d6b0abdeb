#include "testkit/e4_rom.h"

#include "testkit/efi_compress.h"

#include <cstring>
#include <stdexcept>
#include <vector>

namespace testkit::e4 {
namespace {

constexpr size_t kPcir = 0x1C;
constexpr size_t kEfiPayload = 0x40;

struct RomPart {
  uint8_t code_type;
  uint16_t revision;
  uint16_t clp_entry = 0;
  std::optional<EfiDriver> efi;
};

// The PCI data structure of an image of `units` 512-byte units.
void put_pcir(uint8_t* d, const RomDef& s, const RomPart& part, uint16_t units, bool last) {
  std::memcpy(d, "PCIR", 4);
  put_le16(d + 4, s.vendor);
  put_le16(d + 6, s.device);
  put_le16(d + 8, 0);
  put_le16(d + 10, 0x1C);
  d[12] = 3;  // PCI 3.0 data structure
  d[13] = 0x00;
  d[14] = 0x00;
  d[15] = 0x02;  // network controller
  put_le16(d + 16, units);
  put_le16(d + 18, part.revision);
  d[20] = part.code_type;
  d[21] = last ? 0x80 : 0x00;
  put_le16(d + 22, 0);
  put_le16(d + 24, 0);
  put_le16(d + 26, part.clp_entry);
}

Bytes rom_image(const RomDef& s, const RomPart& part, bool last, uint32_t seed) {
  Bytes payload;
  if (part.efi) {
    Bytes pe = pe32plus(part.efi->machine, part.efi->major, part.efi->minor);
    payload = part.efi->compressed ? efi_compress(pe) : pe;
  }
  size_t need = part.efi ? kEfiPayload + payload.size() : 0x400;
  uint16_t units = uint16_t((need + 511) / 512);
  Bytes b(size_t(units) * 512);
  fill_pattern(b.data(), b.size(), seed);
  put_le16(&b[0], 0xAA55);
  b[2] = uint8_t(units);
  if (part.efi) {
    put_le32(&b[4], 0x0EF1);
    put_le16(&b[8], 0x0B);  // boot-service driver
    put_le16(&b[0x0A], part.efi->machine);
    put_le16(&b[0x0C], part.efi->compressed ? 1 : 0);
    std::memset(&b[0x0E], 0, 8);
    put_le16(&b[0x16], uint16_t(kEfiPayload));
    std::memset(&b[kPcir + 0x1C], 0, kEfiPayload - kPcir - 0x1C);
    std::copy(payload.begin(), payload.end(), b.begin() + kEfiPayload);
  }
  put_le16(&b[0x18], uint16_t(kPcir));
  put_pcir(&b[kPcir], s, part, units, last);
  if (part.code_type == 0) {  // legacy images sum to 0
    b[7] = 0;
    unsigned sum = 0;
    for (uint8_t x : b) sum += x;
    b[7] = uint8_t(-sum);
  }
  return b;
}

}  // namespace

RomDef mba_stock(std::string_view version) {
  auto v = parse_version(version);
  if (v.size() != 3 || v[0] > 15 || v[1] > 15 || v[2] > 255) throw std::invalid_argument("MBA version is a.b.c");
  RomDef s;
  s.legacy_revision = uint16_t(v[0] << 12 | v[1] << 8 | v[2]);
  s.efi = EfiDriver{.machine = 0x8664, .major = uint16_t(v[1]), .minor = uint16_t(v[2]), .compressed = true,
                    .code_revision = s.legacy_revision};
  return s;
}

Bytes mba_rom(const RomDef& s) {
  std::vector<RomPart> parts;
  if (s.legacy_revision) parts.push_back({0, s.legacy_revision, 0, std::nullopt});
  if (s.clp_revision) parts.push_back({0, *s.clp_revision, 0x0100, std::nullopt});
  if (s.fcode_revision) parts.push_back({1, *s.fcode_revision, 0, std::nullopt});
  if (s.efi) parts.push_back({3, s.efi->code_revision, 0, s.efi});
  if (parts.empty()) throw std::invalid_argument("a ROM chain needs an image");
  Bytes out;
  for (size_t i = 0; i < parts.size(); ++i) {
    Bytes one = rom_image(s, parts[i], i + 1 == parts.size(), 0xE4A00000 + uint32_t(i));
    out.insert(out.end(), one.begin(), one.end());
  }
  return out;
}

Bytes pe32plus(uint16_t machine, uint16_t major, uint16_t minor, size_t size) {
  constexpr size_t kPe = 0x40, kOpt = kPe + 24, kOptSize = 240;
  if (size < kOpt + kOptSize) throw std::invalid_argument("PE file too small for its headers");
  Bytes b(size);
  fill_pattern(b.data(), b.size(), 0x50450000u | major);
  std::memset(b.data(), 0, kOpt + kOptSize);
  b[0] = 'M';
  b[1] = 'Z';
  put_le32(&b[0x3C], uint32_t(kPe));
  std::memcpy(&b[kPe], "PE\0\0", 4);
  put_le16(&b[kPe + 4], machine);
  put_le16(&b[kPe + 6], 0);                 // sections
  put_le16(&b[kPe + 20], uint16_t(kOptSize));
  put_le16(&b[kPe + 22], 0x22);             // executable, large-address aware
  put_le16(&b[kOpt], 0x20B);                // PE32+
  put_le32(&b[kOpt + 56], uint32_t(size));  // size of image
  put_le32(&b[kOpt + 60], uint32_t(kOpt + kOptSize));  // size of headers
  put_le16(&b[kOpt + 44], major);
  put_le16(&b[kOpt + 46], minor);
  put_le16(&b[kOpt + 68], 11);              // EFI boot-service driver
  return b;
}

}  // namespace testkit::e4
