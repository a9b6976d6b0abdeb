// Files a user keeps (a report, a settings file) written whole or not at all: the new content goes
// into a new file beside the old one, which is renamed over it only once every byte is on the
// disk. Until then the old file keeps its name and content; a failed write leaves it as it was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

// What a plain create of a file would give it: 0666 less the process's mask.
mode_t new_file_mode();

// Replaces the content of `path` (or creates it) with `size` bytes of `data`. The new file is
// created exclusively beside the target under a name nobody could have chosen beforehand, takes
// the old file's permission bits (a new one those a plain create would give), is written whole,
// synced and renamed over the target. A symbolic link at `path` stays: the file it names is the
// one replaced. False with errno set (EFBIG, ENOSPC, EACCES, ...) when any step fails; the
// temporary file is then removed and the target is as it was.
bool write_whole_file(const std::string& path, const void* data, size_t size);

// The same for the entry `name` of the folder open at `folder`: the new file, made with `mode`, is
// created exclusively in that folder (never through a link), written whole, synced and renamed
// over `name`; the folder is then synced so the rename itself is on the disk. False with errno set
// when any step fails; the temporary file is then removed and `name` is as it was.
bool write_whole_file_at(int folder, const std::string& name, const void* data, size_t size, mode_t mode);

}  // namespace platform
