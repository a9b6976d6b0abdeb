// The E1-E3 image directory (16 entries at 0x14, CRC at 0xFC), the extended directory that entry
// 15 points to, the bootstrap record and the space check for a new image.
#pragma once

#include <cstdint>

extern "C" {

// The extended directory in host order: count, byte_cnt, 64 entries {sram, flags, offset}.
struct nvm_ext_dir {
    uint32_t count;
    uint32_t byte_cnt;
    uint32_t entry[64][3];
};
static_assert(sizeof(nvm_ext_dir) == 776);

int common_nvm_read_dir_entry(uint32_t i, uint32_t* nvm_offset, uint32_t* length, uint32_t* sram,
                              uint32_t* type, uint32_t* processor);
int common_nvm_write_dir_entry(uint32_t i, uint32_t nvm_offset, uint32_t length, uint32_t sram, uint32_t type,
                               uint32_t processor);
// Clears the listed entries (indexes below 16) with the directory CRC in one write.
int common_nvm_clear_dir_entries(const uint32_t* indexes, uint32_t count);
int common_nvm_find_dir_entry(uint32_t type, uint32_t* index, uint32_t* prev_start);
int common_nvm_find_free_dir_entry(uint32_t* index);
// Source 0: NVRAM at image + offset. Source 1: the host buffer `image` of `image_size` bytes
// (refused when the range leaves it).
int common_nvm_read_from(uint32_t source, uintptr_t image, uint32_t image_size, uint32_t offset, void* out,
                         uint32_t length);
// 1 when a whole NVRAM image in a host buffer (host-order words, `size` bytes) lists the type in
// its directory or its extended directory. Offsets are checked against the size.
int common_nvm_file_has_image(const uint8_t* image, uint32_t size, uint32_t type);

int common_nvm_read_ext_dir(uint32_t nvm_offset, uint32_t length, nvm_ext_dir* out);
int common_nvm_ext_dir_find(uint32_t type, const nvm_ext_dir* dir, uint32_t* k, uint32_t* nvm_offset,
                            uint32_t* sram, uint32_t* length, uint32_t* processor);
int common_nvm_find_ext_dir_image(uint32_t* present, uint32_t type, uint32_t* nvm_offset, uint32_t* length,
                                  uint32_t* k);
int common_nvm_ext_dir_add(nvm_ext_dir* dir, uint32_t type, uint32_t length, uint32_t nvm_offset, uint32_t sram,
                           uint32_t old_length, uint32_t processor);
int common_nvm_ext_dir_remove(nvm_ext_dir* dir, uint32_t k);
int common_nvm_fix_ext_dir_byte_cnt();
int common_nvm_find_ext_image_by_name(const char* text, uint32_t* nvm_offset, uint32_t* length, uint32_t* row);
int common_nvm_remove_vpd_image();
int common_nvm_remove_ccm_image();
// Reads entry 15 and, when it is an extended directory, the directory itself: 1 read, 0 none, -1 error.
int common_nvm_load_ext_dir(nvm_ext_dir* dir);
// Places a fresh, empty extended directory and publishes it in entry 15.
int common_nvm_create_ext_dir();

// A batch of directory changes (one upgrade command, or one MBI package, installing several
// images): while it is open, adds, removals, repairs of the extended directory, the bootstrap
// record of a new management firmware and the writes of entries 0-14 are held in memory, every
// lookup above sees the held state, and closing the outermost batch publishes it once: the fresh
// copy of the extended directory, then the bootstrap record, the held entries, entry 15 and the
// directory CRC in one write. Batches nest. Closing returns 0, or -1 when publishing failed; the
// held state is dropped either way and the directory in force is then the last one published.
void common_nvm_ext_dir_batch_open();
int common_nvm_ext_dir_batch_close();
int common_nvm_ext_dir_batch_active();
// Publishes what the open batch holds now; the batch stays open. 0 or -1.
int common_nvm_ext_dir_flush();
// 1 with the held directory (count 0 when held as removed) when the batch holds changes, else 0.
int common_nvm_ext_dir_held(nvm_ext_dir* out);
// Entries 0-14 inside a batch: a write of `words` {sram, flags, offset} is held (1) unless the
// batch publishes at once (0); `held_entry` gives the held words (1) or 0; the mask has bit i
// set for each held entry i.
int common_nvm_dir_hold_entry(uint32_t i, const uint32_t words[3]);
int common_nvm_dir_held_entry(uint32_t i, uint32_t words[3]);
uint32_t common_nvm_dir_held_mask();
// An entry written to the NVRAM directly is no longer held.
void common_nvm_dir_unhold_entry(uint32_t i);
// What the NVRAM's own directory holds for entry i, held entries notwithstanding.
int common_nvm_read_published_dir_entry(uint32_t i, uint32_t* nvm_offset, uint32_t* length);
// The allocator had to publish to make room: the next add is published at once, not held.
void common_nvm_ext_dir_set_direct(int on);
// The bootstrap record for a new management firmware: held with the directory inside a batch,
// else written now.
int common_nvm_ext_dir_hold_bootstrap(uint32_t sram, uint32_t length, uint32_t nvm_offset);

// 0 does not fit, 1 fits, 2 fits only without the SWIM images.
int common_nvm_image_fits(uint32_t single_path, uint32_t type, uint32_t length, const uint32_t* tags,
                          uint32_t tag_count);

// CRC region check: 0 when the last word of the region holds the CRC of the bytes before it.
int common_nvm_region_crc(uint32_t offset, uint32_t length);
// Computes the CRC word a region needs (stored form) and reads the one it has.
int common_nvm_region_crc_values(uint32_t offset, uint32_t length, uint32_t* computed, uint32_t* stored);

// Bootstrap record at 0: {magic, sram, dword count, offset, CRC}. Length 0 clears it.
int common_nvm_write_bootstrap(uint32_t sram, uint32_t length, uint32_t nvm_offset);
int common_nvm_read_bootstrap(uint32_t* sram, uint32_t* length, uint32_t* nvm_offset);

}  // extern "C"

