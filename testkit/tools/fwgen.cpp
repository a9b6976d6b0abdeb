// fwgen: the test kit's command line. Makes NVRAM images, image files, packages, firmware data
// files and whole demo machines for shell scripts, demo.sh and end-to-end tests.
#include "testkit/component_files.h"
#include "testkit/component_machine.h"
#include "testkit/demo.h"
#include "testkit/describe.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"
#include "testkit/e4_rom.h"
#include "testkit/efi_compress.h"
#include "testkit/images.h"
#include "testkit/legacy_describe.h"
#include "testkit/legacy_reader.h"
#include "testkit/legacy_stock.h"
#include "testkit/package.h"
#include "testkit/phy_image.h"
#include "testkit/vpd.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testkit;

namespace {

const char* const kUsage =
    "usage: fwgen COMMAND ...\n"
    "  help, -h, --help                    this text\n"
    "  nvram DESC OUT [--paged]            E1-E3 NVRAM image from a description file\n"
    "  verify NVRAM [--e1]                 check CRCs, pointers, lengths and overlaps (exit 1 on errors)\n"
    "  list NVRAM                          images of the directories with their version texts\n"
    "  image KIND VERSION OUT [--size N] [--did N]\n"
    "                                      raw image of a kind, as image files carry it\n"
    "  wrap OUT [--v2] [--compat N] ITEM... wrapped image file; ITEM is KIND:VERSION or TAG=FILE\n"
    "                                      (TAG four characters, '0' standing for a zero byte)\n"
    "  mba OUT VERSION [--did N] [--family-bits N] [--restrict]\n"
    "                                      boot-agent ROM chain (PCI 3.0 image and EFI x64 image)\n"
    "  ncsi OUT VERSION [--no-elib] [--xlib] [--chip-mask N]\n"
    "                                      NCSI bundle\n"
    "  phy OUT TAG VERSION [--size N]      PHY firmware file for the PHY named by TAG (\"8484\",\n"
    "                                      \"8727\", ...) carrying \"PHY VERSION\"\n"
    "  paged IN OUT                        full-NVRAM file in paged form\n"
    "  vpd OUT [--text] [name=..] [pn=..] [ec=..] [sn=..] [mn=..] [v0=..]\n"
    "                                      128-byte VPD image, or the VPD text file with --text\n"
    "  package DESC OUT                    \"KRVT\" firmware package from a description file\n"
    "  fwdata DESC OUT                     NICFWData.xml from a description file\n"
    "  demo ROOT FWDIR [--legacy]          simulated machine with E1-E3 and E4 adapters (and legacy\n"
    "                                      ones) and a firmware folder\n"
    "  component DIR [--machine ROOT]      plug-in package file dz012345.xml and install.xml; with\n"
    "                                      --machine, the tool's driver service running on ROOT\n"
    "  E4 adapters (see e4_describe.h and e4_images.h):\n"
    "  e4-nvram DESC OUT                   E4 NVRAM image from a description file\n"
    "  e4-verify NVRAM                     check both directory copies, every entry and its CRC,\n"
    "                                      the banks and every version text (exit 1 on errors)\n"
    "  e4-list NVRAM                       the directory in force with its version texts\n"
    "  e4-image TYPE VERSION OUT [--header 1|2|3] [--group-b] [--size N]\n"
    "                                      stock image of a type (TIM1, NVM_CFG1, ...), bare or\n"
    "                                      behind the 32-byte header\n"
    "  e4-bundle OUT VERSION [--bank 0|1] [--magic N] [--truncate N] [--meta] [ITEM...]\n"
    "                                      MFW bundle of one version (or of ITEMs TYPE:VERSION)\n"
    "  e4-cfg OUT [--mbi A.B.C] [--port-mode N] [--be]\n"
    "                                      NVM_CFG1 image (4240 bytes), or the big-endian NVM_CFG file\n"
    "  e4-meta OUT                         META text image\n"
  "  e4-cfg-words NVRAM WORD...          words of NVM_CFG1 and DEFAULT_CFG in an E4 NVRAM\n"
    "  e4-vpd OUT [--v9 TEXT]              E4 VPD image\n"
    "  e4-mba OUT VERSION [--uncompressed] [--clp N] [--fcode N] [--efi-version MAJOR.MINOR]\n"
    "                                      boot-agent ROM: PCI 3.0 image and EFI x64 driver\n"
    "  efi-compress IN OUT [--tiano]       compress a file in the UEFI format (EFI 1.1 or Tiano)\n"
    "  With --legacy, nvram, verify, list, image, wrap and paged work on the legacy family (5706,\n"
    "  5708, 5709, 5716 boards): its description keys (see legacy_describe.h), its checks (CRCs,\n"
    "  part size against HW_INFO, VPD and RV checksum, bootstrap, directory types, processor codes,\n"
    "  placement, version texts; verify --buffered for a buffered part), its kinds and versions,\n"
    "  16- or 20-byte record headers (wrap --v2), 09 57 spare bytes (paged); image also takes\n"
    "  --ip 4|6|4n6 for ISCSI_B and --sectioned [--five] for a sectioned boot file (88-byte\n"
    "  header, 76 with --five).\n";

struct Usage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Positional arguments and "--flag [value]" options.
struct Cmd {
  std::vector<std::string> pos;
  std::map<std::string, std::string> opt;
  bool has(const std::string& k) const { return opt.count(k) != 0; }
  uint32_t num(const std::string& k, uint32_t dflt) const {
    auto it = opt.find(k);
    return it == opt.end() ? dflt : uint32_t(parse_number(it->second));
  }
};

Cmd parse(int argc, char** argv, const std::vector<std::string>& valued) {
  Cmd c;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) == 0) {
      bool takes = std::find(valued.begin(), valued.end(), a) != valued.end();
      if (takes) {
        if (i + 1 >= argc) throw Usage(a + " needs a value");
        c.opt[a] = argv[++i];
      } else {
        c.opt[a] = "1";
      }
    } else {
      c.pos.push_back(a);
    }
  }
  return c;
}

