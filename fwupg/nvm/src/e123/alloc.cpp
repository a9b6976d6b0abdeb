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
// A move never writes over the copy that its entry (or the bootstrap) still names, and the entry
// is switched only once the new copy is complete: an image whose gap below is smaller than itself
// goes to a free scratch area first and from there to its place; without such an area it stays
// where it is. An image of the extended directory is relisted through a new copy of that
// directory, so a power loss at any point leaves every listed image whole, at its old or new place.
// While a batch of directory changes is held, the images of the held directory (and entries) are
// occupied as well as those of the published ones, nothing moves, and a new image is placed only where room
// for the held directory's own copy remains; otherwise the held directory is published first and
// the request is served as without a batch.
#include "fwupg/nvm/e123/alloc.h"

#include <algorithm>
#include <new>
#include <vector>

#include "fwupg/host_ops.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/base/registers.h"
#include "fwupg/nvm/e123/directory.h"
#include "fwupg/nvm/e123/ext_install.h"
#include "fwupg/nvm/e123/image_table.h"
#include "fwupg/nvm/e123/program.h"

using namespace fwupg::nvm;

namespace {

uint32_t g_moves = 0;

// Room for a copy of the extended directory with its CRC word.
constexpr uint64_t kExtDirSpan = ((uint64_t(kExtDirBytes) + 3) & ~3ull) + 4;

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
    if (shmem_base(&base) != 0 || base == 0)
        return 0;
    if (reg_read(base + kShmemRunningMfw, &word) != 0)
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

// One move of a compaction: the image's bytes are copied to `to`, then every reference to it is
// switched there. An image of the extended directory is relisted by a new copy of that directory
// at `dir_at`, switched in through entry 15, so the directory in force is never rewritten.
struct Step {
    Placed image;  // as it stands before the move
    uint32_t to;
    uint32_t dir_at;
};

// The state a compaction plan works on: the listed images as they stand after the planned steps.
struct Plan {
    std::vector<Placed> images;
    std::vector<Placed> replaced;  // copies the new image replaces: listed until it is, never a scratch area
    uint64_t start;
    uint64_t end;
    bool shift;  // the active SWIM may move
    std::vector<Step> steps;
};

constexpr size_t kNone = size_t(-1);

uint64_t span(const Placed& p) { return p.end() - p.start; }

// The highest place >= plan.start where `needed` bytes touch no listed image, no replaced copy and
// not [avoid_from, avoid_to): a scratch area away from the room compaction is closing up.
bool top_free(const Plan& plan, uint64_t needed, uint64_t avoid_from, uint64_t avoid_to, uint64_t* at)
{
    std::vector<std::pair<uint64_t, uint64_t>> used;
    for (const auto* list : {&plan.images, &plan.replaced})
        for (const Placed& p : *list)
            used.emplace_back(p.start, p.end());
    if (avoid_to > avoid_from)
        used.emplace_back(avoid_from, avoid_to);
    used.emplace_back(plan.end, plan.end);
    std::sort(used.begin(), used.end());
    bool found = false;
    uint64_t low = plan.start;
    for (const auto& [from, to] : used) {
        const uint64_t high = std::min(from, plan.end);
        if (high >= low + needed) {
            *at = (high - needed) & ~3ull;
            found = true;
        }
        low = std::max(low, to);
    }
    return found;
}

size_t ext_dir_of(const Plan& plan)
{
    for (size_t i = 0; i < plan.images.size(); ++i)
        if (plan.images[i].home == Home::Main && plan.images[i].index == 15 && plan.images[i].type == kTypeExtDir)
            return i;
    return kNone;
}

// Plans one move of images[i] to `to`, a place that must not overlap its current copy.
bool plan_step(Plan& plan, size_t i, uint64_t to)
{
    Step s{plan.images[i], uint32_t(to), 0};
    if (s.image.home == Home::Ext) {
        const size_t d = ext_dir_of(plan);
        uint64_t dir_at = 0;
        if (d == kNone || !top_free(plan, span(plan.images[d]), to, to + span(s.image), &dir_at))
            return false;
        s.dir_at = uint32_t(dir_at);
        plan.images[d].start = uint32_t(dir_at);
    }
    plan.images[i].start = uint32_t(to);
    plan.steps.push_back(s);
    return true;
}

// Plans the move of images[i] down to `to` without ever writing over the copy that is listed:
// straight there when the two places are apart, else through a scratch area first. False, with
// the plan unchanged, when that cannot be done.
bool plan_move(Plan& plan, size_t i, uint64_t to)
{
    Plan trial = plan;
    const uint64_t from = trial.images[i].start, len = span(trial.images[i]);
    if (to + len > from) {
        uint64_t hop = 0;
        if (!top_free(trial, len, to, to + len, &hop) || !plan_step(trial, i, hop))
            return false;
    }
    if (!plan_step(trial, i, to))
        return false;
    plan = std::move(trial);
    return true;
}

// One sweep from the bottom: movable blockers move down until `needed` bytes are free. A blocker
// that cannot move safely stays; true with the offset when room was found.
bool sweep(Plan& plan, uint64_t needed, bool* moved, uint64_t* at)
{
    uint64_t cand = plan.start;
    while (cand < plan.end) {
        size_t blocker = kNone;
        bool covered = false;
        for (size_t i = 0; i < plan.images.size(); ++i) {
            const Placed& p = plan.images[i];
            if (p.start < cand && p.end() > cand) {
                cand = p.end();
                covered = true;
                break;
            }
            if (p.start >= cand && (blocker == kNone || p.start < plan.images[blocker].start))
                blocker = i;
        }
        if (covered)
            continue;
        const uint64_t limit = blocker == kNone ? plan.end : std::min<uint64_t>(plan.images[blocker].start, plan.end);
        if (limit >= cand && limit - cand >= needed) {
            *at = cand;
            return true;
        }
        if (blocker == kNone)
            break;
        const Placed& b = plan.images[blocker];
        if (b.start != cand && !b.pinned && (!b.active_swim || plan.shift) && plan_move(plan, blocker, cand))
            *moved = true;
        cand = plan.images[blocker].end();
    }
    return false;
}

// Plans the compaction that frees `needed` bytes. Sweeps repeat while they move something: room
// closed up higher up can be the scratch area a lower blocker needs.
bool plan_compaction(Plan& plan, uint64_t needed, uint64_t* at)
{
    for (int round = 0; round < 64; ++round) {
        bool moved = false;
        if (sweep(plan, needed, &moved, at))
            return true;
        if (!moved)
            return false;
    }
    return false;
}

// Rewrites the references to an image whose copy at `s.to` is complete.
int relink(const Step& s)
{
    const Placed& p = s.image;
    uint32_t sram = 0, boot_len = 0, boot_off = 0;
    const bool booted = common_nvm_read_bootstrap(&sram, &boot_len, &boot_off) == 0 && boot_len != 0;
    if (p.home == Home::Boot)
        return booted ? common_nvm_write_bootstrap(sram, p.length, s.to) : -1;
    if (p.home == Home::Main) {
        uint32_t entry_sram = 0, proc = 0;
        if (common_nvm_read_dir_entry(p.index, nullptr, nullptr, &entry_sram, nullptr, &proc) != 0 ||
            common_nvm_write_dir_entry(p.index, s.to, p.length, entry_sram, p.type, proc) != 0)
            return -1;
    } else {
        uint32_t dir_off = 0, dir_len = 0, dir_sram = 0, dir_proc = 0;
        nvm_ext_dir ext;
        if (common_nvm_read_dir_entry(15, &dir_off, &dir_len, &dir_sram, nullptr, &dir_proc) != 0 ||
            common_nvm_read_ext_dir(dir_off, dir_len, &ext) != 0 || p.index >= ext.count)
            return -1;
        ext.entry[p.index][2] = s.to;
        uint32_t written = 0;
        if (common_nvm_program_nvm(&ext, kExtDirBytes, s.dir_at, NVM_PRG_APPEND_CRC, &written) != 0 ||
            common_nvm_write_dir_entry(15, s.dir_at, written, dir_sram, kTypeExtDir, dir_proc) != 0)
            return -1;
    }
    // The bootstrap may name the same copy (MFW1 after a management-firmware install).
    if (booted && boot_off == p.start)
        return common_nvm_write_bootstrap(sram, boot_len, s.to);
    return 0;
}

int execute(const Step& s)
{
    std::vector<uint8_t> data;
    try {
        data.resize((s.image.length + 3) & ~3u);
    } catch (const std::bad_alloc&) {
        return -2;
    }
    if (common_nvm_read(s.image.start, data.data(), uint32_t(data.size()), 1) != 0)
        return -1;
    if (common_nvm_program_nvm(data.data(), uint32_t(data.size()), s.to, 0, nullptr) != 0)
        return -1;
    if (relink(s) != 0)
        return -1;
    ++g_moves;
    return 0;
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

// The placed images, the caller's kept range and those of a held directory, sorted by start.
// *frozen tells that a directory is held: its images may not move.
int gather(uint32_t type, uint32_t keep_offset, uint32_t keep_length, std::vector<Placed>& images, bool* frozen)
{
    if (collect(type, images) != 0)
        return -1;
    if (keep_length)
        images.push_back({Home::Keep, 0, 0, keep_offset, keep_length, true, false, false, false});
    nvm_ext_dir held;
    const bool ext_held = common_nvm_ext_dir_held(&held) == 1;
    if (ext_held)
        for (uint32_t k = 0; k < held.count && k < 64; ++k) {
            const uint32_t len = held.entry[k][1] & kLenMask;
            if (len != 0)
                images.push_back({Home::Keep, 0, 0, held.entry[k][2], len, true, false, false, false});
        }
    // Entries held in memory: the images the NVRAM's directory still names stay occupied too.
    const uint32_t main_held = common_nvm_dir_held_mask();
    for (uint32_t i = 0; i < 15; ++i) {
        uint32_t off = 0, len = 0;
        if (!(main_held & (1u << i)))
            continue;
        if (common_nvm_read_published_dir_entry(i, &off, &len) != 0)
            return -1;
        if (len != 0)
            images.push_back({Home::Keep, 0, 0, off, len, true, false, false, false});
    }
    *frozen = ext_held || main_held != 0;
    std::sort(images.begin(), images.end(), [](const Placed& a, const Placed& b) { return a.start < b.start; });
    return 0;
}

// True when, with `needed` bytes taken at `at`, a copy of the extended directory still fits.
bool leaves_directory_room(std::vector<Placed> images, uint64_t at, uint64_t needed, uint64_t start, uint64_t end)
{
    images.push_back({Home::Keep, 0, 0, uint32_t(at), uint32_t(needed), true, false, false, false});
    std::sort(images.begin(), images.end(), [](const Placed& a, const Placed& b) { return a.start < b.start; });
    uint64_t dir_at = 0;
    return first_gap(images, start, kExtDirSpan, end, &dir_at);
}

}  // namespace

extern "C" uint32_t common_nvm_alloc_moves() { return g_moves; }

extern "C" int common_nvm_alloc_room_now(uint32_t length, uint32_t keep_offset, uint32_t keep_length)
{
    std::vector<Placed> images;
    bool frozen = false;
    if (gather(kTypeExtDir, keep_offset, keep_length, images, &frozen) != 0)
        return 0;
    const uint64_t start = common_nvm_is_e1() != 0 ? 2024 : 3112;
    uint64_t at = 0;
    return first_gap(images, start, ((uint64_t(length) + 3) & ~3ull) + 4, common_nvm_get_nvm_size(), &at) ? 1 : 0;
}

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

