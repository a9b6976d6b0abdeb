// The 16-entry directory, the bootstrap record and the region CRC check.
#include "fwupg/nvm/e123/directory.h"

#include <tcl.h>

#include <algorithm>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/wrapped_record.h"

using namespace fwupg::nvm;

extern "C" {

int common_nvm_read_dir_entry(uint32_t i, uint32_t* nvm_offset, uint32_t* length, uint32_t* sram,
                              uint32_t* type, uint32_t* processor)
{
    if (i >= 16)
        return -6;
    const uint32_t base = kDirOffset + 12 * i;
    uint32_t v = 0;
    if (sram) {
        if (common_nvm_read(base, &v, 4, 1) != 0)
            return -1;
        *sram = v;
    }
    if (nvm_offset) {
        if (common_nvm_read(base + 8, &v, 4, 1) != 0)
            return -1;
        *nvm_offset = v;
    }
    if (common_nvm_read(base + 4, &v, 4, 1) != 0)
        return -1;
    if (length)
        *length = v & kLenMask;
    if (type)
        *type = v & kTypeMask;
    if (processor)
        *processor = v & kProcMask;
    return 0;
}

int common_nvm_region_crc_values(uint32_t offset, uint32_t length, uint32_t* computed, uint32_t* stored)
{
    if (length < 4 || (length & 3))
        return -1;
    std::vector<uint32_t> words(length / 4);
    if (common_nvm_read(offset, words.data(), length, 1) != 0)
        return -1;
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(words.data(), length - 4, 0, &crc);
    if (computed)
        *computed = ~__builtin_bswap32(crc);
    if (stored)
        *stored = words.back();
    return 0;
}

int common_nvm_region_crc(uint32_t offset, uint32_t length)
{
    uint32_t computed = 0, stored = 0;
    if (common_nvm_region_crc_values(offset, length, &computed, &stored) != 0)
        return -1;
    return computed == stored ? 0 : -1;
}

}  // extern "C"

namespace {

// One directory entry to write: its index and the three words it gets.
struct EntryWrite {
    uint32_t index;
    uint32_t words[3];
};

// The entries and the directory CRC go to the NVRAM in one transfer, from the lowest entry given
// to the end of the directory record: a power loss between two writes can then never leave
// a changed entry under the old CRC, and changing several entries costs one write.
int write_dir_entries(const EntryWrite* list, uint32_t count)
{
    constexpr uint32_t kDirWords = (kDirCrc + 4 - kDirOffset) / 4;
    uint32_t dir[kDirWords];
    if (common_nvm_read(kDirOffset, dir, sizeof dir, 1) != 0)
        return -1;
    auto crc_of = [&] {
        uint32_t crc = 0xFFFFFFFF;
        common_nvm_crc32(dir, sizeof dir - 4, 0, &crc);
        return ~__builtin_bswap32(crc);
    };
    uint32_t lowest = 15;
    bool changed = false;
    for (uint32_t n = 0; n < count; ++n) {
        uint32_t* entry = dir + 3 * list[n].index;
        changed = changed || !std::equal(list[n].words, list[n].words + 3, entry);
        std::copy(list[n].words, list[n].words + 3, entry);
        lowest = std::min(lowest, list[n].index);
    }
    if (!changed && dir[kDirWords - 1] == crc_of())
        return 0;  // nothing to change
    dir[kDirWords - 1] = crc_of();
    const uint32_t from = 12 * lowest;
    return common_nvm_write(kDirOffset + from, reinterpret_cast<uint8_t*>(dir) + from, sizeof dir - from, 1) == 0
               ? 0
               : -1;
}

}  // namespace

extern "C" {

int common_nvm_write_dir_entry(uint32_t i, uint32_t nvm_offset, uint32_t length, uint32_t sram, uint32_t type,
                               uint32_t processor)
{
    if (i >= 16)
        return -1;
    const EntryWrite e{i, {sram, (type & kTypeMask) | (processor & kProcMask) | (length & kLenMask), nvm_offset}};
    return write_dir_entries(&e, 1);
}

int common_nvm_clear_dir_entries(const uint32_t* indexes, uint32_t count)
{
    if (count > 16 || (count && !indexes))
        return -1;
    EntryWrite list[16];
    for (uint32_t n = 0; n < count; ++n) {
        if (indexes[n] >= 16)
            return -1;
        list[n] = {indexes[n], {0, 0, 0}};
    }
    return count ? write_dir_entries(list, count) : 0;
}

int common_nvm_find_dir_entry(uint32_t type, uint32_t* index, uint32_t* prev_start)
{
    if (type == kTypeBc1) {
        if (prev_start) {
            uint32_t v = 0;
            if (common_nvm_read(12, &v, 4, 1) != 0)
                fwupg_dbg_printf("warning: could not read BC1 previous NVM start address from bootstrap. "
                                 "version validation might fail.\n");
            else
                *prev_start = v;
        }
        return -1;
    }
    if (type > kTypeBc1)
        return -1;
    if (index)
        *index = 16;
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t len = 0, t = 0;
        if (common_nvm_read_dir_entry(i, nullptr, &len, nullptr, &t, nullptr) != 0)
            return -1;
        if (len != 0 && t == type) {
            if (index)
                *index = i;
            if (prev_start) {
                uint32_t off = 0;
                if (common_nvm_read_dir_entry(i, &off, nullptr, nullptr, nullptr, nullptr) != 0)
                    fwupg_dbg_printf("warning: could not read image previous NVM start address from bootstrap. "
                                     "version validation might fail.\n");
                else
                    *prev_start = off;
            }
            return 0;
        }
    }
    return -1;
}

int common_nvm_find_free_dir_entry(uint32_t* index)
{
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t len = 0;
        if (common_nvm_read_dir_entry(i, nullptr, &len, nullptr, nullptr, nullptr) != 0)
            return -1;
        if (len == 0) {
            if (index)
                *index = i;
            return 0;
        }
    }
    return -1;
}

int common_nvm_read_from(uint32_t source, uintptr_t image, uint32_t image_size, uint32_t offset, void* out,
                         uint32_t length)
{
    if (!out)
        return -1;
    if (source == 0)
        return common_nvm_read(uint32_t(image + offset), out, length, 1);
    if (source == 1) {
        const auto* buf = reinterpret_cast<const uint8_t*>(image);
        uint64_t start = offset & ~3u;
        uint64_t bytes = length / 4 * 4;
        if (!buf || start + bytes > image_size)
            return -1;
        common_nvm_memcpy(out, buf + start, bytes);
        return 0;
    }
    return -1;
}

int common_nvm_read_bootstrap(uint32_t* sram, uint32_t* length, uint32_t* nvm_offset)
{
    uint32_t w[5];
    if (common_nvm_read(0, w, 20, 1) != 0)
        return -1;
    if (w[0] != fwupg::kWrappedMagic)
        return -1;
    if (sram)
        *sram = w[1];
    if (length)
        *length = w[2] * 4;
    if (nvm_offset)
        *nvm_offset = common_nvm_flash_to_linear(w[3]);
    return 0;
}

int common_nvm_write_bootstrap(uint32_t sram, uint32_t length, uint32_t nvm_offset)
{
    uint32_t w[5] = {length ? fwupg::kWrappedMagic : 0u, sram, length / 4, common_nvm_linear_to_flash(nvm_offset), 0};
    if (length == 0)
        w[1] = w[2] = w[3] = 0;
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(w, 16, 0, &crc);
    w[4] = ~__builtin_bswap32(crc);
    return common_nvm_write(0, w, 20, 1) == 0 ? 0 : -1;
}

}  // extern "C"
