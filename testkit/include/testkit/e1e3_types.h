// The image kinds of the E1-E3 NVRAM: name, directory type, processor code and the four-byte tag
// of the image's record in a wrapped image file. The kit keeps its own copy of these facts so
// that fixtures never come from the engine they test.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace testkit::e1e3 {

struct ImageKind {
  std::string_view name;
  uint32_t dir_type;   // flags & 0xF0800003
  uint32_t processor;  // flags & 0x0F000000
  uint32_t tag;        // the record tag, as the little-endian value of its four file bytes
};

// Where an image of this kind is listed: the bootstrap record (BC1), the 16-entry directory, or
// the extended directory.
enum class Home { Bootstrap, Main, Extended };

inline constexpr uint32_t kTypeMask = 0xF0800003;
inline constexpr uint32_t kProcMask = 0x0F000000;
inline constexpr uint32_t kLenMask = 0x007FFFFC;
inline constexpr uint32_t kExtDirType = 0xE0000000;
inline constexpr uint32_t kBc1Type = 0xF0000000;

// All kinds, in table order (66 rows).
const ImageKind* kinds(size_t* count);
// Lookups; nullptr when unknown. Names compare exactly.
const ImageKind* kind_by_name(std::string_view name);
const ImageKind* kind_by_type(uint32_t dir_type);
const ImageKind* kind_by_tag(uint32_t tag);

Home home_of(const ImageKind& k);

// SRAM load address the programmer gives an image of this kind in the main directory.
uint32_t default_sram(const ImageKind& k);

// True for the 24 SWIM kinds.
bool is_swim(uint32_t dir_type);

}  // namespace testkit::e1e3
