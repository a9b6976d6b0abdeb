#include "testkit/e4_describe.h"

#include "testkit/describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_rom.h"

#include <stdexcept>

namespace testkit::e4 {
namespace {

uint32_t type_of(const std::string& name) {
  auto id = type_id(name);
  if (!id) throw std::invalid_argument("unknown E4 image type " + name);
  return *id;
}

std::string mbi_of(const std::string& v) {
  auto p = parse_version(v);
  if (p.size() != 3) throw std::invalid_argument("MBI version is a.b.c");
  return v;
}

}  // namespace

NvramDef stock_nvram(const StockDef& s) {
  auto mbi = parse_version(mbi_of(s.mbi));
  NvramDef n;
  n.size = s.size;
  for (uint32_t t : {type::TIM1, type::TIM2, type::MIM1, type::MIM2, type::PCIE_FW1, type::PCIE_FW2, type::AVS_FW1,
                     type::AVS_FW2, type::LIM, type::RECOVERY, type::INIT_HW, type::HW_SET})
    n.images.push_back({t, stock_image(t, s.mfw)});
  n.images.push_back({type::MBA, mba_rom(mba_stock(s.mba))});
  NvmCfgDef cfg;
  cfg.port_mode = s.port_mode;
  cfg.mbi = mbi;
  cfg.mac = s.mac;
  n.images.push_back({type::NVM_CFG1, nvm_cfg(cfg)});
  n.images.push_back({type::DEFAULT_CFG, nvm_cfg(cfg)});
  n.images.push_back({type::META, meta_image(meta_text(meta_stock_options()))});
  VpdFields vpd;
  vpd.name = "E4 test adapter";
  n.images.push_back({type::VPD, vpd_image(vpd, s.mbi)});
  return n;
}

NvramDef parse_e4_description(std::string_view text, const std::string& base_dir) {
  NvramDef n;
  std::vector<std::pair<uint32_t, uint32_t>> cfg_words;
  desc::each_line(text, [&](const desc::Line& l) {
    desc::Args a = desc::args_of(l.value);
    if (l.key == "size") n.size = desc::num32(l.value);
    else if (l.key == "seq") n.seq = desc::num32(l.value);
    else if (l.key == "copy") n.copy = desc::num32(l.value);
    else if (l.key == "self_entries") n.self_entries = desc::num32(l.value) != 0;
    else if (l.key == "other") {
      if (l.value == "erased") n.other = SecondCopy::Erased;
      else if (l.value == "older") n.other = SecondCopy::Older;
      else throw std::invalid_argument("other is erased or older");
    } else if (l.key == "stock") {
      if (a.words.size() != 3) throw std::invalid_argument("stock=MFW MBI MBA");
      StockDef s;
      s.mfw = a.words[0];
      s.mbi = a.words[1];
      s.mba = a.words[2];
      s.size = n.size;
      if (auto v = a.opt("port_mode")) s.port_mode = desc::num32(*v);
      if (auto v = a.opt("mac")) s.mac = parse_number("0x" + *v);
      auto stock = stock_nvram(s);
      n.images.insert(n.images.end(), stock.images.begin(), stock.images.end());
    } else if (l.key == "image") {
      if (a.words.empty()) throw std::invalid_argument("image=TYPE VERSION or image=TYPE file=PATH");
      ImageDef im;
      im.type = type_of(a.words[0]);
      if (auto f = a.opt("file")) im.data = read_file(desc::path_in(base_dir, *f));
      else if (a.words.size() == 2) im.data = stock_image(im.type, a.words[1], a.opt("size") ? desc::num32(*a.opt("size")) : 0);
      else throw std::invalid_argument("image needs a version or file=");
      if (auto g = a.opt("gap")) im.gap_before = desc::num32(*g);
      if (auto b = a.opt("bad_crc")) im.bad_crc = desc::num32(*b) != 0;
      n.images.push_back(std::move(im));
    } else if (l.key == "cfg") {
      if (a.words.size() != 2) throw std::invalid_argument("cfg=WORD VALUE");
      cfg_words.emplace_back(desc::num32(a.words[0]), desc::num32(a.words[1]));
    } else {
      throw std::invalid_argument("unknown key " + l.key);
    }
  });
  for (auto& im : n.images)
    if (im.type == type::NVM_CFG1)
      for (auto [w, v] : cfg_words) set_cfg_field(im.data, w, 0, 32, v);
  return n;
}

}  // namespace testkit::e4
