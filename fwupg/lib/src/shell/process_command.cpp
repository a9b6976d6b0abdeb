// ProcessCommand: runs the command buffer against the selected adapter under its claim, then "q".
#include <tcl.h>

#include <exception>

#include "fwupg/bkv9_helper.h"
#include "fwupg/command_exec.h"
#include "fwupg/debug_log.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"

char g_CommandBuffer[kCommandBufferSize] = {};

namespace {

// Claims the adapter, publishes its facts and evaluates the line. Without the claim nothing runs:
// the engines may not write NVRAM that another session holds. Inside a claim scope of the adapter
// the line runs under the scope's claim, and "q" leaves the release to the scope.
void RunClaimedLine(Tcl_Interp* interp)
{
    bool release = true;
    if (fwupg::yx::ClaimLine(fwupg::SelectedApiHandle(), &release) != 0) {
        g_uUpgRetCode = CMD_CLAIM_FAILED;
        g_bCommandError = 1;
        LogDebugString("ProcessCommand() claim failed; [%s] not run.\n", g_CommandBuffer);
        return;
    }
    g_bSessionClaimed = release ? 1 : 0;

    HostOps ops;
    BuildHostOps(&ops, interp, 0);
    HostOps published = ops;
    SetSelectedNIC(&published);

    int rc = Tcl_EvalEx(interp, g_CommandBuffer, -1, 0);
    if (rc != TCL_OK) {
        g_bCommandError = 1;
        // A failure must never map to success.
        if (g_uUpgRetCode == CMD_OK) g_uUpgRetCode = CMD_FAILED;
    }
    LogDebugString("ProcessCommand() Tcl_Eval(%s) returned [%u].\n", g_CommandBuffer, static_cast<unsigned>(rc));
}

}  // namespace

void ProcessCommand()
{
    Tcl_Interp* interp = g_TclInterp;
    g_bSessionClaimed = 0;
    g_bResetRequested = 0;
    g_bNoReset = 0;
    g_bCommandError = 0;
    if (!interp) {
        if (g_uUpgRetCode == CMD_OK) g_uUpgRetCode = CMD_FAILED;
        return;
    }
    try {
        RunClaimedLine(interp);
    } catch (const ExceptionClass& e) {
        LogDebugString("ProcessCommand() caught exception [%u].\n", e.code);
        g_bCommandError = 1;
        g_uUpgRetCode = e.code ? e.code : CMD_FAILED;
    } catch (...) {
        LogDebugString("ProcessCommand() caught an unexpected exception.\n");
        g_bCommandError = 1;
        g_uUpgRetCode = CMD_FAILED;
    }
    try {
        Tcl_EvalEx(interp, "q", -1, 0);
    } catch (...) {
        LogDebugString("ProcessCommand() caught an unexpected exception in q.\n");
        if (g_uUpgRetCode == CMD_OK) g_uUpgRetCode = CMD_FAILED;
    }
}
