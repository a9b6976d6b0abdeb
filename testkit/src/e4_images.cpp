#include "testkit/e4_images.h"

#include "testkit/e4_rom.h"
#include "testkit/text_images.h"

#include <stdexcept>

namespace testkit::e4 {
namespace {

// "a", "a.b", "a.b.c" or "a.b.c.d", each part 0-255; missing parts count 0.
std::vector<unsigned> four_parts(std::string_view version) {
  std::vector<unsigned> v;
  size_t at = 0;
  while (at < version.size()) {
    size_t dot = version.find('.', at);
    std::string_view part = version.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string_view::npos)
      throw std::invalid_argument("bad version: " + std::string(version));
    v.push_back(unsigned(std::stoul(std::string(part))));
    if (v.back() > 255 || v.size() > 4) throw std::invalid_argument("bad version: " + std::string(version));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
    if (at == version.size()) throw std::invalid_argument("bad version: " + std::string(version));
  }
  v.resize(4, 0);
  return v;
}

std::string dotted(const std::vector<unsigned>& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

uint32_t packed(const std::vector<unsigned>& v) { return v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3]; }

struct TextRow {
  uint32_t type;
  const char* prefix;
  size_t at;
};
constexpr TextRow kTextTypes[] = {
    {type::TIM1, "TIM", 0},  {type::TIM2, "TIM", 0},         {type::MIM1, "MIM", 0},  {type::MIM2, "MIM", 0},
    {type::RECOVERY, "RCVR", 0}, {type::OPT_MODULES, "OPTM", 0},
    {type::LIM, "LIM", 16},  {type::CCM, "CCM", 16},
};

Bytes patterned(size_t size, uint32_t seed) {
  Bytes b(size);
  fill_pattern(b.data(), b.size(), seed);
  return b;
}

}  // namespace

void put_swizzled_text(Bytes& image, size_t at, std::string_view text) {
  if (text.size() > 16) throw std::invalid_argument("E4 version text longer than 16 characters");
  if (at > image.size() || image.size() - at < 16) throw std::out_of_range("E4 version text past the image");
  for (size_t i = 0; i < 16; ++i) image[at + (i & ~size_t(3)) + 3 - (i & 3)] = i < text.size() ? uint8_t(text[i]) : 0;
}

Bytes stock_image(uint32_t t, std::string_view version, size_t size) {
  if (type_name(t).empty()) throw std::invalid_argument("unknown E4 image type " + std::to_string(t));
  auto v = four_parts(version);
  auto sized = [&](size_t usual) { return size ? size : usual; };
  for (const TextRow& r : kTextTypes)
    if (r.type == t) {
      Bytes b = patterned(sized(0x400), 0xE4000000 | t << 8 | v[1]);
      put_swizzled_text(b, r.at, std::string(r.prefix) + " " + dotted(v));
      return b;
    }
  switch (t) {
    case type::INIT_HW: {
      Bytes b = patterned(sized(0x200), 0xE4190000);
      set_le32(b, 0, 16);
      set_be32(b, 20, packed(v));
      return b;
    }
    case type::ISCSI_CFG: case type::FCOE_CFG: {
      Bytes b = patterned(sized(0x100), 0xE41D0000 | t);
      set_le32(b, 0, v[0] << 8 | v[1]);
      return b;
    }
    case type::ETH_PHY_FW1: case type::ETH_PHY_FW2: {
      Bytes b = patterned(sized(0x400), 0xE4200000 | t);
      set_be32(b, 0, packed(v));
      return b;
    }
    case type::MBA: {
      Bytes b = mba_rom(mba_stock(version.empty() ? "0.7.9" : version));
      if (size > b.size()) b.resize(size, 0);
      return b;
    }
    case type::NVM_CFG1: case type::DEFAULT_CFG: {
      NvmCfgDef s;
      s.mbi = {v[0], v[1], v[2]};
      return nvm_cfg(s);
    }
    case type::HW_SET:  // a register script in little-endian words
      return hw_set_host_image({{"GRC", 0, 0, 0x2000, 1, 0, "W"}, {"GRC", 0, 0, 0x2004, 0x10, 0, "RMW_SET"}});
    case type::META:
      return meta_image(meta_text(meta_stock_options()));
    case type::VPD:
      return vpd_image(VpdFields{});
    default:
      return patterned(sized(0x200), 0xE4FF0000 | t);
  }
}

