#include "fwupg/nvm_legacy/crc.h"

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm_legacy/addressing.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

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
        byte_count ? fwupg::kWrappedMagic : 0u,
        sram_start,
        byte_count / 4,
        nvm_linear_to_flash_addr(ops, dev, nvm_offset, 0),
        0,
    };
    rec[4] = toe_crc_of_words(rec, 16, 0);
    const uint32_t crc = rec[4];
    // Only the words that change are written, in one write that ends with the CRC word.
    if (toe::write_changed(ops, dev, 0, sizeof rec, reinterpret_cast<uint8_t*>(rec)) != 0)
        return 1;
    fwupg_dbg_printf("update bootstrap: start=%x; byte_cnt=%d; crc=0x%x\n", nvm_offset, byte_count, crc);
    return 0;
}

void toe_buf_set_boot_addr(int swap, uint8_t* buf, uint32_t addr)
{
    nvm_buf_put_dword(swap, buf, 12, addr);
    uint32_t reg = 0xFFFFFFFFu;
    calc_crc32_bytes(buf, 16, swap, &reg);
    nvm_buf_put_dword(swap, buf, 16, toe_crc_word(reg));
}
