// Finding, reading and writing directory entries, and region CRCs.
#include "fwupg/nvm_legacy/directory.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <tcl.h>

#include "fwupg/nvm_legacy/crc.h"
#include "fwupg/nvm_legacy/image_table.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "toe_context.h"

namespace {
uint32_t entry_offset(int index) { return TOE_DIR_OFFSET + 12u * static_cast<uint32_t>(index); }

// An entry written while the directory is held: its index and its three words (SRAM address,
// flags, NVRAM offset) as host values.
struct held_entry {
    int index;
    uint32_t words[3];
};
// The held directory. One is enough: the engine runs one command at a time.
struct held_directory {
    bool on = false;
    std::vector<held_entry> entries;
    held_entry* find(int index)
    {
        for (held_entry& e : entries)
            if (e.index == index)
                return &e;
        return nullptr;
    }
};
held_directory g_held;

// Word `w` (0 SRAM address, 1 flags, 2 NVRAM offset) of an entry as the directory stands for the
// command: a held entry's own word, else the NVRAM's.
uint32_t read_entry_word(const HostOps& ops, uint32_t dev, int index, int w, uint32_t* out)
{
    if (const held_entry* e = g_held.find(index)) {
        *out = e->words[w];
        return 0;
    }
    return toe::read_dword(ops, dev, entry_offset(index) + 4u * uint32_t(w), out);
}

// Walks the flags words; returns the first index for which `pick` holds, -1 when none, -2 on a
// read failure.
template <class Pick>
int walk_flags(const HostOps& ops, uint32_t dev, Pick pick)
{
    for (int i = 0; i < int(TOE_DIR_ENTRIES); ++i) {
        uint32_t flags = 0;
        if (read_entry_word(ops, dev, i, 1, &flags) != 0)
            return -2;
        if (pick(flags))
            return i;
    }
    return -1;
}
// Index check (before the device is looked up), then the device: 0, or the routine's result.
int entry_access(const HostOps& ops, int index, uint32_t* dev)
{
    if (index < 0 || index >= int(TOE_DIR_ENTRIES)) {
        toe::set_error(ops, toe::ERR_DIR_INDEX);
        toe::append_result(ops, "Invalid NVM directory index.");
        return -1;
    }
    if (!toe::get_dev(ops, dev)) {
        toe::set_error(ops, toe::ERR_NO_DEVICE);
        toe::append_result(ops, "Failed to locate device.");
        return -1;
    }
    return toe_nvm_check_dev(*dev) != 0 ? 1 : 0;
}
}  // namespace

int toe_nvm_find_dir_entry(HostOps ops, uint32_t dir_type, int* index)
{
    *index = 0;
    if (dir_type >= TOE_DIR_TYPE_BC1)
        return -1;
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return -1;
    if (toe_nvm_check_dev(dev) != 0)
        return 1;
    *index = -1;
    const int i = walk_flags(ops, dev, [dir_type](uint32_t f) {
        return (f & TOE_FLAGS_LEN_MASK) != 0 && (f & TOE_FLAGS_TYPE_MASK) == dir_type;
    });
    if (i < 0)
        return -1;
    *index = i;
    return 0;
}

int toe_nvm_find_free_dir_entry(HostOps ops, int* index)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return -1;
    if (toe_nvm_check_dev(dev) != 0)
        return 1;
    const int i = walk_flags(ops, dev, [](uint32_t f) { return (f & TOE_FLAGS_LEN_MASK) == 0; });
    if (i < 0)
        return -1;
    *index = i;
    return 0;
}

int toe_nvm_read_dir_entry(HostOps ops, int index, uint32_t* nvm_offset, uint32_t* byte_count, uint32_t* sram_addr,
                           uint32_t* dir_type, uint32_t* processor)
{
    uint32_t dev = 0;
    if (const int rc = entry_access(ops, index, &dev))
        return rc;
    uint32_t sram = 0, offset = 0, flags = 0, status = 0;
    if (sram_addr)
        status |= read_entry_word(ops, dev, index, 0, &sram);
    if (nvm_offset)
        status |= read_entry_word(ops, dev, index, 2, &offset);
    status |= read_entry_word(ops, dev, index, 1, &flags);
    if (status != 0) {
        toe::set_error(ops, toe::ERR_READ);
        toe::append_result(ops, "NVM read failed.");
        return -1;
    }
    if (sram_addr)
        *sram_addr = sram;
    if (nvm_offset)
        *nvm_offset = offset;
    if (byte_count)
        *byte_count = flags & TOE_FLAGS_LEN_MASK;
    if (dir_type)
        *dir_type = flags & TOE_FLAGS_TYPE_MASK;
    if (processor)
        *processor = flags & TOE_FLAGS_CPU_MASK;
    return 0;
}

