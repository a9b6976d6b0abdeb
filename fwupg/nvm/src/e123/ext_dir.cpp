// The extended directory: reading, lookup, and republishing after an add, a removal or a repair.
// A changed directory is always programmed into fresh space first and only then switched in
// through entry 15, so the directory in force is never overwritten.
//
// While a batch is open (one upgrade command or one MBI package installing several images),
// changes are held in memory and published once when the batch closes: every lookup in between
// sees the held copy, and the allocator keeps the images of both the published and the held
// directory occupied, so the directory in force keeps naming whole, unchanged images until the
// switch. The batch holds the writes of the main directory's entries 0-14 too: they go out with
// entry 15 (and the bootstrap record, when one is held) in the one write that switches.
#include <cstring>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e123/alloc.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/program.h"

using namespace fwupg::nvm;

namespace {

constexpr uint32_t kExtDirMaxRead = 0x10000;

// The state of an open batch.
struct Held {
    unsigned depth = 0;    // nested batches; the outermost one publishes
    bool changed = false;  // `dir` (or `absent`) differs from what entry 15 names
    bool absent = false;   // the held state is "no extended directory"
    bool direct = false;   // the next add is published at once (the allocator had to make room)
    bool boot = false;     // a bootstrap record waits to be written with the directory
    uint32_t boot_sram = 0, boot_len = 0, boot_off = 0;
    nvm_ext_dir dir{};
    uint32_t main_mask = 0;   // bit i: entry i (0-14) of the main directory is held
    uint32_t main[15][3] = {};
};
Held g_held;

bool holding() { return g_held.depth != 0; }

// Programs the directory at `place` and switches entry 15 to it. A held bootstrap record is
// written between the two, so that it names the new management firmware only once the copy that
// lists it is complete.
int program_and_switch(const nvm_ext_dir& dir, uint32_t place)
{
    uint32_t written = 0;
    if (common_nvm_program_nvm(&dir, kExtDirBytes, place, NVM_PRG_APPEND_CRC, &written) != 0)
        return -1;
    if (g_held.boot) {
        if (common_nvm_write_bootstrap(g_held.boot_sram, g_held.boot_len, g_held.boot_off) != 0)
            return -1;
        g_held.boot = false;
    }
    return common_nvm_write_dir_entry(15, place, written, 0, kTypeExtDir, 0x01000000);
}

// Programs the directory at a new place and switches entry 15 to it.
int publish_ext_dir(const nvm_ext_dir& dir, uint32_t keep_offset, uint32_t keep_length)
{
    uint32_t place = 0;
    if (common_nvm_alloc_space(kTypeExtDir, kExtDirBytes, keep_offset, keep_length, &place) != 0)
        return -1;
    return program_and_switch(dir, place);
}

// Whether a change may be held: inside a batch, unless the allocator asked for the next change to
// go out at once. The first change held must find room for the copy that will publish it without
// moving anything (moves rewrite the directory in NVRAM); later ones keep that room, as every
// image placed meanwhile leaves it.
bool may_hold(uint32_t keep_offset, uint32_t keep_length)
{
    if (!holding() || g_held.direct)
        return false;
    return g_held.changed || common_nvm_alloc_room_now(kExtDirBytes, keep_offset, keep_length) == 1;
}

// Takes a changed directory: held while a batch is open, else published.
int commit_ext_dir(const nvm_ext_dir& next, uint32_t keep_offset, uint32_t keep_length)
{
    if (may_hold(keep_offset, keep_length)) {
        g_held.dir = next;
        g_held.absent = false;
        g_held.changed = true;
        return 0;
    }
    return publish_ext_dir(next, keep_offset, keep_length);
}

// Removes the extended directory: entry 15 cleared, or held as absent.
int commit_no_ext_dir()
{
    if (may_hold(0, 0)) {
        std::memset(&g_held.dir, 0, sizeof g_held.dir);
        g_held.absent = true;
        g_held.changed = true;
        return 0;
    }
    return common_nvm_write_dir_entry(15, 0, 0, 0, 0, 0);
}

uint32_t round4(uint32_t v) { return (v + 3) & ~3u; }

}  // namespace

