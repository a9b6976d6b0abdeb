// First-fit allocation of NVRAM space with compaction.
//
// A first pass looks for room that leaves every listed image (the one to be replaced included)
// untouched, so that an interrupted upgrade still finds the old image intact. Only when that
// fails does the second pass reuse the space of the image being replaced and move movable images
// down to close the gaps; pinned images (BDN, the SWIM image the running firmware executes) stay.
// The copy in force of an image the adapter cannot run without (the active SWIM, the image the
// bootstrap names) is never given to its own successor: a power loss while the new copy is written
// over it would leave the adapter with neither, so without other room the request is refused.
// A SWIM image of the set the running firmware does not use may take its old image's place
// instead of forcing moves. The active SWIM is moved only when nothing else makes room; that
// needs a reboot, and the operator is warned. Compaction is planned on a copy first, so a
// request that cannot succeed moves nothing.
#include "fwupg/nvm/alloc.h"

#include <algorithm>
#include <new>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/access.h"
#include "fwupg/nvm/directory.h"
#include "fwupg/nvm/ext_install.h"
#include "fwupg/nvm/image_table.h"
#include "fwupg/nvm/program.h"

using namespace fwupg::nvm;

namespace {

uint32_t g_moves = 0;

enum class Home { Boot, Main, Ext, Keep };

struct Placed {
    Home home;
    uint32_t index;
    uint32_t type;
    uint32_t start;
    uint32_t length;
    bool pinned;       // never moved (BDN, a range the caller keeps)
    bool active_swim;  // moved only when shifting the running firmware's SWIM is allowed
    bool same_type;
    bool in_force;     // the active SWIM or the image the bootstrap names: no second copy exists
    uint64_t end() const { return (uint64_t(start) + length + 3) & ~3ull; }
};

// The word the running management firmware publishes at shared memory + 8; 0 when none.
uint32_t running_swim_word()
{
    uint32_t base = 0, word = 0;
    if (reg_read(0xA2B4, &base) != 0 || base == 0)
        return 0;
    if (reg_read(base + 8, &word) != 0)
        return 0;
    return word;
}

bool is_active_swim(uint32_t type, uint32_t offset, uint32_t running)
{
    if (!running || !is_swim_type(type))
        return false;
    uint32_t word = 0;
    return common_nvm_read(offset + 32, &word, 4, 1) == 0 && word == running;
}

int collect(uint32_t type, std::vector<Placed>& out)
{
    out.clear();
    const uint32_t running = running_swim_word();
    uint32_t boot_off = 0, boot_len = 0;
    const bool booted = common_nvm_read_bootstrap(nullptr, &boot_len, &boot_off) == 0 && boot_len != 0;
    auto in_force = [&](bool active, uint32_t off) { return active || (booted && off == boot_off); };
    nvm_ext_dir ext{};
    bool have_ext = false;
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t off = 0, len = 0, t = 0;
        if (common_nvm_read_dir_entry(i, &off, &len, nullptr, &t, nullptr) != 0)
            return -1;
        if (len == 0)
            continue;
        // The directory in force is never overwritten by its own successor.
        bool same = t == type && t != kTypeExtDir;
        bool active = is_active_swim(t, off, running);
        out.push_back({Home::Main, i, t, off, len, t == kTypeBdn, active, same, in_force(active, off)});
        if (i == 15 && t == kTypeExtDir) {
            if (common_nvm_read_ext_dir(off, len, &ext) != 0)
                return -1;
            have_ext = true;
        }
    }
    if (have_ext)
        for (uint32_t k = 0; k < ext.count; ++k) {
            uint32_t t = ext.entry[k][1] & kTypeMask, len = ext.entry[k][1] & kLenMask, off = ext.entry[k][2];
            if (len == 0)
                continue;
            bool active = is_active_swim(t, off, running);
            out.push_back({Home::Ext, k, t, off, len, t == kTypeBdn, active, t == type, in_force(active, off)});
        }
    // The bootcode is listed for a new bootcode too, as the copy it replaces.
    if (booted) {
        bool shared = std::any_of(out.begin(), out.end(), [&](const Placed& p) { return p.start == boot_off; });
        if (!shared)
            out.push_back({Home::Boot, 0, kTypeBc1, boot_off, boot_len, false, false, type == kTypeBc1, true});
    }
    return 0;
}

// Rewrites the reference to an image that moved to `to`.
int relink(const Placed& p, uint32_t to)
{
    if (p.home == Home::Boot) {
        uint32_t sram = 0;
        if (common_nvm_read_bootstrap(&sram, nullptr, nullptr) != 0)
            return -1;
        return common_nvm_write_bootstrap(sram, p.length, to);
    }
    if (p.home == Home::Main) {
        uint32_t sram = 0, proc = 0;
        if (common_nvm_read_dir_entry(p.index, nullptr, nullptr, &sram, nullptr, &proc) != 0)
            return -1;
        return common_nvm_write_dir_entry(p.index, to, p.length, sram, p.type, proc);
    }
    uint32_t dir_off = 0, dir_len = 0;
    nvm_ext_dir ext;
    if (common_nvm_read_dir_entry(15, &dir_off, &dir_len, nullptr, nullptr, nullptr) != 0 ||
        common_nvm_read_ext_dir(dir_off, dir_len, &ext) != 0 || p.index >= ext.count)
        return -1;
    ext.entry[p.index][2] = to;
    if (common_nvm_program_nvm(&ext, kExtDirBytes, dir_off, NVM_PRG_APPEND_CRC, nullptr) != 0)
        return -1;
    uint32_t sram = 0, boot_len = 0, boot_off = 0;
    if (p.type == kTypeMfw1 && common_nvm_read_bootstrap(&sram, &boot_len, &boot_off) == 0 && boot_off == p.start)
        return common_nvm_write_bootstrap(sram, boot_len, to);
    return 0;
}

