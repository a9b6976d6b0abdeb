// The VPD text file parser on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fwupg/nvm/formats/vpd_text.h"
#include "quiet_debug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image;
    fwupg::nvm::vpd_text_to_image(std::string(reinterpret_cast<const char*>(data), size), image);
    return 0;
}
