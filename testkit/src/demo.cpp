#include "testkit/demo.h"

#include "demo_e4.h"

#include "sim/adapter_builder.h"
#include "testkit/describe.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/fwdata.h"
#include "testkit/images.h"
#include "testkit/legacy_image.h"
#include "testkit/legacy_stock.h"
#include "testkit/package.h"
#include "testkit/phy_image.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace testkit {
namespace {

constexpr const char* kOld = "7.10.1";
constexpr const char* kNew = "7.12.0";
constexpr uint32_t kShmemBase = 0x3800;
constexpr uint32_t kNvramSize = 0x80000;

struct Board {
  std::string name;
  e1e3::Chip chip;
  uint16_t did;
  unsigned functions;
  uint32_t mac_base;  // low 32 bits of the first MAC; the upper 16 are 0x0010
  uint16_t vid = 0x14E4, svid = 0x14E4, ssid = did;
};

const Board kBoards[] = {
    {"e1-57710", e1e3::Chip::E1, 0x164E, 1, 0x18E10100},
    {"e2-57712", e1e3::Chip::E2, 0x1662, 1, 0x18E20100},
    {"e3-57810", e1e3::Chip::E3, 0x168E, 2, 0x18E30100},
    {"e3-57810c", e1e3::Chip::E3, 0x168E, 2, 0x18E50100, 0x14E4, 0x14E4, 0x1006},
};

// What a board's NVRAM holds: the version of its images, of its boot agent and the MBI version in
// CFG_SHARED. The E3 board's boot agent is a later build than its MBI, so a listing shows which it
// read; the converged E3 board (57810S, subsystem 1006) runs firmware newer than every
// sub-component threshold, so its MBI item shows the MBI version of its configuration (7.14.0)
// and not its boot agent's (7.14.2); the folder holds its 7.15.0 package.
struct BoardFirmware {
  const char* board;
  const char* images;
  const char* mba;
  const char* mbi;
  const char* package;  // the version of the board's MBI package in the folder
  const char* package_file;
};
const BoardFirmware kBoardFirmware[] = {
    {"e3-57810", kOld, "7.10.4", kOld, kNew, "mbi_e2e3.bin"},
    {"e3-57810c", "7.14.0", "7.14.2", "7.14.0", "7.15.0", "mbi_e3c.bin"},
};

BoardFirmware firmware_of(const std::string& board) {
  for (const BoardFirmware& f : kBoardFirmware)
    if (board == f.board) return f;
  return {"", kOld, kOld, kOld, kNew, ""};
}
constexpr uint32_t kCustomMacBase = 0x18EB0100;  // custom boards: 0x100 MACs apart

// The E3 board carries an external "8727" PHY (code 0x0900), which left the factory with
// "PHY 2.1.0"; the folder holds its 2.2.0 firmware.
struct BoardPhy {
  const char* board;
  uint32_t ext_phy_id;
  const char* tag;
  const char* factory;  // the version text the PHY reports until its firmware is replaced
  const char* folder_version;
  const char* file;
};
const BoardPhy kBoardPhys[] = {{"e3-57810", 0x0900, "8727", "PHY 2.1.0", "2.2.0", "phy_e3.bin"}};

const BoardPhy* phy_of(const std::string& board) {
  for (const BoardPhy& p : kBoardPhys)
    if (board == p.board) return &p;
  return nullptr;
}

e1e3::ImageDef img(const char* kind, const char* version, uint16_t did = 0) {
  return {kind, stock_image(kind, version, 0, did ? did : 0x168E), {}, {}, 0};
}

Bytes cfg_shared_with_mbi(const std::vector<unsigned>& v) {
  Bytes b = stock_image("CFG_SHARED", "");
  set_le32(b, 72, v[0] << 24 | v[1] << 16 | v[2] << 8);
  return b;
}

Bytes board_nvram(const Board& b) {
  e1e3::NvramDef s;
  s.chip = b.chip;
  s.size = kNvramSize;
  s.text20 = std::string("DEMO ") + b.name;
  s.part_number = std::string("DEMO-") + std::to_string(b.did);
  s.vpd.name = std::string("Demo adapter ") + b.name;
  s.vpd.sn = "DEMO" + std::to_string(b.did);
  e1e3::set_board(s, b.vid, b.did, b.svid, b.ssid, 0x001000000000ull | b.mac_base, b.functions);
  const BoardFirmware fw = firmware_of(b.name);
  const char* v = fw.images;
  if (b.chip == e1e3::Chip::E1) {
    s.images = {img("BC1", v), img("BC2", v), img("MBA", fw.mba, b.did), img("L2T", v),
                img("NCSI_CMN", v), img("ISCSI_B", v), img("I_B_CFG", "1.0.0")};
  } else {
    s.images = {img("MBA", fw.mba, b.did), img("L2T", v), img("MFW1", v), img("MFW2", v)};
    for (const char* swim : {"SWIM1", "SWIM2", "SWIM3", "SWIM4"}) s.images.push_back(img(swim, v));
  }
  s.images.push_back(img("NIC_PRTION", "1.0.0"));
  s.images.push_back({"CFG_SHARED", cfg_shared_with_mbi(parse_version(fw.mbi)), {}, {}, 0});
  return e1e3::build(s).nvram;
}

void write_adapters(const std::string& root, const Board& b, uint32_t& index, DemoSet& out) {
  Bytes nvram = board_nvram(b);
  for (unsigned f = 0; f < b.functions; ++f) {
    std::string name = b.name;
    if (b.functions > 1) name += "-p" + std::to_string(f);
    sim::AdapterDef a = sim::make_adapter(5, index++, name);
    a.board = b.name;  // the functions share one flash
    a.path = b.chip == e1e3::Chip::E1 ? 0 : f & 1;  // E2/E3: each path has its shared memory
    a.vid = b.vid;
    a.did = b.did;
    a.svid = b.svid;
    a.ssid = b.ssid;
    a.chip_id = sim::chip_id(b.did, 1, 0);
    a.function = f;
    a.port = f;
    a.port_count = b.functions > 1 ? 2 : 1;
    a.flash_word = kNvramSize;
    char mac[20];
    std::snprintf(mac, sizeof mac, "0010%08X", b.mac_base + f);
    a.mac = mac;
    a.reg(0xA2B4, kShmemBase);
    // The running MFW's version word (major << 24 | minor << 16 | build << 8); E1 runs none.
    const std::vector<unsigned> mfw = parse_version(firmware_of(b.name).images);
    a.reg(kShmemBase + 8, b.chip == e1e3::Chip::E1 ? 0 : mfw[0] << 24 | mfw[1] << 16 | mfw[2] << 8);
    a.reg(kShmemBase + 56, uint32_t(b.ssid) << 16 | b.svid);  // the board's subsystem ids
    a.reg(0xA720, 1);  // port mode valid, two-port mode
    if (const BoardPhy* phy = phy_of(b.name)) {
      a.ext_phy_id1 = phy->ext_phy_id;
      a.fw_text(yxmapi::fw5::kPhy, phy->factory);
    }
    sim::write_adapter(root, a);
    out.adapters.push_back(a.name);
  }
  sim::set_nvram(root, b.name, nvram);
}

// Legacy-family boards: NVRAM from the legacy kit, one description per PCI function.
struct LegacyBoard {
  const char* name;
  int board;
  uint32_t chip;  // chip number
  uint16_t did;
  unsigned functions;
  uint32_t mac_base;  // low 32 bits of the first MAC; the upper 16 are 0x0010
};

const LegacyBoard kLegacyBoards[] = {
    {"l-5706", 5706, 0x5706, 0x164A, 1, 0x18570600},
    {"l-5708", 5708, 0x5708, 0x164C, 1, 0x18570800},
    {"l-5709", 5709, 0x5709, 0x1639, 2, 0x18570900},
    {"l-5716", 5716, 0x5709, 0x163B, 2, 0x18571600},  // the 5716 board carries a 5709-class chip
};
constexpr uint32_t kLegacyNvramSize = 0x40000;
// The library lists an adapter only when the folder holds an MBI or PHY image that fits it; the
// legacy boards carry an external PHY whose image the folder holds ("8484", code 0x1100).
constexpr uint32_t kLegacyExtPhy = 0x1100;

void set_mac(uint8_t out[6], uint32_t low) {
  const uint8_t m[6] = {0x00, 0x10, uint8_t(low >> 24), uint8_t(low >> 16), uint8_t(low >> 8), uint8_t(low)};
  std::copy(m, m + 6, out);
}

Bytes legacy_nvram(const LegacyBoard& b) {
  namespace lg = testkit::legacy;
  lg::adapter a;
  a.board = b.board;
  a.nvm_size = kLegacyNvramSize;
  a.did = a.ssid = b.did;
  for (unsigned f = 0; f < 2; ++f) {
    set_mac(a.mac[f], b.mac_base + f);
    set_mac(a.iscsi_mac[f], b.mac_base + 0x10 + f);
    set_mac(a.backup_mac[f], b.mac_base + 0x20 + f);
  }
  a.product = std::string("Demo adapter ") + b.name;
  a.sn = "DEMO" + std::to_string(b.board);
  lg::stock_options o;
  o.device = b.did;
  o.ip = b.functions > 1 ? "4n6" : "";
  a.images.push_back(lg::placed("BC1", lg::stock_image("BC1", kOld)));
  a.images.push_back(lg::placed("MBA", lg::stock_image("MBA", kOld, o)));
  a.images.push_back(lg::placed("ISCSI_B", lg::stock_image("ISCSI_B", kOld, o)));
  a.images.push_back(lg::placed("ISB_CFG", lg::stock_image("ISB_CFG", "1.0.0")));
  if (b.functions > 1) {
    a.images.push_back(lg::placed("ISB_CFG2", lg::stock_image("ISB_CFG2", "1.0.0")));
    a.images.push_back(lg::placed("NCSI_CMN", lg::stock_image("NCSI_CMN", kOld)));
  } else {
    a.images.push_back(lg::placed("UMP", lg::stock_image("UMP", kOld)));
  }
  return lg::build_nvram(a);
}

void write_legacy_adapters(const std::string& root, const LegacyBoard& b, uint32_t& index, DemoSet& out) {
  Bytes nvram = legacy_nvram(b);
  for (unsigned f = 0; f < b.functions; ++f) {
    std::string name = b.name;
    if (b.functions > 1) name += "-p" + std::to_string(f);
    sim::AdapterDef a = sim::make_adapter(yxmapi::kFamilyLegacy, index++, name);
    a.board = b.name;  // the functions share one flash
    const uint32_t chip = b.chip;
    a.did = b.did;
    a.ssid = b.did;
    a.chip_id = sim::chip_id(chip, 1, 0);
    a.function = f;
    a.port = f;
    a.port_count = b.functions;
    a.flash_word = kLegacyNvramSize;
    a.capabilities = yxmapi::nic::kCapNeedsReboot;
    char mac[20];
    std::snprintf(mac, sizeof mac, "0010%08X", b.mac_base + f);
    a.mac = mac;
    // Chip id register: chip number, revision 0, metal 0; bit 0 clear is a copper board on the
    // chips whose media the register names (the 5709 names it in 0x8EC).
    a.reg(0x808, chip << 16);
    a.reg(0x8EC, 0x3);  // copper PHY
    a.reg(0x40C, 0x40000000);           // auxiliary power preset
    a.ext_phy_id1 = kLegacyExtPhy;
    sim::write_adapter(root, a);
    out.adapters.push_back(a.name);
  }
  sim::set_nvram(root, b.name, nvram);
}

std::string hex4(uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

// The legacy family's firmware, each file fit for every legacy board it is offered to: the boot
// code, the iSCSI boot (IPv4 with the layout-1 configuration, IPv4 and IPv6 with the layout-2 one)
// and the NC-SI wrapped; the boot agent (built for the 5706, the library gives it each board's
// ids) and the UMP raw.
struct LegacyFile {
  const char* name;
  Bytes data;
};

std::vector<LegacyFile> legacy_files() {
  namespace lg = testkit::legacy;
  auto sectioned = [](const char* kind) { return lg::sectioned_file(lg::stock_image(kind, kNew), 0x08000000); };
  auto plain = [](const char* kind, const char* version, lg::stock_options o = {}) {
    return lg::dword_reversed(lg::stock_image(kind, version, o));
  };
  auto records = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  constexpr uint32_t kLegacyBoards = 0x070000, kDualBoards = 0x040000;  // chip masks
  lg::stock_options rom, both;
  rom.device = 0x164A;
  both.ip = "4n6";
  return {
      {"bc_legacy.bin", records({lg::wrapped_v2(lg::tag('\0', 'b', 'c', '1'), kLegacyBoards, sectioned("BC1")),
                                 lg::wrapped_v2(lg::tag('\0', 'b', 'c', '2'), kLegacyBoards, sectioned("BC2"))})},
      {"mba_legacy.bin", plain("MBA", kNew, rom)},
      {"ib_legacy.bin", records({lg::wrapped_v2(lg::tag('\0', '\0', 'i', 'b'), 0, plain("ISCSI_B", kNew)),
                                 lg::wrapped_v2(lg::tag('\0', 'i', 'b', 'c'), 0, plain("ISB_CFG", "1.0.0")),
                                 lg::wrapped_v2(lg::tag('i', 'b', '4', 'n'), 0, plain("ISCSI_B", kNew, both)),
                                 lg::wrapped_v2(lg::tag('i', 'b', 'c', '6'), 0, plain("ISB_CFG", "2.0.0"))})},
      {"ump_legacy.bin", sectioned("UMP")},
      {"ncsi_legacy.bin", records({lg::wrapped_v2(lg::tag('n', 'c', 'c', 'm'), kDualBoards, sectioned("NCSI_CMN")),
                                   lg::wrapped_v2(lg::tag('n', 'c', 'l', 'x'), kDualBoards, sectioned("NCSI_XLIB"))})},
  };
}

NicFwModel legacy_model(const LegacyBoard& b) {
  const std::string did = hex4(b.did);
  NicFwModel m{std::string("Demo ") + std::to_string(b.board) + " adapter", "14E4", did, "14E4", did,
               {{"bootcode", kNew}, {"bcFile", "bc_legacy.bin"}, {"pxe", kNew}, {"pxeFile", "mba_legacy.bin"},
                {"iscsi", kNew}, {"iscsiFile", "ib_legacy.bin"}, {"ccm", "n/a"}, {"ccmFile", "n/a"}}};
  if (b.functions > 1)
    m.components.insert(m.components.end(), {{"ncsi", kNew}, {"ncsiFile", "ncsi_legacy.bin"}});
  else
    m.components.insert(m.components.end(), {{"ump", kNew}, {"umpFile", "ump_legacy.bin"}});
  return m;
}

Bytes mfw_bundle(const char* version) {
  return wrapped_stock(std::string("MFW1:") + version + ",MFW2:" + version + ",SWIM1:" + version + ",SWIM2:" +
                       version + ",SWIM3:" + version + ",SWIM4:" + version);
}

// An MBI package of a version (7.12.0 unless named) of these entries for these boards.
Bytes mbi_package(const std::vector<std::pair<const char*, Bytes>>& entries, const std::vector<PackageRow>& rows,
                  const char* version = kNew) {
  auto v = parse_version(version);
  PackageDef p;
  p.major = uint8_t(v[0]);
  p.minor = uint8_t(v[1]);
  p.build = uint8_t(v[2]);
  p.date1 = 6;
  p.date2 = 15;
  p.year = 2024;
  for (const auto& [name, data] : entries) p.entries.push_back({package_tag(name), data, {}, {}});
  p.rows = rows;
  return package(p);
}

}  // namespace

DemoSet make_demo(const std::string& root, const std::string& fwdir, bool legacy) {
  std::filesystem::create_directories(root);
  std::filesystem::create_directories(fwdir);
  DemoSet out;
  uint32_t index = 1;
  for (const Board& b : kBoards) write_adapters(root, b, index, out);
  if (legacy)
    for (const LegacyBoard& b : kLegacyBoards) write_legacy_adapters(root, b, index, out);

  auto put = [&](const std::string& name, const Bytes& data) {
    write_file(fwdir + "/" + name, data);
    out.files.push_back(name);
  };

  // Loose image files.
  std::vector<WrappedRecord> bc = {stock_record("BC1", kNew), stock_record("BC2", kNew)};
  for (auto& r : bc) {
    r.version = 2;
    r.compat = 0x80000;  // 57710 family
  }
  put("bc_e1.bin", wrapped_file(bc));
  put("mba_e1.bin", mba_rom(mba_stock(0x164E, kNew)));
  put("mba_e3.bin", mba_rom(mba_stock(0x168E, kNew)));
  put("mfw_e3.bin", mfw_bundle(kNew));
  put("l2t.bin", wrapped_stock(std::string("L2T:") + kNew));
  put("ncsi.bin", ncsi_bundle(kNew));
  for (const BoardPhy& p : kBoardPhys) put(p.file, phy_image(p.tag, p.folder_version));

  // MBI packages: one for the E1 board, one for the E2 and E3 boards, one for the converged board.
  Bytes l2t = wrapped_stock(std::string("L2T:") + kNew);
  put("mbi_e1.bin",
      mbi_package({{"MBA", mba_rom(mba_stock(0x164E, kNew))}, {"L2T", l2t}}, {{0x14E4, 0x164E, 0x14E4, 0x164E, 0x3}}));
  put("mbi_e2e3.bin", mbi_package({{"MFW", mfw_bundle(kNew)},
                                   {"MBA", mba_rom(mba_stock(0x168E, kNew))},
                                   // The 57712 takes the 57710 boot-agent ROM: the library accepts only
                                   // ROMs built for its list of devices and patches the board's own ids in.
                                   {"MBA", mba_rom(mba_stock(0x164E, kNew))},
                                   {"L2T", l2t}},
                                  {{0x14E4, 0x168E, 0x14E4, 0x168E, 0xB}, {0x14E4, 0x1662, 0x14E4, 0x1662, 0xD}}));
  const BoardFirmware converged = firmware_of("e3-57810c");
  put(converged.package_file, mbi_package({{"MFW", mfw_bundle(converged.package)},
                                           {"MBA", mba_rom(mba_stock(0x168E, converged.package))},
                                           {"L2T", wrapped_stock(std::string("L2T:") + converged.package)}},
                                          {{0x14E4, 0x168E, 0x14E4, 0x1006, 0x7}}, converged.package));

  std::vector<NicFwModel> models = {
      {"Demo 57710 adapter", "14E4", "164E", "14E4", "164E",
       {{"bootcode", kNew}, {"bcFile", "bc_e1.bin"}, {"pxe", kNew}, {"pxeFile", "mba_e1.bin"}, {"ncsi", kNew},
        {"ncsiFile", "ncsi.bin"}, {"l2", kNew}, {"l2File", "l2t.bin"}, {"mbi", kNew}, {"mbiFile", "mbi_e1.bin"}}},
      {"Demo 57712 adapter", "14E4", "1662", "14E4", "1662",
       {{"pxe", kNew}, {"pxeFile", "mba_e3.bin"}, {"mbi", kNew}, {"mbiFile", "mbi_e2e3.bin"}}},
      {"Demo 57810 dual-port adapter", "14E4", "168E", "14E4", "168E",
       {{"bootcode", kNew}, {"bcFile", "mfw_e3.bin"}, {"pxe", kNew}, {"pxeFile", "mba_e3.bin"}, {"l2", kNew},
        {"l2File", "l2t.bin"}, {"mbi", kNew}, {"mbiFile", "mbi_e2e3.bin"}, {"phy", phy_of("e3-57810")->folder_version},
        {"phyFile", phy_of("e3-57810")->file}}},
      {"Demo 57810S converged adapter", "14E4", "168E", "14E4", "1006",
       {{"mbi", converged.package}, {"mbiFile", converged.package_file}}},
  };
  if (legacy) {
    for (const LegacyFile& f : legacy_files()) put(f.name, f.data);
    put("phy_legacy.bin", phy_image("8484", "2.2.0"));
    for (const LegacyBoard& b : kLegacyBoards) models.push_back(legacy_model(b));
  }
  write_e4_demo(root, fwdir, index, out, models);
  std::string xml = nicfwdata_xml(models);
  write_text_file(fwdir + "/NICFWData.xml", xml);
  out.files.push_back("NICFWData.xml");
  return out;
}

DemoSet make_demo_boards(const std::string& root, const std::string& fwdir, const std::vector<DemoBoard>& boards) {
  std::filesystem::create_directories(root);
  std::filesystem::create_directories(fwdir);
  DemoSet out;
  uint32_t index = 1;
  std::vector<NicFwModel> models;
  const Bytes l2t = wrapped_stock(std::string("L2T:") + kNew);
  for (size_t i = 0; i < boards.size(); ++i) {
    const DemoBoard& d = boards[i];
    Board b{d.name, e1e3::Chip::E3, d.did, d.functions, kCustomMacBase + 0x100 * uint32_t(i), d.vid, d.svid, d.ssid};
    write_adapters(root, b, index, out);
    const std::string file = "mbi_" + d.name + ".bin";
    write_file(fwdir + "/" + file, mbi_package({{"MFW", mfw_bundle(kNew)}, {"MBA", mba_rom(mba_stock(d.did, kNew))},
                                                {"L2T", l2t}},
                                               {{d.vid, d.did, d.svid, d.ssid, 0x7}}));
    out.files.push_back(file);
    models.push_back({"Demo board " + d.name, hex4(d.vid), hex4(d.did), hex4(d.svid), hex4(d.ssid),
                      {{"mbi", kNew}, {"mbiFile", file}}});
  }
  write_text_file(fwdir + "/NICFWData.xml", nicfwdata_xml(models));
  out.files.push_back("NICFWData.xml");
  return out;
}

}  // namespace testkit
