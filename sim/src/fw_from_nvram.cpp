#include "fw_from_nvram.h"

namespace sim {

// No NVRAM reader is wired in yet: every family reports its description's versions.
bool firmware_derivable(uint32_t /*family*/) { return false; }

std::optional<DerivedFirmware> derive_firmware_from_nvram(uint32_t /*family*/, std::span<const uint8_t> /*nvram*/)
{
    return std::nullopt;
}

}  // namespace sim
