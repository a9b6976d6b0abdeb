// Programming one image through the primary directory: stored form, version check, placement,
// programming, then the bootstrap (BC1), the MBA ROM size in every port's configuration, and the
// directory entry.
#include "fwupg/nvm/e123/prog_image.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/alloc.h"
#include "fwupg/nvm/e123/cfg.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/e123/versions.h"
#include "fwupg/nvm/formats/rom_patch.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kLinkedMagic = 0x45901011;
constexpr uint32_t kTextSize = 256;

// A linked firmware file becomes the span from its start address to the end of its highest
// section; sections land at their load addresses, gaps stay zero. False on a malformed file.
bool expand_linked(const uint8_t* image, uint32_t length, std::vector<uint8_t>& out)
{
    if (length < 16 + 6 * 12)
        return false;
    const uint32_t start = load_u32(image + 20);
    const int sections = load_u32(image + 4) ? 6 : 5;
    uint64_t span = 0;
    for (int s = 0; s < sections; ++s) {
        const uint8_t* d = image + 16 + 12 * s;
        uint32_t file_off = load_u32(d), load = load_u32(d + 4), len = load_u32(d + 8);
        if (load < start || file_off == 0)
            continue;
        if (uint64_t(file_off) + len > length)
            return false;
        uint64_t end = uint64_t(load - start) + len;
        if (end > span)
            span = end;
    }
    if (span == 0 || span > 0x800000)
        return false;
    out.assign(size_t(span) + 4, 0);
    for (int s = 0; s < sections; ++s) {
        const uint8_t* d = image + 16 + 12 * s;
        uint32_t file_off = load_u32(d), load = load_u32(d + 4), len = load_u32(d + 8);
        if (load < start || file_off == 0)
            continue;
        std::memcpy(out.data() + (load - start), image + file_off, len);
    }
    out.resize(size_t(span));
    return true;
}

// Writes the MBA ROM size exponent into the configuration of every port.
int set_mba_size(uint32_t length)
{
    int e = 10;
    while (e <= 23 && uint64_t(length) > (uint64_t(1) << e))
        ++e;
    const uint32_t field = uint32_t(e - 10) << 12;
    auto set = std::make_unique<CfgSet>();
    const int ports = common_nvm_port_count();
    for (int p = 0; p < (ports > 0 ? ports : 1); ++p) {
        int rc = set->read();
        if (rc != 0)
            return rc;
        uint32_t word = load_u32(set->record + NVM_CFG_MBA_WORD);
        store_u32(set->record + NVM_CFG_MBA_WORD, (word & ~0x000FF000u) | field);
        rc = set->write();
        if (rc != 0)
            return rc;
        if (ports > 1) {
            rc = common_nvm_switch_func_num();
            if (rc != 0)
                return rc;
        }
    }
    return 0;
}

}  // namespace

extern "C" uint32_t common_nvm_load_address(uint32_t type, uint32_t processor)
{
    switch (type) {
    case 0x30000000: case 0xB0000001: case 0xC0000001: case 0xF0000003:
    case 0x00800003: case 0xA0000003: case 0x10000000:
        return 0;
    default: break;
    }
    switch (processor) {
    case 0x03000000: return 0x1C0000;
    case 0x04000000: return 0x240000;
    case 0x05000000: return 0x2C0000;
    case 0x06000000: return 0x340000;
    default: return 0x8000010;
    }
}

