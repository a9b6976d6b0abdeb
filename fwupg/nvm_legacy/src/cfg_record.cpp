// Where each configuration field lives in NVRAM, reading the record and writing it back.
#include "fwupg/nvm_legacy/cfg_record.h"

#include <cstring>

#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

uint8_t g_cfg_otherfn = 0;

namespace {

constexpr uint32_t DIR_TEXT = 0xE8, HW = 0x100, FEAT = 0x200, VPD_AT = 0x300;

// One 256-byte block (or the 236-byte directory region) as host-order words, addressed by NVRAM offset.
struct block {
    uint32_t base;
    uint32_t words[64];
    uint32_t& at(uint32_t off) { return words[(off - base) / 4]; }
    uint32_t at(uint32_t off) const { return words[(off - base) / 4]; }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(words); }
};

constexpr uint32_t bits(uint32_t w, int lo, int width) { return (w >> lo) & ((1u << width) - 1); }
constexpr uint32_t place(uint32_t v, int lo, int width) { return (v & ((1u << width) - 1)) << lo; }

void get_mac(uint8_t mac[6], uint32_t hi, uint32_t lo)
{
    mac[0] = uint8_t(hi >> 8);
    mac[1] = uint8_t(hi);
    for (int i = 0; i < 4; ++i)
        mac[2 + i] = uint8_t(lo >> (24 - 8 * i));
}
void put_mac(const uint8_t mac[6], uint32_t& hi, uint32_t& lo)
{
    hi = uint32_t(mac[0]) << 8 | mac[1];
    lo = uint32_t(mac[2]) << 24 | uint32_t(mac[3]) << 16 | uint32_t(mac[4]) << 8 | mac[5];
}
void get_power(uint8_t p[4], uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(w >> (8 * i));
}
uint32_t put_power(const uint8_t p[4])
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct layout {
    int board;
    bool dual;
    uint32_t h, f;             // own function's HW and FEAT blocks
    uint32_t other_f;          // the other function's FEAT block (dual boards)
};

layout layout_of(const HostOps& ops)
{
    layout l{};
    l.board = toe::board(ops);
    l.dual = toe::board_is_dual(l.board);
    const bool first = !l.dual || toe_cfg_own_block_first(ops);
    l.h = first ? 0x134 : 0x188;
    l.f = first ? 0x214 : 0x288;
    l.other_f = first ? 0x288 : 0x214;
    return l;
}

bool read_block_at(const HostOps& ops, uint32_t dev, block& b, uint32_t base, uint32_t len)
{
    b.base = base;
    std::memset(b.words, 0, sizeof b.words);
    return toe::read_block(ops, dev, base, len, b.bytes()) == 0;
}

// The 0x124 single-bit fields: field pointer offset and bit.
struct bit_field {
    uint8_t toe_cfg_record::*field;
    int bit;
};
constexpr bit_field FLAGS_124[] = {
    {&toe_cfg_record::f14, 0}, {&toe_cfg_record::f59, 1}, {&toe_cfg_record::f36, 2}, {&toe_cfg_record::f37, 3},
    {&toe_cfg_record::f40, 5}, {&toe_cfg_record::f41, 6}, {&toe_cfg_record::f42, 7}, {&toe_cfg_record::f43, 11},
    {&toe_cfg_record::f48, 15}, {&toe_cfg_record::f61, 18}, {&toe_cfg_record::f66, 19},
};
// Field 81 (u32) is the one more bit of 0x124, at bit 24.

bool is_5709_or_5716(int board) { return board == 5709 || board == 5716; }

