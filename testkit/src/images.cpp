#include "testkit/images.h"

#include "testkit/vpd.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testkit {
namespace {

uint32_t seed_of(std::string_view s) {
  uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ uint8_t(c)) * 16777619u;
  return h;
}

uint32_t packed(const std::vector<unsigned>& v) {
  return (v[0] & 0xFF) << 24 | (v[1] & 0xFF) << 16 | (v[2] & 0xFF) << 8 | (v.size() > 3 ? v[3] & 0xFF : 0);
}

// "a.b.c" or "a.b.c.d".
std::string dotted(const std::vector<unsigned>& v) {
  char b[48];
  if (v.size() > 3) std::snprintf(b, sizeof b, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
  else std::snprintf(b, sizeof b, "%u.%u.%u", v[0], v[1], v[2]);
  return b;
}

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

uint32_t tag_of(std::string_view b) {
  if (b.size() != 4) throw std::invalid_argument("a tag has four bytes");
  return get_le32(reinterpret_cast<const uint8_t*>(b.data()));
}

Bytes text_image(std::string_view text, size_t size, uint32_t seed) {
  if (size < 32 || size % 4) throw std::invalid_argument("text image size must be a multiple of 4, at least 32");
  if (text.size() > 16) throw std::invalid_argument("version text longer than 16 characters");
  Bytes b(size);
  fill_pattern(b.data(), b.size(), seed);
  put_nvram_text(b, 16, text, 16);
  return b;
}

uint16_t mba_code_revision(const std::vector<unsigned>& v) {
  if (v[0] > 15 || v[1] > 15 || v[2] > 255) throw std::invalid_argument("boot-agent version out of range");
  return uint16_t(v[0] << 12 | v[1] << 8 | v[2]);
}

MbaDef mba_stock(uint16_t device, std::string_view version) {
  uint16_t rev = mba_code_revision(parse_version(version));
  MbaDef s;
  RomImage legacy;
  legacy.device = device;
  legacy.code_revision = rev;
  legacy.units = 4;
  RomImage efi = legacy;
  efi.code_type = 3;
  efi.units = 2;
  s.images = {legacy, efi};
  return s;
}

Bytes mba_rom(const MbaDef& rom) {
  if (rom.images.empty()) throw std::invalid_argument("a ROM chain needs an image");
  Bytes out;
  for (size_t i = 0; i < rom.images.size(); ++i) {
    const RomImage& r = rom.images[i];
    size_t len = size_t(r.units) * 512;
    if (len < 0x80) throw std::invalid_argument("ROM image too short");
    size_t base = out.size();
    out.resize(base + len);
    uint8_t* p = &out[base];
    fill_pattern(p, len, uint32_t(0x4D424100 + i));
    const uint16_t pcir = 0x1C;
    p[0] = 0x55;
    p[1] = 0xAA;
    p[2] = uint8_t(r.units);
    if (r.code_type == 3) {
      put_le16(p + 8, 0x0EF1);  // EFI signature word in the ROM header
      put_le16(p + 10, r.efi_machine);
    } else if (i == 0) {
      put_le16(p + 8, rom.descriptor_offset);
    }
    put_le16(p + 0x18, pcir);
    uint8_t* d = p + pcir;
    std::memcpy(d, "PCIR", 4);
    put_le16(d + 4, r.vendor);
    put_le16(d + 6, r.device);
    put_le16(d + 8, 0);
    put_le16(d + 10, r.pcir_revision >= 3 ? 0x1C : 0x18);
    d[12] = r.pcir_revision;
    d[13] = 0x00;
    d[14] = 0x00;
    d[15] = 0x02;  // network controller
    put_le16(d + 16, r.units);
    put_le16(d + 18, r.code_revision);
    d[20] = r.code_type;
    d[21] = i + 1 == rom.images.size() ? 0x80 : 0x00;
    put_le16(d + 22, 0);
    put_le16(d + 24, 0);
    put_le16(d + 26, r.clp_entry);
    if (i == 0 && r.code_type != 3) {
      if (rom.descriptor_offset < 0x3C || rom.descriptor_offset + 36u > len)
        throw std::invalid_argument("descriptor outside the first ROM image");
      uint8_t* desc = p + rom.descriptor_offset;
      desc[0] = rom.family_bits;
      desc[1] = rom.restrict_flag;
      put_le16(desc + 32, 0);
      put_be16(desc + 34, 0);
    }
    if (r.code_type == 0) {
      p[7] = 0;
      unsigned sum = 0;
      for (size_t k = 0; k < len; ++k) sum += p[k];
      p[7] = uint8_t(-sum);
    }
  }
  return out;
}

Bytes stock_image(std::string_view kind, std::string_view version, size_t size, uint16_t device) {
  const e1e3::ImageKind* k = e1e3::kind_by_name(kind);
  if (!k) throw std::invalid_argument("unknown image kind: " + std::string(kind));
  std::vector<unsigned> v = version.empty() ? std::vector<unsigned>{1, 0, 0} : parse_version(version);
  const std::string dots = dotted(v);
  uint32_t seed = seed_of(kind) ^ packed(v);
  auto sized = [&](size_t usual) {
    size_t n = size ? size : usual;
    if (n % 4 || n < 32) throw std::invalid_argument("image size must be a multiple of 4, at least 32");
    Bytes b(n);
    fill_pattern(b.data(), n, seed);
    return b;
  };
  auto word = [](Bytes& b, size_t off, uint32_t val) { set_le32(b, off, val); };

  if (kind == "MBA") {
    if (size) throw std::invalid_argument("the MBA size follows its ROM chain");
    return mba_rom(mba_stock(device, version.empty() ? "1.0.0" : version));
  }
  if (starts_with(kind, "L2")) {
    Bytes b = sized(0x400);
    b[0] = uint8_t(v[0]);
    b[1] = uint8_t(v[1]);
    set_le16(b, 2, uint16_t(v[2]));
    b[4] &= 0xFE;
    return b;
  }
  if (starts_with(kind, "I_B_CFG")) {
    Bytes b = sized(v[0] >= 2 ? 2044 : 1020);
    std::fill(b.begin(), b.end(), 0);
    word(b, 0, (v[0] >= 2 ? 0x02006269u : 0x01006269u));
    return b;
  }
  if (starts_with(kind, "FEB_C")) {
    Bytes b = sized(0x400);
    word(b, 0, (v[0] & 0xFF) << 24 | (v[1] & 0xFF) << 16);
    return b;
  }
  if (kind == "NIC_PRTION" || kind == "NIV") {
    Bytes b(size ? size : (kind == "NIV" ? 1124 : 508), 0);
    if (b.size() % 4 || b.size() < 8) throw std::invalid_argument("image size must be a multiple of 4");
    word(b, 0, v[0]);
    return b;
  }
  if (kind == "NIVPROFILES") return Bytes(size ? size : 10240, 0);
  if (kind == "CFG_SHARED" || kind == "BOOT_CFG_SHADOW") return Bytes(size ? size : (kind == "CFG_SHARED" ? 256 : 12288), 0);
  if (kind == "MODULES_PN" || kind == "HW_SET") {
    Bytes b = sized(0x200);
    word(b, 0, v[0]);
    return b;
  }
  if (kind == "VPD") {
    VpdFields f;
    return vpd_directory_image(f, size ? uint32_t(size - 4) : 128, v[0]);
  }
  if (kind == "CCM") {
    Bytes b = sized(0x400);
    word(b, 16, v[0]);
    word(b, 20, v[1]);
    word(b, 24, v[2]);
    return b;
  }
  if (kind == "MDUMP" || kind == "OCNVM") {
    Bytes b = sized(0x400);
    word(b, 4, packed(v));
    return b;
  }
  if (kind == "BDN" || starts_with(kind, "E3_")) return sized(0x400);

  // Kinds whose version is the text at byte 16.
  std::string text;
  size_t usual = 0x800;
  if (kind == "NCSI_CMN") text = "NCSIc " + dots;
  else if (kind == "NCSI_ELIB") text = "NCSIe " + dots;
  else if (kind == "ISCSI_B" || kind == "I_B_CPRG" || kind == "FCOE_B") text = "v" + dots;
  else text = std::string(kind) + " " + dots;
  if (starts_with(kind, "MFW")) usual = 0x2000;
  if (kind == "BC1" || kind == "BC2") usual = 0x1000;
  Bytes b = sized(usual);
  put_nvram_text(b, 16, text, 16);
  if (k->name.substr(0, 4) == "SWIM") word(b, 32, packed(v));
  return b;
}

WrappedRecord stock_record(std::string_view kind, std::string_view version, size_t size) {
  const e1e3::ImageKind* k = e1e3::kind_by_name(kind);
  if (!k) throw std::invalid_argument("unknown image kind: " + std::string(kind));
  WrappedRecord r;
  r.tag = k->tag;
  r.data = stock_image(kind, version, size);
  return r;
}

Bytes wrapped_file(const std::vector<WrappedRecord>& records) {
  Bytes out;
  for (const WrappedRecord& r : records) {
    Bytes data = r.data;
    pad4(data);
    size_t h = out.size();
    out.resize(h + 20);
    put_le32(&out[h], r.magic);
    put_le32(&out[h + 4], r.version);
    put_le32(&out[h + 8], r.tag);
    put_le32(&out[h + 12], r.compat);
    put_le32(&out[h + 16], r.length ? *r.length : uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  return out;
}

Bytes ncsi_bundle(std::string_view version, bool with_elib, bool with_xlib, uint32_t chip_mask) {
  std::vector<unsigned> v = parse_version(version);
  const std::string dots = dotted({v[0], v[1], v[2]});
  std::vector<WrappedRecord> recs;
  auto add = [&](const char* tag, const char* prefix, uint32_t seed) {
    WrappedRecord r;
    r.tag = tag_of(tag);
    r.compat = chip_mask;
    r.data = text_image(std::string(prefix) + " " + dots, 0x800, seed ^ packed(v));
    recs.push_back(std::move(r));
  };
  add("nccm", "NCSIc", 1);
  if (with_elib) add("ncle", "NCSIe", 2);
  if (with_xlib) add("nclx", "NCSIx", 3);
  Bytes f = wrapped_file(recs);
  put_nvram_text(f, 124, "NCSI " + dots, 12);
  set_le32(f, v[0] >= 6 ? 140 : 136, packed(v));
  return f;
}

}  // namespace testkit
