// Until the image-file checks are part of the library, no image is accepted: nothing is written
// from a file that was not checked.
#include "fwupg/shell_commands.h"
#include "shell_internal.h"

namespace fwupg::shell {

uint32_t LibraryImageCheck(Tcl_Interp*, ImageUse, const char* path, uint32_t, std::vector<uint8_t>*)
{
    LogDebugMsg(DBG_DEBUG, "%s(): image checks not built into this library; %s refused.", "LibraryImageCheck",
                path ? path : "");
    return 3;
}

}  // namespace fwupg::shell
