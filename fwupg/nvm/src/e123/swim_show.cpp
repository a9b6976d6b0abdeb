// Facade slot 34: the SWIM set the running management firmware executes, on E3 and 57840 chips.
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/ext_install.h"

extern "C" int show_active_swim(HostOps ops)
{
    try {
        fwupg::HostOpsScope scope(&ops);
        if (!common_nvm_is_e3() && !common_nvm_is_57840()) return -1;
        uint32_t running = 0;
        const int rc = common_nvm_swim_sets(&running, nullptr);
        // Set 1 is the SWIM1 group, set 2 the group that starts with SWIM1B.
        if (running == 1 || running == 2) fwupg_dbg_printf("%-25s: %s\n", "Active SWIM", running == 1 ? "SWIM1" : "SWIM1B");
        return rc;
    } catch (...) {
        if (ops.setLastError) ops.setLastError(34);
        return -1;
    }
}
