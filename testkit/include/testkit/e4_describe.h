// E4 NVRAM images from a short description (fwgen e4-nvram), and the kit's stock E4 adapter.
//
//   size=0x40000   seq=2   copy=0|1   other=erased|older   self_entries=0|1
//   stock=MFW MBI MBA [port_mode=N] [mac=HEX]   every image of a stock adapter (below)
//   image=TYPE VERSION [size=N] [gap=N] [bad_crc=1]       a stock image of the type (e4_images.h)
//   image=TYPE file=PATH [gap=N] [bad_crc=1]              an image from a file
//   cfg=WORD VALUE                                         a word of the NVM_CFG1 image
// TYPE is a type name (TIM1, NVM_CFG1, ...). Errors throw std::invalid_argument naming the line.
#pragma once

#include "testkit/e4_nvram.h"

#include <string>
#include <string_view>

namespace testkit::e4 {

struct StockDef {
  std::string mfw = "8.10.5.0";  // TIM, MIM, LIM and RECOVERY of both banks
  std::string mbi = "8.10.5";    // in NVM_CFG1 and DEFAULT_CFG
  std::string mba = "0.7.9";     // the boot-agent ROM (legacy image and EFI x64 driver)
  uint32_t port_mode = 1;        // two ports
  uint64_t mac = 0x001018E40100;
  uint32_t size = 0x40000;
};

// TIM1/2, MIM1/2, PCIE_FW1/2, AVS_FW1/2, LIM, RECOVERY, MBA, NVM_CFG1, DEFAULT_CFG, META, VPD
// (V9 the MBI version), INIT_HW, HW_SET; copy 0 in force with seq 2 (bank 0 boots), copy 1 erased
// (so only DIR1 is listed).
NvramDef stock_nvram(const StockDef& def);

NvramDef parse_e4_description(std::string_view text, const std::string& base_dir = ".");

}  // namespace testkit::e4