void decode_hw(const layout& l, const block& hw, toe_cfg_record* r)
{
    const uint32_t h = l.h;
    get_mac(r->f1, hw.at(h), hw.at(h + 4));
    get_power(r->f2, hw.at(0x11C));
    get_power(r->f3, hw.at(0x120));
    const uint32_t id = hw.at(l.dual ? h + 0x20 : 0x104), ss = hw.at(l.dual ? h + 0x24 : 0x108);
    r->f4 = uint16_t(id >> 16);
    r->f5 = uint16_t(id);
    r->f6 = uint16_t(ss);
    r->f7 = uint16_t(ss >> 16);
    const uint32_t w124 = hw.at(0x124), h8 = hw.at(h + 8);
    r->f13 = uint8_t(l.dual ? bits(h8, 24, 4) : bits(w124, 8, 3));
    for (const bit_field& b : FLAGS_124)
        r->*b.field = uint8_t(bits(w124, b.bit, 1));
    r->f81 = bits(w124, 24, 1);
    r->f38 = r->f63 = uint8_t(bits(w124, 12, 3));
    r->f50 = r->f62 = uint8_t(bits(w124, 16, 2));
    if (l.board == 5708)
        r->f75 = uint8_t(bits(hw.at(0x12C), 24, 1));
    else if (is_5709_or_5716(l.board))
        r->f75 = uint8_t(bits(w124, 20, 1));
    r->f79 = w124 & 0xF0000000u;
    r->f46 = uint16_t(h8);
    r->f49 = uint8_t(bits(h8, 16, 5));
    if (l.dual)
        r->f76 = bits(h8, 21, 1);
    get_mac(r->f33, hw.at(h + 0x28), hw.at(h + 0x2C));
    get_mac(r->f77, hw.at(h + 0x30), hw.at(h + 0x34));
    get_power(r->f51, hw.at(0x1E0));
    get_power(r->f52, hw.at(0x1DC));
    r->f53 = hw.at(0x1E8);
    r->f54 = hw.at(0x1EC);
    r->f55 = hw.at(0x1F0);
    r->f56 = hw.at(0x1F4);
    uint32_t* budget[] = {&r->f67, &r->f68, &r->f69, &r->f70, &r->f71, &r->f72, &r->f73, &r->f74};
    for (int i = 0; i < 8; ++i)
        *budget[i] = hw.at(0x1DC + 4 * i);
}

void decode_feat(const layout& l, const block& ft, toe_cfg_record* r)
{
    const uint32_t f = l.f;
    const uint32_t w0 = ft.at(f), w4 = ft.at(f + 4), w8 = ft.at(f + 8), wc = ft.at(f + 0xC);
    r->f16 = uint8_t(bits(w0, 0, 4));
    r->f17 = uint8_t(bits(w0, 24, 1));
    r->f21 = uint8_t(bits(w0, 25, 1));
    r->f78 = uint8_t(bits(w0, 23, 1));
    r->f29 = uint8_t(bits(w0, 26, 1));
    r->f60 = uint8_t(bits(w0, 27, 1));
    r->f18 = uint8_t(bits(w4, 0, 4));
    r->f19 = uint8_t(bits(w4, 4, 2));
    r->f20 = uint8_t(bits(w4, 6, 1));
    r->f22 = uint8_t(bits(w8, 2, 4));
    r->f23 = uint16_t(bits(w8, 0, 2) | bits(w8, 22, 1) << 2);
    r->f24 = uint8_t(bits(w8, 20, 2));
    r->f25 = uint8_t(bits(w8, 16, 4));
    r->f26 = uint8_t(bits(w8, 7, 1));
    r->f27 = uint8_t(bits(w8, 6, 1));
    r->f28 = uint8_t(bits(w8, 8, 8));
    r->f80 = bits(w8, 23, 3);
    r->f47 = uint8_t(bits(wc, 1, 1));
    r->f64 = uint8_t(bits(wc, 3, 1));
    r->f65 = uint8_t(bits(wc, 4, 2));
    const uint32_t w10 = ft.at(f + 0x10), w30 = ft.at(f + 0x30);
    r->f34 = uint8_t(bits(w10, 16, 1));
    r->f35 = uint16_t(w10);
    r->f44 = uint8_t(w30 & 0xFE);
    r->f45 = uint8_t(w30 & 1);
    r->f57 = ft.at(f + 0x38) == 0xD8000BB8u ? 1 : 0;
}

}  // namespace

bool toe_cfg_own_block_first(const HostOps& ops)
{
    return toe::port0_is_first(ops) != (g_cfg_otherfn != 0);
}

