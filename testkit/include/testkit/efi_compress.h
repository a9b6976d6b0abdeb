// The kit's own compressor for the UEFI compression format (LZ77 with Huffman-coded blocks), used
// to make compressed EFI drivers for option-ROM fixtures. Written from the format description:
//
//   header: u32 LE compressed size (bytes after the header), u32 LE original size
//   blocks, each: 16-bit symbol count; the code-length code set (count in 5 bits, 19 symbols,
//   2-bit zero run after the third); the char/length set (count in 9 bits, 510 symbols: bytes,
//   then match lengths 3..256 as 253 + length); the position set (count in `pbit` bits: 4 for
//   EFI 1.1, 5 for Tiano); then the symbols, a match followed by its position code and the
//   position's low bits. A count of 0 means one symbol, whose value follows in the same width.
//   Bits are written most significant first.
//
// The window is 8 KiB, so one stream suits both variants.
#pragma once

#include "testkit/bytes.h"

namespace testkit {

Bytes efi_compress(const uint8_t* data, size_t n, unsigned pbit = 4);
inline Bytes efi_compress(const Bytes& data, unsigned pbit = 4) { return efi_compress(data.data(), data.size(), pbit); }

}  // namespace testkit