void need(const Cmd& c, size_t min, size_t max) {
  if (c.pos.size() < min || c.pos.size() > max) throw Usage("wrong number of arguments");
}

std::string dir_of(const std::string& path) {
  std::string d = std::filesystem::path(path).parent_path().string();
  return d.empty() ? "." : d;
}

std::string text_of(const std::string& path) {
  Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}

int cmd_nvram(const Cmd& c) {
  need(c, 2, 2);
  if (c.has("--legacy")) {
    Bytes nv = legacy::build_described(legacy::parse_description(text_of(c.pos[0]), dir_of(c.pos[0])));
    write_file(c.pos[1], c.has("--paged") ? legacy::paged(nv) : nv);
    return 0;
  }
  e1e3::NvramDef desc = parse_nvram_description(text_of(c.pos[0]), dir_of(c.pos[0]));
  Bytes nv = e1e3::build(desc).nvram;
  write_file(c.pos[1], c.has("--paged") ? e1e3::paged(nv) : nv);
  return 0;
}

int cmd_verify(const Cmd& c) {
  need(c, 1, 1);
  if (c.has("--legacy")) {
    std::string why = legacy::verify_nvram(read_file(c.pos[0]), c.has("--buffered"));
    if (!why.empty()) std::printf("%s\n", why.c_str());
    std::printf("%s\n", why.empty() ? "NVRAM OK" : "NVRAM BAD");
    return why.empty() ? 0 : 1;
  }
  e1e3::Report r = e1e3::verify(read_file(c.pos[0]), c.has("--e1") ? e1e3::Chip::E1 : e1e3::Chip::E3);
  std::fputs(r.text().c_str(), stdout);
  std::printf("%s\n", r.ok() ? "NVRAM OK" : "NVRAM BAD");
  return r.ok() ? 0 : 1;
}

