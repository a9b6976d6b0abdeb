// The iSCSI boot configuration records of an upgrade. The user's configuration in NVRAM is kept:
// when the boot image being installed needs the other layout, each port's block is converted in
// place (layout 1 to 2 for a layout-2 boot image, 2 to 1 for a layout-1 one), and a layout-2 block
// whose addresses are of the wrong IP family for the mode is reset. The file's block is programmed
// only where no block is listed, or for a layout-2 record when -c forces it.
#include <cstring>
#include <vector>

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/iscsi_cfg.h"
#include "fwupg/nvm_legacy/prog_image.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"
#include "upgrade_internal.h"

namespace toe::upgrade {

namespace {

constexpr uint32_t TAG_IBC6 = toe_tag_word('i', 'b', 'c', '6');

// Programs a copy: the programming works on its buffer in place.
int program_copy(const HostOps& ops, const uint8_t* data, uint32_t length, int row)
{
    std::vector<uint8_t> copy(((uint64_t(length) + 3) & ~uint64_t(3)) + 4, 0);
    std::memcpy(copy.data(), data, length);
    return toe_nvm_prog_image_by_idx(ops, copy.data(), length, row);
}

// The block of a row in NVRAM: its offset and its first word (signature and layout).
bool listed_block(const HostOps& ops, uint32_t dev, int row, uint32_t* offset, uint32_t* first)
{
    int index = 0;
    return toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) == 0 &&
           toe_nvm_read_dir_entry(ops, index, offset, nullptr, nullptr, nullptr, nullptr) == 0 && *offset != 0 &&
           toe::read_dword(ops, dev, *offset, first) == 0;
}

int read_failed(const HostOps& ops)
{
    toe::set_error(ops, toe::ERR_READ);
    toe::append_result(ops, "Failed to read NVRAM.");
    return 1;
}

// Brings a port's listed block into the layout the boot image needs. The block is read with the
// word swap on, the form the conversions and the programming take.
int convert_listed(const HostOps& ops, uint32_t dev, int mode, bool layout2_boot, int row, uint32_t offset,
                   uint32_t first)
{
    const uint32_t layout = first >> 16;
    uint8_t v1[kIscsiCfgV1Bytes] = {};
    uint8_t v2[kIscsiCfgV2Bytes] = {};
    if (layout2_boot && layout == kIscsiCfgLayout1) {
        if (toe::read_block(ops, dev, offset, kIscsiCfgV1ProgBytes, v1) != 0)
            return read_failed(ops);
        if (iscsi_boot_cfg_to_v2(v1, v2, mode == 2) != 0)
            return 0;
        return toe_nvm_prog_image_by_idx(ops, v2, kIscsiCfgV2ProgBytes, row);
    }
    if (layout2_boot && layout == kIscsiCfgLayout2) {
        uint32_t flags = 0;
        if (toe::read_dword(ops, dev, offset + 4, &flags) != 0)
            return read_failed(ops);
        const bool ipv6 = (flags & kIscsiCfgIpv6Flag) != 0;
        if (!((ipv6 && mode == 1) || (!ipv6 && mode == 2)))
            return 0;   // already of the mode's IP family; mode 3 takes either
        if (toe::read_block(ops, dev, offset, kIscsiCfgV2ProgBytes, v2) != 0)
            return read_failed(ops);
        if (iscsi_boot_cfg_reset_ip(v2, mode == 1) != 0)
            return 0;
        return toe_nvm_prog_image_by_idx(ops, v2, kIscsiCfgV2ProgBytes, row);
    }
    if (!layout2_boot && layout == kIscsiCfgLayout2) {
        if (toe::read_block(ops, dev, offset, kIscsiCfgV2ProgBytes, v2) != 0)
            return read_failed(ops);
        if (iscsi_boot_cfg_to_v1(v2, v1) != 0)
            return 0;
        return toe_nvm_prog_image_by_idx(ops, v1, kIscsiCfgV1ProgBytes, row);
    }
    return 0;
}

}  // namespace

bool row_present(const HostOps& ops, int row)
{
    int index = 0;
    return toe_nvm_find_dir_entry(ops, g_toe_image_table[row].dir_type, &index) == 0;
}

int iscsi_cfg_step(const HostOps& ops, const request& r, const walk_state& st, uint32_t tag, int row,
                   uint8_t* data, uint32_t length)
{
    const int mode = r.iscsi_mode();
    const bool layout2_record = tag == TAG_IBC6;
    // A layout-1 record serves only an IPv4 layout-1 boot image; a layout-2 record only a layout-2 one.
    if (layout2_record ? !st.layout2_boot : (mode != 1 || st.layout2_boot))
        return 0;
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;

    bool own_programmed = false;
    if (layout2_record) {
        if (length < 8) {
            toe::set_error(ops, ERR_FORMAT);
            toe::append_result(ops, "Improper file format, image too short.");
            return 1;
        }
        // The file's block says which IP family its addresses are: the mode's.
        uint32_t flags = toe::load_le32(data + 4);
        flags = mode == 2 ? flags | kIscsiCfgIpv6Flag : flags & ~kIscsiCfgIpv6Flag;
        toe::store_le32(data + 4, flags);
        if (r.ib_cfg_forced || !row_present(ops, row)) {
            if (program_copy(ops, data, length, row) != 0)
                return 1;
            own_programmed = true;
        }
    }

    // Both ports' blocks follow the one boot image of the shared flash.
    const bool dual = toe::board_is_dual(toe::board(ops));
    for (int target : {int(TOE_IMG_ISB_CFG), int(TOE_IMG_ISB_CFG2)}) {
        if ((target == TOE_IMG_ISB_CFG2 && !dual) || (target == row && own_programmed))
            continue;
        uint32_t offset = 0, first = 0;
        const int rc = listed_block(ops, dev, target, &offset, &first)
                           ? convert_listed(ops, dev, mode, st.layout2_boot, target, offset, first)
                           : program_copy(ops, data, length, target);
        if (rc != 0)
            return 1;
    }
    return 0;
}

}  // namespace toe::upgrade
