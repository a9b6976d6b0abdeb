// Preparation of iSCSI boot images before the upgrade command programs a record: variant choice
// of the boot image, and the boot-configuration blocks spread over the rows the board uses, the
// ones already on the adapter converted to the boot image's IP mode.
#include "fwupg/nvm/e123/boot_cfg_prepare.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "fwupg/nvm/e123/queries.h"
#include "fwupg/nvm/e123/versions.h"
#include "fwupg/nvm_legacy/iscsi_cfg.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kTagIscsiB = 0x62690000, kTagIscsiB6 = 0x36626900, kTagIscsiB46 = 0x6E346269;
constexpr uint32_t kTagIbpl = 0x6C706269;

int variant_of_ip_mode(uint32_t mode)
{
    switch (mode & 0xFFFF) {
    case 0x0800: return 1;
    case 0x86DD: return 2;
    case 0xC0B0: return 3;
    default: return 0;
    }
}

int variant_of_tag(uint32_t tag)
{
    return tag == kTagIscsiB ? 1 : tag == kTagIscsiB6 ? 2 : tag == kTagIscsiB46 ? 3 : 0;
}

int prepare_iscsi_boot(const uint8_t* image, uint32_t length, uint32_t row, uint32_t tag, int* ip_known, int variant,
                       int check_version, int* skip)
{
    uint32_t index = 0, nvm_off = 0;
    if (check_version && common_nvm_find_dir_entry(kTypeIscsiB, &index, &nvm_off) == 0) {
        char have[64] = {}, fresh[64] = {};
        common_nvm_image_version_str(nvm_off, 0, g_image_table[row].name, have, sizeof have, 0);
        common_nvm_image_version_str(reinterpret_cast<uintptr_t>(image), length, g_image_table[row].name, fresh,
                                     sizeof fresh, 1);
        if (common_nvm_check_image_version(g_image_table[row].name, have, fresh) != 0) {
            set_last_error(35);
            return -1;
        }
    }
    if (variant != 0 && variant_of_tag(tag) != variant) {
        *skip = 1;
        return 0;
    }
    if (length >= 16 && variant_of_ip_mode(load_u32(image + 12)) != 0)
        *ip_known = 1;
    return 0;
}

// Rows of the boot-configuration block on this board.
std::vector<const char*> cfg_rows()
{
    uint32_t sub = 0, ids = 0;
    port_cfg_word(2, nullptr, 0, &sub);
    port_cfg_word(1, nullptr, 0, &ids);
    const uint32_t ports = common_nvm_get_port_cnt();
    if (common_nvm_is_quad_feb_board(uint16_t(ids >> 16), uint16_t(sub), uint16_t(sub >> 16)) || ports >= 4)
        return {"I_B_CFG", "I_B_CFG2", "I_B_CFG3", "I_B_CFG4"};
    if (ports == 2)
        return {"I_B_CFG", "I_B_CFG2"};
    return {"I_B_CFG"};
}

// Where a configuration row's block lies in NVRAM; false when the row has none.
bool row_block(uint32_t type, uint32_t* offset, uint32_t* length)
{
    if (type & 1) {
        uint32_t present = 0;
        return common_nvm_find_ext_dir_image(&present, type, offset, length, nullptr) == 0 && present;
    }
    uint32_t index = 0;
    return common_nvm_find_dir_entry(type, &index, nullptr) == 0 &&
           common_nvm_read_dir_entry(index, offset, length, nullptr, nullptr, nullptr) == 0;
}

// Programs a configuration row without a version check.
int program_row(uint32_t row, const uint8_t* data, uint32_t length)
{
    return (g_image_table[row].dir_type & 1) ? common_nvm_install_ext_image(data, length, row, 0, 1, 0, 0)
                                             : common_nvm_prog_image_by_idx(data, length, row, 0);
}

