#include "fwupg/nvm/base/piece_writer.h"

#include <cstring>

namespace fwupg::nvm {

namespace {

int write_piece(uint8_t* bytes, uint32_t length, uint32_t offset, bool skip_same, const PieceIo& io)
{
    if (skip_same) {
        std::vector<uint8_t> now(length);
        if (io.read(offset, now.data(), length) && std::memcmp(now.data(), bytes, length) == 0)
            return 0;
    }
    return io.write(offset, bytes, length) ? 0 : -1;
}

}  // namespace

int write_in_pieces(uint8_t* bytes, uint32_t length, uint32_t offset, const std::vector<uint32_t>& record_ends,
                    bool skip_same, const PieceIo& io)
{
    if (length <= kProgramPiece)
        return write_piece(bytes, length, offset, skip_same, io);
    uint32_t done = 0;
    for (uint32_t end : record_ends) {
        if (end <= done || end > length)
            break;
        if (write_piece(bytes + done, end - done, offset + done, skip_same, io) != 0)
            return -1;
        done = end;
    }
    while (length - done >= kProgramPiece) {
        if (write_piece(bytes + done, kProgramPiece, offset + done, skip_same, io) != 0)
            return -1;
        done += kProgramPiece;
    }
    if (done < length && write_piece(bytes + done, length - done, offset + done, skip_same, io) != 0)
        return -1;
    return 0;
}

}  // namespace fwupg::nvm
