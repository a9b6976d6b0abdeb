// Programming a buffer into NVRAM in pieces of at most 1 KiB, shared by the engines of both chip
// generations: optionally leaving out the pieces the NVRAM already holds, and writing the records
// of an image's fixed area each in one piece of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace fwupg::nvm {

constexpr uint32_t kProgramPiece = 1024;

// How one programming reaches the adapter: a read of what the NVRAM holds and a write, both in
// the word order of the programming buffer. Each returns true when done.
struct PieceIo {
    std::function<bool(uint32_t offset, uint8_t* out, uint32_t length)> read;
    std::function<bool(uint32_t offset, uint8_t* bytes, uint32_t length)> write;
};

// Writes `length` bytes of `bytes` at `offset`. A buffer longer than one piece is written
// record by record up to each of `record_ends` (ascending buffer offsets; the records of an
// image's fixed area, so that a power loss between two writes never leaves one of them half old
// and half new), then in 1 KiB pieces. With `skip_same` a piece whose bytes the NVRAM holds
// already is not written (a piece that cannot be read counts as different); with `from_first_change`
// too, a piece that differs is written from its first word that differs to its end (where a record
// keeps its CRC word), still in one write. The write may change the buffer (the host turns words
// into NVRAM order in place). 0, or -1 at the first failed write; nothing is written after it.
int write_in_pieces(uint8_t* bytes, uint32_t length, uint32_t offset, const std::vector<uint32_t>& record_ends,
                    bool skip_same, const PieceIo& io, bool from_first_change = false);

}  // namespace fwupg::nvm