extern "C" {

int common_nvm_read_ext_dir(uint32_t nvm_offset, uint32_t length, nvm_ext_dir* out)
{
    if (!out || length < 8 || length > kExtDirMaxRead)
        return -1;
    std::vector<uint8_t> raw(round4(length), 0);
    if (common_nvm_read_abortable(raw.data(), 1, length, nvm_offset, nullptr) != 0)
        return -1;
    uint32_t count = load_be32(raw.data());
    if (count >= 65)
        return -1;
    std::memset(out, 0, sizeof *out);
    std::memcpy(out, raw.data(), length < kExtDirBytes ? length : kExtDirBytes);
    out->count = count;
    out->byte_cnt = __builtin_bswap32(out->byte_cnt);
    for (uint32_t k = 0; k < count; ++k)
        for (uint32_t w = 0; w < 3; ++w)
            out->entry[k][w] = __builtin_bswap32(out->entry[k][w]);
    return 0;
}

int common_nvm_ext_dir_find(uint32_t type, const nvm_ext_dir* dir, uint32_t* k, uint32_t* nvm_offset,
                            uint32_t* sram, uint32_t* length, uint32_t* processor)
{
    if (k)
        *k = 0xFFFFFFFF;
    if (!dir)
        return -1;
    for (uint32_t i = 0; i < dir->count && i < 64; ++i) {
        uint32_t flags = dir->entry[i][1];
        if ((flags & kTypeMask) != type)
            continue;
        if (k)
            *k = i;
        if (nvm_offset)
            *nvm_offset = dir->entry[i][2];
        if (sram)
            *sram = dir->entry[i][0];
        if (length)
            *length = flags & kLenMask;
        if (processor)
            *processor = flags & kProcMask;
        return 0;
    }
    return -1;
}

int common_nvm_load_ext_dir(nvm_ext_dir* dir)
{
    if (holding() && g_held.changed) {
        if (g_held.absent)
            return 0;
        *dir = g_held.dir;
        return 1;
    }
    uint32_t off = 0, len = 0, type = 0;
    if (common_nvm_read_dir_entry(15, &off, &len, nullptr, &type, nullptr) != 0)
        return -1;
    if (len == 0 || type != kTypeExtDir)
        return 0;
    return common_nvm_read_ext_dir(off, len, dir) == 0 ? 1 : -1;
}

int common_nvm_find_ext_dir_image(uint32_t* present, uint32_t type, uint32_t* nvm_offset, uint32_t* length,
                                  uint32_t* k)
{
    if (present)
        *present = 0;
    uint32_t off = 0, len = 0, t = 0;
    if (common_nvm_read_dir_entry(15, &off, &len, nullptr, &t, nullptr) != 0)
        return 0;
    if (nvm_offset)
        *nvm_offset = off;
    if (length)
        *length = len;
    nvm_ext_dir dir;
    const int have = common_nvm_load_ext_dir(&dir);
    if (have <= 0)
        return have;
    if (common_nvm_ext_dir_find(type, &dir, k, nvm_offset, nullptr, length, nullptr) == 0 && present)
        *present = 1;
    return 0;
}

int common_nvm_create_ext_dir()
{
    nvm_ext_dir dir;
    std::memset(&dir, 0, sizeof dir);
    return commit_ext_dir(dir, 0, 0);
}

int common_nvm_ext_dir_add(nvm_ext_dir* dir, uint32_t type, uint32_t length, uint32_t nvm_offset, uint32_t sram,
                           uint32_t old_length, uint32_t processor)
{
    if (!dir)
        return -1;
    uint32_t k = 0;
    bool existing = common_nvm_ext_dir_find(type, dir, &k, nullptr, nullptr, nullptr, nullptr) == 0;
    if (!existing && dir->count >= 64)
        return -1;  // a 65th entry would make every reader treat the directory as absent
    length = round4(length);
    nvm_offset = round4(nvm_offset);
    auto set_entry = [&]() {
        if (!existing)
            k = dir->count++;
        dir->byte_cnt = dir->byte_cnt - old_length + length;
        dir->entry[k][0] = sram;
        dir->entry[k][1] = (type & kTypeMask) | (length & kLenMask) | (processor & kProcMask);
        dir->entry[k][2] = nvm_offset;
    };
    if (may_hold(nvm_offset, length)) {
        set_entry();
        return commit_ext_dir(*dir, nvm_offset, length);
    }
    g_held.direct = false;

    // Room for the new copy of the directory, away from the image just programmed. Should the
    // allocator move images to make room, it rewrites the directory in NVRAM: start again from
    // that copy.
    uint32_t moves = common_nvm_alloc_moves();
    uint32_t place = 0;
    if (common_nvm_alloc_space(kTypeExtDir, kExtDirBytes, nvm_offset, length, &place) != 0)
        return -1;
    if (common_nvm_alloc_moves() != moves) {
        if (common_nvm_load_ext_dir(dir) != 1)
            return -1;
        existing = common_nvm_ext_dir_find(type, dir, &k, nullptr, nullptr, nullptr, nullptr) == 0;
        if (!existing && dir->count >= 64)
            return -1;
    }
    set_entry();
    return program_and_switch(*dir, place);
}

int common_nvm_ext_dir_remove(nvm_ext_dir* dir, uint32_t k)
{
    if (!dir || dir->count == 0 || k >= dir->count || dir->count > 64)
        return -1;
    if (dir->count == 1) {
        if (commit_no_ext_dir() != 0)
            return -1;
        std::memset(dir, 0, sizeof *dir);
        return 0;
    }
    nvm_ext_dir next = *dir;
    next.byte_cnt -= next.entry[k][1] & kLenMask;
    uint32_t last = next.count - 1;
    std::memcpy(next.entry[k], next.entry[last], 12);
    std::memset(next.entry[last], 0, 12);
    next.count = last;
    if (commit_ext_dir(next, 0, 0) != 0)
        return -1;
    *dir = next;
    return 0;
}

void common_nvm_ext_dir_batch_open() { ++g_held.depth; }

int common_nvm_ext_dir_batch_active() { return holding() ? 1 : 0; }

int common_nvm_ext_dir_flush()
{
    if (!holding())
        return 0;
    DirEntryWrite list[16];
    uint32_t count = 0;
    for (uint32_t i = 0; i < 15; ++i)
        if (g_held.main_mask & (1u << i))
            list[count++] = {i, {g_held.main[i][0], g_held.main[i][1], g_held.main[i][2]}};
    if (g_held.changed) {
        if (g_held.absent) {
            list[count++] = {15, {0, 0, 0}};
        } else {
            uint32_t place = 0, written = 0;
            if (common_nvm_alloc_space(kTypeExtDir, kExtDirBytes, 0, 0, &place) != 0 ||
                common_nvm_program_nvm(&g_held.dir, kExtDirBytes, place, NVM_PRG_APPEND_CRC, &written) != 0)
                return -1;
            list[count++] = dir_entry_words(15, place, written, 0, kTypeExtDir, 0x01000000);
        }
    }
    // The bootstrap record and the directory are neighbours: one write switches both.
    uint32_t boot[5];
    if (g_held.boot)
        bootstrap_words(g_held.boot_sram, g_held.boot_len, g_held.boot_off, boot);
    if (count || g_held.boot) {
        const int rc = count ? write_dir_record(list, count, g_held.boot ? boot : nullptr)
                             : (common_nvm_write(0, boot, sizeof boot, 1) == 0 ? 0 : -1);
        if (rc != 0)
            return -1;
    }
    g_held.changed = false;
    g_held.absent = false;
    g_held.boot = false;
    g_held.main_mask = 0;
    return 0;
}

int common_nvm_ext_dir_batch_close()
{
    if (!holding())
        return 0;
    if (g_held.depth > 1) {
        --g_held.depth;
        return 0;
    }
    const int rc = common_nvm_ext_dir_flush();
    g_held = Held{};
    return rc;
}

int common_nvm_ext_dir_held(nvm_ext_dir* out)
{
    if (!holding() || !g_held.changed)
        return 0;
    if (out)
        *out = g_held.dir;
    return 1;
}

void common_nvm_ext_dir_set_direct(int on) { g_held.direct = holding() && on; }

int common_nvm_dir_hold_entry(uint32_t i, const uint32_t words[3])
{
    if (!holding() || g_held.direct || i >= 15 || !words)
        return 0;
    std::memcpy(g_held.main[i], words, sizeof g_held.main[i]);
    g_held.main_mask |= 1u << i;
    return 1;
}

int common_nvm_dir_held_entry(uint32_t i, uint32_t words[3])
{
    if (!holding() || i >= 15 || !(g_held.main_mask & (1u << i)) || !words)
        return 0;
    std::memcpy(words, g_held.main[i], sizeof g_held.main[i]);
    return 1;
}

uint32_t common_nvm_dir_held_mask() { return holding() ? g_held.main_mask : 0; }

void common_nvm_dir_unhold_entry(uint32_t i)
{
    if (i < 15)
        g_held.main_mask &= ~(1u << i);
}

int common_nvm_ext_dir_hold_bootstrap(uint32_t sram, uint32_t length, uint32_t nvm_offset)
{
    if (!holding() || g_held.direct)
        return common_nvm_write_bootstrap(sram, length, nvm_offset);
    g_held.boot = true;
    g_held.boot_sram = sram;
    g_held.boot_len = length;
    g_held.boot_off = nvm_offset;
    return 0;
}

int common_nvm_fix_ext_dir_byte_cnt()
{
    nvm_ext_dir dir;
    int rc = common_nvm_load_ext_dir(&dir);
    if (rc <= 0)
        return rc;
    uint32_t sum = 0;
    for (uint32_t k = 0; k < dir.count; ++k)
        sum += dir.entry[k][1] & kLenMask;
    if (sum == dir.byte_cnt)
        return 0;
    fwupg_dbg_printf("Fixing extended dir byte_cnt value from 0x%x to 0x%x.\n", dir.byte_cnt, sum);
    dir.byte_cnt = sum;
    return commit_ext_dir(dir, 0, 0);
}

int common_nvm_find_ext_image_by_name(const char* text, uint32_t* nvm_offset, uint32_t* length, uint32_t* row)
{
    int r = row_by_name_part(text);
    if (r < 0)
        return -1;
    if (row)
        *row = uint32_t(r);
    nvm_ext_dir dir;
    if (common_nvm_load_ext_dir(&dir) != 1)
        return -1;
    return common_nvm_ext_dir_find(g_image_table[r].dir_type, &dir, nullptr, nvm_offset, nullptr, length, nullptr);
}

}  // extern "C"