int cmd_list(const Cmd& c) {
  need(c, 1, 1);
  if (c.has("--legacy")) {
    for (const auto& im : legacy::list_images(read_file(c.pos[0]))) {
      const char* home = im.index < 0 ? "boot" : "dir";
      std::printf("%-4s %2d %-16s 0x%08X 0x%06X 0x%06X %s\n", home, im.index, im.name.c_str(), im.dir_type, im.offset,
                  im.length, im.version.c_str());
    }
    return 0;
  }
  for (const auto& im : e1e3::list_images(read_file(c.pos[0]))) {
    const char* home = im.home == e1e3::Home::Bootstrap ? "boot" : im.home == e1e3::Home::Main ? "dir" : "ext";
    std::printf("%-4s %2d %-16s 0x%08X 0x%06X 0x%06X %s\n", home, im.index, im.name.c_str(), im.dir_type, im.offset,
                im.length, im.version.c_str());
  }
  return 0;
}

int cmd_image(const Cmd& c) {
  need(c, 3, 3);
  if (c.has("--legacy")) {
    legacy::stock_options o;
    o.size = c.num("--size", 0);
    o.device = uint16_t(c.num("--did", o.device));
    if (c.has("--ip")) o.ip = c.opt.at("--ip");
    Bytes mem = legacy::stock_image(c.pos[0], c.pos[1], o);
    if (c.has("--sectioned"))
      write_file(c.pos[2], legacy::sectioned_file(mem, legacy::placed(c.pos[0], {}).sram, c.has("--five")));
    else
      write_file(c.pos[2], legacy::dword_reversed(mem));
    return 0;
  }
  write_file(c.pos[2], stock_image(c.pos[0], c.pos[1], c.num("--size", 0), uint16_t(c.num("--did", 0x168E))));
  return 0;
}

uint32_t tag_text(const std::string& t) {
  if (t.size() != 4) throw Usage("a tag has four characters: " + t);
  std::string b = t;
  for (char& ch : b)
    if (ch == '0') ch = '\0';
  return tag_of(b);
}

// A legacy wrapped file: records with 16-byte headers, or 20-byte ones with --v2.
int cmd_wrap_legacy(const Cmd& c) {
  Bytes out;
  for (size_t i = 1; i < c.pos.size(); ++i) {
    const std::string& item = c.pos[i];
    size_t eq = item.find('='), colon = item.find(':');
    uint32_t tag = 0;
    Bytes data;
    if (eq != std::string::npos) {
      tag = tag_text(item.substr(0, eq));
      data = read_file(item.substr(eq + 1));
    } else if (colon != std::string::npos) {
      const legacy::kind* k = legacy::kind_named(item.substr(0, colon));
      if (!k) throw Usage("unknown legacy image kind in " + item);
      tag = legacy::tag_word(*k);
      data = legacy::dword_reversed(legacy::stock_image(k->name, item.substr(colon + 1)));
    } else {
      throw Usage("item must be KIND:VERSION or TAG=FILE: " + item);
    }
    Bytes rec = c.has("--v2") ? legacy::wrapped_v2(tag, c.num("--compat", 0), data) : legacy::wrapped_v1(tag, data);
    out.insert(out.end(), rec.begin(), rec.end());
  }
  write_file(c.pos[0], out);
  return 0;
}

int cmd_wrap(const Cmd& c) {
  if (c.pos.size() < 2) throw Usage("wrap needs a file and at least one item");
  if (c.has("--legacy")) return cmd_wrap_legacy(c);
  std::vector<WrappedRecord> recs;
  for (size_t i = 1; i < c.pos.size(); ++i) {
    const std::string& item = c.pos[i];
    WrappedRecord r;
    size_t eq = item.find('='), colon = item.find(':');
    if (eq != std::string::npos) {
      r.tag = tag_text(item.substr(0, eq));
      r.data = read_file(item.substr(eq + 1));
    } else if (colon != std::string::npos) {
      r = stock_record(item.substr(0, colon), item.substr(colon + 1));
    } else {
      throw Usage("item must be KIND:VERSION or TAG=FILE: " + item);
    }
    if (c.has("--v2")) r.version = 2;
    r.compat = c.num("--compat", 0);
    recs.push_back(std::move(r));
  }
  write_file(c.pos[0], wrapped_file(recs));
  return 0;
}

