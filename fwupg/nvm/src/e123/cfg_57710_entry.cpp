// The facade's entry to the E1-E3 option setter: the configuration editor's set operation under
// the name the facade, the board fix-ups and the MBI version store call.
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/e123/cfg_editor.h"

extern "C" int set_nvm_cfg_57710(HostOps ops, cfg_request* request, uint32_t mode)
{
    return common_nvm_cfg_57710_set(ops, request, mode);
}
