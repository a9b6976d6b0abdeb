// The board check and the comparison of a board with a backup: verdicts the front end needs
// without writing anything (before it programs a leftover backup back, keeps it or removes it,
// and before it refuses a change of a damaged board). "crc -no_print" is not used for them: it
// also gives a blank VPD area the default VPD.
#include <tcl.h>

#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

struct Range {
    uint32_t begin, end;
};

// Configuration blocks: E1-E3 one per path (848 bytes at 256 and at 2024; E1 boards have path 0
// only, their images start at 2024), each with the ports' PCI ids and MAC addresses; the legacy
// hardware and feature blocks (0x100-0x2FF) with the functions' MAC addresses and ids.
constexpr Range kE123Path0{256, 256 + 848}, kE123Path1{2024, 2024 + 848};
constexpr Range kLegacyBlocks{0x100, 0x300};
constexpr uint16_t kE1Dids[] = {0x164E, 0x164F, 0x1650};

bool SelectedIsE1()
{
    const uint32_t did = g_CurPhyNic.get(yxmapi::phy::kDid) & 0xFFFF;
    for (uint16_t e1 : kE1Dids)
        if (did == e1) return true;
    return false;
}

std::vector<Range> ConfigurationRanges()
{
    switch (SelectedFamily()) {
    case yxmapi::kFamily57710:
        if (SelectedIsE1()) return {kE123Path0};
        return {kE123Path0, kE123Path1};
    case yxmapi::kFamilyLegacy:
        return {kLegacyBlocks};
    default:
        return {};
    }
}

}  // namespace

bool BoardFailsCheck(Tcl_Interp* interp)
{
    const uint32_t family = SelectedFamily();
    if (family != yxmapi::kFamily57710 && family != yxmapi::kFamilyLegacy) return false;
    const uint32_t code = g_uUpgRetCode;
    HostOps ops = CommandHostOps(interp, nullptr);
    LogDebugMsg(DBG_DEBUG, "BoardFailsCheck(): checking the NVRAM's CRCs (read only).");
    const int verdict = family == yxmapi::kFamilyLegacy ? gpIFwUpgKv9->nvm_crc_check(ops)
                                                          : gpIFwUpgKv9->nvm_board_check_57710(ops);
    g_uUpgRetCode = code;
    Tcl_ResetResult(interp);
    return verdict != 0;
}

bool BoardMatchesBackup(Tcl_Interp* interp, const std::string& backupBytes, const std::string& scratch)
{
    const uint32_t code = g_uUpgRetCode;
    bool same = true;
    for (const Range& r : ConfigurationRanges()) {
        std::string board;
        if (r.end > backupBytes.size() || !DumpNvmRange(interp, scratch, r.begin, r.end, &board) ||
            backupBytes.compare(r.begin, r.end - r.begin, board) != 0) {
            same = false;
            break;
        }
    }
    g_uUpgRetCode = code;
    Tcl_ResetResult(interp);
    return same && !ConfigurationRanges().empty();
}

}  // namespace fwupg::shell
