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
// The copy in force: of the valid copies the one with the greater seq as a signed number, copy 0
// on a tie. Nothing when neither copy is valid. Never throws on bad input.
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

// The version text of an image, read from its bytes in NVRAM:
//   TIM, MIM, OPT_MODULES, RECOVERY: the 16-character text at byte 0, LIM and CCM at
//   byte 16 (each group of 4 characters stands reversed); MBA: "<slot> a.b.c;" per boot-agent
//   slot; INIT_HW: "a.b.c.d" of the big-endian word at X + 4, X the image's first word;
//   ISCSI_CFG, FCOE_CFG: "<NAME> a.b" of the first word; ETH_PHY_FW1/2: "a.b.c.d" of the first
//   word read big-endian; NVM_CFG1, DEFAULT_CFG: the MBI version "a.b.c"; others "".
std::string version_text(uint32_t type, const Bytes& nvram, uint32_t offset, uint32_t length);

// The little-endian word at byte `at` of a listed image; nothing outside the image or the NVRAM.
std::optional<uint32_t> image_word(const Bytes& nvram, const Entry& image, uint32_t at);

// The 16-character version text of an image file's bytes at `at` (groups of 4 reversed).
std::string swizzled_text(const uint8_t* p, size_t n, size_t at);

struct Report {
  std::vector<std::string> errors;
  bool ok() const { return errors.empty(); }
  std::string text() const;  // one line per error
};

// Checks: a valid copy is in force; each entry has a known type, is 4-aligned, lies inside the
// NVRAM, and its trailing CRC holds (CRASH_DUMP and the directory's self entries excepted); self
// entries point at their copies; other images lie at 0x4000 or above and overlap neither each
// other nor a second entry of the same type. A damaged copy that is not in force is no error
// (it is what a power loss during a directory write leaves). Never throws on bad input.
Report verify(const Bytes& nvram);

}  // namespace testkit::e4
