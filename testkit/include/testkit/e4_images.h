// E4 image contents and image files: version texts, the NVM_CFG1/DEFAULT_CFG configuration image
// and its field writer, META and VPD images, image files behind the 32-byte header, bundles and
// big-endian NVM_CFG files.
//
// E4 images are stored in NVRAM exactly as their files carry them (no word swapping). Structure
// words are little-endian. A 16-character version text is stored as four words, each packing 4
// characters big-endian and stored little-endian, so every group of 4 characters stands reversed.
#pragma once

#include "testkit/bytes.h"
#include "testkit/e4_nvram.h"
#include "testkit/vpd.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testkit::e4 {

// Writes a text of at most 16 characters as the four reversed groups at `at` (16 bytes, NUL-padded).
void put_swizzled_text(Bytes& image, size_t at, std::string_view text);

// A stock image of a type carrying `version` ("a.b.c.d"; fewer parts count 0) where a device and
// the engine read it:
//   TIM1/2 "TIM a.b.c.d", MIM1/2 "MIM ...", RECOVERY "RCVR ...", OPT_MODULES "OPTM ..." at
//   byte 0; LIM "LIM ...", CCM "CCM ..." at byte 16; HW_SET: a two-entry register script in
//   little-endian words (no version);
//   INIT_HW: first word X = 16, the version word big-endian at X + 4;
//   ISCSI_CFG, FCOE_CFG: first word a << 8 | b; ETH_PHY_FW1/2: first word big-endian a.b.c.d;
//   MBA: mba_rom_e4(stock) of that version (a.b.c); NVM_CFG1/DEFAULT_CFG: nvm_cfg() with that MBI
//   version; META: meta_image(); VPD: vpd_image(); every other type a pattern.
// `size` 0 takes the type's usual size (at least what its content needs). Throws
// std::invalid_argument for an unknown type or a malformed version.
Bytes stock_image(uint32_t type, std::string_view version, size_t size = 0);

// ---------------------------------------------------------------------------------------------
// NVM_CFG1 and DEFAULT_CFG: 4240 bytes of little-endian words. Word index = byte offset / 4.

inline constexpr size_t kNvmCfgSize = 4240;
namespace cfg {
inline constexpr uint32_t kPortMode = 11;    // low bits; 2, 11, 13: one port; 3, 4, 5, 14: four
inline constexpr uint32_t kMbaSize = 22;     // bits 0-3: MBA size code
inline constexpr uint32_t kMbiVersion = 31;  // bits 16-23 major, 8-15 minor, 0-7 build
inline constexpr uint32_t kMbiDate = 32;     // month << 24 | day << 16 | byte-swapped 16-bit year
inline constexpr uint32_t kUefiVersion = 37;
inline constexpr uint32_t kCfgVersion = 39;  // words 39-42
constexpr uint32_t port_word(unsigned port, uint32_t w) { return 140 + 150 * port + (w - 140); }
constexpr uint32_t func_word(unsigned func, uint32_t w) { return 740 + 20 * func + (w - 740); }
inline constexpr uint32_t kPortMacHi = 153, kPortMacLo = 154;  // in port block 0
inline constexpr uint32_t kFuncMacHi = 740, kFuncMacLo = 741;  // in function block 0
}  // namespace cfg

// Sets `width` bits at bit `lo` of a word, keeping the others. Throws std::out_of_range past the
// image.
void set_cfg_field(Bytes& image, uint32_t word, unsigned lo, unsigned width, uint32_t value);
uint32_t cfg_word(const Bytes& image, uint32_t word);