// ---------------------------------------------------------------------------------------------

void set_cfg_field(Bytes& image, uint32_t word, unsigned lo, unsigned width, uint32_t value) {
  uint32_t mask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1) << lo;
  uint32_t w = le32_at(image, 4 * size_t(word));
  set_le32(image, 4 * size_t(word), (w & ~mask) | ((value << lo) & mask));
}

uint32_t cfg_word(const Bytes& image, uint32_t word) { return le32_at(image, 4 * size_t(word)); }

uint32_t mbi_date_word(unsigned year, unsigned month, unsigned day) {
  uint32_t y = uint16_t(year);
  return month << 24 | (day & 0xFF) << 16 | ((y & 0xFF) << 8 | y >> 8);
}

Bytes nvm_cfg(const NvmCfgDef& s) {
  Bytes b(kNvmCfgSize, 0);
  if (s.mbi.size() != 3) throw std::invalid_argument("MBI version has three parts");
  set_cfg_field(b, cfg::kPortMode, 0, 8, s.port_mode);
  set_cfg_field(b, cfg::kMbiVersion, 0, 24, s.mbi[0] << 16 | s.mbi[1] << 8 | s.mbi[2]);
  set_cfg_field(b, cfg::kMbiDate, 0, 32, mbi_date_word(s.year, s.month, s.day));
  set_cfg_field(b, cfg::kUefiVersion, 0, 32, s.uefi_version);
  for (unsigned i = 0; i < 4; ++i) set_cfg_field(b, cfg::kCfgVersion + i, 0, 32, s.cfg_version[i]);
  for (unsigned p = 0; p < 4; ++p) {
    uint64_t mac = s.mac + p;
    set_cfg_field(b, cfg::port_word(p, cfg::kPortMacHi), 0, 32, uint32_t(mac >> 32));
    set_cfg_field(b, cfg::port_word(p, cfg::kPortMacLo), 0, 32, uint32_t(mac));
  }
  for (unsigned f = 0; f < 16; ++f) {
    uint64_t mac = s.mac + f;
    set_cfg_field(b, cfg::func_word(f, cfg::kFuncMacHi), 0, 32, uint32_t(mac >> 32));
    set_cfg_field(b, cfg::func_word(f, cfg::kFuncMacLo), 0, 32, uint32_t(mac));
  }
  for (auto [w, value] : s.words) set_cfg_field(b, w, 0, 32, value);
  return b;
}

Bytes nvm_cfg_file(const Bytes& image) {
  if (image.size() % 4) throw std::invalid_argument("NVM_CFG image not a multiple of 4 bytes");
  Bytes f(image.size());
  for (size_t i = 0; i < image.size(); i += 4) put_be32(&f[i], get_le32(&image[i]));
  return f;
}

// ---------------------------------------------------------------------------------------------

std::vector<MetaOption> meta_stock_options(unsigned absent_id) {
  std::vector<MetaOption> o = {
      {1, "Port MAC", "mac", 4 * cfg::kPortMacHi, "port", "user", {}, {}},
      {2, "MBI version", "24", 4 * cfg::kMbiVersion, "glob", "mbi", {}, {}},
      {3, "NVM config version", "128", 4 * cfg::kCfgVersion, "glob", "hw", {}, {}},
      {4, "Port mode", "8", 4 * cfg::kPortMode, "glob", "user", {}, 57940},
      {5, "Function MAC list", "64", 4 * cfg::kFuncMacHi, "func", "user", 32, {}},
      {6, "Storage protocols", "32", 4 * 34, "glob", "user", {}, {}},
  };
  if (absent_id) o.push_back({absent_id, "Option absent from the adapter", "32", 4 * 35, "glob", "user", {}, {}});
  return o;
}

