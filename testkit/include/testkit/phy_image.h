// PHY firmware files: a wrapped image file (20-byte record headers, as images.h writes them) whose
// first record's tag names the external PHY it is built for ("8484", "8727", ...). The PHY takes
// the file as it stands; it is never programmed into NVRAM, so its texts read naturally.
//
// The firmware's version text sits in the first record's data at byte 16: at most 15 characters,
// NUL-padded to 16 bytes, "PHY a.b.c" as the kit writes it (the same place as the version text of
// the other text images). The PHY reports that text as its version.
#pragma once

#include "testkit/bytes.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace testkit {

inline constexpr size_t kPhyVersionAt = 16, kPhyVersionField = 16;

// A PHY file of one version-1 record of `size` bytes (a multiple of 4, at least 32) for the PHY
// named by `tag` (four characters), filled with a pattern around "PHY <version>". Throws
// std::invalid_argument for a bad tag, size or version ("a.b.c").
Bytes phy_image(std::string_view tag, std::string_view version, size_t size = 512);

// Why phy_image_version refused a file.
enum class PhyFileFault { None, Truncated, BadMagic, BadLength, ShortRecord, BadVersionText };
const char* phy_file_fault_name(PhyFileFault f);

// The version text a PHY file carries. The file must be a chain of whole wrapped records, each
// with the magic and a data length that the file holds, and nothing behind the last one; the
// first record's data must reach past the version field, and the field must hold a printable,
// NUL-terminated text that ends in a dotted version number ("PHY 2.1.4", "2.1"). Anything else
// gives nothing and the reason in `why`.
std::optional<std::string> phy_image_version(std::span<const uint8_t> file, PhyFileFault* why = nullptr);

}  // namespace testkit