int cmd_mba(const Cmd& c) {
  need(c, 2, 2);
  MbaDef m = mba_stock(uint16_t(c.num("--did", 0x168E)), c.pos[1]);
  m.family_bits = uint8_t(c.num("--family-bits", 0));
  m.restrict_flag = c.has("--restrict") ? 1 : 0;
  write_file(c.pos[0], mba_rom(m));
  return 0;
}

int cmd_ncsi(const Cmd& c) {
  need(c, 2, 2);
  write_file(c.pos[0], ncsi_bundle(c.pos[1], !c.has("--no-elib"), c.has("--xlib"), c.num("--chip-mask", 0)));
  return 0;
}

int cmd_phy(const Cmd& c) {
  need(c, 3, 3);
  write_file(c.pos[0], phy_image(c.pos[1], c.pos[2], c.num("--size", 512)));
  return 0;
}

int cmd_paged(const Cmd& c) {
  need(c, 2, 2);
  Bytes nv = read_file(c.pos[0]);
  write_file(c.pos[1], c.has("--legacy") ? legacy::paged(nv) : e1e3::paged(nv));
  return 0;
}

int cmd_vpd(const Cmd& c) {
  if (c.pos.empty()) throw Usage("vpd needs a file");
  VpdFields f;
  for (size_t i = 1; i < c.pos.size(); ++i) {
    size_t eq = c.pos[i].find('=');
    if (eq == std::string::npos) throw Usage("field must be key=value");
    std::string k = c.pos[i].substr(0, eq), v = c.pos[i].substr(eq + 1);
    if (k == "name") f.name = v;
    else if (k == "pn") f.pn = v;
    else if (k == "ec") f.ec = v;
    else if (k == "sn") f.sn = v;
    else if (k == "mn") f.mn = v;
    else if (k == "v0") f.v0 = v;
    else throw Usage("unknown VPD field " + k);
  }
  if (c.has("--text")) write_text_file(c.pos[0], vpd_text_file(f));
  else write_file(c.pos[0], vpd_image_128(f));
  return 0;
}

int cmd_package(const Cmd& c) {
  need(c, 2, 2);
  write_file(c.pos[1], package(parse_package_description(text_of(c.pos[0]), dir_of(c.pos[0]))));
  return 0;
}

int cmd_fwdata(const Cmd& c) {
  need(c, 2, 2);
  write_text_file(c.pos[1], nicfwdata_xml(parse_fwdata_description(text_of(c.pos[0]))));
  return 0;
}

uint32_t e4_type(const std::string& name) {
  auto id = e4::type_id(name);
  if (!id) throw Usage("unknown E4 image type " + name);
  return *id;
}

int cmd_e4_nvram(const Cmd& c) {
  need(c, 2, 2);
  write_file(c.pos[1], e4::build(e4::parse_e4_description(text_of(c.pos[0]), dir_of(c.pos[0]))).nvram);
  return 0;
}

int cmd_e4_verify(const Cmd& c) {
  need(c, 1, 1);
  e4::Report r = e4::verify(read_file(c.pos[0]));
  std::fputs(r.text().c_str(), stdout);
  std::printf("%s\n", r.ok() ? "NVRAM OK" : "NVRAM BAD");
  return r.ok() ? 0 : 1;
}

int cmd_e4_list(const Cmd& c) {
  need(c, 1, 1);
  Bytes nv = read_file(c.pos[0]);
  auto d = e4::directory(nv);
  if (!d) {
    std::printf("no valid directory copy\n");
    return 1;
  }
  std::printf("copy %u seq %u (bank %u boots next)\n", d->copy, d->seq, d->next_bank());
  for (const auto& im : e4::list_images(nv))
    std::printf("%-12s %2u 0x%06X 0x%06X %s\n", im.name.c_str(), im.entry.type, im.entry.offset, im.entry.length,
                im.version.c_str());
  return 0;
}