struct NvmCfgDef {
  uint32_t port_mode = 1;          // two ports
  std::vector<unsigned> mbi{0, 0, 0};
  unsigned year = 2024, month = 6, day = 15;
  uint32_t uefi_version = 0;       // 0: the engine reads the driver itself
  uint32_t cfg_version[4] = {1, 0, 0, 0};
  uint64_t mac = 0x001018E40100;   // port p and function f get mac + p and mac + f
  std::vector<std::pair<uint32_t, uint32_t>> words;  // further words {index, value}, applied last
};
Bytes nvm_cfg(const NvmCfgDef& def);
// The MBI date word of a date.
uint32_t mbi_date_word(unsigned year, unsigned month, unsigned day);

// The NVM_CFG file a configuration upgrade reads: the image's words stored big-endian.
Bytes nvm_cfg_file(const Bytes& image);

// ---------------------------------------------------------------------------------------------
// META: the configuration meta text, one line "array set nvm_cfg {...}" (a space before the closing
// brace), NUL-padded to a multiple of 4 with at least one NUL.

struct MetaOption {
  unsigned id = 0;
  std::string name;
  std::string size;          // a number of bits, or "mac"
  unsigned offset = 0;       // byte offset in NVM_CFG1 (path, port and function: in block 0); the
                             // text carries the bit offset within the entity's block
  std::string entity;        // "glob", "port", "func"
  std::string config_type;   // e.g. "hw", "mbi", "user"
  std::optional<unsigned> element_size;
  std::optional<unsigned> ex_chip_num_attrs;
};
// The kit's option set: a "Port MAC" option (port entity, size mac), an "mbi" option, an "hw"
// option over words 39-42, an option with exChipNumAttrs, a function MAC list whose element size
// is below its size and a user option over word 34; `absent_id` adds an option over word 35 (0:
// none), for a META that the adapter's lacks.
std::vector<MetaOption> meta_stock_options(unsigned absent_id = 0);
std::string meta_text(const std::vector<MetaOption>& options);
Bytes meta_image(const std::string& text);

// ---------------------------------------------------------------------------------------------
// VPD image: u32 1, then the resource list of vpd_directory_image with V9 (the MBI version text)
// and any further fields, stored in natural byte order.
Bytes vpd_image(const VpdFields& fields, const std::string& v9 = "", uint32_t area = 256,
                const std::vector<std::pair<std::string, std::string>>& extra = {});

// ---------------------------------------------------------------------------------------------
// Image files: the 32-byte header {0x669955AA, version, type, chip group, 0, 0, length, 0} and
// bundles.

inline constexpr uint32_t kHeaderMagic = 0x669955AA;
inline constexpr uint32_t kBundleMagic = 0xBDBDBDBD;
inline constexpr uint32_t kGroupA = 0x400000, kGroupB = 0x200000;

struct HeaderDef {
  HeaderDef(uint32_t t, unsigned v = 3, uint32_t g = kGroupA) : type(t), version(v), group(g) {}
  uint32_t type = 0;
  unsigned version = 3;        // 1 and 2 keep the type in bits 21-31
  uint32_t group = kGroupA;
  std::optional<uint32_t> length;  // default: the data length rounded up to 4
  uint32_t magic = kHeaderMagic;
};
Bytes image_header(const HeaderDef& h, size_t data_length);
// Header and data (padded to a multiple of 4).
Bytes headed_image(const HeaderDef& h, const Bytes& data);

struct BundleItem {
  uint32_t type = 0;
  Bytes data;
};
// The bundle: a 16-byte header {magic, 1, item count, total length}, then each item behind a
// version-3 header. `truncate` cuts that many bytes off the end.
Bytes bundle(const std::vector<BundleItem>& items, uint32_t magic = kBundleMagic, uint32_t group = kGroupA,
             size_t truncate = 0);
// The items of an MFW bundle of one version for a bank's members: TIM, MIM and the PHY, PCIe and
// AVS firmware, with LIM beside them.
std::vector<BundleItem> mfw_bundle_items(std::string_view version, unsigned bank);

// Reads a bundle back: its items, or nothing when the magic is wrong or an item runs past the end.
std::optional<std::vector<BundleItem>> parse_bundle(const Bytes& file);

}  // namespace testkit::e4
