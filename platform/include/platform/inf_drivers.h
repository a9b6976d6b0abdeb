// The drivers an INF file offers, as the device installer lists them: one per line of the model
// sections that its [Manufacturer] lines name (each "%Mfg% = models[, decoration...]" names the
// section "models" and "models.<decoration>"), a model line being "description = install
// section, hardware id, ...". [Version] gives them DriverVer ("mm/dd/yyyy,a.b.c.d") and Provider.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/device_store.h"

namespace platform::inf {

struct DriverNode {
    devices::Driver driver;  // inf is the path as given
    std::vector<std::u16string> hardware_ids;
};

// 0, or the Windows error that reading the INF met: 2/3 missing, 0xE0000003 syntax.
unsigned read_drivers(std::u16string_view inf_path, std::vector<DriverNode>& out);

}  // namespace platform::inf
