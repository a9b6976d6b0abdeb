// The NVRAM image of E4 adapters: its image types, its directory (two copies) and a builder that
// writes a whole image from a short description.
//
// Map (byte offsets; every structure word is little-endian, images are stored as their files
// carry them):
//   0x0000  filler (offset 0 is the firmware's programming channel; nothing is placed there)
//   0x2000  directory copy 0 (4096 bytes)      0x3000  directory copy 1
//   0x4000  images, each followed by a CRC dword that its directory entry counts
//
// A directory copy: seq, count, reserved; `count` entries {type, offset, length, sram, sram_run};
// then the CRC of everything before it. A seq of 0xFFFFFFFE or 0xFFFFFFFF marks an empty copy;
// of two valid copies the one with the greater seq (signed comparison, copy 0 on a tie) is in
// force, and bit 0 of its seq names the firmware bank that boots next.
//
// The CRC of the directory and of every image: zlib's CRC-32 of the bytes with each 4-byte group
// reversed, stored most significant byte first (so its little-endian value is the byte-swapped
// CRC).
#pragma once

#include "testkit/bytes.h"

#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace testkit::e4 {

inline constexpr uint32_t kDirCopy0 = 0x2000;
inline constexpr uint32_t kDirCopySize = 0x1000;
inline constexpr uint32_t kFirstImage = 0x4000;
inline constexpr uint32_t kDirMaxCount = 149;  // a count of 150 or more is not a directory
inline constexpr uint32_t kSeqEmpty = 0xFFFFFFFE;
constexpr uint32_t dir_copy_offset(unsigned copy) { return kDirCopy0 + kDirCopySize * copy; }
constexpr uint32_t dir_bytes(uint32_t count) { return 12 + 20 * count + 4; }  // with the CRC

// Image type ids as the directory and the image header carry them (ids 30 and 35 do not exist).
namespace type {
inline constexpr uint32_t TIM1 = 1, TIM2 = 2, MIM1 = 3, MIM2 = 4, MBA = 5, OPT_MODULES = 6, VPD = 7,
                          MFW_TRACE1 = 8, MFW_TRACE2 = 9, NVM_CFG1 = 10, L2B = 11, DIR1 = 12, EAGLE_FW1 = 13,
                          FALCON_FW1 = 14, PCIE_FW1 = 15, HW_SET = 16, LIM = 17, AVS_FW1 = 18, DIR2 = 19,
                          CCM = 20, EAGLE_FW2 = 21, FALCON_FW2 = 22, PCIE_FW2 = 23, AVS_FW2 = 24, INIT_HW = 25,
                          DEFAULT_CFG = 26, CRASH_DUMP = 27, META = 28, ISCSI_CFG = 29, FCOE_CFG = 31,
                          ETH_PHY_FW1 = 32, ETH_PHY_FW2 = 33, BDN = 34, PK = 36, RECOVERY = 37;
}

// The name of a type id ("TIM1", "NVM_CFG1", ...), or "" for an id that is no type.
std::string type_name(uint32_t id);
// The id of a name; nothing for an unknown name.
std::optional<uint32_t> type_id(std::string_view name);

// Firmware banks: bank 0 runs the first member of each pair (TIM1, MIM1, ...), bank 1 the second.
// The bank of a type, or nothing for a type outside the pairs.
std::optional<unsigned> bank_of(uint32_t id);
// The member of a type's pair in a bank; a type outside the pairs is returned unchanged.
uint32_t type_in_bank(uint32_t id, unsigned bank);

// The directory's and the images' CRC (see above) of n bytes, n a multiple of 4.
uint32_t crc(const uint8_t* p, size_t n);

struct Entry {
  uint32_t type = 0;
  uint32_t offset = 0;
  uint32_t length = 0;  // bytes, the trailing CRC included
  uint32_t sram = 0;
  uint32_t sram_run = 0;
};

// One directory copy: header, entries and CRC (dir_bytes(count) bytes).
Bytes dir_copy(uint32_t seq, const std::vector<Entry>& entries, uint32_t reserved = 0);
// Writes a copy into its place in the NVRAM.
void write_dir_copy(Bytes& nvram, unsigned copy, uint32_t seq, const std::vector<Entry>& entries);

// An image to place: its bytes as the image file carries them, without the trailing CRC.
struct ImageDef {
  ImageDef() = default;
  ImageDef(uint32_t t, Bytes d) : type(t), data(std::move(d)) {}
  uint32_t type = 0;
  Bytes data;
  std::optional<uint32_t> offset;  // default: after the previous image
  uint32_t gap_before = 0;         // free bytes left before the image (rounded up to 4)
  bool bad_crc = false;            // store a wrong trailing CRC
};

enum class SecondCopy { Erased, Older };

struct NvramDef {
  uint32_t size = 0x40000;
  uint32_t seq = 2;                      // of the copy in force; bit 0 is the bank that boots next
  unsigned copy = 0;                     // which copy is in force
  SecondCopy other = SecondCopy::Erased;  // the other copy: erased, or a valid copy with seq - 1
  std::vector<ImageDef> images;
  bool self_entries = true;              // list the copies written (DIR1 for copy 0, DIR2 for copy 1)
};

struct Built {
  Bytes nvram;
  std::vector<Entry> entries;  // the directory in force, in order
};

// Builds the image (erased bytes 0xFF). Throws std::invalid_argument when the images do not fit,
// overlap, are unaligned or lie below 0x4000, or when there are too many entries.
Built build(const NvramDef& desc);

}  // namespace testkit::e4
