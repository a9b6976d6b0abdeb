// Wrapped image files: a sequence of records, each a 20-byte header {magic, version, tag,
// compatibility, length} of host-order words followed by `length` bytes of image. The one reader
// of that sequence, shared by the library's image checks and the engines; it says why it stopped
// and leaves every message and decision to its caller.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fwupg {

// The magic of a wrapped record header, and of the bootstrap record at NVRAM offset 0.
inline constexpr uint32_t kWrappedMagic = 0x669955AAu;
inline constexpr size_t kWrappedHeaderSize = 20;

struct WrappedHeader {
    uint32_t magic = 0;
    uint32_t version = 0;
    uint32_t tag = 0;
    uint32_t compat = 0;
    uint32_t length = 0;
};

// Why the reader stopped: the records ended exactly at the end; fewer than 20 bytes were left for
// a header; a header without the magic; a version other than 1 or 2 (only when versions are
// checked); a record that runs past the end.
enum class WrappedStop { End, ShortHeader, BadMagic, BadVersion, PastEnd };

struct WrappedRecord {
    uint64_t offset = 0;  // of the header
    WrappedHeader header;
    const uint8_t* data = nullptr;  // the record's bytes after the header; null when stopped
};

class WrappedReader {
public:
    // Reads records from bytes[0, size). With check_version false any version is taken.
    WrappedReader(const uint8_t* bytes, uint64_t size, bool check_version = true);

    // The next record; false at the stop. *record then holds what was read of the stopping
    // header: the whole header for BadVersion and PastEnd, the magic for BadMagic.
    bool next(WrappedRecord* record);

    // Valid once next() returned false.
    WrappedStop stop() const { return stop_; }
    // Where the next header starts; after the stop, where the stopping header starts.
    uint64_t offset() const { return pos_; }

private:
    const uint8_t* bytes_;
    uint64_t size_;
    bool check_version_;
    uint64_t pos_ = 0;
    WrappedStop stop_ = WrappedStop::End;
};

}  // namespace fwupg
