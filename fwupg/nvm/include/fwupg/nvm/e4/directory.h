// The E4 NVM directory: two 4096-byte copies at 0x2000 and 0x3000, each {sequence, count,
// reserved, count entries of 20 bytes, CRC}, all little-endian words read with swap flag 0. The
// valid copy with the higher sequence (signed comparison; copy 0 on a tie) is the one in use.
// Nothing is cached: every lookup without a caller's directory loads it afresh, so a copy the
// adapter rewrote is seen at once.
#pragma once

#include <cstdint>
#include <memory>

extern "C" {

struct e4_nvm_entry {
    uint32_t type;
    uint32_t nvm_off;
    uint32_t len;
    uint32_t sram;
    uint32_t sram_run;
};

// A directory in memory holds header, entries and CRC exactly as in NVRAM.
struct e4_nvm_dir {
    uint32_t seq;
    uint32_t count;
    uint32_t reserved;
    e4_nvm_entry entries[204];
    uint32_t tail;
};
static_assert(sizeof(e4_nvm_dir) == 4096, "one directory copy");

// CRC of the directory and of images: table CRC-32 over little-endian words fed most significant
// byte first, from 0xFFFFFFFF; *out is the complement of the byte-swapped running value.
void e4_crc32(const void* buffer, uint32_t length, uint32_t* out);
// e4_crc32 of an NVRAM range: 0, or -1 when the buffer can't be had or the read fails.
int compute_crc(uint32_t offset, uint32_t length, uint32_t* out);

int e4_nvm_dir_crc_ok(uint32_t copy, uint32_t count);
int e4_nvm_dir_pick_copy(uint32_t* copy, uint32_t* seq_bit);
int e4_nvm_dir_new(e4_nvm_dir* dir);
int e4_nvm_dir_read(uint32_t copy, e4_nvm_dir* dir);
// Allocates *dir (the caller frees it with free); picks and reads a copy, or makes the one-entry
// directory {DIR1 at 0x2000} when no copy is valid. The read's result, or 0 for a new one.
int e4_nvm_load_dir(e4_nvm_dir** dir, uint32_t* copy, uint32_t* seq_bit);
int e4_nvm_dir_find_index(const e4_nvm_dir* dir, uint32_t type, uint32_t* index);
// First entry of the type: 0 with its offset and byte count; -1 when none or no directory loads.
int e4_nvm_find_image(uint32_t type, uint32_t* offset, uint32_t* length, const e4_nvm_dir* dir);
int e4_nvm_dir_index_by_name(const e4_nvm_dir* dir, const char* name, uint32_t* index);

// Reads `length` bytes at `relative` of an image: from NVRAM at nvm_off + relative (swap 0), or
// from buffer + relative, which holds buffer_length bytes. -1 when the range leaves the buffer,
// a buffer is asked for but missing, or the read fails.
int e4_nvm_read_image_bytes(int from_buffer, uint32_t nvm_off, const uint8_t* buffer, uint32_t buffer_length,
                            uint32_t relative, void* out, uint32_t length);

// Loads NVM_CFG1 (10), DEFAULT_CFG (26) or META (28) whole into a new zeroed buffer (free it);
// inside a configuration batch that holds the image, the batch's content (offset 0).
int e4_nvm_load_image(uint32_t type, uint8_t** buffer, uint32_t* nvm_off, uint32_t* length);

// Bank pairs (primary, secondary): bank 1 holds the primary members, bank 0 the secondary ones.
// Bank 0 gives the secondary member, 1 the primary, any other value the partner; a type outside
// the pairs comes back unchanged.
uint32_t e4_image_type_for_bank(uint32_t bank, uint32_t type);
// True for a primary member with bank 0 or a secondary member with bank 1.
bool e4_image_type_in_bank(uint32_t type, uint32_t bank);

}  // extern "C"

namespace fwupg::nvm::e4 {

inline constexpr uint32_t kDirOffset = 0x2000;
inline constexpr uint32_t kDirCopyBytes = 4096;
inline constexpr uint32_t kMaxCandidateCount = 150;

struct FreeDeleter {
    void operator()(void* p) const;
};
using DirPtr = std::unique_ptr<e4_nvm_dir, FreeDeleter>;
using BufferPtr = std::unique_ptr<uint8_t[], FreeDeleter>;

// e4_nvm_load_dir with ownership: the directory, or null on failure.
DirPtr load_dir(uint32_t* copy = nullptr, uint32_t* seq_bit = nullptr);

// The bank (0 or 1) a type belongs to, or -1 for a type outside the pairs.
int bank_of(uint32_t type);

}  // namespace fwupg::nvm::e4
