// Installation of an image into the extended directory: create the directory on demand, compare
// versions, place and program the image, switch the bootstrap for MFW1, republish the directory.
#include "fwupg/nvm/e123/ext_install.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/e123/alloc.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/prog_image.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/e123/queries.h"
#include "fwupg/nvm/e123/versions.h"

using namespace fwupg::nvm;

extern "C" {
int g_new_mfw_version[4] = {0, 0, 0, 0};
int g_running_mfw_version[4] = {0, 0, 0, 0};
}

namespace {

constexpr uint32_t kTextSize = 256;

void parse_mfw1(const char* text, int (&v)[4])
{
    int n = std::sscanf(text, "MFW1 %d.%d.%d.%d", &v[0], &v[1], &v[2], &v[3]);
    if (n < 3) {
        v[0] = v[1] = v[2] = v[3] = 0;
        return;
    }
    if (n == 3)
        v[3] = 0;
}

// FEB_CFG3 and FEB_CFG4 follow the pair on four-port boards.
bool wants_quad_feb(uint32_t ids, uint32_t sub_ids)
{
    uint32_t four_port = 0;
    uint16_t did = uint16_t(ids), vid = uint16_t(ids >> 16);
    uint16_t svid = uint16_t(sub_ids), ssid = uint16_t(sub_ids >> 16);
    if (common_nvm_get_port_mode(&four_port) == 0 && four_port &&
        (did == 0x168D || did == 0x16A1 || did == 0x16A2 || did == 0x16A4))
        return true;
    return common_nvm_is_quad_feb_board(vid, svid, ssid);
}

int reported_shmem_base(uint32_t* base)
{
    if (shmem_base(base) != 0 || *base == 0) {
        fwupg_dbg_printf("No shared memory address");
        return -1;
    }
    return 0;
}

int read_running_version()
{
    uint32_t base = 0, word = 0;
    if (reported_shmem_base(&base) != 0 || reg_read(base + kShmemRunningMfw, &word) != 0)
        return -1;
    for (int i = 0; i < 4; ++i)
        g_running_mfw_version[i] = int((word >> (24 - 8 * i)) & 0xFF);
    return 0;
}

// Version of a SWIM image of the extended directory; false when unreadable.
bool swim_version(const char* name, uint32_t offset, int (&v)[4], int* fields)
{
    char text[kTextSize];
    if (common_nvm_image_version_str(offset, 0, name, text, sizeof text, 0) != 0)
        return false;
    std::string f4 = std::string(name) + " %d.%d.%d.%d", f3 = std::string(name) + " %d.%d.%d";
    v[3] = 0;
    if (std::sscanf(text, f4.c_str(), &v[0], &v[1], &v[2], &v[3]) == 4) {
        *fields = 4;
        return true;
    }
    if (std::sscanf(text, f3.c_str(), &v[0], &v[1], &v[2]) == 3) {
        *fields = 3;
        return true;
    }
    return false;
}

// A three-number form matches a four-number version when its third number is third x 100 + fourth.
bool version_matches(const int (&v)[4], int fields, const int (&want)[4])
{
    if (v[0] != want[0] || v[1] != want[1])
        return false;
    if (fields == 4)
        return v[2] == want[2] && v[3] == want[3];
    return v[2] == want[2] * 100 + want[3] || (v[2] == want[2] && want[3] == 0);
}

int remove_type(uint32_t type)
{
    nvm_ext_dir dir;
    int rc = common_nvm_load_ext_dir(&dir);
    if (rc <= 0)
        return rc;
    uint32_t k = 0;
    if (common_nvm_ext_dir_find(type, &dir, &k, nullptr, nullptr, nullptr, nullptr) != 0)
        return 0;
    return common_nvm_ext_dir_remove(&dir, k);
}

int install_one(const uint8_t* buffer, uint32_t length, uint32_t row, uint32_t type, bool check_version, int quiet,
                int remove_swim, int dry_run, bool pair_may_skip, bool* skipped)
{
    const nvm_image_row& r = g_image_table[row];
    nvm_ext_dir dir;
    int have = common_nvm_load_ext_dir(&dir);
    if (have < 0)
        return -1;
    if (have == 0) {
        std::memset(&dir, 0, sizeof dir);
        if (!dry_run) {
            if (common_nvm_create_ext_dir() != 0 || common_nvm_load_ext_dir(&dir) != 1)
                return -1;
        }
    }
    uint32_t k = 0, old_off = 0, old_len = 0, proc = r.processor;
    bool existing = common_nvm_ext_dir_find(type, &dir, &k, &old_off, nullptr, &old_len, nullptr) == 0;
    if (type == kTypeFcoeB && length >= 20 && load_u32(buffer + 16) == 188)
        proc = 0x09000000;
    uint32_t name_row = row;
    common_nvm_image_row_by_type(type, &name_row);
    const char* name = g_image_table[name_row].name;

    char new_text[kTextSize] = "";
    common_nvm_image_version_str(reinterpret_cast<uintptr_t>(buffer), length, name, new_text, sizeof new_text, 1);
    if (type == kTypeMfw1)
        parse_mfw1(new_text, g_new_mfw_version);
    if (dry_run)
        return 0;

    if (existing) {
        char old_text[kTextSize] = "";
        common_nvm_image_version_str(old_off, 0, name, old_text, sizeof old_text, 0);
        if (check_version) {
            if (common_nvm_check_image_version(name, old_text, new_text) != 0) {
                if (pair_may_skip && (type == kTypeFebCfg || type == kTypeFebCfg2)) {
                    *skipped = true;
                    return 0;
                }
                set_last_error(35);
                return -1;
            }
            fwupg_dbg_printf("Upgrading %s image: from ver %s to ver %s\n", name, old_text, new_text);
        } else if (!quiet) {
            fwupg_dbg_printf("Forced upgrading %s image: from ver %s to ver %s\n", name, old_text, new_text);
        }
    } else {
        fwupg_dbg_printf("Upgrading %s image: to version %s\n", name, new_text);
    }

    if (type == kTypeMfw1 && common_nvm_delete_mfw_images(2, remove_swim) != 0)
        return -1;
    const uint32_t flags = NVM_PRG_APPEND_CRC | (type == kTypeE3PcieV2 ? uint32_t(NVM_PRG_PAD8) : 0u);
    const uint32_t span = type == kTypeE3PcieV2 ? ((length + 7) & ~7u) : length;
    uint32_t place = 0, written = 0;
    // The user block holds the adapter's own data, of which nothing else keeps a copy: its old
    // place stays taken until the new block is listed, even when room is tight.
    const bool keep_old = existing && type == kTypeUsrBlk;
    if (common_nvm_alloc_space(type, span, keep_old ? old_off : 0, keep_old ? old_len : 0, &place) != 0) {
        fwupg_dbg_printf("Not enough space in NVM.\n");
        return -1;
    }
    if (common_nvm_program_nvm(buffer, length, place, flags, &written) != 0)
        return -1;
    const uint32_t sram = common_nvm_load_address(type, proc);
    if (type == kTypeMfw1 && common_nvm_ext_dir_hold_bootstrap(sram, written, place) != 0)
        return -1;
    // The directory may have changed (MFW2 removal, compaction): add to the one in force.
    if (common_nvm_load_ext_dir(&dir) != 1)
        return -1;
    existing = common_nvm_ext_dir_find(type, &dir, nullptr, nullptr, nullptr, &old_len, nullptr) == 0;
    return common_nvm_ext_dir_add(&dir, type, written, place, sram, existing ? old_len : 0, proc);
}

}  // namespace

