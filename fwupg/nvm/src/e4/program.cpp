// Checking and programming E4 images and bundles through NVRAM offset 0.
#include "fwupg/nvm/e4/program.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/cfg_batch.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/versions.h"
#include "e4/version_rules.h"

namespace fwupg::nvm::e4 {

namespace {

constexpr uint32_t kNoBank = 255;
constexpr uint32_t kMinSizeCode = 11, kMaxSizeCode = 24;

const char* type_name(uint32_t type)
{
    const char* name = image_name(type);
    return name ? name : "";
}

// The caller's check flag counts for TIM1, MIM1 and RECOVERY; LIM is always checked.
bool bundle_item_check(uint32_t type, bool check)
{
    if (type == kTim1 || type == kMim1 || type == kRecovery)
        return check;
    return type == kLim;
}

// Whether the NVRAM's image of `type` (found through the directory, where the firmware placed
// it) holds exactly `data` and its CRC: writing it again would change nothing.
bool nvram_holds(const e4_nvm_dir* dir, uint32_t type, const std::vector<uint8_t>& data)
{
    uint32_t index = 0;
    if (e4_nvm_dir_find_index(dir, type, &index) != 0 || uint64_t(dir->entries[index].len) != data.size() + 4)
        return false;
    std::vector<uint8_t> held(data.size() + 4);
    if (common_nvm_read(dir->entries[index].nvm_off, held.data(), uint32_t(held.size()), 0) != 0)
        return false;
    uint32_t crc = 0;
    e4_crc32(data.data(), uint32_t(data.size()), &crc);
    return std::memcmp(held.data(), data.data(), data.size()) == 0 && load_u32(&held[data.size()]) == crc;
}

}  // namespace

int e4_image_upgrade_check(const e4_image_header& header, const uint8_t* data, const e4_nvm_dir* dir, bool check)
{
    const uint32_t type = header.type;
    const char* name = type_name(type);
    if (type_rule(type).check == Check::Never)
        check = false;
    const uint32_t nvm_type = e4_image_type_for_bank(kNoBank, type);
    uint32_t index = 0;
    const bool present = e4_nvm_dir_find_index(dir, nvm_type, &index) == 0;
    const ImageRef old_image = present ? ImageRef::nvram(dir->entries[index].nvm_off, dir->entries[index].len)
                                       : ImageRef::nvram(0, 0);
    const std::string old_text = present ? e4_image_version_str(old_image, nvm_type) : std::string();
    const std::string new_text = e4_image_version_str(ImageRef::buffer(data, header.length), type);

    if (type == kMim1 || type == kMim2) {
        int n[4] = {0, 0, 0, 0};
        std::sscanf(new_text.c_str(), "MIM %d.%d.%d.%d", &n[0], &n[1], &n[2], &n[3]);
        for (int i = 0; i < 4; ++i)
            version_state().last_mim[i] = uint32_t(n[i]);
    }

    if (!present) {
        fwupg_dbg_printf("First time programming %s image version %s.\n", name, new_text.c_str());
        return 0;
    }
    if (check) {
        const int rc = type == kMba ? e4_mba_version_check(old_image, data, header.length)
                                    : e4_image_version_newer(type, old_text, new_text);
        if (rc != 0) {
            if (type == kLim)
                fwupg_dbg_printf("Avoiding LIM upgrade\n");
            else if (type != kMba)
                fwupg_dbg_printf("Upgrading %s image aborted! Given version %s is not newer than NVM version %s!\n",
                                 name, new_text.c_str(), old_text.c_str());
            return -1;
        }
    }
    switch (type_rule(nvm_type).report) {
    case Report::Versions:
        fwupg_dbg_printf("Upgrading %s image from version %s to version %s.\n", name, old_text.c_str(),
                         new_text.c_str());
        break;
    case Report::NameOnly:
        fwupg_dbg_printf("Upgrading %s image.\n", name);
        break;
    case Report::Silent:
        break;
    }
    return 0;
}

int e4_nvm_program_image(e4_image_header* header, uint8_t* data, uint32_t length, bool single, bool check)
{
    if (!header || !data)
        return -1;
    DirPtr dir = load_dir();
    if (!dir)
        return -1;

    if (single) {
        // The header's length is the data rounded up to a whole word; a header that claims more
        // than that would have the check and the write read past the data.
        if (header->length > round_up4(length)) {
            fwupg_dbg_printf("Image header check failed !!\n");
            return -1;
        }
        std::vector<uint8_t> padded(header->length, 0);
        std::memcpy(padded.data(), data, header->length < length ? header->length : length);
        if (e4_image_upgrade_check(*header, padded.data(), dir.get(), check) != 0) {
            if (header->type == kMba)
                fwupg_dbg_printf("Image header check failed !!\n");
            return -1;
        }
        e4_image_header h = *header;
        if (nvram_holds(dir.get(), h.type, padded)) {
            fwupg_dbg_printf("NVRAM holds this %s image already.\n", type_name(h.type));
        } else {
            if (common_nvm_write(0, &h, sizeof h, 0) != 0)
                return -1;
            if (!padded.empty() && common_nvm_write(0, padded.data(), uint32_t(padded.size()), 0) != 0)
                return -1;
        }
        return e4_mba_update_cfg(h) == -2 ? -1 : 0;
    }

    int running = -1, bank = -1;
    if (get_running_mfw(current_host() ? current_host()->interp : nullptr, &running, &bank) != 0 || bank < 0)
        bank = 1;
    if (length < 4 || load_u32(data) != kBundleMagic) {
        fwupg_dbg_printf("Image header check failed p_image_header->magic = %x, BUNDLE_MAGIC = %x!!\n",
                         length < 4 ? 0u : load_u32(data), kBundleMagic);
        return -1;
    }
    e4_image_header last{};
    bool refused = false;
    const BundleStop stop = walk_bundle(data, length, [&](e4_image_header& h, uint8_t* item) {
        const bool item_check = bundle_item_check(h.type, check);
        h.type = e4_image_type_for_bank(uint32_t(bank), h.type);
        last = h;
        if (e4_image_upgrade_check(h, item, dir.get(), item_check) != 0 && h.type != kLim) {
            refused = true;
            return false;
        }
        return true;
    });
    if (refused)
        return -1;
    if (stop != BundleStop::End) {
        // An item that runs past the end of the bundle: nothing is written.
        fwupg_dbg_printf("Image header check failed !!\n");
        return -1;
    }
    if (common_nvm_write(0, data, length, 0) != 0)
        return -1;
    return e4_mba_update_cfg(last) == -2 ? -1 : 0;
}

namespace {

// One image of the row's type from a copy of the caller's bytes, without version check; the
// bytes may carry their own header. A configuration image goes to the open batch, if any.
int program_unchecked(uint32_t row, uint32_t batch_type, const uint8_t* buffer, uint32_t length)
{
    std::vector<uint8_t> copy(buffer, buffer + length);
    e4_image_header own{};
    e4_image_header* h = e4_image_header_prepare(copy.data(), length, row, true, &own);
    if (!h)
        return -1;
    const uint32_t skip = h == &own ? 0 : uint32_t(sizeof(e4_image_header));
    if (batch_type && cfg_batch_open()) {
        // Kept as the write would place it: the data padded with zeros to the header's length.
        if (h->length > round_up4(length - skip))
            return -1;
        std::vector<uint8_t> padded(h->length, 0);
        std::memcpy(padded.data(), copy.data() + skip, std::min(h->length, length - skip));
        return cfg_batch_keep(batch_type, padded.data(), h->length) ? 0 : -1;
    }
    return e4_nvm_program_image(h, copy.data() + skip, length - skip, true, false);
}

bool cfg_type(uint32_t type) { return type == kNvmCfg1 || type == kDefaultCfg || type == kMeta; }

}  // namespace

int e4_nvm_program_vpd(const uint8_t* buffer, uint32_t length)
{
    uint32_t row = 0;
    if (!buffer || e4_image_row_by_option("-vpd", &row) != 0)
        return -1;
    return program_unchecked(row, 0, buffer, length);
}

int e4_nvm_program_cfg_image(uint32_t type, const uint8_t* buffer, uint32_t length)
{
    uint32_t row = 0;
    if (!buffer || !cfg_type(type) || e4_image_row_by_name(type_name(type), &row) != 0)
        return -1;
    return program_unchecked(row, type, buffer, length);
}

int e4_nvm_write_cfg_image(uint32_t type, const uint8_t* data, uint32_t length)
{
    uint32_t row = 0;
    if (!data || length == 0 || length % 4 || !cfg_type(type) || e4_image_row_by_name(type_name(type), &row) != 0)
        return -1;
    std::vector<uint8_t> copy(data, data + length);
    e4_image_header own = e4_image_header_for_row(row, length);
    return e4_nvm_program_image(&own, copy.data(), length, true, false);
}

int e4_mba_update_cfg(const e4_image_header& header)
{
    if (header.type != kMba)
        return 0;
    uint32_t code = 0;
    for (uint32_t n = kMinSizeCode; n <= kMaxSizeCode; ++n)
        if (header.length <= (1u << n)) {
            code = n - 10;
            break;
        }
    // Above 16 MiB there is no size code; leave the configuration as it is.
    if (code == 0)
        return -1;
    std::vector<uint8_t> cfg = load_cfg_image(kNvmCfg1);
    if (cfg.empty())
        return -1;
    store_u32(&cfg[kCfgMbaSize], (load_u32(&cfg[kCfgMbaSize]) & ~0xFu) | code);
    store_u32(&cfg[kCfgUefiVersion], version_state().last_uefi);
    return e4_nvm_program_cfg_image(kNvmCfg1, cfg.data(), kCfgImageBytes) == 0 ? 0 : -2;
}

}  // namespace fwupg::nvm::e4
