// Reads the version record that our build embeds in each of its binaries (see the CMake function
// fwupg_version_note): four 16-bit numbers and a few named strings.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace platform {

struct VersionNote {
    std::array<uint16_t, 4> version{};          // major, minor, build, revision
    std::map<std::string, std::string> strings; // e.g. "ProductName" -> "..."
};

// The record of the ELF file at `path`, or nothing when the file cannot be read, is not an
// ELF64 little-endian file, or carries no record. Every offset read from the file is checked.
std::optional<VersionNote> read_version_note(const std::string& path);

}  // namespace platform
