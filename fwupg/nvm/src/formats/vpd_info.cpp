// The 128-byte VPD image of the configuration area: parse into `vpd_info` and build back.
#include "fwupg/nvm/formats/vpd_info.h"

#include <cstring>

#include "fwupg/host_ops.h"

namespace {

constexpr size_t kImage = 128;

struct Field {
    const char* key;
    size_t offset;
    size_t max;
    uint32_t bit;
};

constexpr Field kFields[] = {
    {"PN", offsetof(vpd_info, pn), 16, 0x2},  {"EC", offsetof(vpd_info, ec), 10, 0x4},
    {"SN", offsetof(vpd_info, sn), 16, 0x8},  {"MN", offsetof(vpd_info, mn), 4, 0x10},
    {"YA", offsetof(vpd_info, ya), 16, 0x20}, {"V0", offsetof(vpd_info, v0), 16, 0x40},
    {"V1", offsetof(vpd_info, v1), 16, 0x80},
};

void set_text(char* dst, size_t room, const char* text)
{
    std::memset(dst, 0, room);
    std::memcpy(dst, text, strnlen(text, room - 1));
}

}  // namespace

extern "C" {

void vpd_set_defaults_57710(vpd_info* info, uint32_t mask)
{
    if (!info)
        return;
    if (mask & 0x1)
        set_text(info->product_name, sizeof info->product_name, "Zorevuvi DOV57710 KV9 10 GigE");
    if (mask & 0x2)
        set_text(info->pn, sizeof info->pn, "DOV957710A1");
    if (mask & 0x4)
        set_text(info->ec, sizeof info->ec, "220197-2");
    if (mask & 0x8)
        set_text(info->sn, sizeof info->sn, "0123456789");
    if (mask & 0x10)
        set_text(info->mn, sizeof info->mn, "14e4");
    if (mask & 0x20)
        set_text(info->ya, sizeof info->ya, "XYZ01234567");
    if (mask & 0x40)
        set_text(info->v0, sizeof info->v0, "");
    if (mask & 0x80)
        set_text(info->v1, sizeof info->v1, "");
}

int vpd_parse_image_57710(vpd_info* info, const uint8_t* img, int verbose)
{
    if (!info || !img)
        return 1;
    std::memset(info, 0, sizeof *info);
    size_t name_len = size_t(img[1]) | size_t(img[2]) << 8;
    if (img[0] != 0x82 || name_len > 48) {
        if (verbose)
            fwupg_dbg_printf("** Error: No valid VPD header found\n");
        return 1;
    }
    std::memcpy(info->product_name, img + 3, name_len);
    info->product_name[name_len] = 0;
    size_t cur = 3 + name_len;
    if (cur + 3 > kImage || img[cur] != 0x90 || (size_t(img[cur + 1]) | size_t(img[cur + 2]) << 8) > 125 - cur)
        return 0;
    const size_t ro_tag = cur;
    cur += 3;
    while (cur + 3 <= kImage) {
        const char k0 = char(img[cur]), k1 = char(img[cur + 1]);
        size_t len = img[cur + 2];
        if (k0 == 'R' && k1 == 'V') {
            if (cur + 3 >= kImage)
                break;
            uint8_t all = 0, from_ro = 0;
            for (size_t i = 0; i <= cur + 3; ++i) {
                all = uint8_t(all + img[i]);
                if (i >= ro_tag)
                    from_ro = uint8_t(from_ro + img[i]);
            }
            if (all != 0 && from_ro != 0) {
                if (verbose)
                    fwupg_dbg_printf("** Error: Invalid checksum in RV field\n");
                vpd_set_defaults_57710(info, 0x5E);
                return 2;
            }
            return 0;
        }
        if (cur + 3 + len > kImage)
            break;
        bool kept = false;
        for (const Field& f : kFields) {
            if (k0 != f.key[0] || k1 != f.key[1])
                continue;
            size_t n = len;
            if (n > f.max) {
                if (verbose)
                    fwupg_dbg_printf("** Error: The max length for field %c%c is %d,\nbut found %d instead. Truncated\n",
                                     k0, k1, int(f.max), int(len));
                n = f.max;
            }
            char* dst = reinterpret_cast<char*>(info) + f.offset;
            std::memcpy(dst, img + cur + 3, n);
            dst[n] = 0;
            kept = true;
        }
        if (!kept && k0 == 'Y' && k1 == 'B') {
            std::memcpy(info->yb, img + cur + 3, len);
            info->yb_len = uint8_t(len);
        }
        cur += 3 + len;
    }
    return 0;
}

int vpd_build_image_57710(const vpd_info* info, uint8_t out[256])
{
    if (!info || !out)
        return -1;
    std::memset(out, 0, 256);
    size_t name = strnlen(info->product_name, 48);
    size_t pos = 0;
    out[pos++] = 0x82;
    out[pos++] = uint8_t(name + 1);
    out[pos++] = 0;
    std::memcpy(out + pos, info->product_name, name);
    pos += name + 1;
    out[pos++] = 0x90;
    out[pos++] = uint8_t(121 - (name + 1));
    out[pos++] = 0;
    auto put = [&](const char* key, const uint8_t* data, size_t len) {
        if (pos + 3 + len > 123)  // leave room for RV, its checksum byte and the end tag
            return false;
        out[pos++] = uint8_t(key[0]);
        out[pos++] = uint8_t(key[1]);
        out[pos++] = uint8_t(len);
        std::memcpy(out + pos, data, len);
        pos += len;
        return true;
    };
    for (const Field& f : kFields) {
        const char* text = reinterpret_cast<const char*>(info) + f.offset;
        size_t len = strnlen(text, f.max);
        bool always = f.bit & 0x1E;  // PN, EC, SN, MN
        if ((always || len) && !put(f.key, reinterpret_cast<const uint8_t*>(text), len))
            return -1;
    }
    if (info->yb_len && !put("YB", info->yb, info->yb_len))
        return -1;
    out[pos++] = 'R';
    out[pos++] = 'V';
    out[pos] = uint8_t(126 - pos);
    ++pos;
    uint8_t sum = 0;
    for (size_t i = 0; i < pos; ++i)
        sum = uint8_t(sum + out[i]);
    out[pos] = uint8_t(-sum);
    out[127] = 0x78;
    return 0;
}

int common_nvm_vpd_parse(vpd_info* info, const uint8_t* image, int verbose)
{
    return vpd_parse_image_57710(info, image, verbose);
}
int common_nvm_vpd_build(const vpd_info* info, uint8_t out[256]) { return vpd_build_image_57710(info, out); }
void common_nvm_vpd_defaults(vpd_info* info, uint32_t mask) { vpd_set_defaults_57710(info, mask); }

}  // extern "C"

namespace fwupg::nvm {

bool vpd_copy_round_trips(const uint8_t* image)
{
    vpd_info info;
    uint8_t built[256];
    return image && vpd_parse_image_57710(&info, image, 0) == 0 && vpd_build_image_57710(&info, built) == 0 &&
           std::memcmp(built, image, 128) == 0;
}

}  // namespace fwupg::nvm
