// Small E4 NVRAM pictures written by hand for the engine tests: directory copies whose CRC comes
// from zlib (never from the engine), and an adapter record with an E4 chip id.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "fake_host.h"

namespace fwupg::nvm::test::e4bytes {

struct Entry {
    uint32_t type, offset, length, sram = 0, sram_run = 0;
};

using Bytes = std::vector<uint8_t>;

inline void put_le32(std::vector<uint8_t>& nv, uint32_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        nv[at + uint32_t(i)] = uint8_t(v >> (8 * i));
}

inline Bytes le_words(std::initializer_list<uint32_t> words)
{
    Bytes b;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(w >> (8 * i)));
    return b;
}

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The directory's CRC word: the standard CRC-32 of the bytes with every 4-byte group reversed,
// kept as a word whose little-endian bytes spell that CRC most significant byte first.
inline uint32_t dir_crc(const uint8_t* bytes, uint32_t length)
{
    std::vector<uint8_t> reversed(bytes, bytes + length);
    for (uint32_t i = 0; i + 4 <= length; i += 4)
        std::swap(reversed[i], reversed[i + 3]), std::swap(reversed[i + 1], reversed[i + 2]);
    const auto crc = uint32_t(crc32(0, reversed.data(), length));
    return __builtin_bswap32(crc);
}

// Writes directory copy `copy` (0 at 0x2000, 1 at 0x3000) with a right CRC unless told otherwise.
inline void put_dir(std::vector<uint8_t>& nv, uint32_t copy, uint32_t seq, const std::vector<Entry>& entries,
                    bool good_crc = true, uint32_t count_override = UINT32_MAX)
{
    const uint32_t base = 0x2000 + 0x1000 * copy;
    const uint32_t count = count_override == UINT32_MAX ? uint32_t(entries.size()) : count_override;
    put_le32(nv, base, seq);
    put_le32(nv, base + 4, count);
    put_le32(nv, base + 8, 0);
    uint32_t at = base + 12;
    for (const auto& e : entries) {
        for (uint32_t w : {e.type, e.offset, e.length, e.sram, e.sram_run})
            put_le32(nv, at, w), at += 4;
    }
    const uint32_t span = 12 + 20 * count;
    uint32_t crc = dir_crc(nv.data() + base, span);
    put_le32(nv, base + span, good_crc ? crc : crc ^ 0x5A5A5A5A);
}

// A 16-character version text as E4 images keep it: each group of 4 characters reversed.
inline std::vector<uint8_t> swizzled(const std::string& text)
{
    std::vector<uint8_t> b(16, 0);
    for (size_t i = 0; i < text.size() && i < 16; ++i)
        b[i / 4 * 4 + 3 - i % 4] = uint8_t(text[i]);
    return b;
}

inline void put_le16(std::vector<uint8_t>& b, uint32_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// A stream of the UEFI format that stores its bytes as they are: one block whose extra set is
// the single length code 10 (length 8), so every literal has an 8-bit code equal to its value.
inline std::vector<uint8_t> stored_efi_stream(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bits;
    uint32_t acc = 0;
    int n = 0;
    auto put = [&](uint32_t v, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc = acc << 1 | ((v >> i) & 1);
            if (++n == 8)
                bits.push_back(uint8_t(acc)), acc = 0, n = 0;
        }
    };
    put(uint32_t(data.size()), 16);
    put(0, 5), put(10, 5);  // extra set: one symbol, 10
    put(256, 9);            // 256 literal lengths, each the extra symbol (no bits)
    put(0, 4), put(0, 4);   // position set: one symbol
    for (uint8_t c : data)
        put(c, 8);
    if (n)
        put(0, 8 - n);
    bits.push_back(0);
    // Sized once and filled in place: growing an 8-byte vector by insert trips a false
    // -Warray-bounds of the optimised build.
    std::vector<uint8_t> out(8 + bits.size());
    put_le32(out, 0, uint32_t(bits.size()));
    put_le32(out, 4, uint32_t(data.size()));
    std::copy(bits.begin(), bits.end(), out.begin() + 8);
    return out;
}

