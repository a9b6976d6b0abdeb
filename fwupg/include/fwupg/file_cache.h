// Firmware files read during the current exported call, keyed by path. The folder walks of one
// call check the same files many times (every file against every adapter and firmware type), and
// the engines read the image files of each adapter's update again, so each file is read once and
// served from here afterwards (to the library's checks and to the engines' file reads alike), for as long as it is still the file
// that was read: a file replaced, rewritten or resized since reads as another file and is read
// again. The cache holds only while an exported call runs: the call's frame opens it and its
// teardown empties and closes it, so nothing outlives the call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fwupg {

// What identifies a file's contents between two looks at it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileIdentity& o) const;
};

// The file's identity now; none when it cannot be looked at.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

struct CachedFile {
    uint32_t size = 0;  // bytes of the file
    // The file's bytes, zeros to a multiple of 4, then 4 zero bytes. Shared, so that a reader
    // works on the cache's one copy (and keeps it alive should the cache forget the file).
    std::shared_ptr<const std::vector<uint8_t>> buffer;
    FileIdentity identity;  // the file when it was read
};

// The cached contents of `path` when the file is still the one that was read; null otherwise.
const CachedFile* FindCachedFile(const std::string& path);

// Keeps `buffer` (its first `size` bytes are the file; it is padded as above) as the contents of
// `path`, read while the file had the identity `before`. Kept only when the file did not change during the read; returns
// the kept entry, or null (the caller then keeps its buffer).
const CachedFile* KeepCachedFile(const std::string& path, const FileIdentity& before, uint32_t size,
                                 std::vector<uint8_t>& buffer);

// Serves a read of the first `length` bytes of `path` from the cache: true with the bytes copied
// to `buffer` and their count (the file's size where it is shorter), false when the cache does not
// hold the file as it is now.
bool ReadCachedFile(const std::string& path, uint8_t* buffer, uint32_t length, uint32_t* count);

// Keeps the `count` bytes a read brought from `path`, which had the identity `before` when the
// read began, if they are the whole file (a partial read keeps nothing).
void KeepFileRead(const std::string& path, const FileIdentity& before, const uint8_t* bytes, uint32_t count);

// Forgets `path`: its writer is about to replace or remove it. (A file written again within the
// same clock tick can keep device, inode, size and times, so its identity alone does not show it.)
void ForgetCachedFile(const std::string& path);

// Opens the cache for the exported call that begins.
void OpenFileCache();
// Forgets every cached file and closes the cache; until it is opened again nothing is kept.
void CloseFileCache();

}  // namespace fwupg
