// The version of an MBI package file as the adapter model shows it.
#pragma once

#include <cstdint>
#include <string>

namespace fwupg {

// "%d.%d.%d" of the package's packed version for the selected adapter: bytes 2, 1, 0 on the E4
// family, 3, 2, 1 on the others, each taken as a signed 8-bit number; empty when the file does
// not pass the package check.
std::string GetImageFileVersion(uint32_t family, const std::string& path);

}  // namespace fwupg
