// The external PHY's firmware as the device keeps it: the last image written through ordinal 131
// is stored whole beside the board's NVRAM, and the PHY reports the version text that image
// carries (the test kit's PHY file format, testkit/phy_image.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sim {

// Whether the PHY takes the image: a well-formed PHY file with a version text. The PHY checks a
// downloaded image before it commits it, so a malformed one leaves the old firmware running.
bool phy_accepts(std::span<const uint8_t> image);

// The version text of the PHY firmware stored for a board: nothing when no image was ever written
// (the description's factory text stands), empty when the stored image does not read.
std::optional<std::string> stored_phy_version(const std::string& root, const std::string& board);

}  // namespace sim
