// NVRAM access layer of the engine for the current chip generations: chip identity from the
// current host record, function/port/path identity, NVRAM transfers, the shared CRC-32 and the
// in-place byte-order helpers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwupg/host_ops.h"
#include "platform/byte_order.h"

extern "C" {

// Chip predicates on the current record's chip id (1 or 0; 0 when no command is in progress).
int common_nvm_is_e1();
int common_nvm_is_57710();
int common_nvm_is_57711();
int common_nvm_is_e2();
int common_nvm_is_e3();
int common_nvm_is_57840();
int common_nvm_is_e4();
int common_nvm_is_e4_group_a();
int common_nvm_is_e4_group_b();

// Identity of the selected function, from ::toe and the port-mode registers.
int common_nvm_get_func_num();
uint32_t common_nvm_get_port_cnt();
int common_nvm_on_second_path();
int common_nvm_get_port_mode(uint32_t* four_port);
int common_nvm_get_port(uint32_t* port);
int common_nvm_get_port_count();
int common_nvm_port_count();
int common_nvm_get_path(uint32_t* out);
int common_nvm_get_func(uint32_t* out);
int common_nvm_switch_func_num();

// NVRAM transfers through the current record: 0 or -1. A length of exactly 4 takes the one-dword
// host operation, any other length the byte-range operation. No splitting here.
int common_nvm_read(uint32_t offset, void* buffer, uint32_t length, uint8_t swap);
int common_nvm_write(uint32_t offset, void* buffer, uint32_t length, uint8_t swap);

// NVRAM size from ::toe(NVM_SIZE); 0 when missing, negative or outside a command.
uint32_t common_nvm_get_nvm_size();

// NVRAM offsets of this family are linear: both return their argument.
uint32_t common_nvm_linear_to_flash(uint32_t address);
uint32_t common_nvm_flash_to_linear(uint32_t address);

// Byte-reverses each whole dword of the buffer in place; trailing bytes are left alone.
void common_nvm_swap_buffer(void* buffer, uint32_t length);
void nvm_swap_buffer(void* buffer, uint32_t length);

// Converts `dwords` words of the buffer to host byte order in place (a no-op on this host).
void nvm_buf_host_order(void* buffer, uint32_t dwords);

bool common_nvm_is_quad_feb_board(uint16_t vendor, uint16_t sub_vendor, uint16_t sub_id);

// 0 when the third word of a wrapped image header spells "ibpl" or "ibcp" in byte order.
int common_nvm_check_ib_file(const void* header);

// Reflected CRC-32 table of polynomial 0xEDB88320 (read only; both engines use it).
extern const uint32_t crc32_table[256];

// Table CRC-32 over words fed most significant byte first. The running value is read from and
// written back to *crc. A trailing 1-3 bytes form one word padded with zero bytes (never read
// past `length`).
void common_nvm_crc32(const void* buffer, uint32_t length, uint8_t swap, uint32_t* crc);

// The standard CRC-32 (as stored in NVRAM) of `length` bytes laid out in NVRAM order.
uint32_t common_nvm_crc32_bytes(const void* bytes, uint32_t length);

void* common_nvm_alloc(size_t size);
void common_nvm_free(void* p);
void* common_nvm_memcpy(void* dst, const void* src, size_t n);
void* common_nvm_memset(void* p, int byte, size_t n);

}  // extern "C"

namespace fwupg::nvm {

// Big-endian word helpers for buffers in NVRAM byte order (the platform's own).
using platform::load_be32;
using platform::store_be32;
// Host-order word helpers for buffers of host-order words (unaligned safe).
uint32_t load_u32(const void* p);
void store_u32(void* p, uint32_t v);
uint16_t load_u16(const void* p);
void store_u16(void* p, uint16_t v);

// The chip family of the current record, the one choice every command makes first. E1-E3
// includes the 57712-class and 57840 parts. Commands switch over it without a default, so the
// compiler names a family a command does not handle.
enum class ChipFamily { E1E3, E4, Unknown };
ChipFamily chip_family();

// The current record (null outside a command).
inline HostOps* current_host() { return g_pHostOps; }

// Reads ::toe(name) as text; null when missing or outside a command.
const char* toe_text(const char* name);
// Sets ::toe(name) to the text; false on failure.
bool set_toe_text(const char* name, const char* value);
// ::toe(name) converted by the C library's leading-digits rule (0 when none or missing).
long toe_long(const char* name);
// ::toe(name) read as a C number (hexadecimal with 0x); 0 when missing.
long toe_number(const char* name);

// Register access through the current record: 0 or -1.
int reg_read(uint32_t reg, uint32_t* value);
int reg_write(uint32_t reg, uint32_t value);

// Stores a last error through the current record when the slot is filled.
void set_last_error(uint32_t code);

}  // namespace fwupg::nvm

extern "C" {
// Plain read of a byte range (swap 1); with a non-zero byte-order flag each word is then put
// back in NVRAM byte order. 0 or -1 ("NVM read failed."). The buffer holds the length rounded up
// to a whole word.
int common_nvm_read_abortable(void* buffer, int byte_order, uint32_t length, uint32_t offset, uint32_t* count);
}