// Brings the block already in a row to the chosen mode and reprograms it when it changed: layout 1
// while the boot image's IP mode is not known, else layout 2 with the variant's address family
// (variant 3 takes either). 0, or -1 when the block cannot be read or programmed.
int convert_kept_block(uint32_t row, uint32_t offset, uint32_t length, int variant, bool ip_known)
{
    uint8_t wide[kIscsiCfgV2Bytes] = {};
    const uint32_t n = std::min<uint32_t>(length, sizeof wide);
    if (n != 0 && common_nvm_read(offset, wide, n, 1) != 0)
        return -1;
    const uint16_t layout = iscsi_boot_cfg_layout(wide, n);
    if (layout == kIscsiCfgLayout1) {
        if (!ip_known)
            return 0;
        uint8_t narrow[kIscsiCfgV1Bytes];
        std::memcpy(narrow, wide, sizeof narrow);
        if (iscsi_boot_cfg_to_v2(narrow, wide, variant == 2) != 0)
            return -1;
        return program_row(row, wide, kIscsiCfgV2ProgBytes);
    }
    if (layout == kIscsiCfgLayout2 && !ip_known) {
        uint8_t narrow[kIscsiCfgV1Bytes];
        if (iscsi_boot_cfg_to_v1(wide, narrow) != 0)
            return -1;
        return program_row(row, narrow, kIscsiCfgV1ProgBytes);
    }
    if (layout == kIscsiCfgLayout2) {
        const bool ipv6 = (load_u32(wide + 4) & kIscsiCfgIpv6Flag) != 0;
        if ((variant == 1 && !ipv6) || (variant == 2 && ipv6) || variant == 3)
            return 0;
        if (iscsi_boot_cfg_reset_ip(wide, variant == 1) != 0)
            return -1;
        return program_row(row, wide, kIscsiCfgV2ProgBytes);
    }
    // Neither layout: not a block this upgrade can read, so the user's data are left as they are.
    fwupg_dbg_printf("%s: keeping a boot configuration block of unknown layout\n", g_image_table[row].name);
    return 0;
}

// Blocks already on the adapter hold the user's settings: they are kept and brought to the IP
// mode of the iSCSI boot image in NVRAM. Rows without a block get the file's block.
int prepare_boot_cfg(const uint8_t* image, uint32_t length, int iscsi_config, int* ip_known, int* skip)
{
    if (!iscsi_config)
        return 0;
    int variant = 1;
    *ip_known = 0;
    uint32_t index = 0, nvm_off = 0;
    if (common_nvm_find_dir_entry(kTypeIscsiB, &index, &nvm_off) == 0) {
        uint32_t mode = 0;
        if (common_nvm_read(nvm_off + 12, &mode, 4, 1) == 0 && variant_of_ip_mode(mode) != 0) {
            variant = variant_of_ip_mode(mode);
            *ip_known = 1;
        }
    }
    std::vector<uint8_t> block(image, image + length);
    if (block.size() >= 8) {
        uint32_t w1 = load_u32(block.data() + 4);
        w1 = variant == 2 ? (w1 | kIscsiCfgIpv6Flag) : (w1 & ~kIscsiCfgIpv6Flag);
        store_u32(block.data() + 4, w1);
    }
    for (const char* name : cfg_rows()) {
        const int row = row_by_name(name);
        if (row < 0)
            continue;
        uint32_t offset = 0, kept = 0;
        const int r = row_block(g_image_table[row].dir_type, &offset, &kept)
                          ? convert_kept_block(uint32_t(row), offset, kept, variant, *ip_known != 0)
                          : program_row(uint32_t(row), block.data(), length);
        if (r != 0)
            return -1;
    }
    *skip = 1;
    return 0;
}

}  // namespace

extern "C" int common_nvm_prepare_image(Tcl_Interp*, uint8_t* image, uint32_t row, const uint32_t header[5],
                                        uint32_t length, int* ip_mode_known, int iscsi_variant, int check_version,
                                        int, int iscsi_config, int* skip)
{
    if (!image || !header || !ip_mode_known || !skip || row >= common_nvm_image_table_size())
        return -1;
    *skip = 0;
    uint32_t sub = 0, ids = 0;
    if (port_cfg_word(2, nullptr, 0, &sub) != 0 || port_cfg_word(1, nullptr, 0, &ids) != 0)
        return -1;
    const uint32_t type = g_image_table[row].dir_type;
    if (type == kTypeIscsiB)
        return prepare_iscsi_boot(image, length, row, header[2], ip_mode_known, iscsi_variant, check_version, skip);
    if (type == kTypeIbCfg || type == kTypeIbCfg2)
        return prepare_boot_cfg(image, length, iscsi_config, ip_mode_known, skip);
    if (header[2] == kTagIbpl)
        *skip = 1;
    return 0;
}