namespace {

// The entries and the directory CRC go to the NVRAM in one transfer, from the first word that
// changes on to the CRC word at the end of the directory region: a power loss between two writes
// can then never leave a changed entry under the old CRC, and changing several entries costs one
// write. Entries that already hold their values under a matching CRC are not written.
int write_entries(const HostOps& ops, uint32_t dev, const std::vector<held_entry>& list)
{
    constexpr uint32_t kWords = TOE_DIR_REGION_LEN / 4;
    uint32_t dir[kWords];
    if (toe::read_block(ops, dev, TOE_DIR_OFFSET, TOE_DIR_REGION_LEN, reinterpret_cast<uint8_t*>(dir)) != 0) {
        toe::set_error(ops, toe::ERR_DIR_CRC);
        toe::append_result(ops, "Update directory CRC failed.");
        return -1;
    }
    for (const held_entry& e : list)
        std::copy(e.words, e.words + 3, dir + 3 * e.index);
    dir[kWords - 1] = toe_crc_of_words(dir, TOE_DIR_REGION_LEN - 4, 0);
    if (toe::write_changed(ops, dev, TOE_DIR_OFFSET, TOE_DIR_REGION_LEN, reinterpret_cast<uint8_t*>(dir)) != 0) {
        toe::set_error(ops, toe::ERR_WRITE);
        toe::append_result(ops, "NVM write failed.");
        return -1;
    }
    return 0;
}

}  // namespace

int toe_nvm_write_dir_entry(HostOps ops, int index, uint32_t nvm_offset, uint32_t byte_count, uint32_t sram_addr,
                            uint32_t dir_type, uint32_t processor)
{
    uint32_t dev = 0;
    if (const int rc = entry_access(ops, index, &dev))
        return rc;
    const held_entry e{index,
                       {sram_addr,
                        (dir_type & TOE_FLAGS_TYPE_MASK) | (processor & TOE_FLAGS_CPU_MASK) |
                            (byte_count & TOE_FLAGS_LEN_MASK),
                        nvm_offset}};
    if (!g_held.on)
        return write_entries(ops, dev, {e});
    if (held_entry* have = g_held.find(index))
        *have = e;
    else
        g_held.entries.push_back(e);
    return 0;
}

void toe_nvm_hold_dir() { g_held = {true, {}}; }

bool toe_nvm_dir_held() { return g_held.on; }

int toe_nvm_publish_dir(HostOps ops)
{
    if (!g_held.on)
        return 0;
    if (!g_held.entries.empty()) {
        uint32_t dev = 0;
        if (!toe::get_dev(ops, &dev) || toe_nvm_check_dev(dev) != 0 || write_entries(ops, dev, g_held.entries) != 0)
            return -1;
    }
    g_held = {};
    return 0;
}

void toe_nvm_drop_dir() { g_held = {}; }

int toe_nvm_region_crc(HostOps ops, uint32_t start, uint32_t length, uint32_t* computed, uint32_t* stored)
{
    uint32_t dev = 0;
    if (!toe::get_dev(ops, &dev))
        return -1;
    if (toe_nvm_check_dev(dev) != 0)
        return 1;
    if (length == 0 || length % 4 != 0)
        return -1;
    std::vector<uint32_t> words;
    try {
        words.resize(length / 4);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (toe::read_block(ops, dev, start, length, reinterpret_cast<uint8_t*>(words.data())) != 0)
        return -1;
    if (computed)
        *computed = toe_crc_of_words(words.data(), length - 4, 0);
    if (stored)
        *stored = words.back();
    return 0;
}

long toe_nvm_size(Tcl_Interp* interp)
{
    if (!interp)
        return 0;
    Tcl_Obj* v = Tcl_GetVar2Ex(interp, "::toe", "NVM_SIZE", TCL_GLOBAL_ONLY);
    long size = 0;
    if (!v || Tcl_GetLongFromObj(nullptr, v, &size) != TCL_OK)
        return 0;
    return size < 0 ? 0 : size;
}
