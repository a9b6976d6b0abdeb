// Reader and verifier of E4 NVRAM images: the directory copy in force, the images it lists with
// the version texts a device reports for them, and every check a valid image passes. The
// simulated management library reads E4 NVRAM through this; engine tests run the verifier after
// every write.
#pragma once

#include "testkit/e4_nvram.h"

#include <optional>
#include <string>
#include <vector>

namespace testkit::e4 {

// Why a directory copy is or is not usable.
enum class CopyState { Valid, Empty, BadCount, BadCrc, OutOfNvram };
const char* copy_state_name(CopyState s);

CopyState check_copy(const Bytes& nvram, unsigned copy);

struct Directory {
  unsigned copy = 0;
  uint32_t seq = 0;
  std::vector<Entry> entries;
  unsigned next_bank() const { return seq & 1; }
};

// One copy, when it is valid.
std::optional<Directory> read_copy(const Bytes& nvram, unsigned copy);
// The copy in force, chosen as an adapter chooses it: of the copies not marked empty whose count is
// below 150, the one with the greater seq as a signed number (copy 0 on a tie) is tried first, and
// the first whose CRC holds is taken. Nothing when none is, or when the copy taken has a count of
// 0 (such a copy cannot be read). Never throws on bad input.
std::optional<Directory> directory(const Bytes& nvram);

struct ImageVersion {
  std::string name;  // "" for an unknown type
  Entry entry;
  std::string version;  // "" when the type carries none or the image cannot be read
};

// The images of the directory in force, in directory order (the DIR1/DIR2 self entries
// included); empty when there is no valid copy.
std::vector<ImageVersion> list_images(const Bytes& nvram);
// The first listed image of a type.
std::optional<ImageVersion> find_image(const Bytes& nvram, uint32_t type);

// The byte of NVM_CFG1 that holds the UEFI driver version an adapter reports (0: none kept).
inline constexpr uint32_t kUefiVersionByte = 148;

// The version text of an image, read from its bytes in NVRAM:
//   TIM, MIM, OPT_MODULES, RECOVERY: the 16-character text at byte 0, LIM and CCM at
//   byte 16 (each group of 4 characters stands reversed); MBA: "<slot> <version>" per
//   boot-agent component joined by ";" (e4_rom_reader.h), an EFI driver's version being
//   `uefi_override` when that is non-zero (list_images passes NVM_CFG1's UEFI version word);
//   INIT_HW: "a.b.c.d" of the big-endian word at X + 4, X the image's first word;
//   ISCSI_CFG, FCOE_CFG: "<NAME> a.b" of the first word; ETH_PHY_FW1/2: "a.b.c.d" of the first
//   word read big-endian; NVM_CFG1, DEFAULT_CFG: the MBI version "a.b.c"; others "".
// `length` counts the image's trailing CRC dword.
std::string version_text(uint32_t type, const Bytes& nvram, uint32_t offset, uint32_t length,
                         uint32_t uefi_override = 0);

// The little-endian word at byte `at` of a listed image; nothing outside the image or the NVRAM.
std::optional<uint32_t> image_word(const Bytes& nvram, const Entry& image, uint32_t at);

// The 16-character version text of an image file's bytes at `at` (groups of 4 reversed).
std::string swizzled_text(const uint8_t* p, size_t n, size_t at);

struct Report {
  std::vector<std::string> errors;
  bool ok() const { return errors.empty(); }
  std::string text() const;  // one line per error
};

// Checks everything the format promises, each failure with its own line:
//  - the NVRAM is a whole number of dwords;
//  - each directory copy is either marked empty (seq 0xFFFFFFFE or 0xFFFFFFFF) or whole: a count
//    of 1 to 149 and a CRC that holds; a damaged copy fails even when the other copy is in force
//    (the adapter would fall back to an older directory without a word);
//  - a copy is in force by the adapter's rule (directory() above);
//  - every entry of the copy in force: a known type, listed once, offset and length whole
//    dwords, inside the NVRAM, its trailing CRC good (CRASH_DUMP aside; for DIR1 and DIR2 it is
//    the directory CRC of the copy they name); DIR1 and DIR2 at their own copies; no other image
//    inside the directory area or below 0x4000, and no two images overlapping;
//  - NVM_CFG1 and DEFAULT_CFG present, each 4240 bytes and its CRC dword;
//  - the bank that boots next (bit 0 of the seq in force) holds its TIM and MIM;
//  - every version text readable by its type's rule: "TIM a.b.c.d", "MIM a.b.c.d", "LIM
//    a.b.c.d", "RCVR a.b.c.d" in full; the other texts and words inside their images; the
//    boot-agent ROM chain whole, every EFI driver in it readable (decompressed, its PE header
//    valid);
//  - the VPD image whole: revision word 1, ID string, read-only area with known fields up to
//    "RV", and its checksum.
// Never throws on bad input.
Report verify(const Bytes& nvram);

}  // namespace testkit::e4
