// The SFP+ module list parser on arbitrary text, and its text dump on the same bytes taken as a
// list image read from NVRAM.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fwupg/nvm/formats/sfp_modules.h"
#include "quiet_debug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image;
    fwupg::nvm::sfp_module_text_to_image(std::string(reinterpret_cast<const char*>(data), size), image);
    std::string text;
    fwupg::nvm::sfp_module_image_to_text(data, uint32_t(size), text);
    return 0;
}
