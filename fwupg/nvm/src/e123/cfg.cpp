// Read-modify-write of the configuration set of an E1-E3 adapter.
#include "fwupg/nvm/e123/cfg.h"

#include <cstring>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/program.h"
#include "fwupg/nvm/formats/vpd_info.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kCfg[2] = {256, 2024};
constexpr uint32_t kFeat[2] = {1104, 2872};
constexpr uint32_t kVpd = 1344;
constexpr uint32_t kBlock20 = 20;
constexpr uint32_t kRecVpd = 580;
// Record byte 859 (spare, between the VPD fields and the NPAR slices) remembers whether the VPD
// copy rebuilds losslessly; one that does not (blank, unknown keywords, bad checksum) is never
// rewritten from the record, so template defaults never replace a board's VPD.
constexpr uint32_t kRecVpdStatus = 859;

bool keeps_part_number(uint32_t word) { return (word & 0xFFFF) == 0xFFFF || (word & 0xFFFF) == 0x103C; }

void bounded_copy(uint8_t* dst, const uint8_t* src, size_t n)
{
    size_t i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = 0;
}

uint32_t shmem_base_of(uint32_t path)
{
    uint32_t v = 0;
    if (path == 0)
        return shmem_base(&v) == 0 ? v : 0;
    if (common_nvm_is_e1())
        return 0;
    uint32_t hook = 0;
    if (reg_read(kRegShmem2Hook, &hook) != 0 || hook == 0)
        return 0;
    return reg_read(hook + kShmem2Path1Base, &v) == 0 ? v : 0;
}

int read_cfg_blocks(uint8_t* record, uint32_t path, uint32_t port, uint8_t vpd[256], uint8_t block20[236],
                    uint8_t* np, uint8_t* niv, uint8_t* prof, uint8_t* cs)
{
    int rc = 0;
    rc |= common_nvm_read(kCfg[path] + 4, record + 20, 40, 1);
    rc |= common_nvm_read(kCfg[path] + 44 + 400 * port, record + 60, 400, 1);
    rc |= common_nvm_read(kFeat[path], record + 460, 4, 1);
    rc |= common_nvm_read(kFeat[path] + 4 + 116 * port, record + 464, 116, 1);
    rc |= common_nvm_read(kVpd, vpd, 256, 1);
    rc |= common_nvm_read(kBlock20, block20, 236, 1);
    rc |= common_nvm_read_nic_prtion(np, nullptr);
    rc |= common_nvm_read_niv(niv, nullptr);
    rc |= common_nvm_read_nivprofiles(prof, nullptr);
    rc |= common_nvm_read_cfg_shared(cs, 256);
    return rc;
}

int write_cfg_blocks(uint8_t* record, uint32_t path, bool current, uint8_t cfg[848], uint8_t feat[240],
                     uint8_t block20[236], uint8_t vpd[256], bool vpd_valid, uint8_t* np, uint8_t* niv,
                     uint8_t* prof, uint8_t* cs)
{
    // Every block is rebuilt from what the NVRAM holds; the ones a change leaves as they were
    // (most of them: a change touches one block of one path) are not written again, and a block
    // that changed is written from its first changed word through its CRC word, in one write.
    constexpr uint32_t kChanged = NVM_PRG_SKIP_SAME | NVM_PRG_FROM_FIRST_CHANGE;
    constexpr uint32_t kWithCrc = NVM_PRG_APPEND_CRC | kChanged;
    int rc = 0;
    rc |= common_nvm_program_nvm(cfg, 844, kCfg[path], kWithCrc, nullptr);
    rc |= common_nvm_program_nvm(feat, 236, kFeat[path], kWithCrc, nullptr);
    if (!current)
        return rc;
    rc |= common_nvm_program_nvm(block20, 232, kBlock20, kWithCrc, nullptr);
    if (vpd_valid)
        rc |= common_nvm_program_nvm(vpd, 256, kVpd, kChanged, nullptr);
    rc |= common_nvm_sync_nic_prtion(record, np);
    rc |= common_nvm_sync_niv(record, niv, prof);
    rc |= common_nvm_sync_nivprofiles(record, prof);
    rc |= common_nvm_sync_cfg_shared(record, cs);
    return rc;
}

}  // namespace

extern "C" {

void common_nvm_shmem_load(uint32_t base, uint8_t port, uint8_t* rec)
{
    auto load = [&](uint32_t addr, uint32_t first_word, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t v = 0;
            if (reg_read(addr + 4 * i, &v) == 0)
                store_u32(rec + 4 * (first_word + i), v);
        }
    };
    load(base + kShmemSharedPart, 5, 10);
    load(base + kShmemSharedFeature, 115, 1);
    load(base + kShmemPortPart + kShmemPortStride * port, 15, 100);
    load(base + kShmemPortFeature + kShmemPortFeatureStride * port, 116, 29);
}

void common_nvm_shmem_store(uint32_t base, uint8_t current, uint8_t port, const uint8_t* rec)
{
    auto store = [&](uint32_t addr, uint32_t first_word, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            reg_write(addr + 4 * i, load_u32(rec + 4 * (first_word + i)));
    };
    store(base + kShmemSharedPart, 5, 10);
    store(base + kShmemSharedFeature, 115, 1);
    if (current) {
        store(base + kShmemPortPart + kShmemPortStride * port, 15, 100);
        store(base + kShmemPortFeature + kShmemPortFeatureStride * port, 116, 29);
    }
}

