// The access layer's VPD forwarders: arguments pass unchanged to the VPD record routines.
#include "fwupg/nvm/access.h"
#include "fwupg/nvm/vpd.h"

#include <cstring>

extern "C" void common_nvm_vpd_parse(vpd_info* info, const uint8_t* image, int verbose)
{
    vpd_parse_image(info, image, verbose);
}

extern "C" int common_nvm_vpd_build(const vpd_info* info, uint8_t* out) { return vpd_build_image(info, out); }

extern "C" void common_nvm_vpd_defaults(vpd_info* info, uint32_t mask) { vpd_set_defaults(info, mask); }

namespace fwupg::nvm {

bool vpd_copy_round_trips(const uint8_t* image)
{
    vpd_info info;
    uint8_t built[256];
    vpd_parse_image(&info, image, 0);
    return image[0] == 0x82 && vpd_build_image(&info, built) == 0 && std::memcmp(built, image, 128) == 0;
}

}  // namespace fwupg::nvm