    // Inside a batch a new image must leave room for the held directory's copy; without that the
    // held directory is published first and this image's entry goes out at once.
    const bool batch = common_nvm_ext_dir_batch_active() != 0 && type != kTypeExtDir;
    if (batch)
        common_nvm_ext_dir_set_direct(0);
    std::vector<Placed> images;
    bool frozen = false;
    if (gather(type, keep_offset, keep_length, images, &frozen) != 0)
        return -1;

    uint64_t at = 0;
    if (first_gap(images, start, needed, end, &at) &&
        (!batch || leaves_directory_room(images, at, needed, start, end))) {
        *out = uint32_t(at);
        return 0;
    }
    if (batch) {
        if (frozen && common_nvm_ext_dir_flush() != 0)
            return -1;
        common_nvm_ext_dir_set_direct(1);
        if (gather(type, keep_offset, keep_length, images, &frozen) != 0)
            return -1;
        if (first_gap(images, start, needed, end, &at)) {
            *out = uint32_t(at);
            return 0;
        }
    }
    // Held images are listed by no directory in NVRAM: a move could not relink them.
    if (frozen)
        return -1;

    if (reuse_old_swim(type, images, needed, &at)) {
        *out = uint32_t(at);
        return 0;
    }

    // Second pass: the space of the replaced image is free, movable images close up. A replaced
    // copy in force stays where it is until its successor is listed.
    Plan plan{{}, {}, start, end, false, {}};
    for (Placed& p : images) {
        if (p.same_type && !p.in_force) {
            plan.replaced.push_back(p);
            continue;
        }
        if (p.same_type)
            p.pinned = true;
        plan.images.push_back(p);
    }
    Plan attempt = plan;
    if (!plan_compaction(attempt, needed, &at)) {
        const bool has_active =
            std::any_of(plan.images.begin(), plan.images.end(), [](const Placed& p) { return p.active_swim; });
        if (!has_active)
            return -1;
        attempt = plan;
        attempt.shift = true;
        if (!plan_compaction(attempt, needed, &at))
            return -1;
        fwupg_dbg_printf("WARNING: Active SWIM needs to be shifted! Reboot required after flash!\n");
    }
    for (const Step& s : attempt.steps) {
        int rc = execute(s);
        if (rc != 0)
            return rc;
    }
    *out = uint32_t(at);
    return 0;
}
