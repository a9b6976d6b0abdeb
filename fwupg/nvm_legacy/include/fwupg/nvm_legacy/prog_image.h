// Programming one image of a known type into the legacy directory: sectioned boot images become
// the memory image the chip loads, the image gets room and its CRC word, the follow-up changes of
// its type are made, and the directory entry (or, for the boot code, the bootstrap record) is
// written last.
#pragma once

#include <cstdint>

#include "fwupg/host_ops.h"

// Programs `length` bytes of `buf` as the image of row `row` of the image-type table. A buffer
// without the sectioned header is programmed in place: it must hold the length rounded up to whole
// dwords plus 4 bytes, and its contents are undefined afterwards. A sectioned image is converted
// into a private copy and the caller's buffer is left alone. 0 on success; 1 on any failure, with
// last error and message.
int toe_nvm_prog_image_by_idx(HostOps ops, uint8_t* buf, uint32_t length, int row);

// The same by directory type: 1 when no row has the type.
int toe_nvm_prog_image_by_type(HostOps ops, uint8_t* buf, uint32_t length, uint32_t dir_type);

// Programs a user block (directory type 0xA0000000) with its CRC word into room beside every image,
// then points the user block's entry (or a free one) at it. The buffer must hold the length rounded
// up to whole dwords plus 4 bytes. 0 when the block and its entry were written; 1 when a write
// failed (a block listed before stays listed and whole); 2 when no entry or room was free. No
// message of its own.
int toe_nvm_write_usrblk(HostOps ops, uint8_t* buf, uint32_t length);

// Converts a sectioned boot image (magic 0x45901011) into its memory image. Every section must lie
// inside the `length` bytes of `buf`, and the memory image may be at most `max_length` bytes.
enum class toe_sectioned_status { ok, not_sectioned, cut_off, too_large, no_memory };
struct toe_memory_image {
    uint8_t* data = nullptr;   // memory image followed by 4 spare bytes for the CRC word
    uint32_t length = 0;
    uint32_t sram_base = 0;    // SRAM address of section 0
    ~toe_memory_image() { delete[] data; }
    toe_memory_image() = default;
    toe_memory_image(const toe_memory_image&) = delete;
    toe_memory_image& operator=(const toe_memory_image&) = delete;
};
toe_sectioned_status toe_sectioned_to_memory(const uint8_t* buf, uint32_t length, uint64_t max_length,
                                             toe_memory_image* out);
