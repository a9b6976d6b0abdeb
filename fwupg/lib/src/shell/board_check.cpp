// The board check and the comparison of a board with a backup: verdicts the front end needs
// without writing anything (before it programs a leftover backup back, keeps it or removes it,
// and before it refuses a change of a damaged board). "crc -no_print" is not used for them: it
// also gives a blank VPD area the default VPD.
#include <tcl.h>

#include <vector>

#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "shell_internal.h"

namespace fwupg::shell {

namespace {

struct Range {
    uint32_t begin, end;
};

// Where a board names itself, the words only a backup can give back once a cut erased them: E1-E3
// port parts (400 bytes at 300 + 400 x port, path 1 at 2068 + 400 x port; E1 boards have path 0
// only) with their PCI ids (+0), MAC, iSCSI and FCoE addresses (+16..+39) and the backup copy of
// the MAC address (+392); the legacy hardware block with each function's PCI ids (0x104 on
// one-function boards, 0x154 and 0x1A8) and addresses (0x134, 0x15C..0x16B; 0x188, 0x1B0..0x1BF).
// The rest of the configuration blocks holds words an update rewrites (the MBI version among
// them), which a finished update's leftover holds in their old form.
struct Identity {
    Range read;                  // one read that covers them
    std::vector<Range> fields;
};

constexpr uint16_t kE1Dids[] = {0x164E, 0x164F, 0x1650};

bool SelectedIsE1()
{
    const uint32_t did = g_CurPhyNic.get(yxmapi::phy::kDid) & 0xFFFF;
    for (uint16_t e1 : kE1Dids)
        if (did == e1) return true;
    return false;
}

std::vector<Identity> IdentityRanges()
{
    switch (SelectedFamily()) {
    case yxmapi::kFamily57710: {
        std::vector<Identity> paths;
        for (uint32_t base : {256u, 2024u}) {
            if (base == 2024 && SelectedIsE1()) break;
            Identity path{{base, base + 848}, {}};
            for (uint32_t part = base + 44; part < base + 44 + 800; part += 400)
                path.fields.insert(path.fields.end(), {{part, part + 8}, {part + 16, part + 40}, {part + 392, part + 400}});
            paths.push_back(path);
        }
        return paths;
    }
    case yxmapi::kFamilyLegacy:
        return {{{0x100, 0x200},
                 {{0x104, 0x10C}, {0x134, 0x13C}, {0x154, 0x16C}, {0x188, 0x190}, {0x1A8, 0x1C0}}}};
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
    const std::vector<Identity> identity = IdentityRanges();
    if (identity.empty()) return false;
    const uint32_t code = g_uUpgRetCode;
    bool same = true;
    for (const Identity& block : identity) {
        std::string board;
        if (block.read.end > backupBytes.size() ||
            !DumpNvmRange(interp, scratch, block.read.begin, block.read.end, &board)) {
            same = false;
            break;
        }
        for (const Range& f : block.fields)
            same = same && backupBytes.compare(f.begin, f.end - f.begin, board, f.begin - block.read.begin,
                                               f.end - f.begin) == 0;
    }
    g_uUpgRetCode = code;
    Tcl_ResetResult(interp);
    return same;
}

}  // namespace fwupg::shell
