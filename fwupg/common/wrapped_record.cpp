// The reader of wrapped image files.
#include "fwupg/wrapped_record.h"

#include <cstring>

namespace fwupg {

WrappedReader::WrappedReader(const uint8_t* bytes, uint64_t size, bool check_version)
    : bytes_(bytes), size_(bytes ? size : 0), check_version_(check_version)
{
}

bool WrappedReader::next(WrappedRecord* record)
{
    *record = WrappedRecord{};
    record->offset = pos_;
    if (pos_ >= size_) {
        stop_ = WrappedStop::End;
        return false;
    }
    if (size_ - pos_ < kWrappedHeaderSize) {
        stop_ = WrappedStop::ShortHeader;
        return false;
    }
    uint32_t w[5];
    std::memcpy(w, bytes_ + pos_, sizeof w);  // the words are in host order
    WrappedHeader& h = record->header;
    h.magic = w[0];
    if (h.magic != kWrappedMagic) {
        stop_ = WrappedStop::BadMagic;
        return false;
    }
    h.version = w[1], h.tag = w[2], h.compat = w[3], h.length = w[4];
    if (check_version_ && h.version != 1 && h.version != 2) {
        stop_ = WrappedStop::BadVersion;
        return false;
    }
    if (h.length > size_ - pos_ - kWrappedHeaderSize) {
        stop_ = WrappedStop::PastEnd;
        return false;
    }
    record->data = bytes_ + pos_ + kWrappedHeaderSize;
    pos_ += kWrappedHeaderSize + h.length;
    return true;
}

}  // namespace fwupg
