#include "testkit/e4_nvram.h"

#include <algorithm>
#include <stdexcept>

namespace testkit::e4 {
namespace {

struct TypeRow {
  const char* name;
  uint32_t id;
};

// The kit's own list of the E4 image types, written from the format description.
constexpr TypeRow kTypes[] = {
    {"TIM1", 1},        {"TIM2", 2},         {"MIM1", 3},        {"MIM2", 4},          {"MBA", 5},
    {"OPT_MODULES", 6}, {"VPD", 7},          {"MFW_TRACE1", 8},  {"MFW_TRACE2", 9},    {"NVM_CFG1", 10},
    {"L2B", 11},        {"DIR1", 12},        {"EAGLE_FW1", 13},  {"FALCON_FW1", 14},   {"PCIE_FW1", 15},
    {"HW_SET", 16},     {"LIM", 17},         {"AVS_FW1", 18},    {"DIR2", 19},         {"CCM", 20},
    {"EAGLE_FW2", 21},  {"FALCON_FW2", 22},  {"PCIE_FW2", 23},   {"AVS_FW2", 24},      {"INIT_HW", 25},
    {"DEFAULT_CFG", 26}, {"CRASH_DUMP", 27}, {"META", 28},       {"ISCSI_CFG", 29},    {"FCOE_CFG", 31},
    {"ETH_PHY_FW1", 32}, {"ETH_PHY_FW2", 33}, {"BDN", 34},       {"PK", 36},           {"RECOVERY", 37},
};
static_assert(std::size(kTypes) == 35);

// {bank 0 member, bank 1 member}.
constexpr uint32_t kPairs[][2] = {{1, 2}, {3, 4}, {8, 9}, {13, 21}, {14, 22}, {15, 23}, {18, 24}, {32, 33}};

void put_entry(uint8_t* p, const Entry& e) {
  put_le32(p, e.type);
  put_le32(p + 4, e.offset);
  put_le32(p + 8, e.length);
  put_le32(p + 12, e.sram);
  put_le32(p + 16, e.sram_run);
}

}  // namespace

std::string type_name(uint32_t id) {
  for (const TypeRow& r : kTypes)
    if (r.id == id) return r.name;
  return "";
}

std::optional<uint32_t> type_id(std::string_view name) {
  for (const TypeRow& r : kTypes)
    if (name == r.name) return r.id;
  return std::nullopt;
}

std::optional<unsigned> bank_of(uint32_t id) {
  for (const auto& p : kPairs) {
    if (p[0] == id) return 0u;
    if (p[1] == id) return 1u;
  }
  return std::nullopt;
}

uint32_t type_in_bank(uint32_t id, unsigned bank) {
  for (const auto& p : kPairs)
    if (p[0] == id || p[1] == id) return p[bank & 1];
  return id;
}

uint32_t crc(const uint8_t* p, size_t n) {
  Bytes reversed(p, p + n);
  reverse_words(reversed.data(), reversed.size());
  uint32_t z = crc32_of(reversed.data(), reversed.size());
  // Stored most significant byte first: the little-endian word holds the byte-swapped value.
  uint8_t be[4];
  put_be32(be, z);
  return get_le32(be);
}

Bytes dir_copy(uint32_t seq, const std::vector<Entry>& entries, uint32_t reserved) {
  if (entries.size() > kDirMaxCount) throw std::invalid_argument("E4 directory: too many entries");
  uint32_t count = uint32_t(entries.size());
  Bytes b(dir_bytes(count));
  put_le32(&b[0], seq);
  put_le32(&b[4], count);
  put_le32(&b[8], reserved);
  for (uint32_t i = 0; i < count; ++i) put_entry(&b[12 + 20 * i], entries[i]);
  put_le32(&b[12 + 20 * count], crc(b.data(), 12 + 20 * count));
  return b;
}

void write_dir_copy(Bytes& nvram, unsigned copy, uint32_t seq, const std::vector<Entry>& entries) {
  Bytes b = dir_copy(seq, entries);
  uint32_t at = dir_copy_offset(copy);
  if (nvram.size() < at + kDirCopySize) throw std::invalid_argument("E4 directory outside the NVRAM");
  std::fill(nvram.begin() + at, nvram.begin() + at + kDirCopySize, 0xFF);
  std::copy(b.begin(), b.end(), nvram.begin() + at);
}

Built build(const NvramDef& desc) {
  if (desc.size < kFirstImage || desc.size % 4) throw std::invalid_argument("E4 NVRAM size too small or unaligned");
  if (desc.copy > 1) throw std::invalid_argument("E4 directory copy must be 0 or 1");
  Built out;
  out.nvram.assign(desc.size, 0xFF);
  // Self entries name the copies written: the copy in force, and the other one when it is.
  bool both = desc.other == SecondCopy::Older;
  size_t n = desc.images.size() + (desc.self_entries ? (both ? 2 : 1) : 0);
  uint32_t len = dir_bytes(uint32_t(n));
  if (desc.self_entries)
    for (unsigned c : {0u, 1u})
      if (both || c == desc.copy) out.entries.push_back({c ? type::DIR2 : type::DIR1, dir_copy_offset(c), len, 0, 0});
  uint32_t next = kFirstImage;
  std::vector<std::pair<uint32_t, uint32_t>> used;  // [start, end) of placed images
  for (const ImageDef& im : desc.images) {
    Bytes data = im.data;
    pad4(data);
    uint32_t at = im.offset.value_or(next + ((im.gap_before + 3) & ~3u));
    uint64_t end = uint64_t(at) + data.size() + 4;
    if (at % 4 || at < kFirstImage) throw std::invalid_argument("E4 image unaligned or below 0x4000");
    if (end > desc.size) throw std::invalid_argument("E4 images do not fit the NVRAM");
    for (auto [s, e] : used)
      if (at < e && end > s) throw std::invalid_argument("E4 images overlap");
    used.emplace_back(at, uint32_t(end));
    std::copy(data.begin(), data.end(), out.nvram.begin() + at);
    uint32_t c = crc(data.data(), data.size());
    put_le32(&out.nvram[at + data.size()], im.bad_crc ? ~c : c);
    out.entries.push_back({im.type, at, uint32_t(data.size() + 4), 0, 0});
    next = std::max(next, uint32_t(end));
  }
  write_dir_copy(out.nvram, desc.copy, desc.seq, out.entries);
  if (desc.other == SecondCopy::Older) write_dir_copy(out.nvram, 1 - desc.copy, desc.seq - 1, out.entries);
  return out;
}

}  // namespace testkit::e4
