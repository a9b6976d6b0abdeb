#include "demo_e4.h"

#include "sim/adapter_builder.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_rom.h"
#include "testkit/package.h"

#include <cstdio>

namespace testkit {
namespace {

// The board: a two-port E4 adapter with 8.10.5 firmware; the folder holds 8.12.3.
constexpr const char* kName = "e4-57980s";
constexpr uint16_t kVid = 0x1077, kDid = 0x1634, kSvid = 0x1077, kSsid = 0xE4F1;
constexpr uint32_t kMacBase = 0x18E40100;  // low 32 bits of the first MAC; the upper 16 are 0x0010
constexpr uint32_t kNvramSize = 0x40000;
constexpr const char* kOldMfw = "8.10.5.0";
constexpr const char* kOldMbi = "8.10.5";
constexpr const char* kOldMba = "0.7.9";
constexpr const char* kNewMfw = "8.12.3.0";
constexpr const char* kNewMba = "0.7.10";
constexpr uint8_t kNewMbi[3] = {8, 12, 3};

// The storage-protocol option (NVM_CFG1 word 34) as changed on the board, and the configuration
// image's version (words 39-42) before and after the update.
constexpr uint32_t kStorageWord = 34, kBoardStorage = 0x19, kNewDefaultStorage = 0x1;
constexpr uint32_t kOldCfgVersion = 1, kNewCfgVersion = 2;

e4::NvmCfgDef cfg_def(const char* mbi) {
  e4::NvmCfgDef c;
  unsigned a = 0, b = 0, d = 0;
  std::sscanf(mbi, "%u.%u.%u", &a, &b, &d);
  c.mbi = {a, b, d};
  c.mac = 0x001000000000ull | kMacBase;
  return c;
}

Bytes board_nvram() {
  e4::StockDef s;
  s.mfw = kOldMfw;
  s.mbi = kOldMbi;
  s.mba = kOldMba;
  s.port_mode = 1;  // two ports
  s.mac = 0x001000000000ull | kMacBase;
  s.size = kNvramSize;
  e4::NvramDef d = e4::stock_nvram(s);
  e4::NvmCfgDef changed = cfg_def(kOldMbi);
  changed.cfg_version[0] = kOldCfgVersion;
  changed.words = {{kStorageWord, kBoardStorage}};
  for (e4::ImageDef& im : d.images)
    if (im.type == e4::type::NVM_CFG1) im.data = e4::nvm_cfg(changed);
  return e4::build(d).nvram;
}

// The package's new default configuration (as the big-endian file) and its meta text.
Bytes new_nvm_cfg() {
  e4::NvmCfgDef c = cfg_def("8.12.3");
  c.cfg_version[0] = kNewCfgVersion;
  c.mac = 0x00AA00000000ull;  // placeholder MACs: the board keeps its own
  c.words = {{kStorageWord, kNewDefaultStorage}};
  return e4::nvm_cfg_file(e4::nvm_cfg(c));
}

Bytes new_mba() {
  e4::RomDef rom = e4::mba_stock(kNewMba);
  rom.vendor = kVid;
  rom.device = kDid;
  return e4::mba_rom(rom);
}

}  // namespace

void write_e4_demo(const std::string& root, const std::string& fwdir, uint32_t& index, DemoSet& out,
                   std::vector<NicFwModel>& models) {
  Bytes nvram = board_nvram();
  for (unsigned f = 0; f < 2; ++f) {
    sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyE4, index++, std::string(kName) + "-p" + std::to_string(f));
    a.board = kName;  // the functions share one flash and run one firmware
    a.vid = kVid;
    a.did = kDid;
    a.svid = kSvid;
    a.ssid = kSsid;
    a.chip_id = sim::chip_id_e4(kDid, 1, 0);
    a.function = f;
    a.port = f;
    a.port_count = 2;
    a.flash_word = kNvramSize;
    a.active_bundle = 0;  // bank 0 runs; the MFW version comes from its TIM in NVRAM
    char mac[20];
    std::snprintf(mac, sizeof mac, "0010%08X", kMacBase + f);
    a.mac = mac;
    sim::write_adapter(root, a);
    out.adapters.push_back(a.name);
  }
  sim::set_nvram(root, kName, nvram);

  Bytes mfw = e4::bundle(e4::mfw_bundle_items(kNewMfw, 0));
  write_file(fwdir + "/mfw_e4.bin", mfw);
  out.files.push_back("mfw_e4.bin");
  PackageDef p;
  p.major = kNewMbi[0];
  p.minor = kNewMbi[1];
  p.build = kNewMbi[2];
  p.date1 = 6;
  p.date2 = 15;
  p.year = 2024;
  // NVM_CFG and META make the package's "update_cfg -F" line: the configuration upgrade.
  p.entries = {{package_tag("MFW"), mfw, {}, {}},
               {package_tag("MBA"), new_mba(), {}, {}},
               {package_tag("NVM_CFG"), new_nvm_cfg(), {}, {}},
               {package_tag("META"), e4::meta_image(e4::meta_text(e4::meta_stock_options())), {}, {}}};
  p.rows = {{kVid, kDid, kSvid, kSsid, 0xF}};
  write_file(fwdir + "/mbi_e4.bin", package(p));
  out.files.push_back("mbi_e4.bin");
  models.push_back({"Demo 57980S dual-port adapter", "1077", "1634", "1077", "E4F1",
                    {{"mbi", "8.12.3"}, {"mbiFile", "mbi_e4.bin"}}});
}

}  // namespace testkit
