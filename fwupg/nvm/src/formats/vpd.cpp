#include "fwupg/nvm/formats/vpd.h"

#include <cstring>

#include "fwupg/host_ops.h"

namespace {
void set_text(char* field, size_t room, const char* text)
{
    size_t n = strnlen(text, room - 1);
    std::memcpy(field, text, n);
    std::memset(field + n, 0, room - n);
}

// The keywords the parser knows, with the room of their data.
struct keyword {
    char a, b;
    size_t max;
};
constexpr keyword KEYWORDS[] = {{'P', 'N', 16}, {'E', 'C', 10}, {'S', 'N', 16}, {'M', 'N', 4}, {'V', '0', 16}, {'Y', 'B', 128}};

char* keyword_field(vpd_info* info, int k)
{
    switch (k) {
    case 0: return info->pn;
    case 1: return info->ec;
    case 2: return info->sn;
    case 3: return info->mn;
    case 4: return info->v0;
    default: return nullptr;
    }
}

constexpr size_t IMAGE = 128;
constexpr uint32_t FALLBACK = VPD_DEF_PN | VPD_DEF_EC | VPD_DEF_SN | VPD_DEF_MN | VPD_DEF_V0;
}  // namespace

void vpd_set_defaults(vpd_info* info, uint32_t mask)
{
    if (mask & VPD_DEF_NAME) set_text(info->product_name, sizeof info->product_name, "Zorevuvi KV9 Ethernet Controller");
    if (mask & VPD_DEF_PN) set_text(info->pn, sizeof info->pn, "DOV95706A0");
    if (mask & VPD_DEF_EC) set_text(info->ec, sizeof info->ec, "220197-2");
    if (mask & VPD_DEF_SN) set_text(info->sn, sizeof info->sn, "0123456789");
    if (mask & VPD_DEF_MN) set_text(info->mn, sizeof info->mn, "14e4");
    if (mask & VPD_DEF_YA) set_text(info->ya, sizeof info->ya, "XYZ01234567");
    if (mask & VPD_DEF_V0) info->v0[0] = '\0';
    if (mask & VPD_DEF_V1) info->v1[0] = '\0';
}

void vpd_parse_image(vpd_info* info, const uint8_t* img, int verbose)
{
    std::memset(info, 0, sizeof *info);
    const size_t name_len = img[1] | img[2] << 8;
    if (img[0] != 0x82 || name_len > 48) {
        if (verbose)
            fwupg_dbg_printf("** Error: No valid VPD header found\n");
        return;
    }
    std::memcpy(info->product_name, img + 3, name_len);
    info->product_name[name_len] = '\0';
    const size_t ro = 3 + name_len;
    const size_t ro_len = img[ro + 1] | img[ro + 2] << 8;
    if (img[ro] != 0x90 || ro + ro_len > 125) {
        if (verbose)
            fwupg_dbg_printf("rRegion vpd_check_region failed\n");
        return;
    }
    size_t cur = ro + 3;
    for (;;) {
        if (cur + 3 > IMAGE)
            break;
        int k = 0;
        while (k < 6 && !(img[cur] == KEYWORDS[k].a && img[cur + 1] == KEYWORDS[k].b))
            ++k;
        if (k == 6)
            break;
        const size_t len = img[cur + 2];
        if (cur + 3 + len > IMAGE)
            break;   // data would run past the image: treated as an unknown field below
        size_t take = len;
        if (take > KEYWORDS[k].max) {
            if (verbose)
                fwupg_dbg_printf("** Error: The max length for field %c%c is %d,\nbut found %d instead. Truncated\n",
                                 KEYWORDS[k].a, KEYWORDS[k].b, int(KEYWORDS[k].max), int(len));
            take = KEYWORDS[k].max;
        }
        if (char* field = keyword_field(info, k)) {
            std::memcpy(field, img + cur + 3, take);
            field[take] = '\0';
        } else {
            std::memcpy(info->yb, img + cur + 3, take);
            info->yb_len = uint8_t(take);
        }
        cur += 3 + len;
    }
    if (cur + 3 < IMAGE && img[cur] == 'R' && img[cur + 1] == 'V') {
        unsigned whole = 0, from_ro = 0;
        for (size_t i = 0; i <= cur + 3; ++i) {
            whole += img[i];
            if (i >= ro)
                from_ro += img[i];
        }
        if ((whole & 0xFF) == 0 || (from_ro & 0xFF) == 0)
            return;
        if (verbose)
            fwupg_dbg_printf("** Error: Invalid checksum in RV field\n");
    } else if (verbose) {
        const char a = cur < IMAGE ? char(img[cur]) : '?';
        const char b = cur + 1 < IMAGE ? char(img[cur + 1]) : '?';
        fwupg_dbg_printf("** Error: unknow field %c%c found\n", a, b);
    }
    vpd_set_defaults(info, FALLBACK);
}

int vpd_build_image(const vpd_info* info, uint8_t* out)
{
    // Both templates build the same image.
    return vpd_build_image_57710(info, out);
}
