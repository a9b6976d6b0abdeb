// Small helpers every legacy-engine routine uses to reach the adapter facts in ::toe, the Tcl
// result, the last-error slot and the NVRAM slots of a HostOps record.
#pragma once

#include <cstdint>
#include <string>

#include <tcl.h>

#include "fwupg/host_ops.h"

namespace toe {

// Last-error codes of the legacy engine.
enum error_code : uint32_t {
    ERR_BAD_ARGS = 2,
    ERR_READ = 4,
    ERR_NO_DEVICE = 7,
    ERR_DUMP = 11,
    ERR_FILE = 13,
    ERR_UNKNOWN_CHIP = 16,
    ERR_INTERNAL = 17,
    ERR_WRITE = 18,
    ERR_DIR_CRC = 21,
    ERR_MISMATCH = 22,
    ERR_BAD_NAME = 28,
    ERR_DIR_INDEX = 30,
    ERR_DIR_WRITE = 31,
    ERR_NO_MEMORY = 34,
    ERR_NO_OFFSET = 49,
    ERR_STRIP = 61,
    ERR_VERSION = 35,
    ERR_MEDIUM = 48,
    ERR_NO_ID = 94,
};

void set_error(const HostOps& ops, uint32_t code);
void append_result(const HostOps& ops, const char* text);
void set_result(const HostOps& ops, const char* text);

// Fails a command: last error `code` (none for 0) and `text` appended to the result. TCL_ERROR.
int command_error(const HostOps& ops, uint32_t code, const std::string& text);
// Fails a command for its words: last error ERR_BAD_ARGS and Tcl's wrong-arguments message with
// `usage`. TCL_ERROR.
int usage_error(const HostOps& ops, Tcl_Obj* const objv[], const char* usage);
// The most bytes a command may read or write: the part's size, or the largest legacy part
// (16 MiB) while the size is not known.
uint32_t nvm_limit(const HostOps& ops);

// ::toe(DEV) through the record's integer lookup; false when it fails (the lookup has already put
// its message into the result).
bool get_dev(const HostOps& ops, uint32_t* dev);
// The same for a command: when it fails, last error 7 and "Failed to locate device." are added.
bool locate_device(const HostOps& ops, uint32_t* dev);

// Text of ::toe(name), empty when missing.
std::string toe_var(const HostOps& ops, const char* name);
// Text of ::sys(name), empty when missing.
std::string sys_var(const HostOps& ops, const char* name);

// ::toe(BOARD) as a board number (5706, 5708, 5709, 5716, 57728; the hexadecimal spellings
// 0x164C, 0x164D, 0x1654 and 0xE180 are the same numbers). 0 when missing or not a number.
int board(const HostOps& ops);
bool board_is_dual(int board);   // 5709, 5716, 57728: two PCI functions
// ::toe(PORT0) reads as a number other than 0: the adapter's first port.
bool port0_is_first(const HostOps& ops);

// NVRAM through the record's slots, with the byte-order flag given (1 for structure words).
// Each returns the slot's status (0 success); a missing slot answers HOST_NO_ACCESS.
uint32_t read_dword(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t* out, uint8_t swap = 1);
uint32_t write_dword(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t value, uint8_t swap = 1);
uint32_t read_block(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t len, uint8_t* buf, uint8_t swap = 1);
// The slot may byte-reverse `buf` in place.
uint32_t write_block(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t len, uint8_t* buf, uint8_t swap = 1);
// Brings the `len` bytes (whole dwords, at most 1 KiB) of host-order words at `off` to what `want`
// holds: nothing when the NVRAM holds them already, else one write from the first dword that
// differs to the end, so a record whose check word is its last dword gets its changed words and
// that word in the same write. The whole range when the NVRAM cannot be read. The write may
// byte-reverse that part of `want` in place.
uint32_t write_changed(const HostOps& ops, uint32_t dev, uint32_t off, uint32_t len, uint8_t* want);
void idle(const HostOps& ops);   // slot 2

inline uint32_t bswap32(uint32_t v) { return __builtin_bswap32(v); }
inline uint32_t load_le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t load_be32(const uint8_t* p)
{
    return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}
inline uint16_t load_le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void store_le32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void store_be32(uint8_t* p, uint32_t v) { store_le32(p, bswap32(v)); }

// Builds "should be \"name usage\"" as Tcl's wrong-arguments message into the result.
void wrong_args(const HostOps& ops, Tcl_Obj* const objv[], const char* usage);

// An integer object for a result list; it goes through the front end's number-format hook (slot 4).
Tcl_Obj* number(const HostOps& ops, int v);

// Runs a command body and drops the virtual NVRAM buffer after it; no exception leaves a command
// procedure (no memory: last error 34 and "No more host memory."; anything else: last error 17).
int guarded_body(const HostOps& ops, int (*body)(void*), void* context);
template <class Body>
int guarded(const HostOps& ops, Body body)
{
    return guarded_body(ops, [](void* c) { return (*static_cast<Body*>(c))(); }, &body);
}

}  // namespace toe