// A minimal PE32+ image with the image version major.minor.
inline std::vector<uint8_t> pe_image(uint16_t major, uint16_t minor)
{
    std::vector<uint8_t> pe(0x100, 0);
    pe[0] = 'M', pe[1] = 'Z';
    put_le32(pe, 0x3C, 0x40);
    pe[0x40] = 'P', pe[0x41] = 'E';
    put_le16(pe, 0x58, 0x20B);
    put_le16(pe, 0x58 + 44, major);
    put_le16(pe, 0x58 + 46, minor);
    return pe;
}

// One expansion-ROM image with its PCI data structure at 0x1C: the code type, code revision,
// structure revision and CLP pointer given; `last` sets the indicator's last-image bit. An EFI
// image (code type 3) carries `payload` at 0x40 with the machine type and compression given.
struct RomDef {
    uint8_t code_type = 0;
    uint16_t revision = 0;
    uint8_t struct_rev = 3;
    uint16_t clp = 0;
    bool last = false;
    uint16_t machine = 0x8664;
    uint16_t compression = 0;
    std::vector<uint8_t> payload = {};
};

inline std::vector<uint8_t> rom_image(const RomDef& r)
{
    const uint32_t body = 0x40 + uint32_t(r.payload.size());
    std::vector<uint8_t> b((body + 511) / 512 * 512, 0);
    put_le16(b, 0, 0xAA55);
    put_le16(b, 2, uint32_t(b.size() / 512));
    if (r.code_type == 3) {
        put_le32(b, 4, 0x0EF1);
        put_le16(b, 0x0A, r.machine);
        put_le16(b, 0x0C, r.compression);
        put_le16(b, 0x16, 0x40);
    }
    put_le16(b, 0x18, 0x1C);
    std::memcpy(&b[0x1C], "PCIR", 4);
    b[0x1C + 0x0C] = r.struct_rev;
    put_le16(b, 0x1C + 0x10, uint32_t(b.size() / 512));
    put_le16(b, 0x1C + 0x12, r.revision);
    b[0x1C + 0x14] = r.code_type;
    b[0x1C + 0x15] = r.last ? 0x80 : 0;
    put_le16(b, 0x1C + 0x1A, r.clp);
    std::copy(r.payload.begin(), r.payload.end(), b.begin() + 0x40);
    return b;
}

// An NVRAM of 256 KiB holding the images placed (4 KiB apart from 0x4000 on), listed in directory
// copy 0 after its own DIR1 entry once published.
struct E4Board {
    FakeAdapter a{std::vector<uint8_t>(0x40000, 0xFF)};
    std::vector<Entry> entries{{12, 0x2000, 0, 0x11, 0x22}};
    uint32_t next = 0x4000;

    uint32_t place(uint32_t type, const Bytes& b)
    {
        const uint32_t at = next;
        std::copy(b.begin(), b.end(), a.nvram.begin() + at);
        entries.push_back({type, at, uint32_t(b.size())});
        next += (uint32_t(b.size()) + 0xFFF) & ~0xFFFu;
        return at;
    }
    E4Board& with(uint32_t type, const Bytes& b)
    {
        place(type, b);
        return *this;
    }
    void publish(uint32_t seq = 1)
    {
        entries[0].length = 12 + 20 * uint32_t(entries.size()) + 4;
        put_dir(a.nvram, 0, seq, entries);
    }
};

// Makes an adapter's record current with an E4 chip id (device id in bits 16-31).
class E4Current {
public:
    E4Current(FakeAdapter& a, uint16_t did = 0x1656) : ops_(a.ops()), scope_((ops_.chipId = uint32_t(did) << 16, &ops_)) {}

private:
    HostOps ops_;
    fwupg::HostOpsScope scope_;
};

}  // namespace fwupg::nvm::test::e4bytes
