// E4 directory: choosing, reading and checking a copy, lookups, image reads and bank pairs.
#include "fwupg/nvm/e4/directory.h"

#include <cstdlib>
#include <cstring>

#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/cfg_batch.h"
#include "fwupg/nvm/e4/image_table.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kEmptySeqA = 0xFFFFFFFE;
constexpr uint32_t kEmptySeqB = 0xFFFFFFFF;
constexpr uint32_t kHeaderBytes = 12;
constexpr uint32_t kEntryBytes = 20;
constexpr uint32_t kMaxEntryBytes = 4085;  // 20 * count must stay below this

uint32_t copy_offset(uint32_t copy) { return e4::kDirOffset + e4::kDirCopyBytes * copy; }

const uint32_t* words(const e4_nvm_dir* dir) { return reinterpret_cast<const uint32_t*>(dir); }

// Entries a directory from any source may be searched over.
uint32_t usable_count(const e4_nvm_dir* dir)
{
    const uint32_t limit = uint32_t(std::size(dir->entries));
    return dir->count < limit ? dir->count : limit;
}

struct BankPair {
    uint32_t primary, secondary;
};
constexpr BankPair kBankPairs[] = {{1, 2}, {3, 4}, {8, 9}, {13, 21}, {14, 22}, {15, 23}, {18, 24}, {32, 33}};

}  // namespace

namespace fwupg::nvm::e4 {

void FreeDeleter::operator()(void* p) const { std::free(p); }

DirPtr load_dir(uint32_t* copy, uint32_t* seq_bit)
{
    e4_nvm_dir* dir = nullptr;
    uint32_t c = 0, bit = 0;
    if (e4_nvm_load_dir(&dir, &c, &bit) != 0) {
        std::free(dir);
        return nullptr;
    }
    if (copy)
        *copy = c;
    if (seq_bit)
        *seq_bit = bit;
    return DirPtr(dir);
}

int bank_of(uint32_t type)
{
    for (const auto& p : kBankPairs) {
        if (p.primary == type)
            return 0;
        if (p.secondary == type)
            return 1;
    }
    return -1;
}

}  // namespace fwupg::nvm::e4

