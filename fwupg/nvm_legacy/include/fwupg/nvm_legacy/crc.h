// The CRC-32 of NVRAM regions and images, and the bootstrap record at NVRAM offset 0.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"
#include "fwupg/wrapped_record.h"  // kWrappedMagic, also the bootstrap record's magic
#include "fwupg/nvm/base/access.h"  // crc32_table, the feeding both engines share

// Feeds `byte_length` bytes of host-order 32-bit values, each most significant byte first (byte-
// reversed first when `swap` is set), into the running register `*crc`. A length that is not a
// multiple of 4 still consumes the whole last value. No final complement. `context` is unused.
int calc_crc32(const void* context, const uint32_t* words, uint32_t byte_length, int swap, uint32_t* crc);

// The same over a byte buffer holding 32-bit words (host order, or big-endian with `swap`); the
// buffer needs no alignment.
int calc_crc32_bytes(const uint8_t* buf, uint32_t byte_length, int swap, uint32_t* crc);

// The stored form of a finished register: a host value that, written big-endian, leaves the
// standard CRC-32 in NVRAM least significant byte first.
inline uint32_t toe_crc_word(uint32_t reg) { return ~__builtin_bswap32(reg); }

// The CRC word of `byte_length` bytes of host-order words (register started at 0xFFFFFFFF).
uint32_t toe_crc_of_words(const uint32_t* words, uint32_t byte_length, int swap);

// The bootstrap record: five big-endian words at NVRAM offset 0.
struct nvm_bootstrap {
    uint32_t magic;        // 0x669955AA, or 0 when there is no boot code
    uint32_t sram_start;
    uint32_t dword_count;
    uint32_t nvm_offset;   // flash address of the boot code
    uint32_t crc;          // stored CRC word of the first 16 bytes
};

// Builds the bootstrap record and writes the words of it the NVRAM does not hold yet. 0 on success,
// 1 on any failure (no message).
int toe_nvm_write_bootstrap(HostOps ops, uint32_t sram_start, uint32_t byte_count, uint32_t nvm_offset);

// Stores a boot-code address at byte 12 of the bootstrap record that starts an image buffer (words
// big-endian with `swap`, host order without) and renews the record's CRC word at byte 16.
void toe_buf_set_boot_addr(int swap, uint8_t* buf, uint32_t addr);
