// The configuration set of an E1-E3 adapter: read from NVRAM and shared memory as one record,
// changed by the caller, written back on every path with CRCs and mirrored into shared memory.
#pragma once

#include <cstdint>

extern "C" {

enum : uint32_t {
    NVM_CFG_RECORD_SIZE = 6276,
    SHMEM_CFG_RECORD_SIZE = 580,
    NVM_CFG_MBA_WORD = 472,  // port feature word holding the MBA boot protocol and ROM size (bits 12-19)
};

int common_nvm_read_cfg(uint8_t* record, uint8_t* shmem_record, uint8_t nic_prtion[508], uint8_t niv[1124],
                        uint8_t nivprofiles[10240], uint8_t cfg_shared[256]);
int common_nvm_write_cfg(uint8_t* record, uint8_t* shmem_record, uint8_t nic_prtion[508], uint8_t niv[1124],
                         uint8_t nivprofiles[10240], uint8_t cfg_shared[256]);
int common_nvm_read_shmem_cfg(uint8_t* shmem_record);
void common_nvm_shmem_load(uint32_t base, uint8_t port, uint8_t* shmem_record);
void common_nvm_shmem_store(uint32_t base, uint8_t current, uint8_t port, const uint8_t* shmem_record);

}  // extern "C"

namespace fwupg::nvm {
// The six buffers of one configuration set, owned together.
struct CfgSet {
    uint8_t record[NVM_CFG_RECORD_SIZE];
    uint8_t shmem[SHMEM_CFG_RECORD_SIZE];
    uint8_t nic_prtion[508];
    uint8_t niv[1124];
    uint8_t nivprofiles[10240];
    uint8_t cfg_shared[256];
    int read() { return common_nvm_read_cfg(record, shmem, nic_prtion, niv, nivprofiles, cfg_shared); }
    int write() { return common_nvm_write_cfg(record, shmem, nic_prtion, niv, nivprofiles, cfg_shared); }
};
}  // namespace fwupg::nvm
