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
    // Inside a batch an entry written since it opened is answered from memory.
    uint32_t held[3];
    const bool from_batch = common_nvm_dir_held_entry(i, held) == 1;
    const uint32_t base = kDirOffset + 12 * i;
    uint32_t v = 0;
    if (sram) {
        if (!from_batch && common_nvm_read(base, &v, 4, 1) != 0)
            return -1;
        *sram = from_batch ? held[0] : v;
    }
    if (nvm_offset) {
        if (!from_batch && common_nvm_read(base + 8, &v, 4, 1) != 0)
            return -1;
        *nvm_offset = from_batch ? held[2] : v;
    }
    if (from_batch)
        v = held[1];
    else if (common_nvm_read(base + 4, &v, 4, 1) != 0)
        return -1;
    if (length)
        *length = v & kLenMask;
    if (type)
        *type = v & kTypeMask;
    if (processor)
        *processor = v & kProcMask;
    return 0;
}

int common_nvm_read_published_dir_entry(uint32_t i, uint32_t* nvm_offset, uint32_t* length)
{
    if (i >= 16)
        return -6;
    uint32_t words[3];
    if (common_nvm_read(kDirOffset + 12 * i, words, sizeof words, 1) != 0)
        return -1;
    if (nvm_offset)
        *nvm_offset = words[2];
    if (length)
        *length = words[1] & kLenMask;
    return 0;
}

int common_nvm_region_crc_values(uint32_t offset, uint32_t length, uint32_t* computed, uint32_t* stored)
{
    if (length < 4 || (length & 3))
        return -1;
    // Offsets and lengths come from the NVRAM itself (an erased bootstrap names 0xFFFFFFFF
    // dwords): a region that does not lie inside the NVRAM fails before its buffer is sized.
    const uint64_t nvm_size = common_nvm_get_nvm_size();
    if (nvm_size != 0 && uint64_t(offset) + length > nvm_size)
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

namespace fwupg::nvm {

DirEntryWrite dir_entry_words(uint32_t i, uint32_t nvm_offset, uint32_t length, uint32_t sram, uint32_t type,
                              uint32_t processor)
{
    return {i, {sram, (type & kTypeMask) | (processor & kProcMask) | (length & kLenMask), nvm_offset}};
}

void bootstrap_words(uint32_t sram, uint32_t length, uint32_t nvm_offset, uint32_t out[5])
{
    out[0] = length ? fwupg::kWrappedMagic : 0u;
    out[1] = length ? sram : 0u;
    out[2] = length / 4;
    out[3] = length ? common_nvm_linear_to_flash(nvm_offset) : 0u;
    uint32_t crc = 0xFFFFFFFF;
    common_nvm_crc32(out, 16, 0, &crc);
    out[4] = ~__builtin_bswap32(crc);
}

// The entries and the directory CRC go to the NVRAM in one transfer, from the lowest entry given
// (or the bootstrap record) to the end of the directory record: a power loss between two writes
// can then never leave a changed entry under the old CRC, and changing several entries costs one
// write.
int write_dir_record(const DirEntryWrite* list, uint32_t count, const uint32_t* boot)
{
    constexpr uint32_t kBootWords = kDirOffset / 4;
    constexpr uint32_t kDirWords = (kDirCrc + 4 - kDirOffset) / 4;
    uint32_t record[kBootWords + kDirWords];
    uint32_t* dir = record + kBootWords;
    if (common_nvm_read(kDirOffset, dir, kDirWords * 4, 1) != 0)
        return -1;
    auto crc_of = [&] {
        uint32_t crc = 0xFFFFFFFF;
        common_nvm_crc32(dir, kDirWords * 4 - 4, 0, &crc);
        return ~__builtin_bswap32(crc);
    };
    uint32_t lowest = 15;
    bool changed = false;
    for (uint32_t n = 0; n < count; ++n) {
        if (list[n].index >= 16)
            return -1;
        uint32_t* entry = dir + 3 * list[n].index;
        changed = changed || !std::equal(list[n].words, list[n].words + 3, entry);
        std::copy(list[n].words, list[n].words + 3, entry);
        lowest = std::min(lowest, list[n].index);
    }
    if (!boot && !changed && dir[kDirWords - 1] == crc_of())
        return 0;  // nothing to change
    dir[kDirWords - 1] = crc_of();
    uint32_t from = kDirOffset + 12 * lowest;
    if (boot) {
        std::copy(boot, boot + kBootWords, record);
        from = 0;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(record);
    return common_nvm_write(from, bytes + from, uint32_t(sizeof record) - from, 1) == 0 ? 0 : -1;
}

}  // namespace fwupg::nvm

namespace {

// Entries 0-14 are held while a batch is open (all of them or none); otherwise they are written
// now and, being in the NVRAM, are no longer held.
int write_dir_entries(const DirEntryWrite* list, uint32_t count)
{
    bool holdable = count != 0;
    for (uint32_t n = 0; n < count; ++n)
        holdable = holdable && list[n].index < 15;
    if (holdable && common_nvm_dir_hold_entry(list[0].index, list[0].words) == 1) {
        for (uint32_t n = 1; n < count; ++n)
            common_nvm_dir_hold_entry(list[n].index, list[n].words);
        return 0;
    }
    if (write_dir_record(list, count, nullptr) != 0)
        return -1;
    for (uint32_t n = 0; n < count; ++n)
        common_nvm_dir_unhold_entry(list[n].index);
    return 0;
}

}  // namespace

extern "C" {

int common_nvm_write_dir_entry(uint32_t i, uint32_t nvm_offset, uint32_t length, uint32_t sram, uint32_t type,
                               uint32_t processor)
{
    if (i >= 16)
        return -1;
    const DirEntryWrite e = dir_entry_words(i, nvm_offset, length, sram, type, processor);
    return write_dir_entries(&e, 1);
}

int common_nvm_clear_dir_entries(const uint32_t* indexes, uint32_t count)
{
    if (count > 16 || (count && !indexes))
        return -1;
    DirEntryWrite list[16];
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
    uint32_t w[5];
    bootstrap_words(sram, length, nvm_offset, w);
    return common_nvm_write(0, w, 20, 1) == 0 ? 0 : -1;
}

}  // extern "C"
