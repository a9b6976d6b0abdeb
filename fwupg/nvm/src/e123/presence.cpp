// Presence questions the facade asks about an E1-E3 adapter's directory.
#include "fwupg/host_ops.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kTypeIpmi = 0x40000000;

int in_directory(uint32_t type)
{
    uint32_t idx = 0;
    return common_nvm_find_dir_entry(type, &idx, nullptr) == 0 ? 1 : 0;
}

}  // namespace

extern "C" {

int common_nvm_ump_present(HostOps) { return 0; }
int common_nvm_ipmi_present(HostOps) { return in_directory(kTypeIpmi); }
int common_nvm_mba_present(HostOps) { return in_directory(kTypeMba); }
int common_nvm_ncsi_present(HostOps) { return in_directory(kTypeNcsiCmn); }

}  // extern "C"
