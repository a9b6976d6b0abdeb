#include "fwupg/nvm_legacy/crc.h"

#include <array>

#include "fwupg/nvm/access.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {
constexpr std::array<uint32_t, 256> make_table()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}
constexpr std::array<uint32_t, 256> kTable = make_table();
static_assert(kTable[1] == 0x77073096u && kTable[255] == 0x2D02EF8Du);
}  // namespace

const uint32_t crc32_table[256] = {
#define T(i) kTable[i]
#define T8(i) T(i), T(i + 1), T(i + 2), T(i + 3), T(i + 4), T(i + 5), T(i + 6), T(i + 7)
#define T64(i) T8(i), T8(i + 8), T8(i + 16), T8(i + 24), T8(i + 32), T8(i + 40), T8(i + 48), T8(i + 56)
    T64(0), T64(64), T64(128), T64(192)
#undef T64
#undef T8
#undef T
};

int calc_crc32(const void* /*context*/, const uint32_t* words, uint32_t byte_length, int swap, uint32_t* crc)
{
    // Host-order words read as little-endian bytes are the words themselves.
    return calc_crc32_bytes(reinterpret_cast<const uint8_t*>(words), byte_length, swap, crc);
}

int calc_crc32_bytes(const uint8_t* buf, uint32_t byte_length, int swap, uint32_t* crc)
{
    // The same table and feeding as the other engine's CRC: one implementation for both.
    common_nvm_crc32(buf, byte_length, uint8_t(swap ? 1 : 0), crc);
    return 0;
}

uint32_t toe_crc_of_words(const uint32_t* words, uint32_t byte_length, int swap)
{
    uint32_t reg = 0xFFFFFFFFu;
    calc_crc32(nullptr, words, byte_length, swap, &reg);
    return toe_crc_word(reg);
}

int toe_nvm_write_bootstrap(HostOps ops, uint32_t sram_start, uint32_t byte_count, uint32_t nvm_offset)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0)
        return 1;
    uint32_t rec[5] = {
        byte_count ? TOE_BOOTSTRAP_MAGIC : 0u,
        sram_start,
        byte_count / 4,
        nvm_linear_to_flash_addr(ops, dev, nvm_offset, 0),
        0,
    };
    rec[4] = toe_crc_of_words(rec, 16, 0);
    const uint32_t crc = rec[4];
    if (toe::write_block(ops, dev, 0, sizeof rec, reinterpret_cast<uint8_t*>(rec)) != 0)
        return 1;
    fwupg_dbg_printf("update bootstrap: start=%x; byte_cnt=%d; crc=0x%x\n", nvm_offset, byte_count, crc);
    return 0;
}