extern "C" {

int common_nvm_install_ext_image(const uint8_t* buffer, uint32_t length, uint32_t row, uint8_t check_version,
                                 int quiet, int remove_swim, int dry_run)
{
    if (!buffer || row >= common_nvm_image_table_size())
        return -1;
    uint32_t port = 0, ids = 0, sub_ids = 0;
    const bool second_port = toe_long("PORT0") == 0;
    if (common_nvm_get_port(&port) != 0 || port_cfg_word(1, nullptr, 0, &ids) != 0 ||
        port_cfg_word(2, nullptr, 0, &sub_ids) != 0)
        return -1;
    const uint32_t type = g_image_table[row].dir_type;
    std::vector<uint32_t> types{type};
    if (type == kTypeFebCfg) {
        types = second_port ? std::vector<uint32_t>{kTypeFebCfg2, kTypeFebCfg}
                            : std::vector<uint32_t>{kTypeFebCfg, kTypeFebCfg2};
        if (wants_quad_feb(ids, sub_ids)) {
            types.push_back(kTypeFebCfg3);
            types.push_back(kTypeFebCfg4);
        }
    }
    for (size_t i = 0; i < types.size(); ++i) {
        bool skipped = false;
        bool quad_follows = types.size() == 4 && i < 2;
        if (install_one(buffer, length, row, types[i], check_version != 0, quiet, remove_swim, dry_run, quad_follows,
                        &skipped) != 0)
            return -1;
        if (dry_run)
            return 0;
    }
    return 0;
}

int common_nvm_delete_old_bc_ncsi()
{
    // The entries go in one directory write, after the bootstrap stops naming the old bootcode.
    uint32_t idx = 0, cleared[3], count = 0;
    if (common_nvm_find_dir_entry(kTypeBc2, &idx, nullptr) == 0) {
        fwupg_dbg_printf("Deleting old BC image ..\n");
        common_nvm_write_bootstrap(0, 0, 0);
        cleared[count++] = idx;
    }
    if (common_nvm_find_dir_entry(kTypeNcsiCmn, &idx, nullptr) == 0) {
        fwupg_dbg_printf("Deleting old NCSI image ..\n");
        cleared[count++] = idx;
    }
    if (common_nvm_find_dir_entry(kTypeNcsiElib, &idx, nullptr) == 0)
        cleared[count++] = idx;
    common_nvm_clear_dir_entries(cleared, count);
    return 0;
}

int common_nvm_delete_mfw_images(uint32_t mode, int remove_swim)
{
    nvm_ext_dir dir;
    int have = common_nvm_load_ext_dir(&dir);
    if (have < 0)
        return -1;
    if (have == 0)
        return 0;
    std::vector<uint32_t> types;
    if (mode == 1)
        types = {kTypeMfw1, kTypeMfw2, kTypeMfw2A};
    else if (mode == 2)
        types = {kTypeMfw2, kTypeMfw2A};
    if (remove_swim) {
        uint32_t running = 0, fresh = 0;
        if (common_nvm_swim_sets(&running, &fresh) == 0 && running != 0) {
            // Only the set the running firmware does not use goes: set 1 is positions 0-11, set 2 12-23.
            uint32_t first = running == 2 ? 0 : 12;
            for (uint32_t i = first; i < first + 12; ++i)
                types.push_back(g_image_table[kRowSwim1 + i].dir_type);
        }
    }
    for (uint32_t t : types)
        if (remove_type(t) != 0)
            return -1;
    return 0;
}

int common_nvm_delete_swim_b_set()
{
    for (uint32_t i = 12; i < 24; ++i)
        if (remove_type(g_image_table[kRowSwim1 + i].dir_type) < 0)
            return 0;
    return 0;
}

int common_nvm_swim_sets(uint32_t* running_set, uint32_t* new_set)
{
    if (running_set)
        *running_set = 0;
    if (new_set)
        *new_set = 0;
    if (read_running_version() != 0)
        return -1;
    nvm_ext_dir dir;
    if (common_nvm_load_ext_dir(&dir) != 1)
        return 0;
    for (uint32_t set = 1; set <= 2; ++set) {
        const nvm_image_row& r = g_image_table[kRowSwim1 + (set - 1) * 12];
        uint32_t off = 0;
        if (common_nvm_ext_dir_find(r.dir_type, &dir, nullptr, &off, nullptr, nullptr, nullptr) != 0)
            continue;
        int v[4];
        int fields = 0;
        if (!swim_version(r.name, off, v, &fields))
            continue;
        if (new_set && version_matches(v, fields, g_new_mfw_version))
            *new_set = set;
        if (running_set && version_matches(v, fields, g_running_mfw_version))
            *running_set = set;
    }
    return 0;
}

int common_nvm_purge_foreign_swim(uint32_t* running_set)
{
    if (running_set)
        *running_set = 0;
    if (read_running_version() != 0)
        return -1;
    for (uint32_t i = 0; i < kSwimRows; ++i) {
        const nvm_image_row& r = g_image_table[kRowSwim1 + i];
        nvm_ext_dir dir;
        uint32_t k = 0, off = 0;
        if (common_nvm_load_ext_dir(&dir) != 1)
            return 0;
        if (common_nvm_ext_dir_find(r.dir_type, &dir, &k, &off, nullptr, nullptr, nullptr) != 0)
            continue;
        int v[4];
        int fields = 0;
        if (swim_version(r.name, off, v, &fields) && version_matches(v, fields, g_running_mfw_version)) {
            if (running_set && (i == 0 || i == 12))
                *running_set = i == 0 ? 1 : 2;
            continue;
        }
        if (common_nvm_ext_dir_remove(&dir, k) != 0)
            return -1;
    }
    return 0;
}

int common_nvm_mfw1_version_text(char* out, uint32_t size)
{
    uint32_t off = 0;
    nvm_ext_dir dir;
    if (!out || common_nvm_load_ext_dir(&dir) != 1 ||
        common_nvm_ext_dir_find(kTypeMfw1, &dir, nullptr, &off, nullptr, nullptr, nullptr) != 0)
        return -1;
    char text[kTextSize];
    if (common_nvm_image_version_str(off, 0, "MFW1", text, sizeof text, 0) != 0)
        return -1;
    char rest[kTextSize] = "";
    if (std::sscanf(text, "MFW1 %255s", rest) != 1)
        return -1;
    std::snprintf(out, size, "%s", rest);
    return 0;
}

int common_nvm_mba_version_texts(char* out_a, char* out_b, uint32_t size)
{
    uint32_t idx = 0, off = 0;
    if (common_nvm_find_dir_entry(kTypeMba, &idx, &off) != 0)
        return -1;
    uint32_t slots[8];
    if (common_nvm_parse_mba_rom(0, off, 0, slots, nullptr) != 0)
        return -1;
    auto text = [&](char* out, int from, int to) {
        if (!out)
            return;
        out[0] = 0;
        for (int i = from; i <= to; ++i)
            if (slots[i])
                std::snprintf(out, size, "%d.%d.%d", int((slots[i] >> 12) & 0xFF), int((slots[i] >> 8) & 0xF),
                              int(slots[i] & 0xFF));
    };
    text(out_a, 0, 2);
    text(out_b, 4, 7);
    return 0;
}

void common_nvm_create_boot_cfg_shadow()
{
    uint32_t base = 0, word = 0;
    if (shmem_base(&base) != 0 || base == 0 || reg_read(base + kShmemBoardIds, &word) != 0)
        return;
    uint16_t low = uint16_t(word), high = uint16_t(word >> 16);
    bool board = low == 0x1028 || (low == 0x14E4 && (high == 0x1006 || high == 0x1007 || high == 0x1008 || high == 0x1014));
    uint32_t present = 0;
    if (!board || common_nvm_find_ext_dir_image(&present, kTypeBootCfgShadow, nullptr, nullptr, nullptr) != 0 || present)
        return;
    uint32_t row = 0;
    common_nvm_image_row_by_type(kTypeBootCfgShadow, &row);
    std::vector<uint8_t> zero(12288, 0);
    common_nvm_install_ext_image(zero.data(), uint32_t(zero.size()), row, 0, 0, 0, 0);
}

int common_nvm_ensure_nic_prtion()
{
    uint32_t present = 0;
    int rc = common_nvm_find_ext_dir_image(&present, kTypeNicPrtion, nullptr, nullptr, nullptr);
    if (rc != 0)
        return rc;
    if (present)
        return 0;
    uint32_t row = 0;
    common_nvm_image_row_by_type(kTypeNicPrtion, &row);
    std::vector<uint8_t> zero(kNicPrtionLen, 0);
    return common_nvm_install_ext_image(zero.data(), kNicPrtionLen, row, 0, 1, 0, 0);
}

int common_nvm_npar_macs_set()
{
    uint32_t four_port = 0;
    common_nvm_get_port_mode(&four_port);
    const unsigned ports = four_port ? 4 : 2;
    const unsigned paths = common_nvm_is_e1() ? 1 : 2;
    for (unsigned p = 0; p < ports; ++p) {
        // Port p lives on path p & 1 (port (p >> 1) there) in four-port mode.
        unsigned path = four_port ? (p & 1) : 0, port = four_port ? (p >> 1) : p;
        if (path >= paths)
            path = 0;
        uint32_t off = (path ? 2024 + 44 : 300) + 400 * port + 16;
        uint32_t mac[2] = {0, 0};
        if (common_nvm_read(off, mac, 8, 1) != 0 || mac[0] == 0 || mac[1] == 0)
            return 0;
    }
    return 1;
}

// The port configuration block of function f: path f & 1 (E1 has one), port (f >> 1) & 1 in
// four-port mode, else port 0.
static uint32_t function_port_block(uint32_t f, uint32_t four_port)
{
    unsigned path = f & 1, port = four_port ? (f >> 1) & 1 : 0;
    if (common_nvm_is_e1())
        path = 0;
    return (path ? 2024 + 44 : 300) + 400 * port;
}

int common_nvm_function_mac(uint32_t f, uint32_t mac[2])
{
    uint32_t four_port = 0;
    common_nvm_get_port_mode(&four_port);
    if (common_nvm_read(function_port_block(f, four_port) + 16, mac, 8, 1) != 0)
        return -1;
    mac[1] += four_port ? 8 * (f >> 2) : 4 * (f >> 1);
    return 0;
}

int common_nvm_init_npar_block(int flag)
{
    uint32_t present = 0, off = 0, len = 0;
    if (common_nvm_find_ext_dir_image(&present, kTypeNicPrtion, &off, &len, nullptr) != 0 || !present || len < 512)
        return 0;
    std::vector<uint8_t> img(512);
    if (common_nvm_read(off, img.data(), 512, 1) != 0)
        return 0;
    for (int f = 0; f < 8; ++f)
        if (load_u32(img.data() + 52 + 48 * f) & 0x7F)
            return 0;
    if (!common_nvm_npar_macs_set())
        return 0;
    uint32_t four_port = 0;
    common_nvm_get_port_mode(&four_port);
    const int physical = four_port ? 4 : 2;
    for (int f = 0; f < 8; ++f) {
        if (flag && f >= physical) {
            uint32_t npar = 0;
            if (common_nvm_read(function_port_block(uint32_t(f), four_port) + 348, &npar, 4, 1) == 0 &&
                (npar & 0x0F000000) == 0)
                continue;
        }
        uint32_t mac[2] = {0, 0};
        if (common_nvm_function_mac(uint32_t(f), mac) != 0)
            return 0;
        uint8_t* e = img.data() + 52 + 48 * f;
        store_u32(e, (f < physical ? 7u : 3u) | 0x640000u);
        store_u32(e + 4, mac[0]);
        store_u32(e + 8, mac[1]);
    }
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(img.data(), 508, 0, &crc);
    store_u32(img.data() + 508, ~__builtin_bswap32(crc));
    if (common_nvm_program_nvm(img.data(), 512, off, 0, nullptr) != 0)
        return -1;
    return 0;
}

int common_nvm_noop() { return 0; }

}  // extern "C"