int toe_nvm_read_cfg(HostOps ops, toe_cfg_record* rec)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;
    const layout l = layout_of(ops);
    if (!l.dual && g_cfg_otherfn) {
        fwupg_dbg_printf("This is a single port device or image file\n");
        g_cfg_otherfn = 0;
        return 1;
    }
    block hw, ft, dir;
    uint8_t vpd[256];
    if (!read_block_at(ops, dev, hw, HW, 256) || !read_block_at(ops, dev, ft, FEAT, 256) ||
        !read_block_at(ops, dev, dir, TOE_DIR_OFFSET, TOE_DIR_REGION_LEN) ||
        toe::read_block(ops, dev, VPD_AT, sizeof vpd, vpd) != 0)
        return 1;
    decode_hw(l, hw, rec);
    decode_feat(l, ft, rec);
    vpd_parse_image(&rec->vpd, vpd, 1);
    // The spare-number text stands in natural byte order once its words are read as host values.
    const char* text = reinterpret_cast<const char*>(dir.bytes() + (DIR_TEXT - TOE_DIR_OFFSET));
    std::memset(rec->f39, 0, sizeof rec->f39);
    std::memcpy(rec->f39, text, strnlen(text, sizeof rec->f39 - 1));
    return 0;
}

namespace {

void encode_hw(const HostOps& ops, const layout& l, const toe_cfg_record* r, block& hw)
{
    const uint32_t h = l.h;
    hw.at(0x100) = 0x41000000u;
    put_mac(r->f1, hw.at(h), hw.at(h + 4));
    hw.at(0x11C) = put_power(r->f2);
    hw.at(0x120) = put_power(r->f3);
    hw.at(l.dual ? h + 0x20 : 0x104) = uint32_t(r->f4) << 16 | r->f5;
    hw.at(l.dual ? h + 0x24 : 0x108) = uint32_t(r->f7) << 16 | r->f6;
    if (bits(hw.at(0x128), 12, 12) == 0)
        hw.at(0x128) |= uint32_t(toe_nvm_size(ops.interp)) & 0xFFF000u;

    uint32_t w124 = 0;
    for (const bit_field& b : FLAGS_124)
        w124 |= place(r->*b.field, b.bit, 1);
    w124 |= place(r->f81, 24, 1);
    w124 |= r->f79 & 0xF0000000u;
    w124 |= place(l.dual ? r->f62 : r->f50, 16, 2);
    w124 |= place(l.dual ? r->f63 : r->f38, 12, 3);
    if (!l.dual)
        w124 |= place(r->f13, 8, 3);
    if (is_5709_or_5716(l.board))
        w124 |= place(r->f75, 20, 1);
    hw.at(0x124) = w124;
    if (l.board == 5708)
        hw.at(0x12C) = (hw.at(0x12C) & ~(1u << 24)) | place(r->f75, 24, 1);

    uint32_t h8 = r->f46 | place(r->f49, 16, 5);
    if (l.dual)
        h8 |= place(r->f13, 24, 4) | place(r->f76, 21, 1);
    hw.at(h + 8) = h8;
    put_mac(r->f33, hw.at(h + 0x28), hw.at(h + 0x2C));
    put_mac(r->f77, hw.at(h + 0x30), hw.at(h + 0x34));
    const uint32_t budget[] = {r->f67, r->f68, r->f69, r->f70, r->f71, r->f72, r->f73, r->f74};
    for (int i = 0; i < 8; ++i)
        hw.at(0x1DC + 4 * i) = budget[i];
}

void encode_feat(const layout& l, const toe_cfg_record* r, block& ft)
{
    const uint32_t f = l.f;
    ft.at(0x200) = 0x41000000u;
    ft.at(f) = place(r->f16, 0, 4) | place(r->f17, 24, 1) | place(r->f21, 25, 1) | place(r->f78, 23, 1) |
               place(r->f29, 26, 1) | place(r->f60, 27, 1);
    ft.at(f + 4) = place(r->f18, 0, 4) | place(r->f19, 4, 2) | place(r->f20, 6, 1);
    // Bits 31-26 of the boot word belong to no field and keep their value.
    ft.at(f + 8) = (ft.at(f + 8) & 0xFC000000u) | place(r->f22, 2, 4) | place(r->f23, 0, 2) |
                   place(r->f23 >> 2, 22, 1) | place(r->f24, 20, 2) | place(r->f25, 16, 4) | place(r->f26, 7, 1) |
                   place(r->f27, 6, 1) | place(r->f28, 8, 8) | place(r->f80, 23, 3);
    const uint32_t c_bits = place(r->f47, 1, 1) | place(r->f64, 3, 1) | place(r->f65, 4, 2);
    ft.at(f + 0xC) = c_bits;
    if (l.dual) {
        const uint32_t o = l.other_f;
        ft.at(o + 8) = (ft.at(o + 8) & ~0xFF00u) | place(r->f28, 8, 8);
        ft.at(o) = (ft.at(o) & ~(3u << 26)) | place(r->f60, 27, 1) | place(r->f29, 26, 1);
        ft.at(o + 0xC) = (ft.at(o + 0xC) & ~0x3Au) | c_bits;
    }
    ft.at(f + 0x30) = (ft.at(f + 0x30) & 0xFFFFFF00u) | (r->f44 & 0xFEu) | (r->f45 & 1u);
    ft.at(f + 0x10) = r->f35 | place(r->f34, 16, 1);
    ft.at(f + 0x38) = r->f57 ? 0xD8000BB8u : 0;
}

// Writes a block of host-order words with its CRC word after the data. Only what differs from
// what the NVRAM holds is written: the changed words and the CRC word in one write, nothing when
// the block already holds its values.
bool write_with_crc(const HostOps& ops, uint32_t dev, block& b, uint32_t data_len)
{
    b.words[data_len / 4] = toe_crc_of_words(b.words, data_len, 0);
    return toe::write_changed(ops, dev, b.base, data_len + 4, b.bytes()) == 0;
}

}  // namespace