namespace fwupg::nvm {
constexpr uint32_t kDirOffset = 0x14;
constexpr uint32_t kDirCrc = 0xFC;
constexpr uint32_t kExtDirBytes = 776;

// One directory entry to write: its index and the three words {sram, flags, offset} it gets.
struct DirEntryWrite {
    uint32_t index;
    uint32_t words[3];
};
DirEntryWrite dir_entry_words(uint32_t i, uint32_t nvm_offset, uint32_t length, uint32_t sram, uint32_t type,
                              uint32_t processor);
// Writes the entries with the directory CRC in one write, from the lowest entry given to the
// CRC, never held; with `boot` (the bootstrap record's five words) the write starts at offset 0
// and carries that record too, so that it and the entries change together. 0 or -1.
int write_dir_record(const DirEntryWrite* list, uint32_t count, const uint32_t* boot);
// The five words of a bootstrap record (length 0: the cleared record).
void bootstrap_words(uint32_t sram, uint32_t length, uint32_t nvm_offset, uint32_t out[5]);

// Holds the extended-directory changes made during its lifetime (see common_nvm_ext_dir_batch_open);
// finish() publishes them and reports, the destructor publishes when finish() was not called.
class ExtDirBatch {
public:
    ExtDirBatch() { common_nvm_ext_dir_batch_open(); }
    ~ExtDirBatch()
    {
        if (open_)
            common_nvm_ext_dir_batch_close();
    }
    ExtDirBatch(const ExtDirBatch&) = delete;
    ExtDirBatch& operator=(const ExtDirBatch&) = delete;
    int finish()
    {
        open_ = false;
        return common_nvm_ext_dir_batch_close();
    }

private:
    bool open_ = true;
};
}  // namespace fwupg::nvm
