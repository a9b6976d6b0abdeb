// The VPD image parsers on arbitrary bytes: the 128-byte copy of the configuration area, the
// directory image's field table and its text dump.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/formats/vpd_info.h"
#include "fwupg/nvm/formats/vpd_table.h"
#include "fwupg/nvm/formats/vpd_text.h"
#include "quiet_debug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t copy[256] = {};
    std::memcpy(copy, data, size < 128 ? size : 128);
    vpd_info info;
    if (vpd_parse_image_57710(&info, copy, 1) == 0) {
        uint8_t built[256];
        vpd_build_image_57710(&info, built);
    }
    if (size > 0x10000)
        return 0;
    vpd_field_table table;
    if (fwupg::nvm::vpd_table_from_image(data, uint32_t(size), &table, nullptr) == 0) {
        uint8_t* image = vpd_table_build_image(&table, vpd_table_size(&table) + 4, 1);
        common_nvm_free(image);
    }
    std::string text;
    fwupg::nvm::vpd_image_to_text(data, uint32_t(size), text);
    return 0;
}
