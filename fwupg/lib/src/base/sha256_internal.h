// Shared between the portable and the instruction-set compression functions.
#pragma once

#include <cstdint>

namespace fwupg::sha256_detail {
extern const uint32_t kRoundConstants[64];
}
