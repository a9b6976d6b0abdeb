#include "phy_firmware.h"

#include "kv_text.h"
#include "sim/adapter_builder.h"
#include "testkit/phy_image.h"

namespace sim {

bool phy_accepts(std::span<const uint8_t> image) { return testkit::phy_image_version(image).has_value(); }

std::optional<std::string> stored_phy_version(const std::string& root, const std::string& board)
{
    const std::optional<std::string> image = read_file(phy_image_path(root, board));
    if (!image) return std::nullopt;
    auto bytes = std::span(reinterpret_cast<const uint8_t*>(image->data()), image->size());
    return testkit::phy_image_version(bytes).value_or(std::string());
}

}  // namespace sim
