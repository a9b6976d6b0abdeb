// Option fixes that particular boards need after an MFW upgrade, and the setter they go through.
#include "fwupg/nvm/e123/board_fixups.h"

#include <initializer_list>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"

// The configuration editor may be linked in or not (engine-only programs); a weak reference lets
// the fix-ups report "not done" instead of failing to link.
#pragma weak set_nvm_cfg_57710

namespace fwupg::nvm {
namespace {

int editor_setter(cfg_request* request)
{
    if (!set_nvm_cfg_57710 || !g_pHostOps)
        return -1;
    return set_nvm_cfg_57710(*g_pHostOps, request, 0);
}

CfgSetter g_setter = editor_setter;

constexpr uint64_t kNumbered = 0x4000;

void set_flag(uint64_t flag, uint32_t value)
{
    cfg_request r{};
    r.option_flag = flag;
    r.value = value;
    apply_cfg(&r);  // a board fix that cannot be made does not undo the upgrade
}

void set_option(uint32_t option, uint32_t value)
{
    cfg_request r{};
    r.option_flag = kNumbered;
    r.option_num = option;
    r.value = value;
    apply_cfg(&r);
}

bool one_of(uint16_t ssid, std::initializer_list<uint16_t> list)
{
    for (uint16_t v : list)
        if (v == ssid)
            return true;
    return false;
}

}  // namespace

void set_cfg_setter(CfgSetter setter) { g_setter = setter ? setter : editor_setter; }

int apply_cfg(cfg_request* request) { return g_setter(request); }

void board_fixups_after_mfw(uint16_t ssid, uint64_t arg)
{
    if (ssid == 0x193A) {
        set_flag(0x80000, 0);
        set_flag(0x800000, 0);
    }
    if (one_of(ssid, {0x22ED, 0x00EC})) {
        set_flag(0x4, 1);
        set_flag(0x20000000, 1);
    }
    if (ssid == 0x2231)
        set_option(239, 1);
    if (one_of(ssid, {0x22ED, 0x00EC, 0x1916, 0x22FA, 0x1917, 0x1933, 0x193A, 0x1930, 0x339D, 0x1931, 0x18D3,
                      0x8148}))
        set_option(248, uint32_t(arg));
    if (ssid == 0x1916)
        set_option(16, 3);
    if (ssid == 0x22FA)
        set_flag(0x8000000000ull, 0);
}

}  // namespace fwupg::nvm

// After a whole image was programmed the same board options are set as after an MFW upgrade.
extern "C" void common_nvm_board_fixups_after_prg(Tcl_Interp*)
{
    try {
        fwupg::nvm::board_fixups_after_mfw(uint16_t(fwupg::nvm::toe_number("SSID")), 1);
    } catch (...) {
        // The fixes are best effort: the image itself is already in place.
    }
}