int move_image(Placed& p, uint32_t to, bool plan_only)
{
    if (plan_only) {
        p.start = to;
        return 0;
    }
    std::vector<uint8_t> data;
    try {
        data.resize((p.length + 3) & ~3u);
    } catch (const std::bad_alloc&) {
        return -2;
    }
    if (common_nvm_read(p.start, data.data(), uint32_t(data.size()), 1) != 0)
        return -1;
    if (common_nvm_program_nvm(data.data(), uint32_t(data.size()), to, 0, nullptr) != 0)
        return -1;
    if (relink(p, to) != 0)
        return -1;
    p.start = to;
    ++g_moves;
    return 0;
}

// Lowest start >= `from` where `needed` bytes touch no image; images are sorted by start.
bool first_gap(const std::vector<Placed>& images, uint64_t from, uint64_t needed, uint64_t end, uint64_t* at)
{
    uint64_t cand = from;
    bool moved = true;
    while (moved) {
        moved = false;
        for (const Placed& p : images)
            if (p.start < cand + needed && p.end() > cand) {
                cand = p.end();
                moved = true;
            }
    }
    if (cand + needed > end)
        return false;
    *at = cand;
    return true;
}

// Moves movable blockers down from `start` until `needed` bytes are free; the active SWIM moves
// only with `shift`. `plan_only` works on the copy without touching NVRAM. 0 with the offset,
// -1 no room or a failed move, -2 no memory.
int compact(std::vector<Placed> images, uint64_t start, uint64_t needed, uint64_t end, bool shift, bool plan_only,
            uint64_t* at)
{
    uint64_t cand = start;
    while (cand < end) {
        Placed* blocker = nullptr;
        bool covered = false;
        for (Placed& p : images) {
            if (p.start < cand && p.end() > cand) {
                cand = p.end();
                covered = true;
                break;
            }
            if (p.start >= cand && (!blocker || p.start < blocker->start))
                blocker = &p;
        }
        if (covered)
            continue;
        uint64_t limit = blocker ? blocker->start : end;
        if (limit > end)
            limit = end;
        if (limit - cand >= needed) {
            *at = cand;
            return 0;
        }
        if (!blocker)
            break;
        if (blocker->start == cand || blocker->pinned || (blocker->active_swim && !shift)) {
            cand = blocker->end();
            continue;
        }
        int rc = move_image(*blocker, uint32_t(cand), plan_only);
        if (rc != 0)
            return rc;
        cand = blocker->end();
    }
    return -1;
}

// A SWIM image of the set the running firmware does not use goes where its old image is, when
// that place holds it: nothing the adapter runs on is overwritten and nothing has to move.
bool reuse_old_swim(uint32_t type, const std::vector<Placed>& images, uint64_t needed, uint64_t* at)
{
    uint32_t position = 0;
    if (!is_swim_type(type, &position) || running_swim_word() == 0)
        return false;
    uint32_t running = 0;
    if (common_nvm_swim_sets(&running, nullptr) != 0 || running == 0 || running == (position < 12 ? 1u : 2u))
        return false;
    for (const Placed& p : images)
        if (p.home == Home::Ext && p.same_type && !p.active_swim && p.end() - p.start >= needed) {
            *at = p.start;
            return true;
        }
    return false;
}

}  // namespace

extern "C" uint32_t common_nvm_alloc_moves() { return g_moves; }

extern "C" int common_nvm_alloc_space(uint32_t type, uint32_t length, uint32_t keep_offset, uint32_t keep_length,
                                      uint32_t* out)
{
    if (!out)
        return -1;
    const bool single_path = common_nvm_is_e1() != 0;
    if (common_nvm_image_fits(single_path, type, length, nullptr, 0) != 1)
        return -1;
    const uint64_t needed = ((uint64_t(length) + 3) & ~3ull) + 4;
    const uint64_t start = single_path ? 2024 : 3112;
    const uint64_t end = common_nvm_get_nvm_size();

    std::vector<Placed> images;
    if (collect(type, images) != 0)
        return -1;
    if (keep_length)
        images.push_back({Home::Keep, 0, 0, keep_offset, keep_length, true, false, false, false});
    std::sort(images.begin(), images.end(), [](const Placed& a, const Placed& b) { return a.start < b.start; });

    uint64_t at = 0;
    if (first_gap(images, start, needed, end, &at)) {
        *out = uint32_t(at);
        return 0;
    }

    if (reuse_old_swim(type, images, needed, &at)) {
        *out = uint32_t(at);
        return 0;
    }

    // Second pass: the space of the replaced image is free, movable images close up. A replaced
    // copy in force stays where it is until its successor is listed.
    std::erase_if(images, [](const Placed& p) { return p.same_type && !p.in_force; });
    for (Placed& p : images)
        if (p.same_type)
            p.pinned = true;
    bool shift = false;
    if (compact(images, start, needed, end, false, true, &at) != 0) {
        const bool has_active = std::any_of(images.begin(), images.end(), [](const Placed& p) { return p.active_swim; });
        if (!has_active || compact(images, start, needed, end, true, true, &at) != 0)
            return -1;
        fwupg_dbg_printf("WARNING: Active SWIM needs to be shifted! Reboot required after flash!\n");
        shift = true;
    }
    int rc = compact(images, start, needed, end, shift, false, &at);
    if (rc != 0)
        return rc;
    *out = uint32_t(at);
    return 0;
}
