// Buffered flash addressing: 264-byte pages addressed as page << 9 | byte, the page converters that
// add or drop the 8 extra bytes of each page, and word access to NVRAM-image buffers.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

constexpr uint32_t TOE_PAGE_FILL_WORD = 0x57095709u;

// Translate only when ::toe(NVM_TYPE) is exactly "BUFFERED" or `force` is set.
uint32_t nvm_linear_to_flash_addr(const HostOps& ops, uint32_t dev, uint32_t addr, int force);
uint32_t nvm_flash_to_linear_addr(const HostOps& ops, uint32_t dev, uint32_t addr, int force);

// 256-byte pages to 264-byte pages in place: every full page gets two fill words after it.
// `*length` is the data length on entry and the converted length on return; the buffer holds
// `capacity` bytes. 0 on success; 1 (last error 34 or 2, message) when memory or room is lacking.
int Append8bytes(const HostOps& ops, uint8_t* buf, uint32_t capacity, uint32_t* length);

// 264-byte pages to 256-byte pages in place: after every full 256 bytes, up to two following words
// equal to the fill word are dropped. 0 on success; 1 when memory is lacking.
int Strip8bytes(const HostOps& ops, uint8_t* buf, uint32_t length, uint32_t* out_length);

// Word at a byte offset of a buffer: big-endian when `swap` is set, host order when clear.
uint32_t nvm_buf_get_dword(int swap, const uint8_t* buf, uint32_t offset);
void nvm_buf_put_dword(int swap, uint8_t* buf, uint32_t offset, uint32_t value);
