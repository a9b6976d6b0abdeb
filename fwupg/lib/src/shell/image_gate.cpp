#include "fwupg/shell_commands.h"

namespace fwupg::shell {

ImageCheckFn g_pImageCheck = LibraryImageCheck;

}  // namespace fwupg::shell