namespace {

bool install_copy(uint32_t type, const uint8_t* data, uint32_t length)
{
    uint32_t row = 0;
    if (common_nvm_image_row_by_type(type, &row) != 0)
        return false;
    return common_nvm_install_ext_image(data, length, row, 0, 1, 0, 0) == 0;
}

// Copies `len` record bytes over the image copy; true when anything changed.
bool merge(uint8_t* image, uint32_t at, const uint8_t* record, uint32_t len)
{
    if (std::memcmp(image + at, record, len) == 0)
        return false;
    std::memcpy(image + at, record, len);
    return true;
}

void identity(uint32_t* path, uint32_t* port, uint32_t* func)
{
    *path = uint32_t(common_nvm_on_second_path());
    *port = 0;
    common_nvm_get_port(port);
    *func = uint32_t(common_nvm_get_func_num());
}

}  // namespace

extern "C" {

int common_nvm_sync_nic_prtion(const uint8_t* record, uint8_t nic_prtion[508])
{
    uint32_t path, port, func;
    identity(&path, &port, &func);
    bool changed = merge(nic_prtion, 0, record + 860, 4);
    changed |= merge(nic_prtion, 4 + 24 * (path & 1) + 12 * (port & 1), record + 864, 12);
    if (func < 8)
        changed |= merge(nic_prtion, 52 + 48 * func, record + 876, 48);
    return !changed || install_copy(kTypeNicPrtion, nic_prtion, kNicPrtionLen) ? 0 : -1;
}

int common_nvm_sync_niv(const uint8_t* record, uint8_t niv[1124], uint8_t nivprofiles[10240])
{
    uint32_t path, port, func;
    identity(&path, &port, &func);
    bool changed = merge(niv, 0, record + 924, 12);
    changed |= merge(niv, 12 + 8 * (path & 1) + 4 * (port & 1), record + 936, 4);
    if (func < 8)
        changed |= merge(niv, 36 + 136 * func, record + 940, 136);
    if (changed && !install_copy(kTypeNiv, niv, kNivLen))
        return -1;
    (void)nivprofiles;
    return 0;
}

int common_nvm_sync_nivprofiles(const uint8_t* record, uint8_t nivprofiles[10240])
{
    uint32_t path, port, func;
    identity(&path, &port, &func);
    uint32_t half = ((port | path) & 1) * 5120;
    if (!merge(nivprofiles, half, record + 1076, 5120))
        return 0;
    return install_copy(kTypeNivProfiles, nivprofiles, kNivProfilesLen) ? 0 : -1;
}

int common_nvm_sync_cfg_shared(const uint8_t* record, uint8_t cfg_shared[256])
{
    if (!merge(cfg_shared, 0, record + 6196, 80))
        return 0;
    uint32_t present = 0, len = 0;
    common_nvm_find_ext_dir_image(&present, kTypeCfgShared, nullptr, &len, nullptr);
    uint32_t data = present && len >= 4 ? len - 4 : 80;
    if (data < 80)
        data = 80;
    if (data > 256)
        data = 256;
    return install_copy(kTypeCfgShared, cfg_shared, data) ? 0 : -1;
}

}  // extern "C"
