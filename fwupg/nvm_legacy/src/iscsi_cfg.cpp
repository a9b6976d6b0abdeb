// Layout conversions of the iSCSI boot configuration block (field map in iscsi_cfg.h).
#include "fwupg/nvm_legacy/iscsi_cfg.h"

#include <algorithm>
#include <cstring>

namespace {

// A field's place in each layout.
struct Field {
    uint32_t v1_off, v1_len, v2_off, v2_len;
};

constexpr Field kHeadText{0x008, 33, 0x008, 33};
constexpr Field kHeadBytes{0x029, 2, 0x029, 2};
constexpr Field kBlock{0x080, 40, 0x080, 40};
constexpr Field kAddress[5] = {
    {0x0a8, 4, 0x0a8, 16}, {0x0ac, 4, 0x0b8, 16}, {0x0b0, 4, 0x0c8, 16}, {0x167, 4, 0x0d8, 16}, {0x16b, 4, 0x0e8, 16}};
constexpr Field kTexts[3] = {{0x0b4, 129, 0x0f8, 129}, {0x135, 33, 0x179, 129}, {0x156, 17, 0x1fa, 0x2c0 - 0x1fa}};

// Target blocks: where each starts, and its fields relative to that start.
constexpr uint32_t kTargetV1[2] = {0x1a8, 0x2a8};
constexpr uint32_t kTargetV2[2] = {0x2c0, 0x500};
constexpr uint32_t kTargetV1Len = 0x100, kTargetV2Len = 0x240;
constexpr Field kTargetWords{0x00, 4, 0x00, 4};
constexpr Field kTargetAddress{0x04, 4, 0x04, 16};
constexpr Field kTargetWord3{0x08, 2, 0x14, 2};
constexpr Field kTargetTexts[3] = {
    {0x0a, 33, 0x16, 129}, {0x2b, 17, 0x97, 17}, {0x3c, kTargetV1Len - 0x3c, 0xa8, kTargetV2Len - 0xa8}};

constexpr uint32_t kAddress2V2 = 0x0b8;
constexpr uint8_t kIpv6Address2Byte = 0x40;

static_assert(kTargetV1[1] + kTargetV1Len <= kIscsiCfgV1Bytes);
static_assert(kTargetV2[1] + kTargetV2Len <= kIscsiCfgV2Bytes);
static_assert(kTexts[2].v2_off + kTexts[2].v2_len == kTargetV2[0]);

enum class Dir { to_v1, to_v2 };

// One copy between the layouts; `base_src`/`base_dst` move a target-block field to its block.
struct Copier {
    const uint8_t* src;
    uint8_t* dst;
    Dir dir;

    void locate(const Field& f, uint32_t src_base, uint32_t dst_base, const uint8_t** s, uint32_t* s_len,
                uint8_t** d, uint32_t* d_len) const
    {
        const bool down = dir == Dir::to_v1;
        *s = src + src_base + (down ? f.v2_off : f.v1_off);
        *s_len = down ? f.v2_len : f.v1_len;
        *d = dst + dst_base + (down ? f.v1_off : f.v2_off);
        *d_len = down ? f.v1_len : f.v2_len;
    }
    // Raw bytes, as many as both fields hold (an IPv4 address is the first 4 bytes of a wide field).
    void raw(const Field& f, uint32_t src_base = 0, uint32_t dst_base = 0) const
    {
        const uint8_t* s;
        uint8_t* d;
        uint32_t s_len, d_len;
        locate(f, src_base, dst_base, &s, &s_len, &d, &d_len);
        std::memcpy(d, s, std::min(s_len, d_len));
    }
    // A zero-terminated text, read within its field and cut to leave room for the terminator.
    void text(const Field& f, uint32_t src_base = 0, uint32_t dst_base = 0) const
    {
        const uint8_t* s;
        uint8_t* d;
        uint32_t s_len, d_len;
        locate(f, src_base, dst_base, &s, &s_len, &d, &d_len);
        const size_t n = std::min<size_t>(strnlen(reinterpret_cast<const char*>(s), s_len), d_len - 1);
        std::memcpy(d, s, n);
        d[n] = 0;
    }
};

uint32_t load_le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void store_le32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void store_head(uint8_t* dst, uint16_t layout, uint32_t flags)
{
    store_le32(dst, uint32_t(layout) << 16 | kIscsiCfgSignature);
    store_le32(dst + 4, flags);
}

// Everything but the flags word and the addresses.
void copy_settings(const Copier& c)
{
    c.text(kHeadText);
    c.raw(kHeadBytes);
    c.raw(kBlock);
    for (const Field& f : kTexts)
        c.text(f);
    const bool down = c.dir == Dir::to_v1;
    for (int t = 0; t < 2; ++t) {
        const uint32_t sb = down ? kTargetV2[t] : kTargetV1[t], db = down ? kTargetV1[t] : kTargetV2[t];
        c.raw(kTargetWords, sb, db);
        c.raw(kTargetWord3, sb, db);
        for (const Field& f : kTargetTexts)
            c.text(f, sb, db);
    }
}

void copy_addresses(const Copier& c)
{
    const bool down = c.dir == Dir::to_v1;
    for (const Field& f : kAddress)
        c.raw(f);
    for (int t = 0; t < 2; ++t)
        c.raw(kTargetAddress, down ? kTargetV2[t] : kTargetV1[t], down ? kTargetV1[t] : kTargetV2[t]);
}

}  // namespace

