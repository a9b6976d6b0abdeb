#include "fwupg/nvm/base/piece_writer.h"

#include <cstring>

namespace fwupg::nvm {

namespace {

struct Skip {
    bool same;          // pieces the NVRAM holds are not written
    bool first_change;  // a differing piece starts at its first differing word
};

int write_piece(uint8_t* bytes, uint32_t length, uint32_t offset, Skip skip, const PieceIo& io)
{
    uint32_t from = 0;
    if (skip.same) {
        std::vector<uint8_t> now(length);
        if (io.read(offset, now.data(), length)) {
            if (std::memcmp(now.data(), bytes, length) == 0)
                return 0;
            while (skip.first_change && from + 4 < length && std::memcmp(now.data() + from, bytes + from, 4) == 0)
                from += 4;
        }
    }
    return io.write(offset + from, bytes + from, length - from) ? 0 : -1;
}

}  // namespace

int write_in_pieces(uint8_t* bytes, uint32_t length, uint32_t offset, const std::vector<uint32_t>& record_ends,
                    bool skip_same, const PieceIo& io, bool from_first_change)
{
    const Skip skip{skip_same, skip_same && from_first_change};
    if (length <= kProgramPiece)
        return write_piece(bytes, length, offset, skip, io);
    uint32_t done = 0;
    for (uint32_t end : record_ends) {
        if (end <= done || end > length)
            break;
        if (write_piece(bytes + done, end - done, offset + done, skip, io) != 0)
            return -1;
        done = end;
    }
    while (length - done >= kProgramPiece) {
        if (write_piece(bytes + done, kProgramPiece, offset + done, skip, io) != 0)
            return -1;
        done += kProgramPiece;
    }
    if (done < length && write_piece(bytes + done, length - done, offset + done, skip, io) != 0)
        return -1;
    return 0;
}

}  // namespace fwupg::nvm
