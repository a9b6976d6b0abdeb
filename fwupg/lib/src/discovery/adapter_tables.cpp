// The built-in adapter tables (see adapter_tables.h).
#include "fwupg/adapter_tables.h"

#include <array>
#include <cstring>

#include "fwupg/debug_log.h"

namespace {

struct OemRow {
    uint16_t venid, devid, subvenid, subdevid;
    const char* name;
};

// The served models. Besides the boards of the product line, the list carries the boards of the
// simulated machine's adapter builder and of the demo set.
constexpr OemRow kOemRows[] = {
    {0x14E4, 0x164A, 0x14E4, 0x164A, "ZKE Aldern 5706 Single Port 1GbE Adapter"},
    {0x14E4, 0x164C, 0x14E4, 0x164C, "ZKE Aldern 5708 Single Port 1GbE Adapter"},
    {0x14E4, 0x1639, 0x14E4, 0x0906, "ZKE Aldern 5709C Dual Port 1GbE Adapter"},
    {0x14E4, 0x1639, 0x14E4, 0x1639, "ZKE Aldern 5709 Dual Port 1GbE Adapter"},
    {0x14E4, 0x163B, 0x14E4, 0x163B, "ZKE Aldern 5716 Dual Port 1GbE Adapter"},
    {0x14E4, 0x164E, 0x14E4, 0x164E, "ZKE Aldern 57710 10GbE Adapter"},
    {0x14E4, 0x1650, 0x14E4, 0x1650, "ZKE Aldern 57711E 10GbE Adapter"},
    {0x14E4, 0x1662, 0x14E4, 0x1662, "ZKE Aldern 57712 Dual Port 10GbE Adapter"},
    {0x14E4, 0x168E, 0x14E4, 0x168E, "ZKE Aldern 57810S Dual Port 10GbE Adapter"},
    {0x14E4, 0x168E, 0x14E4, 0x1006, "ZKE Aldern 57810S Dual Port 10GbE Converged Adapter"},
    {0x14E4, 0x16A1, 0x14E4, 0x16A1, "ZKE Aldern 57840S Quad Port 10GbE Adapter"},
    {0x14E4, 0x168E, 0x103C, 0x22FA, "ZKE Aldern 57810S Dual Port 10GbE Blade Adapter"},
    {0x14E4, 0x168E, 0x103C, 0x1916, "ZKE Aldern 57810S Dual Port 10GbE Mezzanine Adapter"},
    {0x14E4, 0x168E, 0x103C, 0x193A, "ZKE Aldern 57810S Dual Port 10GbE FlexLOM Adapter"},
    {0x1077, 0x16A1, 0x1590, 0x00EC, "ZKE Vindo 57840S Quad Port 10GbE Adapter"},
    {0x1077, 0x16A4, 0x1590, 0x22ED, "ZKE Vindo 57840S Quad Port 10GbE Converged Adapter"},
    {0x1077, 0x1634, 0x1077, 0xE4F1, "ZKE Aldern 57980S Dual Port 25GbE Adapter"},
    {0x1077, 0x1656, 0x1077, 0xE4F2, "ZKE Aldern YX41262 Dual Port 25GbE Adapter"},
};

constexpr std::array<OemAdapterEntry, kOemAdapterRows> BuildOemTable()
{
    std::array<OemAdapterEntry, kOemAdapterRows> table{};
    for (size_t i = 0; i < kOemAdapterRows; ++i) {
        OemAdapterEntry& e = table[i];
        if (i < std::size(kOemRows)) {
            const OemRow& r = kOemRows[i];
            e.venid = r.venid, e.devid = r.devid, e.subvenid = r.subvenid, e.subdevid = r.subdevid;
            for (size_t k = 0; r.name[k] != '\0' && k + 1 < sizeof e.name; ++k) e.name[k] = r.name[k];
        } else {
            e.venid = e.devid = e.subvenid = e.subdevid = 0xFFFF;
        }
    }
    return table;
}
static_assert(std::size(kOemRows) <= kOemAdapterRows);

}  // namespace

constinit const std::array<OemAdapterEntry, kOemAdapterRows> g_OemAdapterTable = BuildOemTable();

const NicTypeEntry g_NicTypeTable[] = {
    {0x14E4, 0x164A, 0x14E4, 0x164A, "5706C"},
    {0x14E4, 0x164C, 0x14E4, 0x164C, "5708C B2"},
    {0x14E4, 0x1639, 0x14E4, 0x0906, "5709C"},
    {0x14E4, 0x1639, 0x14E4, 0x1639, "5709C"},
    {0x14E4, 0x163B, 0x14E4, 0x163B, "5716C"},
    {0x14E4, 0x164E, 0x14E4, 0x164E, "57710"},
    {0x14E4, 0x1650, 0x14E4, 0x1650, "57711E"},
    {0x14E4, 0x1662, 0x14E4, 0x1662, "57712"},
    {0x14E4, 0x166F, 0x14E4, 0x166F, "VF (57712 family)"},
    {0x14E4, 0x168E, 0x14E4, 0x168E, "57810S"},
    {0x14E4, 0x168E, 0x14E4, 0x1006, "57810S"},
    {0x14E4, 0x168E, 0x103C, 0x22FA, "57810S"},
    {0x14E4, 0x168E, 0x103C, 0x1916, "57810S"},
    {0x14E4, 0x168E, 0x103C, 0x193A, "57810S"},
    {0x14E4, 0x16A1, 0x14E4, 0x16A1, "57840S"},
    {0x1077, 0x16A1, 0x1590, 0x00EC, "57840S"},
    {0x1077, 0x16A4, 0x1590, 0x22ED, "57840S"},
    {0x1077, 0x1634, 0x1077, 0xE4F1, "57980S"},
    {0x1077, 0x1656, 0x1077, 0xE4F2, "YX41262"},
    {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "N/A"},
};

namespace fwupg {

const OemAdapterEntry* FindOemAdapter(uint32_t vid, uint32_t svid, uint32_t ssid)
{
    for (const OemAdapterEntry& e : g_OemAdapterTable)
        if (e.name[0] != '\0' && e.venid == vid && e.subvenid == svid && e.subdevid == ssid) return &e;
    return nullptr;
}

std::string GetOemProductName(uint32_t vid, uint32_t, uint32_t svid, uint32_t ssid)
{
    const OemAdapterEntry* e = FindOemAdapter(vid, svid, ssid);
    return e ? std::string(e->name, strnlen(e->name, sizeof e->name)) : std::string();
}

std::string NicTypeName(uint32_t vid, uint32_t did, uint32_t svid, uint32_t ssid)
{
    for (const NicTypeEntry* e = g_NicTypeTable; e->did != 0xFFFFFFFF; ++e)
        if (e->vid == vid && e->did == did && e->svid == svid && e->ssid == ssid) return e->name;
    return "Unknown";
}

}  // namespace fwupg