uint16_t iscsi_boot_cfg_layout(const uint8_t* block, size_t length)
{
    if (!block || length < 4)
        return 0;
    const uint32_t w = load_le32(block);
    return (w & 0xFFFF) == kIscsiCfgSignature ? uint16_t(w >> 16) : 0;
}

int iscsi_boot_cfg_to_v1(const uint8_t (&src)[kIscsiCfgV2Bytes], uint8_t (&dst)[kIscsiCfgV1Bytes])
{
    if (iscsi_boot_cfg_layout(src, sizeof src) != kIscsiCfgLayout2)
        return -1;
    const uint32_t flags = load_le32(src + 4);
    std::memset(dst, 0, sizeof dst);
    store_head(dst, kIscsiCfgLayout1, flags & ~kIscsiCfgIpv6Flag);
    const Copier c{src, dst, Dir::to_v1};
    copy_settings(c);
    // IPv6 addresses have no place in layout 1: they are left cleared.
    if (!(flags & kIscsiCfgIpv6Flag))
        copy_addresses(c);
    return 0;
}

int iscsi_boot_cfg_to_v2(const uint8_t (&src)[kIscsiCfgV1Bytes], uint8_t (&dst)[kIscsiCfgV2Bytes], int ipv6)
{
    if (iscsi_boot_cfg_layout(src, sizeof src) != kIscsiCfgLayout1)
        return -1;
    const uint32_t flags = load_le32(src + 4) & ~kIscsiCfgIpv6Flag;
    std::memset(dst, 0, sizeof dst);
    store_head(dst, kIscsiCfgLayout2, ipv6 ? flags | kIscsiCfgIpv6Flag : flags);
    const Copier c{src, dst, Dir::to_v2};
    copy_settings(c);
    if (ipv6)
        dst[kAddress2V2] = kIpv6Address2Byte;
    else
        copy_addresses(c);
    return 0;
}

int iscsi_boot_cfg_reset_ip(uint8_t (&block)[kIscsiCfgV2Bytes], int ipv4)
{
    if (iscsi_boot_cfg_layout(block, sizeof block) != kIscsiCfgLayout2)
        return -1;
    const uint32_t flags = load_le32(block + 4);
    store_le32(block + 4, ipv4 ? flags & ~kIscsiCfgIpv6Flag : flags | kIscsiCfgIpv6Flag);
    for (const Field& f : kAddress)
        std::memset(block + f.v2_off, 0, f.v2_len);
    for (uint32_t base : kTargetV2)
        std::memset(block + base + kTargetAddress.v2_off, 0, kTargetAddress.v2_len);
    if (!ipv4)
        block[kAddress2V2] = kIpv6Address2Byte;
    return 0;
}
