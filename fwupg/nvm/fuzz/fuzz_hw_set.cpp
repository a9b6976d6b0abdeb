// The register-script parser on arbitrary text, and its text dump on the same bytes taken as an
// image read from NVRAM.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fwupg/nvm/formats/hw_set.h"
#include "quiet_debug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image;
    fwupg::nvm::hw_set_text_to_image(std::string(reinterpret_cast<const char*>(data), size), image);
    std::string text;
    fwupg::nvm::hw_set_image_to_text(data, uint32_t(size), text);
    return 0;
}
