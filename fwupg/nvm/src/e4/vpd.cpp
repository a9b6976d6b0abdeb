// Reading and changing the VPD image of an E4 adapter.
#include "fwupg/nvm/e4/vpd.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/program.h"

namespace fwupg::nvm::e4 {

int read_vpd_image(std::vector<uint8_t>& image)
{
    uint32_t off = 0, len = 0;
    if (e4_nvm_find_image(kVpd, &off, &len, nullptr) != 0 || len < 8) {
        fwupg_dbg_printf("get_vpd_info_from_image(): VPD image does not exist!!\r\n");
        return -1;
    }
    try {
        image.assign(len, 0);
    } catch (...) {
        fwupg_dbg_printf("get_vpd_info_from_image(): No more host memory.");
        return -1;
    }
    if (common_nvm_read(off, image.data(), len, 0) != 0) {
        fwupg_dbg_printf("get_vpd_info_from_image(): Dump VPD image from NVM into buffer failed!");
        return -1;
    }
    return 0;
}

int set_vpd_fields(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::vector<uint8_t> image;
    vpd_field_table table;
    if (read_vpd_image(image) != 0 ||
        vpd_table_from_image(image.data(), uint32_t(image.size()) - 4, &table, nullptr) != 0)
        return -1;
    // Fields that already hold their text change nothing; when none changes, nothing is written.
    bool changed = false;
    uint32_t added_bytes = 0;
    for (const auto& [keyword, text] : fields) {
        const auto n = uint32_t(text.size());
        const vpd_field* f = vpd_table_find(&table, keyword.c_str());
        if (f && f->length == n && std::memcmp(f->data, text.data(), n) == 0)
            continue;
        bool added = false;
        if (!vpd_table_set(&table, keyword.c_str(), reinterpret_cast<const uint8_t*>(text.data()), n, &added)) {
            fwupg_dbg_printf("Failed to create VPD image!\n");
            return 1;
        }
        changed = true;
        if (added)
            added_bytes += n + 2;
    }
    if (!changed)
        return 0;
    uint32_t size = added_bytes ? uint32_t(image.size()) + added_bytes : uint32_t(image.size()) - 8;
    const uint32_t need = vpd_table_size(&table);
    if (need > size)
        size = (need & ~3u) + 4;
    uint8_t* built = vpd_table_build_image(&table, size, 1);
    if (!built) {
        fwupg_dbg_printf("Failed to create VPD image!\n");
        return 1;
    }
    const int rc = e4_nvm_program_vpd(built, size + 4);
    common_nvm_free(built);
    if (rc != 0) {
        fwupg_dbg_printf("Failed to program updated VPD image !!\n");
        return 1;
    }
    return 0;
}

}  // namespace fwupg::nvm::e4

using namespace fwupg::nvm;

extern "C" {

int get_vpd_info_from_image(vpd_field_table* table)
{
    std::vector<uint8_t> image;
    if (!table || e4::read_vpd_image(image) != 0)
        return -1;
    // The resources end before the image's CRC word.
    const auto length = uint32_t(image.size()) - 4;
    if (vpd_table_from_image(image.data(), length, table, nullptr) == 0)
        return 0;
    if (image[4] != 0x82)
        fwupg_dbg_printf("get_vpd_info_from_image(): Failed to get VPD info from image: Expected ID TAG 0x82 is "
                         "missing!(read 0x%x)\n", image[4]);
    else
        fwupg_dbg_printf("get_vpd_info_from_image(): Failed to get VPD info from image: Expected VPD-R TAG 0x90 "
                         "is missing! (read 0x%x)\n", length > 7u + image[5] ? image[7 + image[5]] : 0u);
    return -1;
}

int common_nvm_e4_set_vpd_field(const char* keyword, const char* text)
{
    if (!keyword || !text)
        return -1;
    return e4::set_vpd_fields({{keyword, text}});
}

}  // extern "C"
