// "q": closes every command line. It releases the adapter when the line claimed it (inside a
// claim scope of the adapter the scope releases at its end) and decides whether to reset it now
// or to report that a reboot is still needed (95).
#include "fwupg/selected_nic.h"
#include "fwupg/shell_commands.h"
#include "fwupg/yxmapi_client.h"
#include "shell_internal.h"

namespace {

constexpr uint32_t kChip5709 = 0x05709000;

// 95 says "success, reboot pending"; it never replaces the code of a failure.
int RebootPending()
{
    if (g_uUpgRetCode == CMD_OK) g_uUpgRetCode = CMD_REBOOT_PENDING;
    return TCL_OK;
}

int Quit(int objc)
{
    using namespace fwupg;
    if (objc > 1) return shell::Fail(CMD_BAD_ARGUMENTS);
    // A line that wrote NVRAM and then failed leaves the adapter claimed and untouched.
    if (g_bNvmWritten && g_bCommandError) return TCL_ERROR;

    const uint32_t handle = SelectedApiHandle();
    if (g_bSessionClaimed && yx::Release(handle) == 0) g_bSessionClaimed = 0;

    if (!g_bResetRequested && (!g_bNvmWritten || g_bCommandError)) return TCL_OK;
    if (g_bNoReset) return TCL_OK;
    if (g_CurNicInfo.get(yxmapi::nic::kCapabilities) & yxmapi::nic::kCapCannotReset) return RebootPending();

    const uint32_t family = SelectedFamily();
    const bool deferredReset = family == yxmapi::kFamily57710 || family == yxmapi::kFamilyE4 ||
                               (SelectedChipId() & ~0xFFFu) == kChip5709;
    if (deferredReset && !g_bResetRequested) return RebootPending();

    if (yx::Reset(handle) != 0) return RebootPending();
    return TCL_OK;
}

}  // namespace

int FWUPG_Quit_Cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const*)
{
    return fwupg::shell::GuardCommand("FWUPG_Quit_Cmd", [&] { return Quit(objc); });
}
