#include "testkit/e1e3_nvram.h"

#include <stdexcept>

namespace testkit::e1e3 {
namespace {

using namespace layout;

void put_mac(Bytes& nv, uint32_t off, uint64_t mac) {
  set_be32(nv, off, uint32_t(mac >> 32) & 0xFFFF);
  set_be32(nv, off + 4, uint32_t(mac));
}

void write_port(Bytes& nv, uint32_t base, const PortConfig& p) {
  set_be32(nv, base + 0, uint32_t(p.vid) << 16 | p.did);
  set_be32(nv, base + 4, uint32_t(p.ssid) << 16 | p.svid);
  put_mac(nv, base + 16, p.mac);
  put_mac(nv, base + 24, p.iscsi_mac);
  put_mac(nv, base + 32, p.fcoe_mac);
  set_be32(nv, base + 52, p.selector4);
  put_mac(nv, base + 392, p.mac);
  for (const auto& [off, v] : p.words) {
    if (off + 4 > 400 || off % 4) throw std::invalid_argument("port word outside the port part");
    set_be32(nv, base + off, v);
  }
}

void put_host_text(Bytes& nv, uint32_t off, const std::string& text, size_t field) {
  Bytes t(field, 0);
  for (size_t i = 0; i < field && i < text.size(); ++i) t[i] = uint8_t(text[i]);
  put_host_view(nv, off, t.data(), t.size());
}

struct Cursor {
  uint32_t next;
  uint32_t size;
  uint32_t take(uint32_t len, uint32_t gap) {
    uint32_t off = (next + ((gap + 3) & ~3u) + 3) & ~3u;
    if (off > size || size - off < len) throw std::invalid_argument("images do not fit the NVRAM size");
    next = off + len;
    return off;
  }
};

// Places an image with its trailing CRC; returns its recorded length.
uint32_t place(Bytes& nv, uint32_t off, const Bytes& host_view) {
  uint32_t len = uint32_t((host_view.size() + 3) & ~size_t(3));
  put_host_view(nv, off, host_view.data(), host_view.size());
  store_region_crc(nv, off, len + 4);
  return len + 4;
}

void write_dir_entry(Bytes& nv, unsigned i, uint32_t sram, uint32_t type, uint32_t proc, uint32_t len,
                     uint32_t off) {
  uint32_t e = dir_entry(i);
  set_be32(nv, e, sram);
  set_be32(nv, e + 4, (type & kTypeMask) | (proc & kProcMask) | (len & kLenMask));
  set_be32(nv, e + 8, off);
}

}  // namespace

void set_board(NvramDef& desc, uint16_t vid, uint16_t did, uint16_t svid, uint16_t ssid,
               uint64_t base_mac, unsigned functions, bool four_port) {
  for (auto& path : desc.ports)
    for (auto& p : path) {
      p.vid = vid;
      p.did = did;
      p.svid = svid;
      p.ssid = ssid;
    }
  for (unsigned f = 0; f < functions && f < 8; ++f) {
    unsigned path = desc.chip == Chip::E1 ? 0 : f & 1;
    unsigned port = desc.chip == Chip::E1 ? f & 1 : (four_port ? (f >> 1) & 1 : 0);
    PortConfig& p = desc.ports[path][port];
    p.mac = base_mac + f;
    p.iscsi_mac = base_mac + 0x10 + f;
    p.fcoe_mac = base_mac + 0x20 + f;
  }
}

Built build(const NvramDef& desc) {
  if (desc.size < 0x1000 || desc.size % 4) throw std::invalid_argument("NVRAM size too small or unaligned");
  Built out;
  Bytes& nv = out.nvram;
  nv.assign(desc.size, desc.fill);
  unsigned npaths = paths(desc.chip);

  // Fixed area: zero the directory block, configuration, feature blocks and the VPD copy; the
  // unused gap between them keeps the fill byte.
  std::fill(nv.begin(), nv.begin() + 0x100, 0);
  for (unsigned path = 0; path < npaths; ++path) {
    std::fill(nv.begin() + cfg(path), nv.begin() + cfg(path) + kCfgLen, 0);
    std::fill(nv.begin() + feat(path), nv.begin() + feat(path) + kFeatLen, 0);
  }
  std::fill(nv.begin() + kVpd, nv.begin() + kVpd + kVpdLen, 0);

  for (unsigned path = 0; path < npaths; ++path) {
    set_be32(nv, cfg(path), kCfgFirstWord);
    put_host_text(nv, cfg(path) + 4, desc.part_number, 16);
    for (unsigned port = 0; port < 2; ++port) write_port(nv, port_part(path, port), desc.ports[path][port]);
  }
  put_host_text(nv, kText20, desc.text20, 20);

  Bytes vpd = desc.vpd_raw ? *desc.vpd_raw : vpd_image_128(desc.vpd);
  if (vpd.size() > kVpdLen) throw std::invalid_argument("VPD copy longer than 256 bytes");
  put_host_view(nv, kVpd, vpd.data(), vpd.size());

  // Images: the bootstrap's image first, then the others in the order given.
  Cursor cur{image_start(desc.chip), desc.size};
  unsigned next_main = 0;
  struct Ext { uint32_t sram, type, proc, len, off; };
  std::vector<Ext> ext;
  bool have_boot = false;
  std::optional<size_t> mfw1;
  for (const ImageDef& im : desc.images) {
    const ImageKind* k = kind_by_name(im.kind);
    if (!k) throw std::invalid_argument("unknown image kind: " + im.kind);
    if (im.data.empty()) throw std::invalid_argument("empty image: " + im.kind);
    uint32_t len = uint32_t((im.data.size() + 3) & ~size_t(3)) + 4;
    uint32_t off = cur.take(len, im.gap_before);
    place(nv, off, im.data);
    uint32_t sram = im.sram ? *im.sram : default_sram(*k);
    uint32_t proc = im.processor ? *im.processor : k->processor;
    switch (home_of(*k)) {
      case Home::Bootstrap:
        if (have_boot) throw std::invalid_argument("two bootstrap images");
        have_boot = true;
        set_be32(nv, 0, kBootstrapMagic);
        set_be32(nv, 4, sram);
        set_be32(nv, 8, len / 4);
        set_be32(nv, 12, off);
        out.placed.push_back({im.kind, Home::Bootstrap, -1, off, len});
        break;
      case Home::Main:
        if (next_main >= 15) throw std::invalid_argument("more than 15 main-directory images");
        write_dir_entry(nv, next_main, sram, k->dir_type, proc, len, off);
        out.placed.push_back({im.kind, Home::Main, int(next_main), off, len});
        ++next_main;
        break;
      case Home::Extended:
        if (ext.size() >= kExtDirMax) throw std::invalid_argument("more than 64 extended images");
        if (k->dir_type == 0x20000003 && !mfw1) mfw1 = ext.size();
        out.placed.push_back({im.kind, Home::Extended, int(ext.size()), off, len});
        ext.push_back({sram, k->dir_type, proc, len, off});
        break;
    }
  }
  // Without a bootcode image the bootstrap names MFW1 (as after a management-firmware install).
  if (!have_boot && mfw1) {
    const Ext& m = ext[*mfw1];
    set_be32(nv, 0, kBootstrapMagic);
    set_be32(nv, 4, m.sram);
    set_be32(nv, 8, m.len / 4);
    set_be32(nv, 12, m.off);
  }

  if (!ext.empty() || desc.ext_dir_always) {
    uint32_t off = cur.take(kExtDirLen, 0);
    std::fill(nv.begin() + off, nv.begin() + off + kExtDirLen, 0);
    uint32_t byte_cnt = 0;
    for (size_t i = 0; i < ext.size(); ++i) {
      const Ext& e = ext[i];
      uint32_t p = off + 8 + 12 * uint32_t(i);
      set_be32(nv, p, e.sram);
      set_be32(nv, p + 4, (e.type & kTypeMask) | (e.proc & kProcMask) | (e.len & kLenMask));
      set_be32(nv, p + 8, e.off);
      byte_cnt += e.len;
    }
    set_be32(nv, off, uint32_t(ext.size()));
    set_be32(nv, off + 4, byte_cnt);
    store_region_crc(nv, off, kExtDirLen);
    write_dir_entry(nv, 15, 0, kExtDirType, 0x01000000, kExtDirLen, off);
    out.ext_dir_offset = off;
  }

  for (const auto& [off, v] : desc.words) set_be32(nv, off, v);

  store_region_crc(nv, 0, 20);
  store_region_crc(nv, kDir, kDirRegionLen);
  for (unsigned path = 0; path < npaths; ++path) {
    store_region_crc(nv, cfg(path), kCfgLen);
    store_region_crc(nv, feat(path), kFeatLen);
  }
  return out;
}

Bytes paged(const Bytes& nvram, uint8_t family_byte) {
  const uint8_t b = family_byte;
  const uint8_t spare[8] = {b, 0x57, b, 0x57, b, 0x57, b, 0x57};
  Bytes out;
  out.reserve(nvram.size() / 256 * 264 + 264);
  for (size_t i = 0; i < nvram.size(); i += 256) {
    size_t n = std::min<size_t>(256, nvram.size() - i);
    out.insert(out.end(), nvram.begin() + long(i), nvram.begin() + long(i + n));
    if (n == 256) out.insert(out.end(), spare, spare + 8);
  }
  return out;
}

}  // namespace testkit::e1e3
