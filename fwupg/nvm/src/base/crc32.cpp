// The table CRC-32 (IEEE 802.3, reflected polynomial) over 32-bit words.
#include <array>

#include "fwupg/nvm/base/access.h"

using fwupg::nvm::load_u32;

namespace {

constexpr std::array<uint32_t, 256> make_table()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint32_t, 256> kTable = make_table();
static_assert(kTable[1] == 0x77073096u && kTable[255] == 0x2D02EF8Du);

}  // namespace

// The table itself is shared with the legacy engine, which reads it by name.
extern const uint32_t crc32_table[256] = {
#define T(i) kTable[i]
#define T8(i) T(i), T(i + 1), T(i + 2), T(i + 3), T(i + 4), T(i + 5), T(i + 6), T(i + 7)
#define T64(i) T8(i), T8(i + 8), T8(i + 16), T8(i + 24), T8(i + 32), T8(i + 40), T8(i + 48), T8(i + 56)
    T64(0), T64(64), T64(128), T64(192)
#undef T64
#undef T8
#undef T
};

namespace {

inline uint32_t feed(uint32_t crc, uint8_t byte) { return crc32_table[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

}  // namespace

extern "C" void common_nvm_crc32(const void* buffer, uint32_t length, uint8_t swap, uint32_t* crc)
{
    if (!buffer || !crc)
        return;
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t c = *crc;
    for (uint32_t i = 0; i < length; i += 4) {
        uint32_t word;
        if (length - i >= 4) {
            word = load_u32(p + i);
        } else {
            uint8_t tail[4] = {0, 0, 0, 0};
            for (uint32_t k = 0; k < length - i; ++k)
                tail[k] = p[i + k];
            word = load_u32(tail);
        }
        if (swap)
            word = __builtin_bswap32(word);
        c = feed(c, uint8_t(word >> 24));
        c = feed(c, uint8_t(word >> 16));
        c = feed(c, uint8_t(word >> 8));
        c = feed(c, uint8_t(word));
    }
    *crc = c;
}

extern "C" uint32_t common_nvm_crc32_bytes(const void* bytes, uint32_t length)
{
    uint32_t c = 0xFFFFFFFFu;
    common_nvm_crc32(bytes, length, 1, &c);
    return ~c;
}
