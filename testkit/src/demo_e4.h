// The E4 part of the demo set (demo.cpp): one two-port E4 board and its firmware files.
#pragma once

#include "testkit/demo.h"
#include "testkit/fwdata.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// Writes the board's two functions into `root` (list handles from `index` on), its MFW bundle and
// MBI package into `fwdir`, and adds its firmware data model.
void write_e4_demo(const std::string& root, const std::string& fwdir, uint32_t& index, DemoSet& out,
                   std::vector<NicFwModel>& models);

}  // namespace testkit