namespace {

int remove_named(const char* text, int when_absent)
{
    int r = row_by_name_part(text);
    if (r < 0)
        return -1;
    nvm_ext_dir dir;
    int rc = common_nvm_load_ext_dir(&dir);
    if (rc < 0)
        return -1;
    if (rc == 0)
        return when_absent;
    uint32_t k = 0;
    if (common_nvm_ext_dir_find(g_image_table[r].dir_type, &dir, &k, nullptr, nullptr, nullptr, nullptr) != 0)
        return when_absent;
    return common_nvm_ext_dir_remove(&dir, k);
}

}  // namespace

extern "C" int common_nvm_remove_vpd_image() { return remove_named("VPD", -1); }
extern "C" int common_nvm_remove_ccm_image() { return remove_named("CCM", 0); }

extern "C" int common_nvm_file_has_image(const uint8_t* image, uint32_t size, uint32_t type)
{
    if (!image || size < kDirOffset + 16 * 12)
        return 0;
    for (uint32_t i = 0; i < 16; ++i) {
        const uint8_t* e = image + kDirOffset + 12 * i;
        uint32_t flags = load_u32(e + 4);
        if ((flags & kTypeMask) == type && (flags & kLenMask) != 0)
            return 1;
        if ((flags & kTypeMask) != kTypeExtDir || (flags & kLenMask) == 0)
            continue;
        uint64_t off = load_u32(e + 8);
        if (off + 8 > size)
            continue;
        uint32_t count = load_u32(image + off);
        if (count > 64)
            continue;
        for (uint32_t k = 0; k < count; ++k) {
            uint64_t at = off + 8 + 12ull * k;
            if (at + 12 > size)
                break;
            if ((load_u32(image + at + 4) & kTypeMask) == type)
                return 1;
        }
    }
    return 0;
}
