// The configuration request that the shell's "cfg" command hands to the configuration engines
// through the facade (32 bytes). The legacy engine reads the same bytes as its own request form:
// feature code in the low word of the flags, the value as the third word, a 6-byte MAC address at
// byte 12 and the data pointer at byte 24.
#pragma once

#include <cstddef>
#include <cstdint>

struct cfg_request {
    uint64_t option_flag;   // exactly one bit: what to set (0x4000 numbered option, 0x2000000 VPD V0
                            // text, 0x8000000 VPD YB bytes; the legacy engine's feature codes)
    uint32_t value;         // value to set; display selector on entry / value read for "show"
    uint32_t value2;        // second and third value: an 8-byte datum such as a MAC address
    uint32_t value3;
    uint32_t option_num;    // numbered option (flag 0x4000)
    void* data;             // NUL-terminated text, or a count byte followed by that many bytes
};

static_assert(sizeof(cfg_request) == 32);
static_assert(offsetof(cfg_request, value) == 8);
static_assert(offsetof(cfg_request, value2) == 12);
static_assert(offsetof(cfg_request, option_num) == 20);
static_assert(offsetof(cfg_request, data) == 24);