extern "C" int common_nvm_prog_image_by_idx(const uint8_t* image, uint32_t length, uint32_t row, int check_version)
{
    if (!image || row >= common_nvm_image_table_size())
        return -1;
    const nvm_image_row& r = g_image_table[row];
    uint32_t type = r.dir_type, proc = r.processor;
    const bool second_port = toe_long("PORT0") == 0;
    if (second_port && type == kTypeIbCfg)
        type = kTypeIbCfg2;
    if (type == kTypeIscsiB && length >= 20 && load_u32(image + 16) == 188)
        proc = 0x09000000;

    std::vector<uint8_t> data;
    if (length >= 4 && load_u32(image) == kLinkedMagic) {
        if (!expand_linked(image, length, data)) {
            fwupg_dbg_printf("Programming NVM failed.\n");
            return -1;
        }
    } else {
        data.assign(image, image + length);
    }
    const uint32_t sram = common_nvm_load_address(type, proc);
    if (type == kTypeMba) {
        if (data.size() > (1u << 23)) {
            fwupg_dbg_printf("MBA image is too large (%u bytes).\n", unsigned(data.size()));
            return -1;
        }
        uint32_t port = 0, ids = 0;
        if (common_nvm_get_port(&port) != 0)
            return -1;
        uint32_t at = common_nvm_on_second_path() ? port * 400 + 2068 : port * 400 + 300;
        if (common_nvm_read(at, &ids, 4, 1) != 0 ||
            common_nvm_patch_rom_ids(data.data(), uint32_t(data.size()), uint16_t(ids >> 16), uint16_t(ids)) != 0)
            return -1;
    }

    const char* name = r.name;
    uint32_t index = 16, old_off = 0;
    char old_text[kTextSize] = "";
    bool first_time = false;
    if (type == kTypeBc1) {
        uint32_t boot_len = 0;
        if (common_nvm_read_bootstrap(nullptr, &boot_len, &old_off) == 0 && boot_len)
            common_nvm_image_version_str(old_off, 0, name, old_text, sizeof old_text, 0);
        else
            first_time = true;
    } else if (common_nvm_find_dir_entry(type, &index, &old_off) == 0) {
        common_nvm_image_version_str(old_off, 0, name, old_text, sizeof old_text, 0);
    } else {
        if (common_nvm_find_free_dir_entry(&index) != 0) {
            fwupg_dbg_printf("Not enough space in NVM.\n");
            return -1;
        }
        first_time = true;
    }

    char new_text[kTextSize] = "";
    common_nvm_image_version_str(reinterpret_cast<uintptr_t>(data.data()), uint32_t(data.size()), name, new_text,
                                 sizeof new_text, 1);
    if (first_time) {
        fwupg_dbg_printf("Upgrading %s image: first time image, ver is %s\n", name, new_text);
    } else if (check_version) {
        int verdict = type == kTypeMba ? common_nvm_check_mba_version(old_off, data.data(), uint32_t(data.size()))
                                       : common_nvm_check_image_version(name, old_text, new_text);
        if (verdict != 0) {
            set_last_error(35);
            return -1;
        }
        fwupg_dbg_printf("Upgrading %s image: from ver %s to ver %s\n", name, old_text, new_text);
    } else {
        fwupg_dbg_printf("Forced upgrading %s image: from ver %s to ver %s\n", name, old_text, new_text);
    }

    if (type == kTypeBc1 && common_nvm_delete_mfw_images(1, 1) != 0)
        return -1;
    if (type == kTypeIscsiB) {
        int major = 0, minor = 0, rev = 0;
        uint32_t cprg = 0;
        if (std::sscanf(new_text, "v%d.%d.%d", &major, &minor, &rev) == 3 && major >= 7 &&
            common_nvm_find_dir_entry(kTypeIbCprg, &cprg, nullptr) == 0) {
            fwupg_dbg_printf("Remove ISCSI_BOOT_CPRG image.\n");
            if (common_nvm_write_dir_entry(cprg, 0, 0, 0, 0, 0) != 0)
                return -1;
        }
    }

    uint32_t place = 0, written = 0;
    if (common_nvm_alloc_space(type, uint32_t(data.size()), 0, 0, &place) != 0) {
        fwupg_dbg_printf("Not enough space in NVM.\n");
        return -1;
    }
    nvm_buf_host_order(data.data(), uint32_t(data.size() / 4));
    if (common_nvm_program_nvm(data.data(), uint32_t(data.size()), place, NVM_PRG_APPEND_CRC, &written) != 0) {
        fwupg_dbg_printf("Programming NVM failed.\n");
        return -1;
    }
    if (type == kTypeBc1)
        return common_nvm_write_bootstrap(sram, written, place) == 0 ? 0 : -1;
    if (type == kTypeMba) {
        int rc = set_mba_size(uint32_t(data.size()));
        if (rc != 0)
            return rc;
    }
    return common_nvm_write_dir_entry(index, place, written, sram, type, proc) == 0 ? 0 : -1;
}
