// Presence, port configuration and PHY queries of the facade.
#include "fwupg/nvm/e123/queries.h"


#include <initializer_list>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"

using namespace fwupg::nvm;

namespace {

// NVRAM offset of a selector's word for the current port and path.
int selector_offset(uint32_t selector, uint32_t* offset)
{
    uint32_t port = 0;
    if (common_nvm_get_port(&port) != 0)
        return -1;
    const bool second = common_nvm_on_second_path() != 0;
    uint32_t first;
    switch (selector) {
    case 1: first = port * 400 + 300; break;
    case 2: first = port * 400 + 304; break;
    case 3: first = port * 400 + 684; break;
    case 4: first = port * 400 + 352; break;
    case 5: *offset = second ? 2872 : 1104; return 0;
    default: return -1;
    }
    *offset = second ? first - 256 + 2024 : first;
    return 0;
}

uint32_t phy_type_value(uint32_t word)
{
    uint32_t t = word & 0xFF00;
    return t == 0x0A00 ? 0x0900 : t;
}

int presence_matches(const uint8_t* file_image, uint32_t type, bool ext)
{
    const uint32_t size = common_nvm_get_nvm_size();
    bool on_adapter;
    if (ext) {
        uint32_t present = 0;
        on_adapter = common_nvm_find_ext_dir_image(&present, type, nullptr, nullptr, nullptr) == 0 && present;
    } else {
        on_adapter = common_nvm_find_dir_entry(type, nullptr, nullptr) == 0;
    }
    bool in_file = common_nvm_file_has_image(file_image, size, type) == 1;
    return on_adapter == in_file ? 1 : 0;
}

}  // namespace

namespace fwupg::nvm {

int port_cfg_word(uint32_t selector, const uint8_t* file_image, uint32_t image_size, uint32_t* value)
{
    if (!value)
        return -1;
    *value = 0;
    uint32_t off = 0;
    if (selector_offset(selector, &off) != 0)
        return -1;
    uint32_t v = 0;
    if (file_image) {
        if (uint64_t(off) + 4 > image_size)
            return -1;
        v = load_u32(file_image + off);
    } else if (common_nvm_read(off, &v, 4, 1) != 0) {
        return -1;
    }
    *value = selector == 3 ? phy_type_value(v) : v;
    return 0;
}

}  // namespace fwupg::nvm

extern "C" {

int common_nvm_ext_image_present(HostOps, uint32_t type, int32_t* k)
{
    uint32_t present = 0, idx = 0xFFFFFFFF;
    if (common_nvm_find_ext_dir_image(&present, type, nullptr, nullptr, &idx) == 0 && present) {
        if (k)
            *k = int32_t(idx);
        return 0;
    }
    if (k)
        *k = -1;
    return -1;
}

int common_nvm_mba_matches_file(HostOps, const uint8_t* file_image)
{
    return presence_matches(file_image, kTypeMba, false);
}

int common_nvm_ncsi_matches_file(HostOps, const uint8_t* file_image)
{
    return presence_matches(file_image, kTypeNcsiCmn, false);
}

int common_nvm_feb_matches_file(HostOps, const uint8_t* file_image)
{
    for (uint32_t t : {kTypeFcoeB, kTypeFebCfg, kTypeFebCfg2, kTypeFebCfg3, kTypeFebCfg4})
        if (!presence_matches(file_image, t, true))
            return 0;
    return 1;
}

int common_nvm_ccm_matches_file(HostOps, const uint8_t* file_image)
{
    return presence_matches(file_image, kTypeCcm, true);
}

int common_nvm_image_matches_file(HostOps host, const uint8_t* file_image, uint32_t type)
{
    return type == kTypeCcm ? common_nvm_ccm_matches_file(host, file_image) : 0;
}

int common_nvm_get_port_cfg_word(HostOps, uint32_t selector, const uint8_t* file_image, uint32_t* value)
{
    return port_cfg_word(selector, file_image, common_nvm_get_nvm_size(), value);
}

int common_nvm_port_cfg_word_offset(HostOps, uint32_t selector, uint32_t* offset)
{
    if (!offset)
        return -1;
    *offset = 0;
    if (selector < 1 || selector > 3)
        return -1;
    return selector_offset(selector, offset);
}

int common_nvm_ext_phy_type(HostOps, uint32_t port, uint32_t* type)
{
    if (!type)
        return -1;
    *type = 0;
    uint32_t base = 0, word = 0;
    if (shmem_base(&base) != 0)
        return -1;
    if (reg_read(base + port * kShmemPortStride + kShmemPhyType, &word) != 0) {
        fwupg_dbg_printf("Failed to read external PHY type.\n");
        return -1;
    }
    *type = phy_type_value(word);
    return 0;
}

int common_nvm_ext_phy2_type(HostOps, uint32_t port, uint32_t wanted)
{
    uint32_t base = 0, word = 0;
    if (shmem_base(&base) != 0)
        return 0;
    if (reg_read(base + port * kShmemPortStride + kShmemPhyType, &word) != 0) {
        fwupg_dbg_printf("Failed to read external PHY type.\n");
        return 0;
    }
    if (phy_type_value(word) == wanted)
        return 1;
    if (reg_read(base + port * kShmemPortStride + kShmemPhy2Type, &word) != 0) {
        fwupg_dbg_printf("Failed to read external PHY2 type.\n");
        return 0;
    }
    return phy_type_value(word) == wanted ? 1 : 0;
}

}  // extern "C"
