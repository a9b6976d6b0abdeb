// The VPD field table: size, image builders, parser and field edits.
#include "fwupg/nvm/formats/vpd_table.h"

#include <cctype>
#include <cstring>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/console.h"

using namespace fwupg::nvm;

namespace {

uint8_t* build(const vpd_field_table* t, uint32_t size, uint32_t header, bool ext)
{
    if (!t || t->count > kVpdMaxFields || t->name_length > kVpdNameRoom)
        return nullptr;
    if (size < vpd_table_size(t)) {
        fwupg_dbg_printf("ERROR: vpd_table_size is too small !\n");
        return nullptr;
    }
    auto* out = static_cast<uint8_t*>(common_nvm_alloc(size_t(size) + 4));
    if (!out) {
        fwupg_dbg_printf("ERROR: Failed to allocate memory for the VPD image!\n");
        return nullptr;
    }
    std::memset(out, 0, size_t(size) + 4);
    store_u32(out, header);
    uint8_t* r = out + 4;  // the resources
    const uint32_t n = t->name_length;
    uint32_t p = 0;
    r[p++] = 0x82;
    r[p++] = uint8_t(n);
    r[p++] = uint8_t(n >> 8);
    std::memcpy(r + p, t->product_name, n);
    p += n;
    const uint32_t ro = size - n - 7;
    r[p++] = 0x90;
    r[p++] = uint8_t(ro);
    r[p++] = uint8_t(ro >> 8);
    for (uint32_t i = 0; i < t->count; ++i) {
        const vpd_field& f = t->fields[i];
        r[p++] = uint8_t(f.keyword[0]);
        r[p++] = uint8_t(f.keyword[1]);
        r[p++] = f.length;
        std::memcpy(r + p, f.data, f.length);
        p += f.length;
    }
    // "RV" carries the checksum and the reserved bytes up to the end tag.
    const uint32_t remaining = (size - 1) - (p + 3);
    if (remaining >= 256) {
        if (ext)
            print_severity("VPD file parsing error: remaining length at RV TAG exceeds 255\n", 1);
        else
            print_severity("VPD file parsing error: remaining length at RV TAG exceeds 255\n"
                           "Please reduce size in tag [REGION=VPD-R, <size>]\n",
                           1);
        common_nvm_free(out);
        return nullptr;
    }
    r[p++] = 'R';
    r[p++] = 'V';
    r[p++] = uint8_t(remaining);
    uint8_t sum = 0;
    for (uint32_t i = 0; i < p; ++i)
        sum = uint8_t(sum + r[i]);
    r[p] = uint8_t(-sum);
    r[size - 1] = 0x78;
    return out;
}

}  // namespace

extern "C" {

uint32_t vpd_table_size(const vpd_field_table* t)
{
    if (!t)
        return 0;
    uint32_t need = uint32_t(t->name_length) + 6;
    for (uint32_t i = 0; i < t->count && i < kVpdMaxFields; ++i)
        need += uint32_t(t->fields[i].length) + 3;
    return need + 6;
}

uint8_t* vpd_table_build_image(const vpd_field_table* t, uint32_t size, uint32_t header)
{
    return build(t, size, header, false);
}

uint8_t* vpd_table_build_image_ext(const vpd_field_table* t, uint32_t size, uint32_t header)
{
    return build(t, size, header, true);
}

int vpd_field_name_valid(char* name)
{
    if (!name)
        return 0;
    for (char* c = name; *c; ++c)
        *c = char(std::toupper(static_cast<unsigned char>(*c)));
    static const char* const kNames[] = {"PRODUCT NAME", "PRODUCT_NAME", "PN", "EC", "MN", "SN",
                                         "YA",           "FN",           "CC", "FC", "YB"};
    for (const char* k : kNames)
        if (!std::strcmp(name, k))
            return 1;
    return name[0] == 'V' ? 1 : 0;
}

}  // extern "C"

namespace fwupg::nvm {

int vpd_table_from_image(const uint8_t* img, uint32_t length, vpd_field_table* t, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        return -1;
    };
    if (!img || !t)
        return fail("no image");
    std::memset(t, 0, sizeof *t);
    uint32_t p = 4;
    if (length < p + 3 || img[p] != 0x82)
        return fail("Expected ID TAG 0x82 is missing");
    const uint32_t n = uint32_t(img[p + 1]) | uint32_t(img[p + 2]) << 8;
    p += 3;
    if (n > kVpdNameRoom || uint64_t(p) + n + 3 > length)
        return fail("the ID string does not fit");
    std::memcpy(t->product_name, img + p, n);
    t->name_length = uint16_t(n);
    p += n;
    if (img[p] != 0x90)
        return fail("Expected VPD-R TAG 0x90 is missing");
    p += 3;
    while (uint64_t(p) + 3 <= length) {
        const char k0 = char(img[p]), k1 = char(img[p + 1]);
        const uint32_t len = img[p + 2];
        if (k0 == 'R' && k1 == 'V')
            return 0;
        if (uint64_t(p) + 3 + len > length)
            return fail("a field runs past the image");
        if (t->count >= kVpdMaxFields)
            return fail("more fields than the table holds");
        vpd_field& f = t->fields[t->count++];
        f.keyword[0] = k0;
        f.keyword[1] = k1;
        const uint32_t take = len > kVpdMaxData ? kVpdMaxData : len;
        f.length = uint8_t(take);
        std::memcpy(f.data, img + p + 3, take);
        p += 3 + len;
    }
    return fail("no RV field");
}

vpd_field* vpd_table_find(vpd_field_table* t, const char* keyword)
{
    for (uint32_t i = 0; i < t->count && i < kVpdMaxFields; ++i)
        if (t->fields[i].keyword[0] == keyword[0] && t->fields[i].keyword[1] == keyword[1])
            return &t->fields[i];
    return nullptr;
}

bool vpd_table_set(vpd_field_table* t, const char* keyword, const uint8_t* data, uint32_t length, bool* added)
{
    if (length > kVpdMaxData || std::strlen(keyword) != 2)
        return false;
    vpd_field* f = vpd_table_find(t, keyword);
    if (added)
        *added = f == nullptr;
    if (!f) {
        if (t->count >= kVpdMaxFields)
            return false;
        f = &t->fields[t->count++];
        f->keyword[0] = keyword[0];
        f->keyword[1] = keyword[1];
        f->keyword[2] = 0;
    }
    std::memset(f->data, 0, sizeof f->data);
    std::memcpy(f->data, data, length);
    f->length = uint8_t(length);
    return true;
}

bool vpd_table_set_name(vpd_field_table* t, const char* name, uint32_t length)
{
    if (length > kVpdNameRoom - 1)
        return false;
    std::memset(t->product_name, 0, sizeof t->product_name);
    std::memcpy(t->product_name, name, length);
    t->name_length = uint16_t(length);
    return true;
}

}  // namespace fwupg::nvm
