// Preparing the header of a single E4 image, and the one walk over the items of a bundle.
#include "fwupg/nvm/e4/image_header.h"

#include <cstring>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/program.h"

namespace fwupg::nvm::e4 {

BundleStop walk_bundle(uint8_t* bundle, uint32_t length,
                       const std::function<bool(e4_image_header& header, uint8_t* data)>& visit)
{
    if (!bundle || length < 4 || load_u32(bundle) != kBundleMagic)
        return BundleStop::BadMagic;
    uint64_t pos = kBundleHeaderBytes;
    while (pos < length) {
        if (pos + sizeof(e4_image_header) > length)
            return BundleStop::Truncated;
        e4_image_header h;
        std::memcpy(&h, bundle + pos, sizeof h);
        const uint64_t next = pos + sizeof h + h.length;
        if (next > length)
            return BundleStop::Truncated;
        const bool go_on = visit(h, bundle + pos + sizeof h);
        std::memcpy(bundle + pos, &h, sizeof h);
        if (!go_on)
            return BundleStop::Stopped;
        pos = next;
    }
    return BundleStop::End;
}

e4_image_header e4_image_header_for_row(uint32_t row, uint32_t length)
{
    e4_image_header h{};
    h.magic = kImageMagic;
    h.version = 3;
    h.type = uint32_t(g_image_table_e4[row].id);
    h.chip_group = common_nvm_is_e4_group_b() ? kChipGroupB : kChipGroupA;
    h.length = round_up4(length);
    return h;
}

e4_image_header* e4_image_header_prepare(uint8_t* buffer, uint32_t length, uint32_t row, bool single,
                                         e4_image_header* out)
{
    if (!buffer || length == 0)
        return nullptr;
    if (!single)
        return reinterpret_cast<e4_image_header*>(buffer);
    if (length < 4 || load_u32(buffer) != kImageMagic) {
        if (!out || row >= e4_image_table_size())
            return nullptr;
        *out = e4_image_header_for_row(row, length);
        return out;
    }
    if (length < sizeof(e4_image_header))
        return nullptr;
    auto* h = reinterpret_cast<e4_image_header*>(buffer);
    if (h->version < 3) {
        h->type >>= 21;
        h->version = 3;
    }
    return h;
}

}  // namespace fwupg::nvm::e4
