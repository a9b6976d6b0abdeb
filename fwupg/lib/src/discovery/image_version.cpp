// MBI package version of an image file (see image_version.h).
#include "fwupg/image_version.h"

#include <cstdio>

#include "fwupg/firmware.h"
#include "fwupg/fw_image.h"
#include "fwupg/session_state.h"

namespace fwupg {

std::string GetImageFileVersion(uint32_t family, const std::string& path)
{
    uint32_t packed = 0;
    bool passed = false;
    {
        FwImage image(g_TclInterp, path.c_str(), MapImageTypeCode(kFwMbi), true);
        passed = image.valid() && image.GetPackageVersion(&packed, nullptr);
    }
    if (!passed) return {};
    const auto byte = [packed](int i) { return static_cast<int>(static_cast<int8_t>(packed >> (8 * i))); };
    char text[48];
    if (family == 6)
        std::snprintf(text, sizeof text, "%d.%d.%d", byte(2), byte(1), byte(0));
    else
        std::snprintf(text, sizeof text, "%d.%d.%d", byte(3), byte(2), byte(1));
    return text;
}

}  // namespace fwupg
