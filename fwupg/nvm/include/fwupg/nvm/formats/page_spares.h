// The page converters of whole-NVRAM files in 264-byte (or 528-byte) pages: after every page of
// data a few spare words.
#pragma once

#include <cstdint>

#include <tcl.h>

extern "C" {

// Adds the page spares after every full page of `*count` data bytes, in place; `length` is the
// room of the buffer. 0, or 1 with a message in the result when the room is too small.
int Append8bytes(Tcl_Interp* interp, uint8_t* buffer, uint32_t length, uint32_t* count);
// Removes the page spares from the first `length` bytes, in place; the stripped length goes to
// `*count`. 0, or 1 with a message in the result.
int Strip8bytes(Tcl_Interp* interp, uint8_t* buffer, uint32_t length, uint32_t* count);

}  // extern "C"

namespace fwupg::nvm {

constexpr uint32_t kPageFiller = 0x57105710;

// Data bytes per page of a paged dump of an NVRAM of this size: 512 (with four spare words) from
// 2 MiB on, else 256 (with two).
uint32_t page_data_bytes(uint32_t nvm_size);
// Size of the paged form of `data` bytes of an NVRAM of `nvm_size` bytes.
uint64_t paged_size(uint64_t data, uint32_t nvm_size);
// Page size of paged data: found from the spare words themselves (after byte 256 or byte 512),
// else from the NVRAM size.
uint32_t detect_page_data_bytes(const uint8_t* data, uint32_t length, uint32_t nvm_size);
// True when a file of `file_size` bytes whose first `length` bytes are `data` is in paged form:
// the paged size of the whole part, or spare words where the first page ends.
bool is_paged_file(const uint8_t* data, uint32_t length, uint64_t file_size, uint32_t nvm_size);

}  // namespace fwupg::nvm
