// The built-in adapter tables: the OEM adapter table (which adapter models the library serves and
// their product names) and the NIC type table (chip names by PCI identity).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// One served adapter model. The device id is not compared by lookups: one row serves every device
// id of a board.
struct OemAdapterEntry {
    uint16_t venid;
    uint16_t devid;
    uint16_t subvenid;
    uint16_t subdevid;
    char name[1024];
};
static_assert(sizeof(OemAdapterEntry) == 1032);

// 84 rows, no end marker. Rows not in use carry the ids 0xFFFF, which no PCI function reports.
constexpr size_t kOemAdapterRows = 84;
extern const std::array<OemAdapterEntry, kOemAdapterRows> g_OemAdapterTable;

// One row of the NIC type table; the table ends with a row whose four ids are 0xFFFFFFFF.
struct NicTypeEntry {
    uint32_t vid;
    uint32_t did;
    uint32_t svid;
    uint32_t ssid;
    const char* name;
};
extern const NicTypeEntry g_NicTypeTable[];

namespace fwupg {

// The first OEM row matching vendor, subsystem vendor and subsystem device id; null when none.
const OemAdapterEntry* FindOemAdapter(uint32_t vid, uint32_t svid, uint32_t ssid);
// That row's product name, or empty text.
std::string GetOemProductName(uint32_t vid, uint32_t did, uint32_t svid, uint32_t ssid);
// The chip name of the first NIC type row matching all four ids, else "Unknown".
std::string NicTypeName(uint32_t vid, uint32_t did, uint32_t svid, uint32_t ssid);

}  // namespace fwupg