int toe_nvm_write_cfg(HostOps ops, const toe_cfg_record* rec, uint32_t mask)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;
    const layout l = layout_of(ops);
    if (g_cfg_otherfn && !l.dual) {
        g_cfg_otherfn = 0;
        return 1;
    }
    bool ok = true;
    block b;
    // Each block is rebuilt from its current contents; a block that cannot be read is not written,
    // so a read failure never replaces the adapter's data with an empty block.
    if (mask & TOE_CFG_DIR_TEXT) {
        if (read_block_at(ops, dev, b, TOE_DIR_OFFSET, TOE_DIR_REGION_LEN)) {
            std::memcpy(b.bytes() + (DIR_TEXT - TOE_DIR_OFFSET), rec->f39, 16);
            ok &= write_with_crc(ops, dev, b, TOE_DIR_REGION_LEN - 4);
        } else {
            ok = false;
        }
    }
    if (mask & TOE_CFG_HW_INFO) {
        if (read_block_at(ops, dev, b, HW, 256)) {
            encode_hw(ops, l, rec, b);
            ok &= write_with_crc(ops, dev, b, 252);
        } else {
            ok = false;
        }
    }
    if (mask & TOE_CFG_FEAT_INFO) {
        if (read_block_at(ops, dev, b, FEAT, 256)) {
            encode_feat(l, rec, b);
            ok &= write_with_crc(ops, dev, b, 252);
        } else {
            ok = false;
        }
    }
    if (mask & TOE_CFG_VPD) {
        // A VPD that changes is written whole: it has no CRC word for the NVRAM check to find a
        // torn write by, and the image it is built into comes first in the block, so a write that
        // stops after it leaves the whole new VPD.
        block held;
        const bool read = read_block_at(ops, dev, held, VPD_AT, 256);
        if (vpd_build_image(&rec->vpd, b.bytes()) != 0)
            ok = false;
        else if (!read || std::memcmp(b.bytes(), held.bytes(), 256) != 0)
            ok &= toe::write_block(ops, dev, VPD_AT, 256, b.bytes()) == 0;
    }
    g_cfg_otherfn = 0;
    if (g_virt_nvm.data && dev == 0)
        nvm_file_write_refused(ops, virt_nvm_file_name);
    return ok ? 0 : 1;
}

const char* toe_cfg_power_lookup(uint32_t chip_id, int column)
{
    struct row {
        uint32_t key;
        const char* did;
        const char* power;
    };
    static const row rows[] = {
        {0x57060000u, "164a", "4:0:0:24"},  {0x57060001u, "16aa", "17:0:0:17"},
        {0x57080000u, "164c", "4:0:0:29"},  {0x57080001u, "16ac", "25:0:0:25"},
        {0x57090003u, "1639", "25:0:0:25"}, {0x57090000u, "163a", "25:0:0:25"},
        {0x57090008u, "163b", "25:0:0:25"}, {0x57090009u, "163c", "25:0:0:25"},
    };
    const uint32_t key = chip_id & 0xFFFF000Fu;
    for (const row& r : rows)
        if (r.key == key)
            return column == 0 ? r.did : (column == 1 || column == 2) ? r.power : nullptr;
    return nullptr;
}
