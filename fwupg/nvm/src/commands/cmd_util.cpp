// Helpers the whole-NVRAM commands share: image lookup by table row.
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"

namespace fwupg::nvm {

int find_row_image(uint32_t row, uint32_t* nvm_offset, uint32_t* length)
{
    if (row >= common_nvm_image_table_size())
        return 0;
    const uint32_t type = g_image_table[row].dir_type;
    if (type == kTypeBc1) {
        uint32_t len = 0, off = 0;
        if (common_nvm_read_bootstrap(nullptr, &len, &off) != 0 || len == 0)
            return 0;
        *nvm_offset = off;
        *length = len;
        return 1;
    }
    if ((type & 1) == 0) {
        uint32_t idx = 16;
        if (common_nvm_find_dir_entry(type, &idx, nullptr) != 0)
            return 0;
        return common_nvm_read_dir_entry(idx, nvm_offset, length, nullptr, nullptr, nullptr) == 0 ? 1 : -1;
    }
    uint32_t present = 0;
    if (common_nvm_find_ext_dir_image(&present, type, nvm_offset, length, nullptr) != 0)
        return -1;
    return present ? 1 : 0;
}

}  // namespace fwupg::nvm
