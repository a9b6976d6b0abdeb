#include "testkit/legacy_image.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

#include "testkit/legacy_stock.h"

namespace testkit::legacy {

void put_be32(bytes& b, size_t at, uint32_t v)
{
    b.at(at) = uint8_t(v >> 24);
    b.at(at + 1) = uint8_t(v >> 16);
    b.at(at + 2) = uint8_t(v >> 8);
    b.at(at + 3) = uint8_t(v);
}

uint32_t get_be32(const bytes& b, size_t at)
{
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | b.at(at + 3);
}

void put_le32(bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = uint8_t(v >> (8 * i));
}

bytes dword_reversed(const bytes& b)
{
    bytes out = b;
    for (size_t i = 0; i + 4 <= out.size(); i += 4)
        for (int k = 0; k < 2; ++k)
            std::swap(out[i + k], out[i + 3 - k]);
    return out;
}

uint32_t crc32_of(const bytes& b, size_t at, size_t len)
{
    if (at + len > b.size())
        throw std::out_of_range("crc range");
    return uint32_t(crc32(crc32(0, nullptr, 0), b.data() + at, uInt(len)));
}

bool residue_ok(const bytes& b, size_t at, size_t len_with_crc)
{
    return at + len_with_crc <= b.size() && len_with_crc >= 4 &&
           uint32_t(crc32(0, b.data() + at, uInt(len_with_crc))) == CRC_RESIDUE;
}

void seal(bytes& b, size_t at, size_t len) { put_le32(b, at + len, crc32_of(b, at, len)); }

bool is_dual(int board) { return board == 5709 || board == 5716 || board == 57728; }

bytes vpd_stream(const std::string& product, const std::string& pn, const std::string& ec, const std::string& sn,
                 const std::string& mn)
{
    bytes v(256, 0);
    size_t p = 0;
    v[p++] = 0x82;
    v[p++] = uint8_t(product.size() + 1);
    v[p++] = 0;
    for (char c : product)
        v[p++] = uint8_t(c);
    v[p++] = 0;
    v[p++] = 0x90;
    v[p++] = uint8_t(121 - (product.size() + 1));
    v[p++] = 0;
    for (auto [k, val] : {std::pair{"PN", &pn}, {"EC", &ec}, {"SN", &sn}, {"MN", &mn}}) {
        v[p++] = uint8_t(k[0]);
        v[p++] = uint8_t(k[1]);
        v[p++] = uint8_t(val->size());
        for (char c : *val)
            v[p++] = uint8_t(c);
    }
    v[p] = 'R';
    v[p + 1] = 'V';
    v[p + 2] = uint8_t(127 - (p + 3));
    uint8_t sum = 0;
    for (size_t i = 0; i < p + 3; ++i)
        sum = uint8_t(sum + v[i]);
    v[p + 3] = uint8_t(-sum);
    v[127] = 0x78;
    return v;
}

namespace {
uint32_t mac_hi(const uint8_t m[6]) { return uint32_t(m[0]) << 8 | m[1]; }
uint32_t mac_lo(const uint8_t m[6]) { return uint32_t(m[2]) << 24 | uint32_t(m[3]) << 16 | uint32_t(m[4]) << 8 | m[5]; }
uint32_t flash_addr(uint32_t lin) { return (lin / 264) << 9 | lin % 264; }
}  // namespace

bytes build_nvram(const adapter& a)
{
    bytes n(a.nvm_size, 0xFF);
    std::fill(n.begin(), n.begin() + IMAGES, 0);
    const bool dual = is_dual(a.board);

    // Images from 0x600, each followed by its CRC word.
    size_t at = IMAGES;
    int entry = 0;
    for (const image& im : a.images) {
        const size_t len = (im.data.size() + 3) & ~size_t(3);
        if (im.at)
            at = im.at;
        if (at + len + 4 > n.size())
            throw std::runtime_error("images do not fit");
        std::fill(n.begin() + at, n.begin() + at + len, 0);
        std::copy(im.data.begin(), im.data.end(), n.begin() + at);
        seal(n, at, len);
        const uint32_t byte_count = uint32_t(len + 4);
        if (im.dir_type == 0xF0000000u) {
            put_be32(n, 0, 0x669955AAu);
            put_be32(n, 4, im.sram);
            put_be32(n, 8, byte_count / 4);
            put_be32(n, 12, a.buffered && !a.untranslated_bootstrap ? flash_addr(uint32_t(at)) : uint32_t(at));
        } else {
            if (entry >= 16)
                throw std::runtime_error("directory full");
            const size_t e = 0x14 + 12 * size_t(entry++);
            put_be32(n, e, im.sram);
            put_be32(n, e + 4, im.dir_type | im.processor | byte_count);
            put_be32(n, e + 8, uint32_t(at));
        }
        at += len + 4;
    }
    seal(n, 0, 16);

    // Spare-number text, dword-reversed like all byte data.
    bytes spare(16, 0);
    std::copy(a.spare.begin(), a.spare.begin() + std::min<size_t>(a.spare.size(), 16), spare.begin());
    spare = dword_reversed(spare);
    std::copy(spare.begin(), spare.end(), n.begin() + 0xE8);
    seal(n, 0x14, 0xFC - 0x14);

    // HW_INFO.
    put_be32(n, 0x100, 0x41000000u);
    const uint32_t id = uint32_t(a.vid) << 16 | a.did, ss = uint32_t(a.ssid) << 16 | a.svid;
    if (dual) {
        put_be32(n, 0x154, id);
        put_be32(n, 0x158, ss);
        put_be32(n, 0x1A8, id);
        put_be32(n, 0x1AC, ss);
    } else {
        put_be32(n, 0x104, id);
        put_be32(n, 0x108, ss);
    }
    put_be32(n, 0x11C, a.power_dissipated);
    put_be32(n, 0x120, a.power_consumed);
    put_be32(n, 0x124, a.feature_bits);
    put_be32(n, 0x128, a.nvm_size & 0xFFF000u);
    if (a.board == 5708)
        put_be32(n, 0x12C, 1u << 24);
    const size_t mac_at[2][3] = {{0x134, 0x15C, 0x164}, {0x188, 0x1B0, 0x1B8}};
    for (int fn = 0; fn < (dual ? 2 : 1); ++fn) {
        put_be32(n, mac_at[fn][0], mac_hi(a.mac[fn]));
        put_be32(n, mac_at[fn][0] + 4, mac_lo(a.mac[fn]));
        put_be32(n, mac_at[fn][1], mac_hi(a.iscsi_mac[fn]));
        put_be32(n, mac_at[fn][1] + 4, mac_lo(a.iscsi_mac[fn]));
        put_be32(n, mac_at[fn][2], a.backup_mac_unset ? 0xFFFFFFFFu : mac_hi(a.backup_mac[fn]));
        put_be32(n, mac_at[fn][2] + 4, a.backup_mac_unset ? 0xFFFFFFFFu : mac_lo(a.backup_mac[fn]));
        put_be32(n, fn ? 0x190 : 0x13C, a.hw_h8[fn]);
    }
    for (int i = 0; i < 8; ++i)
        put_be32(n, 0x1DC + 4 * size_t(i), a.power_budget[i]);
    seal(n, 0x100, 0xFC);

    // FEAT_INFO.
    put_be32(n, 0x200, 0x41000000u);
    const size_t f_at[2] = {0x214, 0x288};
    for (int fn = 0; fn < 2; ++fn) {
        for (int w = 0; w < 5; ++w)
            put_be32(n, f_at[fn] + 4 * size_t(w), a.feat_words[fn][w]);
        put_be32(n, f_at[fn] + 0x28, 0x20);   // rescfg count
        put_be32(n, f_at[fn] + 0x30, a.smbus[fn]);
        put_be32(n, f_at[fn] + 0x38, a.forced_l1 ? 0xD8000BB8u : 0);
    }
    seal(n, 0x200, 0xFC);

    // VPD, dword-reversed; no CRC.
    const bytes vpd = dword_reversed(vpd_stream(a.product, a.pn, a.ec, a.sn, a.mn));
    std::copy(vpd.begin(), vpd.end(), n.begin() + VPD);
    return n;
}

bytes text_image(const std::string& text, uint8_t major, uint8_t minor, uint8_t build, size_t size)
{
    bytes b(std::max<size_t>(size, 32), 0);
    for (size_t i = 0; i < text.size() && i < 11; ++i)
        b[16 + i] = uint8_t(text[i]);
    put_be32(b, 28, uint32_t(major) << 24 | uint32_t(minor) << 16 | uint32_t(build) << 8);
    return b;
}

bytes pointed_version_image(const std::string& version, size_t size)
{
    bytes b(std::max<size_t>(size, 48), 0);
    put_be32(b, 4, 32);
    bytes text(16, 0);
    std::copy(version.begin(), version.begin() + std::min<size_t>(version.size(), 15), text.begin());
    text = dword_reversed(text);
    std::copy(text.begin(), text.end(), b.begin() + 32);
    return b;
}

bytes rom_image(uint16_t device_id, uint8_t code_type, uint8_t pcir_revision, uint16_t code_revision, bool last,
                uint16_t machine, uint8_t units)
{
    bytes r(size_t(units) * 512, 0);
    r[0] = 0x55;
    r[1] = 0xAA;
    r[2] = units;
    r[10] = uint8_t(machine);
    r[11] = uint8_t(machine >> 8);
    const size_t d = 0x1C;
    r[0x18] = uint8_t(d);
    r[d] = 'P'; r[d + 1] = 'C'; r[d + 2] = 'I'; r[d + 3] = 'R';
    r[d + 4] = 0xE4; r[d + 5] = 0x14;
    r[d + 6] = uint8_t(device_id); r[d + 7] = uint8_t(device_id >> 8);
    r[d + 0x0C] = pcir_revision;
    r[d + 0x10] = units;
    r[d + 0x12] = uint8_t(code_revision); r[d + 0x13] = uint8_t(code_revision >> 8);
    r[d + 0x14] = code_type;
    r[d + 0x15] = last ? 0x80 : 0;
    if (code_type == 0) {
        uint8_t sum = 0;
        for (uint8_t c : r)
            sum = uint8_t(sum + c);
        r[7] = uint8_t(-sum);
    }
    return r;
}

bytes wrapped_v1(uint32_t t, const bytes& data)
{
    bytes b(16);
    put_le32(b, 0, 0x669955AAu);
    put_le32(b, 4, 1);
    put_le32(b, 8, t);
    put_le32(b, 12, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

bytes wrapped_v2(uint32_t t, uint32_t compat, const bytes& data)
{
    bytes b(20);
    put_le32(b, 0, 0x669955AAu);
    put_le32(b, 4, 2);
    put_le32(b, 8, t);
    put_le32(b, 12, compat);
    put_le32(b, 16, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

bytes sectioned_file(const bytes& memory_image, uint32_t sram, bool five_sections)
{
    const size_t header = five_sections ? 76 : 88;
    bytes b(header, 0);
    put_le32(b, 0, 0x45901011u);
    put_le32(b, 4, five_sections ? 0 : 1);
    put_le32(b, 16, uint32_t(header));
    put_le32(b, 20, sram);
    put_le32(b, 24, uint32_t(memory_image.size()));
    const bytes file_words = dword_reversed(memory_image);
    b.insert(b.end(), file_words.begin(), file_words.end());
    return b;
}

}  // namespace testkit::legacy
