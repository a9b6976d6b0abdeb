// The demo set: a simulated machine with E1-E3 adapters (and, when asked, legacy adapters) and a
// firmware folder with newer images for the E1-E3 adapters. demo.sh and end-to-end tests make it
// with "fwgen demo".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

struct DemoSet {
  std::vector<std::string> adapters;  // adapter names under <root>/adapters
  std::vector<std::string> files;     // file names in the firmware folder
};

// Writes the adapters (descriptions through the simulator's builder, NVRAM images from the kit)
// into `root` and the image files, packages and NICFWData.xml into `fwdir`; both folders are
// created when missing. The boards:
//   e1-57710     E1 (0x164E), one function: BC1, BC2, MBA, L2T, NCSI, iSCSI boot, 7.10.1;
//   e2-57712     E2 (0x1662), one function: MFW1/MFW2/SWIMs, MBA, L2T, 7.10.1;
//   e3-57810-p0, e3-57810-p1
//                E3 (0x168E), a two-port board (functions 0 and 1): as the E2 board, boot agent
//                7.10.4, and an external "8727" PHY (id 0x0900) whose factory firmware reports
//                "PHY 2.1.0";
//   e3-57810c-p0, e3-57810c-p1
//                E3 converged board (14E4:168E, subsystem 14E4:1006), two functions: MFW1/MFW2/
//                SWIMs and L2T 7.14.0, MBA 7.14.2, MBI 7.14.0 in CFG_SHARED: every sub-component
//                above the version thresholds, so its MBI item shows the MBI version; its
//                shared memory names subsystem 14E4:1006, a board that gets a boot-configuration
//                shadow image with an update;
//   e4-57980s-p0, e4-57980s-p1
//                E4 (1077:1634, 1077:E4F1), a two-port board: the kit's stock E4 NVRAM with MFW
//                8.10.5.0 in both banks (bank 0 running), MBI 8.10.5, MBA 0.7.9.
// With `legacy` also:
//   l-5706, l-5708
//                legacy boards (0x164A, 0x164C), one function: BC1, MBA, iSCSI boot and its
//                configuration, UMP, 7.10.1;
//   l-5709-p0, l-5709-p1, l-5716-p0, l-5716-p1
//                legacy two-port boards (0x1639, 0x163B): BC1, MBA, iSCSI boot for IPv4 and IPv6
//                with a configuration per port, NCSI, 7.10.1.
// The other E1-E3 boards keep MBI version 7.10.1 in CFG_SHARED. The folder holds a 7.15.0 MBI
// package for the converged board (mbi_e3c.bin: MFW bundle, MBA, L2T) and 7.12.0 images: MBI
// packages per family, wrapped bootcode, MFW bundle, L2T, NCSI bundle, boot-agent ROMs, the E3
// board's PHY firmware 2.2.0 (phy_e3.bin, named in its NICFWData.xml model); with
// `legacy` also the legacy family's wrapped boot code, iSCSI boot (both layouts) and NC-SI, its raw
// boot-agent ROM and UMP, and a NICFWData.xml model per legacy board naming them; for the E4 board an 8.12.3.0 MFW bundle
// (mfw_e4.bin) and an 8.12.3 MBI package of that bundle and an MBA 0.7.10 ROM (mbi_e4.bin).
DemoSet make_demo(const std::string& root, const std::string& fwdir, bool legacy = false);

// An E3 board of the demo kind (as e3-57810) with PCI ids of the caller's choice.
struct DemoBoard {
  std::string name;  // adapter name; with two functions "-p0" and "-p1" are appended
  uint16_t vid = 0x14E4, did = 0x168E, svid = 0x14E4, ssid = 0x168E;
  unsigned functions = 2;
};

// Writes the boards into `root` (7.10.1 images, MBI version 7.10.1 in CFG_SHARED) and into `fwdir`
// one 7.12.0 MBI package per board, "mbi_<name>.bin", whose PCI table lists exactly the board's
// ids, and a NICFWData.xml with one model per board.
DemoSet make_demo_boards(const std::string& root, const std::string& fwdir, const std::vector<DemoBoard>& boards);

}  // namespace testkit