int common_nvm_read_shmem_cfg(uint8_t* shmem_record)
{
    uint32_t port = 0;
    int rc = common_nvm_get_port(&port);
    if (rc != 0)
        return rc;
    uint32_t base = shmem_base_of(uint32_t(common_nvm_on_second_path()));
    if (base != 0)
        common_nvm_shmem_load(base, uint8_t(port), shmem_record);
    return 0;
}

int common_nvm_read_cfg(uint8_t* record, uint8_t* shmem_record, uint8_t nic_prtion[508], uint8_t niv[1124],
                        uint8_t nivprofiles[10240], uint8_t cfg_shared[256])
{
    if (!record || !shmem_record || !nic_prtion || !niv || !nivprofiles || !cfg_shared)
        return -1;
    const uint32_t path = uint32_t(common_nvm_on_second_path());
    uint32_t port = 0;
    int rc = common_nvm_get_port(&port);
    if (rc != 0)
        return rc;
    port &= 1;
    const uint32_t func = uint32_t(common_nvm_get_func_num());

    uint8_t vpd[256], block20[236];
    std::vector<uint8_t> images(508 + 1124 + 10240 + 256);
    uint8_t* np = images.data();
    uint8_t* nv = np + 508;
    uint8_t* prof = nv + 1124;
    uint8_t* cs = prof + 10240;
    rc = read_cfg_blocks(record, path, port, vpd, block20, np, nv, prof, cs);
    if (rc != 0)
        return rc;
    std::memcpy(nic_prtion, np, 508);
    std::memcpy(niv, nv, 1124);
    std::memcpy(nivprofiles, prof, 10240);
    std::memcpy(cfg_shared, cs, 256);

    bounded_copy(record, block20 + 212, 20);
    auto* info = reinterpret_cast<vpd_info*>(record + kRecVpd);
    common_nvm_vpd_parse(info, vpd, 0);
    record[kRecVpdStatus] = vpd_copy_round_trips(vpd) ? 0 : 1;
    if (!keeps_part_number(load_u32(record + 64)))
        bounded_copy(record + 20, reinterpret_cast<const uint8_t*>(info->pn), 16);

    std::memcpy(record + 860, np, 4);
    std::memcpy(record + 864, np + 4 + 24 * path + 12 * port, 12);
    if (func < 8)
        std::memcpy(record + 876, np + 52 + 48 * func, 48);
    std::memcpy(record + 924, nv, 12);
    std::memcpy(record + 936, nv + 12 + 8 * path + 4 * port, 4);
    if (func < 8)
        std::memcpy(record + 940, nv + 36 + 136 * func, 136);
    std::memcpy(record + 1076, prof + 5120 * ((port | path) & 1), 5120);
    std::memcpy(record + 6196, cs, 80);
    return common_nvm_read_shmem_cfg(shmem_record);
}

int common_nvm_write_cfg(uint8_t* record, uint8_t* shmem_record, uint8_t nic_prtion[508], uint8_t niv[1124],
                         uint8_t nivprofiles[10240], uint8_t cfg_shared[256])
{
    if (!record || !shmem_record || !nic_prtion || !niv || !nivprofiles || !cfg_shared)
        return -1;
    uint32_t port = 0;
    int rc = common_nvm_get_port(&port);
    if (rc != 0)
        return rc;
    port &= 1;
    const uint32_t cur_path = uint32_t(common_nvm_on_second_path());
    const uint32_t paths = common_nvm_is_e1() ? 1 : 2;
    uint32_t base[2] = {shmem_base_of(0), paths > 1 ? shmem_base_of(1) : 0};

    int result = 0;
    for (uint32_t p = 0; p < paths; ++p) {
        const bool current = p == cur_path;
        uint8_t block20[236] = {}, vpd[256] = {}, feat[240] = {}, cfg[848] = {};
        int reads = 0;
        if (current) {
            reads |= common_nvm_read(kBlock20, block20, 236, 1);
            reads |= common_nvm_read(kVpd, vpd, 256, 1);
        }
        reads |= common_nvm_read(kFeat[p], feat, 240, 1);
        reads |= common_nvm_read(kCfg[p], cfg, 848, 1);
        if (reads != 0) {
            // Nothing is programmed from a buffer that a failed read left unfilled.
            result |= -1;
            continue;
        }
        auto* info = reinterpret_cast<vpd_info*>(record + kRecVpd);
        if (!keeps_part_number(load_u32(cfg + 48)))
            bounded_copy(record + 20, reinterpret_cast<const uint8_t*>(info->pn), 16);
        bounded_copy(shmem_record + 20, record + 20, 16);
        nvm_buf_host_order(record + 20, 4);
        nvm_buf_host_order(shmem_record + 20, 4);
        store_u32(cfg, 0x41000000);
        std::memcpy(cfg + 4, record + 20, 40);
        std::memcpy(feat, record + 460, 4);
        bool vpd_valid = false;
        if (current) {
            std::memcpy(cfg + 44 + 400 * port, record + 60, 400);
            std::memcpy(feat + 4 + 116 * port, record + 464, 116);
            if (record[kRecVpdStatus] == 0) {
                if (common_nvm_vpd_build(info, vpd) == 0)
                    vpd_valid = true;
                else
                    result |= -1;
            }
            bounded_copy(block20 + 212, record, 20);
        }
        int rc_path = write_cfg_blocks(record, p, current, cfg, feat, block20, vpd, vpd_valid, nic_prtion, niv,
                                       nivprofiles, cfg_shared);
        result |= rc_path;
        if (rc_path == 0 && base[cur_path] != 0 && base[p] != 0)
            common_nvm_shmem_store(base[p], current, uint8_t(port), shmem_record);
    }
    return result;
}

}  // extern "C"