extern "C" {

void e4_crc32(const void* buffer, uint32_t length, uint32_t* out)
{
    if (!out)
        return;
    uint32_t crc = 0xFFFFFFFFu;
    common_nvm_crc32(buffer, length, 0, &crc);
    *out = ~__builtin_bswap32(crc);
}

int compute_crc(uint32_t offset, uint32_t length, uint32_t* out)
{
    e4::BufferPtr buf(static_cast<uint8_t*>(std::malloc(length ? length : 1)));
    if (!buf) {
        fwupg_dbg_printf("Failed to alloc memory - compute_crc");
        return -1;
    }
    if (length && common_nvm_read(offset, buf.get(), length, 0) != 0)
        return -1;
    e4_crc32(buf.get(), length, out);
    return 0;
}

int e4_nvm_dir_crc_ok(uint32_t copy, uint32_t count)
{
    const uint32_t span = kHeaderBytes + kEntryBytes * count;
    uint32_t stored = 0, computed = 0;
    if (span + 4 > e4::kDirCopyBytes)
        return -1;
    if (common_nvm_read(copy_offset(copy) + span, &stored, 4, 0) != 0)
        return -1;
    if (compute_crc(copy_offset(copy), span, &computed) != 0)
        return -1;
    return stored == computed ? 0 : -1;
}

int e4_nvm_dir_pick_copy(uint32_t* copy, uint32_t* seq_bit)
{
    struct Head {
        bool candidate;
        uint32_t seq, count;
    } heads[2];
    for (uint32_t c = 0; c < 2; ++c) {
        uint32_t w[8];
        heads[c] = {false, 0, 0};
        if (common_nvm_read(copy_offset(c), w, sizeof w, 0) != 0)
            continue;
        heads[c] = {w[0] != kEmptySeqA && w[0] != kEmptySeqB && w[1] < e4::kMaxCandidateCount, w[0], w[1]};
    }
    const uint32_t first = int32_t(heads[0].seq) >= int32_t(heads[1].seq) ? 0 : 1;
    for (uint32_t c : {first, 1 - first}) {
        if (heads[c].candidate && e4_nvm_dir_crc_ok(c, heads[c].count) == 0) {
            if (copy)
                *copy = c;
            if (seq_bit)
                *seq_bit = heads[c].seq & 1;
            return 0;
        }
    }
    return -1;
}

int e4_nvm_dir_new(e4_nvm_dir* dir)
{
    if (!dir)
        return -1;
    // The third header word is left as the buffer holds it.
    dir->seq = 1;
    dir->count = 1;
    dir->entries[0] = {e4::kDir1, e4::kDirOffset, 36, 0, 0};
    return 0;
}

int e4_nvm_dir_read(uint32_t copy, e4_nvm_dir* dir)
{
    if (!dir)
        return -1;
    const uint32_t base = copy_offset(copy);
    if (common_nvm_read(base, dir, 32, 0) != 0) {
        fwupg_dbg_printf("Failed reading dir header.");
        return -1;
    }
    if (dir->count == 0 || uint64_t(kEntryBytes) * dir->count >= kMaxEntryBytes) {
        fwupg_dbg_printf("Invalid number of images %d read for dir\n", int(dir->count));
        return -1;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(dir);
    if (common_nvm_read(base + kHeaderBytes, bytes + kHeaderBytes, kEntryBytes * dir->count + 4, 0) != 0) {
        fwupg_dbg_printf("Failed reading dir images");
        return -1;
    }
    const uint32_t span = kHeaderBytes + kEntryBytes * dir->count;
    uint32_t calc = 0;
    e4_crc32(dir, span, &calc);
    const uint32_t read = words(dir)[span / 4];
    if (calc != read) {
        fwupg_dbg_printf("Invalid DIR CRC (calc 0x%X, read 0x%X)\n", calc, read);
        return -1;
    }
    return 0;
}

int e4_nvm_load_dir(e4_nvm_dir** out, uint32_t* copy, uint32_t* seq_bit)
{
    if (!out)
        return -1;
    *out = static_cast<e4_nvm_dir*>(std::calloc(1, sizeof(e4_nvm_dir)));
    if (!*out)
        return -1;
    uint32_t c = 0, bit = 0;
    if (e4_nvm_dir_pick_copy(&c, &bit) != 0) {
        fwupg_dbg_printf("DIR was not found. Allocating new nvm dir\n");
        e4_nvm_dir_new(*out);
        if (copy)
            *copy = 0;
        if (seq_bit)
            *seq_bit = 1;
        return 0;
    }
    if (copy)
        *copy = c;
    if (seq_bit)
        *seq_bit = bit;
    return e4_nvm_dir_read(c, *out);
}

int e4_nvm_dir_find_index(const e4_nvm_dir* dir, uint32_t type, uint32_t* index)
{
    if (!dir || !index)
        return -1;
    for (uint32_t i = 0; i < usable_count(dir); ++i)
        if (dir->entries[i].type == type) {
            *index = i;
            return 0;
        }
    return -1;
}

int e4_nvm_find_image(uint32_t type, uint32_t* offset, uint32_t* length, const e4_nvm_dir* dir)
{
    e4::DirPtr own;
    if (!dir) {
        own = e4::load_dir();
        if (!own)
            return -1;
        dir = own.get();
    }
    uint32_t i = 0;
    if (e4_nvm_dir_find_index(dir, type, &i) != 0)
        return -1;
    if (offset)
        *offset = dir->entries[i].nvm_off;
    if (length)
        *length = dir->entries[i].len;
    return 0;
}

int e4_nvm_dir_index_by_name(const e4_nvm_dir* dir, const char* name, uint32_t* index)
{
    uint32_t id = 0;
    if (e4_image_id_by_name(name, &id) != 0)
        return -1;
    return e4_nvm_dir_find_index(dir, id, index);
}

int e4_nvm_read_image_bytes(int from_buffer, uint32_t nvm_off, const uint8_t* buffer, uint32_t buffer_length,
                            uint32_t relative, void* out, uint32_t length)
{
    if (!out)
        return -1;
    if (!from_buffer)
        return common_nvm_read(nvm_off + relative, out, length, 0);
    if (!buffer || uint64_t(relative) + length > buffer_length)
        return -1;
    // Whole words only, as NVRAM is read.
    std::memcpy(out, buffer + relative, length / 4 * 4);
    return 0;
}

int e4_nvm_load_image(uint32_t type, uint8_t** buffer, uint32_t* nvm_off, uint32_t* length)
{
    if (!buffer || (type != e4::kNvmCfg1 && type != e4::kDefaultCfg && type != e4::kMeta))
        return -1;
    *buffer = nullptr;
    uint32_t off = 0, len = 0;
    // Inside a configuration batch its image is the adapter's (offset 0: it has no place yet).
    const std::vector<uint8_t>* kept = e4::cfg_batch_image(type);
    if (kept)
        len = uint32_t(kept->size());
    else if (e4_nvm_find_image(type, &off, &len, nullptr) != 0)
        return -1;
    e4::BufferPtr buf(static_cast<uint8_t*>(std::calloc(1, len ? len : 1)));
    if (!buf)
        return -1;
    if (kept)
        std::memcpy(buf.get(), kept->data(), len);
    else if (len && common_nvm_read(off, buf.get(), len, 0) != 0)
        return -1;
    if (nvm_off)
        *nvm_off = off;
    if (length)
        *length = len;
    *buffer = buf.release();
    return 0;
}

uint32_t e4_image_type_for_bank(uint32_t bank, uint32_t type)
{
    for (const auto& p : kBankPairs) {
        if (p.primary != type && p.secondary != type)
            continue;
        if (bank == 0)
            return p.secondary;
        if (bank == 1)
            return p.primary;
        return p.primary == type ? p.secondary : p.primary;
    }
    return type;
}

bool e4_image_type_in_bank(uint32_t type, uint32_t bank)
{
    const int b = fwupg::nvm::e4::bank_of(type);
    return b >= 0 && uint32_t(b) == bank;
}

}  // extern "C"