int cmd_e4_image(const Cmd& c) {
  need(c, 3, 3);
  uint32_t t = e4_type(c.pos[0]);
  Bytes data = e4::stock_image(t, c.pos[1], c.num("--size", 0));
  if (c.has("--header"))
    data = e4::headed_image(e4::HeaderDef(t, c.num("--header", 3), c.has("--group-b") ? e4::kGroupB : e4::kGroupA),
                            data);
  write_file(c.pos[2], data);
  return 0;
}

int cmd_e4_bundle(const Cmd& c) {
  if (c.pos.size() < 2) throw Usage("e4-bundle needs a file and a version");
  std::vector<e4::BundleItem> items;
  if (c.pos.size() == 2) items = e4::mfw_bundle_items(c.pos[1], c.num("--bank", 0));
  for (size_t i = 2; i < c.pos.size(); ++i) {
    size_t colon = c.pos[i].find(':');
    if (colon == std::string::npos) throw Usage("item must be TYPE:VERSION: " + c.pos[i]);
    uint32_t t = e4_type(c.pos[i].substr(0, colon));
    items.push_back({t, e4::stock_image(t, c.pos[i].substr(colon + 1))});
  }
  if (c.has("--meta")) items.push_back({e4::type::META, e4::stock_image(e4::type::META, "")});
  write_file(c.pos[0], e4::bundle(items, c.num("--magic", e4::kBundleMagic), e4::kGroupA, c.num("--truncate", 0)));
  return 0;
}

int cmd_e4_cfg(const Cmd& c) {
  need(c, 1, 1);
  e4::NvmCfgDef s;
  s.port_mode = c.num("--port-mode", s.port_mode);
  if (c.has("--mbi")) {
    auto v = parse_version(c.opt.at("--mbi"));
    if (v.size() != 3) throw Usage("--mbi takes A.B.C");
    s.mbi = v;
  }
  Bytes img = e4::nvm_cfg(s);
  write_file(c.pos[0], c.has("--be") ? e4::nvm_cfg_file(img) : img);
  return 0;
}

// Words of the configuration images in NVRAM (without the trailing CRC).
int cmd_e4_cfg_words(const Cmd& c) {
  if (c.pos.size() < 2) throw Usage("e4-cfg-words needs an NVRAM file and word numbers");
  Bytes nv = read_file(c.pos[0]);
  for (uint32_t type : {e4::type::NVM_CFG1, e4::type::DEFAULT_CFG}) {
    auto im = e4::find_image(nv, type);
    if (!im) {
      std::printf("%-11s absent\n", type == e4::type::NVM_CFG1 ? "NVM_CFG1" : "DEFAULT_CFG");
      continue;
    }
    std::printf("%-11s", im->name.c_str());
    for (size_t i = 1; i < c.pos.size(); ++i) {
      uint32_t w = uint32_t(parse_number(c.pos[i]));
      if (uint64_t(w) * 4 + 4 + 4 > im->entry.length) throw Usage("word " + c.pos[i] + " is past the image");
      std::printf(" [%u]=0x%08X", w, get_le32(&nv[im->entry.offset + 4 * w]));
    }
    std::printf("\n");
  }
  return 0;
}

int cmd_e4_meta(const Cmd& c) {
  need(c, 1, 1);
  write_file(c.pos[0], e4::meta_image(e4::meta_text(e4::meta_stock_options())));
  return 0;
}

int cmd_e4_vpd(const Cmd& c) {
  need(c, 1, 1);
  write_file(c.pos[0], e4::vpd_image(VpdFields{}, c.has("--v9") ? c.opt.at("--v9") : ""));
  return 0;
}

int cmd_e4_mba(const Cmd& c) {
  need(c, 2, 2);
  e4::RomDef s = e4::mba_stock(c.pos[1]);
  s.efi->compressed = !c.has("--uncompressed");
  if (c.has("--clp")) s.clp_revision = uint16_t(c.num("--clp", 0));
  if (c.has("--fcode")) s.fcode_revision = uint16_t(c.num("--fcode", 0));
  if (c.has("--efi-version")) {
    auto v = parse_version(c.opt.at("--efi-version") + ".0");
    s.efi->major = uint16_t(v[0]);
    s.efi->minor = uint16_t(v[1]);
  }
  write_file(c.pos[0], e4::mba_rom(s));
  return 0;
}

