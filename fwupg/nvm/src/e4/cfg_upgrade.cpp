// The configuration upgrade of an E4 adapter from a new NVM_CFG and META, and the recomputation of
// NVM_CFG1 from the adapter's own images.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/cfg_batch.h"
#include "fwupg/nvm/e4/cfg_upgrade.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_header.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/nvm_cfg.h"
#include "fwupg/nvm/e4/program.h"

namespace fwupg::nvm::e4 {
namespace {

// Words 39-42: the configuration version the package's NVM_CFG carries.
constexpr uint32_t kCfgVersionAt = 156, kCfgVersionBytes = 16;
constexpr uint32_t kSsidWithoutMeta = 0x223;

// An adapter image read whole; empty when the adapter has none.
std::vector<uint8_t> load(uint32_t type)
{
    uint8_t* raw = nullptr;
    uint32_t len = 0;
    if (e4_nvm_load_image(type, &raw, nullptr, &len) != 0) return {};
    BufferPtr owned(raw);
    return std::vector<uint8_t>(raw, raw + len);
}

// NVM_CFG1 or DEFAULT_CFG of the adapter, with the message when it has none.
std::vector<uint8_t> load_required(uint32_t type)
{
    std::vector<uint8_t> image = load(type);
    if (image.empty())
        fwupg_dbg_printf("%s", type == kNvmCfg1 ? "ERROR: Can't find NVM_CFG image on board.\n"
                                                : "ERROR: Can't find DEFUALT_CFG image on board.\n");
    return image;
}

ByteSpan span(const std::vector<uint8_t>& v) { return {v.data(), uint32_t(v.size())}; }

// Programs one configuration image with its messages: 0 or 1. Inside a configuration batch the
// image is written (and its success told) when the batch commits.
int program(uint32_t type, const char* name, const uint8_t* data, uint32_t length)
{
    if (e4_nvm_program_cfg_image(type, data, length) != 0) {
        fwupg_dbg_printf("Failed to upgrade %s image !\n", name);
        return 1;
    }
    if (cfg_batch_open())
        fwupg_dbg_printf("\nPrepared %s image; it is written at the end of the update.\n", name);
    else
        fwupg_dbg_printf("\nUpgraded %s image successfully.\n", name);
    return 0;
}

}  // namespace

bool e4_bundle_meta(const std::vector<uint8_t>& bundle, std::vector<uint8_t>& meta)
{
    std::vector<uint8_t> copy(bundle);
    bool found = false;
    walk_bundle(copy.data(), uint32_t(copy.size()), [&](e4_image_header& h, uint8_t* data) {
        if (h.type != kMeta) return true;
        // Rounded up to whole words; bytes past the bundle's end read as 0.
        meta.assign(round_up4(h.length), 0);
        std::memcpy(meta.data(), data, h.length);
        found = true;
        return false;
    });
    return found;
}

int e4_update_cfg(const UpdateCfgRequest& request)
{
    const std::vector<uint8_t> old_default = load_required(kDefaultCfg);
    if (old_default.empty()) return 1;
    const std::vector<uint8_t> old_cfg = load_required(kNvmCfg1);
    if (old_cfg.empty()) return 1;
    std::vector<uint8_t> old_meta = load(kMeta);
    if (old_meta.empty()) {
        if (uint32_t(toe_number("SSID")) != kSsidWithoutMeta) {
            fwupg_dbg_printf("ERROR: Can't find META image on board.\n");
            return 1;
        }
        if (program(kMeta, "META", request.new_meta.data(), uint32_t(request.new_meta.size())) != 0) return 1;
        // The adapter now describes its options with the new META: merge against it.
        old_meta = request.new_meta;
    }
    std::vector<uint8_t> out_cfg, out_default;
    const MergeInputs in{span(old_default), span(old_cfg), span(old_meta), span(request.new_default),
                         span(request.new_meta)};
    if (e4_cfg_merge_meta(in, out_cfg, out_default) != 0) {
        fwupg_dbg_printf("\nFailed to update configuration !!.\n");
        return 1;
    }
    std::vector<uint8_t> old_padded(kCfgImageBytes, 0);
    std::memcpy(old_padded.data(), old_cfg.data(), std::min<size_t>(old_cfg.size(), kCfgImageBytes));
    if (!request.force &&
        std::memcmp(&out_cfg[kCfgVersionAt], &old_padded[kCfgVersionAt], kCfgVersionBytes) == 0) {
        fwupg_dbg_printf("Skiped updating NVM_CFG firmware as given version is same as NVRAM version.\n");
        return 1;
    }
    if (program(kNvmCfg1, "NVM_CFG1", out_cfg.data(), kCfgImageBytes) != 0) return 1;
    // A failed DEFAULT_CFG write still lets META follow, but the command reports the failure.
    int rc = program(kDefaultCfg, "DEFAULT_CFG", out_default.data(), kCfgImageBytes);
    rc |= program(kMeta, "META", request.new_meta.data(), uint32_t(request.new_meta.size()));
    return rc;
}

namespace {

// Without a META image: the defaults, with the adapter's own identity fields carried over (MBI
// version and date, bytes 16-35, the port MACs and the function MACs and their further words).
void carry_identity(const std::vector<uint8_t>& cfg, std::vector<uint8_t>& out)
{
    auto copy = [&](uint32_t at, uint32_t n) {
        if (at + n <= cfg.size() && at + n <= out.size()) std::memcpy(&out[at], &cfg[at], n);
    };
    if (cfg.size() >= kCfgMbiVersion + 4) {
        const uint32_t v = load_u32(&cfg[kCfgMbiVersion]) & 0xFFFFFF;
        store_u32(&out[kCfgMbiVersion], (load_u32(&out[kCfgMbiVersion]) & 0xFF000000u) | v);
    }
    copy(kCfgMbiDate, 4);
    copy(16, 4);
    copy(20, 16);
    for (uint32_t p = 0; p < 4; ++p)
        copy(612 + 600 * p, 8);
    for (uint32_t f = 0; f < 16; ++f)
        for (uint32_t at : {2960u, 2988u, 2996u})
            copy(at + 80 * f, 8);
}

int recompute_cfg1()
{
    const std::vector<uint8_t> cfg = load_required(kNvmCfg1);
    if (cfg.empty()) return 1;
    const std::vector<uint8_t> defaults = load_required(kDefaultCfg);
    if (defaults.empty()) return 1;
    const std::vector<uint8_t> meta = load(kMeta);
    std::vector<uint8_t> out, out_default;
    if (!meta.empty()) {
        const MergeInputs in{span(defaults), span(cfg), span(meta), span(defaults), span(meta)};
        if (e4_cfg_merge_meta(in, out, out_default) != 0) return 1;
    } else {
        out.assign(std::max<size_t>(defaults.size(), kCfgImageBytes), 0);
        std::memcpy(out.data(), defaults.data(), defaults.size());
        carry_identity(cfg, out);
    }
    return program(kNvmCfg1, "NVM_CFG1", out.data(), kCfgImageBytes);
}

}  // namespace
}  // namespace fwupg::nvm::e4

extern "C" int update_nvm_cfg1_e4(HostOps ops)
{
    try {
        fwupg::HostOpsScope scope(&ops);
        return fwupg::nvm::e4::recompute_cfg1();
    } catch (...) {
        if (ops.setLastError) ops.setLastError(34);
        return 1;
    }
}
