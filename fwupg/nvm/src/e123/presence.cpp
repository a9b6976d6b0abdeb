// Presence questions the facade asks about an E1-E3 adapter's directory.
#include "fwupg/engine_procs.h"
#include "fwupg/host_ops.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/queries.h"

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

int common_nvm_mfw_pair_present()
{
    uint32_t p1 = 0, p2 = 0;
    if (common_nvm_find_ext_dir_image(&p1, kTypeMfw1, nullptr, nullptr, nullptr) != 0 ||
        common_nvm_find_ext_dir_image(&p2, kTypeMfw2, nullptr, nullptr, nullptr) != 0)
        return 0;
    return p1 && p2 ? 1 : 0;
}

}  // extern "C"
