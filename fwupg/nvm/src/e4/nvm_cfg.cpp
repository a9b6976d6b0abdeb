// MBI version and date, port count and running firmware of an E4 adapter.
#include "fwupg/nvm/e4/nvm_cfg.h"

#include <cstdlib>
#include <cstring>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/cfg_batch.h"
#include "fwupg/nvm/e4/directory.h"
#include "fwupg/nvm/e4/image_table.h"
#include "fwupg/nvm/e4/program.h"

using namespace fwupg::nvm;

namespace fwupg::nvm::e4 {

int nvm_cfg_word(uint32_t type, uint32_t byte, uint32_t* out)
{
    if (!out)
        return -1;
    if (const std::vector<uint8_t>* kept = cfg_batch_image(type)) {
        if (uint64_t(byte) + 4 > kept->size())
            return -1;
        std::memcpy(out, kept->data() + byte, 4);
        return 0;
    }
    uint32_t off = 0, len = 0;
    if (e4_nvm_find_image(type, &off, &len, nullptr) != 0 || uint64_t(byte) + 4 > len)
        return -1;
    return common_nvm_read(off + byte, out, 4, 0);
}

std::vector<uint8_t> load_cfg_image(uint32_t type)
{
    uint8_t* raw = nullptr;
    uint32_t len = 0;
    if (e4_nvm_load_image(type, &raw, nullptr, &len) != 0)
        return {};
    BufferPtr owned(raw);
    std::vector<uint8_t> image(len > kCfgImageBytes ? len : kCfgImageBytes, 0);
    std::memcpy(image.data(), raw, len);
    return image;
}

}  // namespace fwupg::nvm::e4

extern "C" {

int e4_nvm_cfg_mbi_version(uint32_t* version, uint32_t* date, int write, uint32_t type)
{
    if (!version || !date)
        return -1;
    std::vector<uint8_t> image = e4::load_cfg_image(type);
    if (image.empty())
        return -1;
    if (!write) {
        *version = load_u32(&image[e4::kCfgMbiVersion]) & 0xFFFFFF;
        *date = load_u32(&image[e4::kCfgMbiDate]);
        return 0;
    }
    const uint32_t old = load_u32(&image[e4::kCfgMbiVersion]);
    const uint32_t word = (old & 0xFF000000u) | (*version & 0xFFFFFF);
    // An image that holds the version and date already is not programmed again (every image of a
    // package clears them, and all but the first find them cleared).
    if (word == old && load_u32(&image[e4::kCfgMbiDate]) == *date)
        return 0;
    store_u32(&image[e4::kCfgMbiVersion], word);
    store_u32(&image[e4::kCfgMbiDate], *date);
    return e4::e4_nvm_program_cfg_image(type, image.data(), e4::kCfgImageBytes);
}

int e4_nvm_cfg_port_count(uint32_t* out)
{
    if (!out)
        return -1;
    uint32_t off = 0, len = 0;
    if (!e4::cfg_batch_image(e4::kNvmCfg1) && e4_nvm_find_image(e4::kNvmCfg1, &off, &len, nullptr) != 0) {
        fwupg_dbg_printf("ERROR: Fail to find nvm cfg\n");
        return 0;
    }
    uint32_t mode = 0;
    if (e4::nvm_cfg_word(e4::kNvmCfg1, e4::kCfgPortMode, &mode) != 0) {
        fwupg_dbg_printf("ERROR: Fail to read from nvm\n");
        return -1;
    }
    // Options 104, 105 and 208 share the word (bits 26-31); the port mode is what lies below them.
    switch (mode & 0x03FFFFFFu) {
    case 2: case 11: case 13: *out = 1; break;
    case 3: case 4: case 5: case 14: *out = 4; break;
    default: *out = 2; break;
    }
    return 0;
}

int get_running_mfw(Tcl_Interp* interp, int* version, int* bundle)
{
    int rc = 0;
    for (auto [name, out] : {std::pair{"RUNNING_MFW_VER", version}, std::pair{"ACTIVE_BUNDLE", bundle}}) {
        if (!out)
            continue;
        *out = -1;
        Tcl_Obj* o = interp ? Tcl_GetVar2Ex(interp, "::toe", name, TCL_GLOBAL_ONLY) : nullptr;
        if (!o || Tcl_GetIntFromObj(interp, o, out) != TCL_OK)
            rc = -1;
    }
    return rc;
}

}  // extern "C"