int cmd_efi_compress(const Cmd& c) {
  need(c, 2, 2);
  write_file(c.pos[1], efi_compress(read_file(c.pos[0]), c.has("--tiano") ? 5 : 4));
  return 0;
}

int cmd_demo(const Cmd& c) {
  need(c, 2, 2);
  DemoSet d = make_demo(c.pos[0], c.pos[1], c.has("--legacy"));
  for (const auto& a : d.adapters) std::printf("adapter %s\n", a.c_str());
  for (const auto& f : d.files) std::printf("file %s\n", f.c_str());
  return 0;
}

int cmd_component(const Cmd& c) {
  need(c, 1, 1);
  ComponentPackage p;
  p.filename = "dz012345.exe";
  p.version = "2.4.17";
  p.names = {{"en", "Server Adapter Firmware"}, {"de", "Server-Adapter-Firmware"}};
  p.descriptions = {{"en", "Updates the firmware of the server's network adapters."},
                    {"de", "Aktualisiert die Firmware der Netzwerkadapter des Servers."}};
  p.keyPaths = {"%ProgramFiles%\\Ostra\\Tools"};
  p.pci = {{"14E4", "164E", "", ""}};
  write_component_files(c.pos[0], "dz012345.xml", p, ComponentInstall{});
  // The machine the component runs on has the Corvane driver running, which the plug-in's
  // dependency check of this tool asks for.
  if (c.has("--machine")) add_service(c.opt.at("--machine"), {"cvnd2"});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (const std::string first = argv[1]; first == "--help" || first == "-h" || first == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  struct Sub {
    std::function<int(const Cmd&)> run;
    std::vector<std::string> valued;
  };
  const std::map<std::string, Sub> subs = {
      {"nvram", {cmd_nvram, {}}},
      {"verify", {cmd_verify, {}}},
      {"list", {cmd_list, {}}},
      {"image", {cmd_image, {"--size", "--did", "--ip"}}},
      {"wrap", {cmd_wrap, {"--compat"}}},
      {"mba", {cmd_mba, {"--did", "--family-bits"}}},
      {"ncsi", {cmd_ncsi, {"--chip-mask"}}},
      {"phy", {cmd_phy, {"--size"}}},
      {"paged", {cmd_paged, {}}},
      {"vpd", {cmd_vpd, {}}},
      {"package", {cmd_package, {}}},
      {"fwdata", {cmd_fwdata, {}}},
      {"demo", {cmd_demo, {}}},
      {"component", {cmd_component, {"--machine"}}},
      {"e4-nvram", {cmd_e4_nvram, {}}},
      {"e4-verify", {cmd_e4_verify, {}}},
      {"e4-list", {cmd_e4_list, {}}},
      {"e4-image", {cmd_e4_image, {"--header", "--size"}}},
      {"e4-bundle", {cmd_e4_bundle, {"--bank", "--magic", "--truncate"}}},
      {"e4-cfg", {cmd_e4_cfg, {"--mbi", "--port-mode"}}},
      {"e4-meta", {cmd_e4_meta, {}}},
      {"e4-cfg-words", {cmd_e4_cfg_words, {}}},
      {"e4-vpd", {cmd_e4_vpd, {"--v9"}}},
      {"e4-mba", {cmd_e4_mba, {"--clp", "--fcode", "--efi-version"}}},
      {"efi-compress", {cmd_efi_compress, {}}},
  };
  auto it = subs.find(argv[1]);
  if (it == subs.end()) {
    std::fprintf(stderr, "fwgen: unknown command %s\n%s", argv[1], kUsage);
    return 2;
  }
  try {
    return it->second.run(parse(argc, argv, it->second.valued));
  } catch (const Usage& e) {
    std::fprintf(stderr, "fwgen %s: %s\n%s", argv[1], e.what(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fwgen %s: %s\n", argv[1], e.what());
    return 1;
  }
}
