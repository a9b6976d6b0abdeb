// Firmware versions as the device reports them: derived from what is in the adapter's NVRAM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace sim {

// The firmware-record values that the NVRAM gives. A field that is absent here is reported empty
// (0 for a word) unless the adapter's description overrides it.
struct DerivedFirmware {
    std::map<std::size_t, std::string> texts;  // by byte offset in the family's firmware record
    std::optional<uint32_t> mbi_packed;        // family 5, byte 800
    // Family 5: the MFW version word (major << 24 | minor << 16 | build << 8) of the MFW1 image
    // listed, which the firmware puts in shared memory when it starts.
    std::optional<uint32_t> mfw_word;
    std::optional<std::string> mfw_version;    // family 6, MfwInfo version text
    std::optional<uint32_t> active_bundle;     // family 6, MfwInfo active bundle
};

// Reads the images listed in the NVRAM's directory through the test kit's independent reader
// and returns their versions, or nothing when the NVRAM of this family cannot be read that way.
std::optional<DerivedFirmware> derive_firmware_from_nvram(uint32_t family, std::span<const uint8_t> nvram);

// True when derive_firmware_from_nvram can give anything for the family (the library reads the
// NVRAM for it only then).
bool firmware_derivable(uint32_t family);

}  // namespace sim
