// Programming one image into the legacy directory, and the user block.
//
// The image is written first, its follow-up changes next, and the directory entry or the bootstrap
// record last, so a failure before that last step leaves the entry naming the previous image of the
// type. Room is therefore sought beside every image in force first; only when the new image does
// not fit so does the search give up the previous image's room (a failure then can leave the type
// without a valid image). The next packing reuses the space of an image no entry names.
#include "fwupg/nvm_legacy/prog_image.h"

#include <cstdio>
#include <string>

#include "fwupg/nvm_legacy/cfg_options.h"
#include "fwupg/nvm_legacy/cfg_record.h"
#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/ipmi_cfg.h"
#include "fwupg/nvm_legacy/program.h"
#include "fwupg/nvm_legacy/versions.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {

constexpr uint32_t HOST_CPU = 0x01000000u;
constexpr uint32_t DIR_MBA = 0x10000000u, DIR_ISCSI_B = 0xD0000000u, DIR_ISB_CPRG = 0xB0000000u;
constexpr uint32_t DIR_IPMI_CFG = 0x70000000u, DIR_IPMI_INIT = 0x80000000u, DIR_USR_BLK = 0xA0000000u;
constexpr uint32_t SRAM_ONCHIP = 0x08000000u, SRAM_USR_BLK = 0xFFFFFFFFu;
constexpr uint32_t KEEP_EVERY_IMAGE = 0xFFFFFFFFu;   // a directory type no entry has

enum : uint32_t {
    ERR_NO_ENTRY = 25, ERR_FORMAT = 26, ERR_NO_SPACE = 27, ERR_DIR_UPDATE = 31, ERR_PROGRAM = 70,
    ERR_BOOTSTRAP = 71,
};

int fail(const HostOps& ops, uint32_t code, const char* message)
{
    toe::set_error(ops, code);
    toe::append_result(ops, message);
    return 1;
}

// What the programmed image is, for its follow-up step.
struct programmed {
    uint32_t offset;
    uint32_t length;      // image bytes as given (before rounding)
    uint32_t sram_base;   // may be changed by the follow-up
};

// Each follow-up returns 0, or 1 when a write it made failed: the image is then not entered in the
// directory and the programming fails, so that the caller never takes a half-done update for a
// finished one.

// MBA: the expansion ROM size option becomes the smallest power of two (1 KiB to 8 MiB) that holds
// the image. The option lives in FEAT_INFO, the only block written back (and only when the size
// changes). A record that could not be read is never written back: it would replace the block's
// other fields with empty ones.
int follow_up_mba(const HostOps& ops, programmed& p)
{
    toe_cfg_record rec{};
    if (toe_nvm_read_cfg(ops, &rec) != 0) {
        fwupg_dbg_printf("Expansion ROM size not set: configuration not readable\n");
        return 0;
    }
    for (int k = 10; k <= 23; ++k) {
        if (uint64_t(p.length) <= (uint64_t(1) << k)) {
            const std::string size = std::to_string(k - 9);
            toe_cfg_option_set(ops, &rec, 28, size.c_str(), nullptr);
            return toe_nvm_write_cfg(ops, &rec, TOE_CFG_FEAT_INFO) != 0 ? 1 : 0;
        }
    }
    // Larger than 8 MiB: no size value fits, the option is left as it is.
    return 0;
}

// iSCSI boot 7 and later carries its configuration program itself: the separate one is dropped.
int follow_up_iscsi_boot(const HostOps& ops, programmed& p)
{
    char text[64] = "";
    toe_nvm_image_versions(ops, nullptr, 0, p.offset, "ISCSI_B", text, sizeof text);
    int major = 0, minor = 0, build = 0;
    if (std::sscanf(text, "v%d.%d.%d", &major, &minor, &build) < 1)
        major = 0;
    if (major < 7)
        return 0;
    fwupg_dbg_printf("iBoot: %d.%d.%d\n", major, minor, build);
    int index = 0;
    if (toe_nvm_find_dir_entry(ops, DIR_ISB_CPRG, &index) == 0) {
        fwupg_dbg_printf("deleting cprg\n");
        return toe_nvm_write_dir_entry(ops, index, 0, 0, 0, 0, 0) != 0 ? 1 : 0;
    }
    return 0;
}

// IPMI configuration: its SRAM address follows the IPMI firmware's version. Without a readable
// IPMI_INIT image the on-chip default stays.
int follow_up_ipmi_cfg(const HostOps& ops, programmed& p)
{
    int index = 0;
    uint32_t offset = 0;
    if (toe_nvm_find_dir_entry(ops, DIR_IPMI_INIT, &index) != 0 ||
        toe_nvm_read_dir_entry(ops, index, &offset, nullptr, nullptr, nullptr, nullptr) != 0)
        return 0;
    const uint32_t version = toe_nvm_image_dword28(ops, offset);
    if (version != 0xFFFFFFFFu)
        p.sram_base = toe_ipmi_cfg_table_addr(ops.interp, version);
    return 0;
}

