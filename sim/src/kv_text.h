// Reading and writing the simulator's key=value text files, and the file I/O under them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/kv_text.h"

namespace sim {

// The key=value reader is the platform's, shared with the machine's other stand-ins.
using platform::KvLine;
using platform::parse_kv;
using platform::parse_u32;
std::string hex32(uint32_t value);

// Whole-file helpers. read_file returns nothing when the file cannot be read. write_file_atomic
// writes a temporary file beside the target and renames it over the target.
std::optional<std::string> read_file(const std::string& path);
void write_file_atomic(const std::string& path, std::string_view content);

// Reads or writes exactly len bytes at an offset, retrying short transfers; false on an error
// or at end of file.
bool pread_all(int fd, void* buf, std::size_t len, uint64_t offset);
bool pwrite_all(int fd, const void* buf, std::size_t len, uint64_t offset);

}  // namespace sim
