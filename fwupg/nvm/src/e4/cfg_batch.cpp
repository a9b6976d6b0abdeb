// The configuration images of one E4 change gathered in memory and written once each at its end.
#include "fwupg/nvm/e4/cfg_batch.h"

#include <map>
#include <utility>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/program.h"

namespace fwupg::nvm::e4 {
namespace {

struct Batch {
    unsigned depth = 0;
    std::map<uint32_t, std::vector<uint8_t>> images;  // data and CRC word, by image type
};

Batch& batch()
{
    static Batch b;
    return b;
}

const char* name_of(uint32_t type) { return type == kNvmCfg1 ? "NVM_CFG1" : type == kDefaultCfg ? "DEFAULT_CFG" : "META"; }

}  // namespace

void cfg_batch_begin() { ++batch().depth; }

bool cfg_batch_open() { return batch().depth != 0; }

void cfg_batch_drop()
{
    Batch& b = batch();
    if (b.depth == 0) return;
    if (--b.depth == 0) b.images.clear();
}

int cfg_batch_commit()
{
    Batch& b = batch();
    if (b.depth == 0) return 0;
    if (--b.depth != 0) return 0;
    // Taken out first: the writes below go to the NVRAM, not back into the batch.
    std::map<uint32_t, std::vector<uint8_t>> images(std::move(b.images));
    b.images.clear();
    for (uint32_t type : {kDefaultCfg, kMeta, kNvmCfg1}) {
        auto it = images.find(type);
        if (it == images.end()) continue;
        const std::vector<uint8_t>& image = it->second;
        if (e4_nvm_write_cfg_image(type, image.data(), uint32_t(image.size() - 4)) != 0) {
            fwupg_dbg_printf("Failed to upgrade %s image !\n", name_of(type));
            return -1;
        }
        fwupg_dbg_printf("\nUpgraded %s image successfully.\n", name_of(type));
    }
    return 0;
}

bool cfg_batch_keep(uint32_t type, const uint8_t* data, uint32_t length)
{
    Batch& b = batch();
    if (b.depth == 0) return false;
    std::vector<uint8_t>& image = b.images[type];
    image.assign(data, data + length);
    uint32_t crc = 0;
    e4_crc32(data, length, &crc);
    image.resize(length + 4);
    store_u32(&image[length], crc);
    return true;
}

const std::vector<uint8_t>* cfg_batch_image(uint32_t type)
{
    const Batch& b = batch();
    auto it = b.images.find(type);
    return b.depth != 0 && it != b.images.end() ? &it->second : nullptr;
}

}  // namespace fwupg::nvm::e4
