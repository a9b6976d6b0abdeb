/* UEFI decompression (LZ77 with Huffman-coded blocks) in its two variants: EFI 1.1, whose
 * position-code table count is 4 bits wide, and Tiano, whose count is 5 bits wide.
 *
 * A compressed stream is two little-endian u32 (compressed size: the bytes after this header;
 * original size), then the bit stream, most significant bit first. Results are UEFI status values.
 * Plain C so that C programs can call the decoder too. */
#ifndef FWUPG_NVM_UEFI_DECOMPRESS_H
#define FWUPG_NVM_UEFI_DECOMPRESS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define UEFI_DECOMPRESS_OK 0u
#define UEFI_DECOMPRESS_INVALID 0x80000002u      /* bad argument or corrupt stream */
#define UEFI_DECOMPRESS_NO_RESOURCES 0x80000009u /* allocation failed or too large */

/* Scratch bytes the decoder needs. */
#define UEFI_DECOMPRESS_SCRATCH_SIZE 13376u

/* Largest original size that uefi_decompress_alloc allocates for (16 MiB). */
#define UEFI_DECOMPRESS_MAX_ALLOC (16u * 1024u * 1024u)

/* Destination size (the header's original size) and scratch size. The scratch size is set even
 * when the source is shorter than its 8-byte header (then UEFI_DECOMPRESS_INVALID). */
uint32_t efi_get_info(const void* source, uint32_t source_size, uint32_t* destination_size,
                      uint32_t* scratch_size);

/* Decodes the whole stream into the destination, whose size must equal the original size.
 * UEFI_DECOMPRESS_INVALID for a short scratch or source, a wrong destination size, and for every
 * corrupt stream; nothing is read or written outside the given buffers. */
uint32_t efi_decompress(const void* source, uint32_t source_size, void* destination,
                        uint32_t destination_size, void* scratch, uint32_t scratch_size);
uint32_t tiano_decompress(const void* source, uint32_t source_size, void* destination,
                          uint32_t destination_size, void* scratch, uint32_t scratch_size);

/* Type 0: a copy of the source; 1: EFI 1.1; 2: Tiano. Allocates the result with malloc (the
 * caller frees it) and its own scratch. UEFI_DECOMPRESS_INVALID for another type or a bad
 * stream; UEFI_DECOMPRESS_NO_RESOURCES when an allocation fails or the original size is above
 * UEFI_DECOMPRESS_MAX_ALLOC. On failure *destination is null and *destination_size 0. */
uint32_t uefi_decompress_alloc(const void* source, uint32_t source_size, void** destination,
                               uint32_t* destination_size, uint32_t type);

#ifdef __cplusplus
}
#endif

#endif
