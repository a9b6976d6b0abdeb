// The legacy NVRAM directory (16 entries of three big-endian words at 0x14, CRC at 0xFC) and the
// placement of images behind the fixed area.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwupg/host_ops.h"

struct Tcl_Interp;

constexpr uint32_t TOE_DIR_OFFSET = 0x14;
constexpr uint32_t TOE_DIR_ENTRIES = 16;
constexpr uint32_t TOE_DIR_REGION_LEN = 236;   // 0x14..0xFF, CRC word at 0xFC
constexpr uint32_t TOE_IMAGES_START = 0x600;
constexpr uint32_t TOE_FLAGS_LEN_MASK = 0x00FFFFFCu;
constexpr uint32_t TOE_FLAGS_CPU_MASK = 0x0F000000u;
constexpr uint32_t TOE_FLAGS_TYPE_MASK = 0xF0000001u;
constexpr uint32_t TOE_SECTIONED_MAGIC = 0x45901011u;

// 0 found (index set); -1 none, type >= 0xF0000000, DEV unreadable or a read failed; 1 device check.
int toe_nvm_find_dir_entry(HostOps ops, uint32_t dir_type, int* index);
// 0 and the first empty entry; -1 when none is empty or a read fails; 1 device check.
int toe_nvm_find_free_dir_entry(HostOps ops, int* index);
// Each out pointer may be null. 0; -1 with a message and last error 30/7/4; 1 device check.
int toe_nvm_read_dir_entry(HostOps ops, int index, uint32_t* nvm_offset, uint32_t* byte_count,
                           uint32_t* sram_addr, uint32_t* dir_type, uint32_t* processor);
// Writes the words of the entry that change and renews the directory CRC, in one write; nothing
// when the entry holds its values under a matching CRC (while the directory is held, the entry is
// only kept). 0; -1 with message and last error 30/7/18/21; 1 device check. All fields 0 delete
// the entry.
int toe_nvm_write_dir_entry(HostOps ops, int index, uint32_t nvm_offset, uint32_t byte_count, uint32_t sram_addr,
                            uint32_t dir_type, uint32_t processor);

// Holding the directory: from toe_nvm_hold_dir on, entry writes are kept in memory, and the finding
// and reading of entries see them, until toe_nvm_publish_dir writes them all with the directory CRC
// in one write. Until then the NVRAM's directory still names the images it named: an image placed
// while the directory is held must not meet those (toe_nvm_alloc_space sees to it).
void toe_nvm_hold_dir();
bool toe_nvm_dir_held();
// Writes the held entries and ends the hold. 0 (also when nothing is held); -1 with message and
// last error 18/21 or 1 on a device check, the entries then still held.
int toe_nvm_publish_dir(HostOps ops);
// Ends the hold, forgetting what is held.
void toe_nvm_drop_dir();

// Computed and stored CRC word of an NVRAM region whose last dword holds its CRC. 0; -1 when the
// region cannot be read or the length is not a positive multiple of 4; 1 device check.
int toe_nvm_region_crc(HostOps ops, uint32_t start, uint32_t length, uint32_t* computed, uint32_t* stored);

// ::toe(NVM_SIZE), 0 when missing.
long toe_nvm_size(Tcl_Interp* interp);

// 1 when an image of `bytes_needed` bytes of the type fits beside the other images, else 0.
int toe_nvm_space_available(HostOps ops, uint32_t dir_type, uint32_t bytes_needed);
// Finds room for an image of `length` bytes plus its CRC word, packing the other images downward
// from 0x600 where needed. While the directory is held, room is sought beside every image of the
// NVRAM's directory and of the held entries, without moving any; only when there is none are the
// held entries published first. 0 and the offset; 1 when there is no room or a move or the
// publishing failed.
int toe_nvm_alloc_space(HostOps ops, uint32_t dir_type, uint32_t length, uint32_t* nvm_offset);
// Whether the images of a file would fit once programmed. `skip_tags` is a zero-terminated list of
// tags left out (may be null). 0 and the flag; 1 when a raw file's option names no row.
int toe_nvm_image_file_fits(HostOps ops, const uint8_t* buf, uint32_t length, const char* option,
                            const uint32_t* skip_tags, int* fits);

// Memory-image length of a sectioned image (largest SRAM end over its sections minus section 0's
// SRAM address; the sixth section exists only when the header's word 1 is not 0); 0 without the
// sectioned magic or when the header is cut off.
uint32_t toe_image_sram_length(const uint8_t* buf, uint32_t length);
