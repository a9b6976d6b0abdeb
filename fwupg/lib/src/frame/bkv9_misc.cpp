// The adapter access helper's small services: the ::toe integer reader, the board table, the
// driver-version gate, the management-library version check and console output.
#include <tcl.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <tuple>

#include "fwupg/bkv9_helper.h"
#include "fwupg/debug_log.h"
#include "fwupg/yxmapi_client.h"

namespace {

struct BoardRow {
    uint32_t deviceId;
    uint32_t board;
};

constexpr BoardRow kBoards[] = {
    {0x1600, 5752},  {0x1601, 5752},  {0x1639, 5709},  {0x163A, 5709},  {0x163B, 5716},  {0x163C, 5716},
    {0x1648, 5704},  {0x16A8, 5704},  {0x164A, 5706},  {0x16AA, 5706},  {0x164C, 5708},  {0x16AC, 5708},
    {0x164D, 5702},  {0x16A6, 5702},  {0x16C6, 5702},  {0x164E, 5710},  {0x164F, 5711},  {0x1650, 5712},
    {0x1653, 5705},  {0x1654, 5705},  {0x165D, 5705},  {0x165E, 5705},  {0x166D, 5705},  {0x166E, 5705},
    {0x1660, 57728}, {0x1661, 57728}, {0x1668, 5714},  {0x1669, 5714},  {0x166A, 5780},  {0x166B, 5780},
    {0x1673, 5755},  {0x1678, 5715},  {0x1679, 5715},  {0x167C, 5750},  {0x167D, 5751},  {0x167E, 5751},
    {0x16A7, 5703},  {0x16C7, 5703},  {0x16DD, 5781},  {0x16F7, 5753},  {0x16FD, 5753},  {0x16FE, 5753},
    {0x170E, 5901},
};

struct Version {
    uint32_t major, minor, build;
    bool operator<(const Version& o) const
    {
        return std::tie(major, minor, build) < std::tie(o.major, o.minor, o.build);
    }
};

}  // namespace

int Bkv9Helper::GetToeInt(Tcl_Interp* interp, const char* name, int* out)
{
    Tcl_Obj* value = Tcl_GetVar2Ex(interp, "::toe", name, TCL_GLOBAL_ONLY);
    if (!value) {
        Tcl_AppendResult(interp, "$", "::toe", "(", name, ") not defined", static_cast<char*>(nullptr));
        return 1;
    }
    if (Tcl_GetIntFromObj(nullptr, value, out) != TCL_OK) {
        Tcl_AppendResult(interp, "$", "::toe", "(", name, ") is not a number", static_cast<char*>(nullptr));
        return 1;
    }
    return 0;
}

uint32_t Bkv9Helper::BoardFromDeviceId(uint32_t deviceId)
{
    for (const BoardRow& row : kBoards)
        if (row.deviceId == deviceId) return row.board;
    return deviceId;
}

bool _CanUpgradeFW(const yxmapi::PhyNicInfo& nic)
{
    using namespace yxmapi;
    if (nic.get(phy::kDriverAccess) == 0) return false;
    const uint32_t family = nic.get(phy::kFamily);
    if (family == kFamilyE4) return true;
    Version required{0, 0, 0};
    if (family == kFamilyLegacy) required = {2, 8, 3};
    if (family == kFamily57710) required = {4, 0, 18};
    const Version have{nic.get(phy::kDriverMajor), nic.get(phy::kDriverMinor), nic.get(phy::kDriverBuild)};
    if ((family == kFamilyLegacy || family == kFamily57710) && !(have < required)) return true;
    ConsolePrint(0, "Driver version %u.%u.%u or greater is required to use this utility!\r\n", required.major,
                 required.minor, required.build);
    ConsolePrint(0, "Please update to the latest driver version using the Driver Installer Program.\r\n\n");
    return false;
}

bool CheckApiVersion()
{
    Version have{0, 0, 0};
    if (fwupg::yx::GetVersion(&have.major, &have.minor, &have.build) != 0) return false;
    const Version required{7, 6, 14};
    if (!(have < required)) return true;
    ConsolePrint(0, "YXMAPI version: current = %u.%u.%u, required = %d.%d.%d or later\n", have.major, have.minor,
                 have.build, 7, 6, 14);
    return false;
}

uint32_t get_vfs_per_pf()
{
    return 0;
}

void ConsolePrint(int, const char* fmt, ...)
{
    if (!fmt) return;
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n > 0) {
        std::string text(static_cast<size_t>(n), '\0');
        std::vsnprintf(text.data(), text.size() + 1, fmt, again);
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        LogDebugString("%s", text.c_str());
    }
    va_end(again);
}
