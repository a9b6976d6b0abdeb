// Reading and writing the simulator's key=value text files, and the file I/O under them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// "key=value" lines in file order; blank lines and lines starting with '#' are skipped, a trailing
// CR is dropped, and a line without '=' gives a pair with `ok` false so the caller can report it.
struct KvLine {
    std::string key;
    std::string value;
    bool ok = true;
};
std::vector<KvLine> parse_kv(std::string_view text);

// A u32 written in decimal or with a 0x prefix in hexadecimal; nothing for any other text.
std::optional<uint32_t> parse_u32(std::string_view text);
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