struct follow_up_row {
    uint32_t dir_type;
    int (*run)(const HostOps&, programmed&);
};
constexpr follow_up_row FOLLOW_UPS[] = {
    {DIR_MBA, follow_up_mba},
    {DIR_ISCSI_B, follow_up_iscsi_boot},
    {DIR_IPMI_CFG, follow_up_ipmi_cfg},
};

}  // namespace

int toe_nvm_prog_image_by_idx(HostOps ops, uint8_t* buf, uint32_t length, int row)
{
    if (row < 0 || row >= TOE_IMAGE_ROWS || !buf)
        return fail(ops, toe::ERR_BAD_ARGS, "Invalid image type.");
    const uint32_t type = g_toe_image_table[row].dir_type;
    const uint32_t cpu = g_toe_image_table[row].processor;

    toe_memory_image copy;
    uint32_t sram_base = cpu == HOST_CPU ? 0 : SRAM_ONCHIP;
    switch (toe_sectioned_to_memory(buf, length, uint64_t(toe_nvm_size(ops.interp)), &copy)) {
    case toe_sectioned_status::not_sectioned:
        break;
    case toe_sectioned_status::ok:
        buf = copy.data;
        length = copy.length;
        sram_base = copy.sram_base;
        break;
    case toe_sectioned_status::cut_off:
        return fail(ops, ERR_FORMAT, "Improper file format, section outside the image.");
    case toe_sectioned_status::too_large:
        return fail(ops, ERR_NO_SPACE, "Not enough space in NVM.");
    case toe_sectioned_status::no_memory:
        return fail(ops, toe::ERR_NO_MEMORY, "No more host memory.");
    }

    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return fail(ops, toe::ERR_NO_DEVICE, "Can't find device index.");
    if (toe_nvm_check_dev(dev) != 0)
        return 1;

    // The boot code never finds an entry (it lives in the bootstrap record), yet still needs a
    // free one here.
    int index = 0;
    if (toe_nvm_find_dir_entry(ops, type, &index) != 0 && toe_nvm_find_free_dir_entry(ops, &index) != 0)
        return fail(ops, ERR_NO_ENTRY, "No directory entry left.");

    uint32_t offset = 0;
    if (toe_nvm_alloc_space(ops, KEEP_EVERY_IMAGE, length, &offset) != 0 &&
        toe_nvm_alloc_space(ops, type, length, &offset) != 0)
        return fail(ops, ERR_NO_SPACE, "Not enough space in NVM.");

    uint32_t written = 0;
    if (toe_nvm_program_nvm(ops, buf, length, offset, TOE_PRG_APPEND_CRC, &written) != 0)
        return fail(ops, ERR_PROGRAM, "Programming NVM failed.");

    if (type == TOE_DIR_TYPE_BC1) {
        char text[64] = "";
        toe_nvm_image_versions(ops, nullptr, 0, offset, g_toe_image_table[TOE_IMG_BC1].name, text, sizeof text);
        fwupg_dbg_printf("BC Version: %s (0x%08x)\n", text, toe_nvm_image_dword28(ops, offset));
        if (toe_nvm_write_bootstrap(ops, sram_base, written, offset) != 0)
            return fail(ops, ERR_BOOTSTRAP, "Bootstrap update in NVM failed.");
        return 0;
    }

    programmed p{offset, length, sram_base};
    for (const follow_up_row& f : FOLLOW_UPS)
        if (f.dir_type == type && f.run(ops, p) != 0)
            return fail(ops, ERR_PROGRAM, "Programming NVM failed.");
    if (toe_nvm_write_dir_entry(ops, index, offset, written, p.sram_base, type, cpu) != 0)
        return fail(ops, ERR_DIR_UPDATE, "Directory update in NVM failed.");
    return 0;
}

int toe_nvm_prog_image_by_type(HostOps ops, uint8_t* buf, uint32_t length, uint32_t dir_type)
{
    const int row = toe_image_by_dir_type(dir_type);
    return row < 0 ? 1 : toe_nvm_prog_image_by_idx(ops, buf, length, row);
}

int toe_nvm_write_usrblk(HostOps ops, uint8_t* buf, uint32_t length)
{
    // A block the directory lists keeps its entry (and its bytes) until the new one is written:
    // the new block goes into room beside every image, and the entry is switched to it in one
    // directory write with its CRC, so a failed write leaves the old block listed and whole.
    int index = 0;
    if (toe_nvm_find_dir_entry(ops, DIR_USR_BLK, &index) != 0 && toe_nvm_find_free_dir_entry(ops, &index) != 0)
        return 2;
    uint32_t offset = 0, written = 0;
    if (toe_nvm_alloc_space(ops, KEEP_EVERY_IMAGE, length, &offset) != 0)
        return 2;
    if (toe_nvm_program_nvm(ops, buf, length, offset, TOE_PRG_APPEND_CRC, &written) != 0 ||
        toe_nvm_write_dir_entry(ops, index, offset, written, SRAM_USR_BLK, DIR_USR_BLK, HOST_CPU) != 0)
        return 1;
    return 0;
}
