#include "testkit/e1e3_types.h"

namespace testkit::e1e3 {
namespace {

constexpr ImageKind kTable[] = {
    {"BC1", 0xF0000000, 0x02000000, 0x31636200},
    {"BC2", 0x00000000, 0x02000000, 0x32636200},
    {"MBA", 0x10000000, 0x01000000, 0x61626D00},
    {"NCSI_CMN", 0x20000000, 0x02000000, 0x6D63636E},
    {"NCSI_ELIB", 0x60000000, 0x02000000, 0x656C636E},
    {"L2T", 0x70000000, 0x03000000, 0x74326C00},
    {"L2C", 0x80000000, 0x04000000, 0x63326C00},
    {"L2X", 0x90000000, 0x05000000, 0x78326C00},
    {"L2U", 0xA0000000, 0x06000000, 0x75326C00},
    {"IPMI", 0x40000000, 0x02000000, 0x696D7069},
    {"MODULES_PN", 0x30000000, 0x01000000, 0x706D7500},
    {"ISCSI_B", 0xD0000000, 0x01000000, 0x62690000},
    {"I_B_CFG", 0xC0000000, 0x01000000, 0x63626900},
    {"I_B_CFG2", 0x50000000, 0x01000000, 0x63626900},
    {"I_B_CPRG", 0xB0000000, 0x01000000, 0x65706269},
    {"FCOE_B", 0x20000001, 0x01000000, 0x62656600},
    {"FEB_CFG", 0x10000001, 0x01000000, 0x63626566},
    {"FEB_CFG2", 0x30000001, 0x01000000, 0x63626566},
    {"FEB_CFG3", 0x60000001, 0x01000000, 0x63626566},
    {"FEB_CFG4", 0x70000001, 0x01000000, 0x63626566},
    {"FEB_CPRG", 0x40000001, 0x01000000, 0x65706266},
    {"NIC_PRTION", 0x50000001, 0x01000000, 0x7063696E},
    {"VPD", 0xA0000001, 0x01000000, 0x44505600},
    {"E3_WC", 0xB0000001, 0x07000000, 0x63773365},
    {"E3_PCIE", 0xC0000001, 0x08000000, 0x65703365},
    {"NIV", 0xD0000001, 0x01000000, 0x6E69760A},
    {"NIVPROFILES", 0xD0000003, 0x01000000, 0x6E6976BB},
    {"BOOT_CFG_SHADOW", 0x10800001, 0x01000000, 0x6363CACA},
    {"CFG_SHARED", 0xE0000003, 0x02000000, 0x73686172},
    {"I_B_CFG3", 0x80000001, 0x01000000, 0x63626900},
    {"I_B_CFG4", 0x90000001, 0x01000000, 0x63626900},
    {"MFW1", 0x20000003, 0x02000000, 0x3177666D},
    {"MFW2", 0x30000003, 0x02000000, 0x3277666D},
    {"SWIM1", 0xE0000001, 0x02000000, 0x73776949},
    {"SWIM2", 0xF0000001, 0x02000000, 0x73776950},
    {"SWIM3", 0x10000003, 0x02000000, 0x73776951},
    {"SWIM4", 0x40000003, 0x02000000, 0x73776952},
    {"SWIM5", 0x50000003, 0x02000000, 0x73776953},
    {"SWIM6", 0x60000003, 0x02000000, 0x73776954},
    {"SWIM7", 0x70000003, 0x02000000, 0x73776955},
    {"SWIM8", 0x80000003, 0x02000000, 0x73776956},
    {"SWIM9", 0x20800001, 0x02000000, 0x73776965},
    {"SWIM10", 0x30800001, 0x02000000, 0x73776967},
    {"SWIM11", 0x40800001, 0x02000000, 0x73776969},
    {"SWIM12", 0x50800001, 0x02000000, 0x7377696B},
    {"SWIM1B", 0x10800003, 0x02000000, 0x73776957},
    {"SWIM2B", 0x20800003, 0x02000000, 0x73776958},
    {"SWIM3B", 0x30800003, 0x02000000, 0x73776959},
    {"SWIM4B", 0x40800003, 0x02000000, 0x73776960},
    {"SWIM5B", 0x50800003, 0x02000000, 0x73776961},
    {"SWIM6B", 0x60800003, 0x02000000, 0x73776962},
    {"SWIM7B", 0x70800003, 0x02000000, 0x73776963},
    {"SWIM8B", 0x80800003, 0x02000000, 0x73776964},
    {"SWIM9B", 0xB0800003, 0x02000000, 0x73776966},
    {"SWIM10B", 0xE0800003, 0x02000000, 0x73776968},
    {"SWIM11B", 0x60800001, 0x02000000, 0x7377696A},
    {"SWIM12B", 0x70800001, 0x02000000, 0x7377696C},
    {"MFW2_A", 0x90000003, 0x02000000, 0x3377666D},
    {"OCNVM", 0xA0000003, 0x00000000, 0x766E636F},
    {"E3_WC_V2", 0xF0000003, 0x07000000, 0x32766377},
    {"E3_PCIE_V2", 0x00800003, 0x08000000, 0x32766570},
    {"CCM", 0x90800003, 0x01000000, 0x6D636300},
    {"HW_SET", 0xA0800003, 0x01000000, 0x706D7501},
    {"USR_BLK", 0xB0000003, 0x01000000, 0x60627275},
    {"BDN", 0xC0800003, 0x01000000, 0x6E646200},
    {"MDUMP", 0xD0800003, 0x01000000, 0x706D646D},
};

}  // namespace

const ImageKind* kinds(size_t* count) {
  *count = std::size(kTable);
  return kTable;
}

const ImageKind* kind_by_name(std::string_view name) {
  for (const auto& k : kTable)
    if (k.name == name) return &k;
  return nullptr;
}

const ImageKind* kind_by_type(uint32_t dir_type) {
  for (const auto& k : kTable)
    if (k.dir_type == dir_type) return &k;
  return nullptr;
}

const ImageKind* kind_by_tag(uint32_t tag) {
  for (const auto& k : kTable)
    if (k.tag == tag) return &k;
  return nullptr;
}

Home home_of(const ImageKind& k) {
  if (k.dir_type == kBc1Type) return Home::Bootstrap;
  // Main-directory types have the low two bits and bit 23 clear; every other kind lives in the
  // extended directory.
  return (k.dir_type & 0x00800003) == 0 ? Home::Main : Home::Extended;
}

uint32_t default_sram(const ImageKind& k) {
  switch (k.dir_type) {
    case 0x30000000: case 0xB0000001: case 0xC0000001: case 0xF0000003:
    case 0x00800003: case 0xA0000003: case 0x10000000:
      return 0;
    default:
      break;
  }
  switch (k.processor) {
    case 0x03000000: return 0x1C0000;
    case 0x04000000: return 0x240000;
    case 0x05000000: return 0x2C0000;
    case 0x06000000: return 0x340000;
    default: return 0x08000010;
  }
}

bool is_swim(uint32_t dir_type) {
  const ImageKind* k = kind_by_type(dir_type);
  return k && k->name.substr(0, 4) == "SWIM";
}

}  // namespace testkit::e1e3