std::string meta_text(const std::vector<MetaOption>& options) {
  std::string s = "array set nvm_cfg {";
  bool first = true;
  auto item = [&](unsigned id, const char* key, const std::string& value) {
    if (!first) s += ' ';
    first = false;
    s += std::to_string(id) + "," + key + " " + value;
  };
  for (const MetaOption& o : options) {
    // The text gives the bit offset within the option's entity block (global, path, port 0 or
    // function 0), which start at bytes 0, 552, 560 and 2960.
    unsigned block = o.entity == "path" ? 552 : o.entity == "port" ? 560 : o.entity == "func" ? 2960 : 0;
    if (o.offset < block) throw std::invalid_argument("META option before its entity block");
    item(o.id, "name", "{" + o.name + "}");
    item(o.id, "size", o.size);
    item(o.id, "offset", std::to_string((o.offset - block) * 8));
    item(o.id, "entity_name", o.entity);
    item(o.id, "configType", o.config_type);
    if (o.element_size) item(o.id, "elementSize", std::to_string(*o.element_size));
    if (o.ex_chip_num_attrs) item(o.id, "exChipNumAttrs", std::to_string(*o.ex_chip_num_attrs));
  }
  s += " }";  // a value written against the brace would take it in
  if (s.size() > 65535) throw std::invalid_argument("META text longer than 65,535 characters");
  return s;
}

Bytes meta_image(const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  pad4(b);
  return b;
}

Bytes vpd_image(const VpdFields& fields, const std::string& v9, uint32_t area,
                const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::pair<std::string, std::string>> more;
  if (!v9.empty()) more.emplace_back("V9", v9);
  more.insert(more.end(), extra.begin(), extra.end());
  return vpd_directory_image(fields, area, 1, more);
}

// ---------------------------------------------------------------------------------------------

Bytes image_header(const HeaderDef& h, size_t data_length) {
  Bytes b(32, 0);
  put_le32(&b[0], h.magic);
  put_le32(&b[4], h.version);
  put_le32(&b[8], h.version >= 3 ? h.type : h.type << 21);
  put_le32(&b[12], h.group);
  put_le32(&b[24], h.length.value_or(uint32_t((data_length + 3) & ~size_t(3))));
  return b;
}

Bytes headed_image(const HeaderDef& h, const Bytes& data) {
  Bytes b = image_header(h, data.size());
  b.insert(b.end(), data.begin(), data.end());
  pad4(b);
  return b;
}

Bytes bundle(const std::vector<BundleItem>& items, uint32_t magic, uint32_t group, size_t truncate) {
  Bytes b(16, 0);
  for (const BundleItem& it : items) {
    Bytes one = headed_image(HeaderDef(it.type, 3, group), it.data);
    b.insert(b.end(), one.begin(), one.end());
  }
  put_le32(&b[0], magic);
  put_le32(&b[4], 1);
  put_le32(&b[8], uint32_t(items.size()));
  put_le32(&b[12], uint32_t(b.size()));
  if (truncate > b.size()) throw std::invalid_argument("bundle shorter than the cut");
  b.resize(b.size() - truncate);
  return b;
}

std::vector<BundleItem> mfw_bundle_items(std::string_view version, unsigned bank) {
  std::vector<BundleItem> items;
  for (uint32_t t : {type::TIM1, type::MIM1, type::PCIE_FW1, type::AVS_FW1})
    items.push_back({type_in_bank(t, bank), stock_image(t, version)});
  items.push_back({type::LIM, stock_image(type::LIM, version)});
  return items;
}

std::optional<std::vector<BundleItem>> parse_bundle(const Bytes& f) {
  if (f.size() < 16 || get_le32(&f[0]) != kBundleMagic) return std::nullopt;
  std::vector<BundleItem> items;
  for (size_t at = 16; at < f.size();) {
    if (f.size() - at < 32 || get_le32(&f[at]) != kHeaderMagic) return std::nullopt;
    uint32_t len = get_le32(&f[at + 24]);
    if (f.size() - at - 32 < len) return std::nullopt;
    items.push_back({get_le32(&f[at + 8]), Bytes(f.begin() + long(at + 32), f.begin() + long(at + 32 + len))});
    at += 32 + size_t(len);
  }
  return items;
}

}  // namespace testkit::e4
