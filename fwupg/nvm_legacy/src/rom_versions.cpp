// Walk over the PCI expansion ROM images of an MBA image: which ROM kinds it holds and their
// code revisions.
#include "fwupg/nvm_legacy/versions.h"

#include "fwupg/nvm_legacy/directory.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "toe_context.h"

namespace {
const char* const SLOT_NAMES[8] = {"legacy MBA", "PCI30_CLP MBA", "PCI30 MBA", "FCODE",
                                   "EFI x86",    "EFI IPF",       "EFI EBC",   "EFI x64"};

// Little-endian ROM words from a buffer or from NVRAM (whose words arrive as host values when
// read with the byte-order flag).
struct rom_source {
    const HostOps& ops;
    const uint8_t* buf;
    uint32_t base, limit, dev;
    bool word(uint32_t pos, uint32_t* out) const
    {
        if (uint64_t(pos) + 4 > limit)
            return false;
        if (buf) {
            *out = toe::load_le32(buf + pos);
            return true;
        }
        return toe::read_dword(ops, dev, base + pos, out) == 0;
    }
};
}  // namespace

int toe_option_rom_versions(HostOps ops, uint32_t revisions[8], const uint8_t* buf, uint32_t buf_len,
                            uint32_t nvm_offset, const char* names[8], uint32_t dev)
{
    for (int i = 0; i < 8; ++i)
        revisions[i] = 0;
    uint32_t limit = buf_len;
    if (!buf) {
        int index = 0;
        if (toe_nvm_find_dir_entry(ops, g_toe_image_table[TOE_IMG_MBA].dir_type, &index) != 0 ||
            toe_nvm_read_dir_entry(ops, index, nullptr, &limit, nullptr, nullptr, nullptr) != 0)
            return 1;
    }
    const rom_source src{ops, buf, nvm_offset, limit, dev};
    uint32_t pos = 0;
    for (int image = 0; image < 8 && limit >= 4 && pos < limit - 4; ++image) {
        uint32_t ptr = 0, machine = 0, rev = 0, len_rev = 0, type_word = 0, clp = 0;
        if (!src.word(pos + 0x18, &ptr) || !src.word(pos + 8, &machine))
            return 1;
        const uint32_t d = pos + (ptr & 0xFF);
        if (!src.word(d + 0x0C, &rev) || !src.word(d + 0x10, &len_rev) || !src.word(d + 0x14, &type_word))
            return 1;
        rev &= 0xFF;
        const uint32_t code_type = type_word & 0xFF;
        int slot = -1;
        if (code_type == 0) {
            if (rev == 0)
                slot = 0;
            else if (rev == 3) {
                if (!src.word(d + 0x18, &clp))
                    return 1;
                slot = (clp >> 16) ? 1 : 2;
            } else
                fwupg_dbg_printf("invalid MBA type\n");
        } else if (code_type == 1) {
            slot = 3;
        } else if (code_type == 3) {
            switch (machine >> 16) {
            case 0x14C: slot = 4; break;
            case 0x200: slot = 5; break;
            case 0xEBC: slot = 6; break;
            case 0x8664: slot = 7; break;
            default: fwupg_dbg_printf("invalid EFI type\n");
            }
        }
        if (slot >= 0) {
            revisions[slot] = len_rev >> 16;
            names[slot] = SLOT_NAMES[slot];
        }
        if (type_word & 0x8000)
            break;
        pos += (len_rev & 0xFFFF) * 512;
    }
    return 0;
}
