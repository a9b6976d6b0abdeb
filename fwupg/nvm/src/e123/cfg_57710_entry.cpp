// The facade's entry to the E1-E3 option setter. Kept out of the library build for now: once it
// is linked, MBI updates on the demo machine complete on E1 and E3 boards but the E2 board's
// package still fails its boot-agent step and is restored, which the console tool's update test
// does not yet expect.
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/e123/cfg_editor.h"

extern "C" int set_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode)
{
    return common_nvm_cfg_57710_set(ops, request, mode);
}
