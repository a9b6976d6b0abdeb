// The E4 verifier: every check a valid E4 NVRAM passes (see e4_reader.h).
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"
#include "testkit/e4_rom_reader.h"

#include <cstdio>
#include <string_view>

namespace testkit::e4 {
namespace {

bool inside(const Bytes& b, uint64_t off, uint64_t n) { return off <= b.size() && b.size() - off >= n; }

// The image bytes of an entry without its trailing CRC dword.
struct Data {
  const uint8_t* p;
  uint32_t n;
};

// "PREFIX a.b.c.d": the prefix, one blank and four decimal numbers of at most 255 joined by dots.
bool four_part_text(std::string_view text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix || text.size() <= prefix.size() || text[prefix.size()] != ' ')
    return false;
  std::string_view rest = text.substr(prefix.size() + 1);
  for (int part = 0; part < 4; ++part) {
    size_t digits = 0;
    unsigned v = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && digits < 3)
      v = v * 10 + unsigned(rest[digits++] - '0');
    if (digits == 0 || v > 255) return false;
    rest.remove_prefix(digits);
    if (part < 3) {
      if (rest.empty() || rest[0] != '.') return false;
      rest.remove_prefix(1);
    }
  }
  return rest.empty();
}

// Why a VPD image is not whole: the revision word 1, then the ID string (0x82, u16 length, the
// name), the read-only area (0x90, u16 length) whose fields (two letters, a length, the data) run
// up to "RV", and the RV checksum byte that makes the bytes from the ID tag (or from the 0x90 tag)
// through it sum to 0. "" when it is whole.
std::string vpd_fault(Data d) {
  if (d.n < 4 + 6 || get_le32(d.p) != 1) return "VPD revision word is not 1";
  const uint8_t* r = d.p + 4;
  const size_t size = d.n - 4;
  if (r[0] != 0x82) return "VPD: no ID string tag 0x82";
  size_t ro = 3 + size_t(get_le16(r + 1));
  if (ro + 3 > size || r[ro] != 0x90) return "VPD: no read-only area tag 0x90 after the ID string";
  size_t end = ro + 3 + get_le16(r + ro + 1);
  if (end > size) return "VPD: read-only area runs past the image";
  for (size_t at = ro + 3; at + 3 <= end;) {
    std::string_view kw(reinterpret_cast<const char*>(r + at), 2);
    size_t len = r[at + 2];
    if (kw == "RV") {
      if (len == 0 || at + 3 + len > end) return "VPD: RV field runs past the read-only area";
      unsigned from_id = 0, from_ro = 0;
      for (size_t k = 0; k <= at + 3; ++k) {
        from_id += r[k];
        if (k >= ro) from_ro += r[k];
      }
      return from_id % 256 == 0 || from_ro % 256 == 0 ? "" : "VPD: RV checksum does not sum to 0";
    }
    static constexpr std::string_view kKnown[] = {"PN", "EC", "MN", "SN", "YA", "FN", "CC", "FC", "YB"};
    bool known = kw[0] == 'V';
    for (std::string_view k : kKnown) known = known || kw == k;
    if (!known) return "VPD: unknown field \"" + std::string(kw) + "\"";
    at += 3 + len;
  }
  return "VPD: no RV field in the read-only area";
}

// Why the version text of an image cannot be read by its type's rule; "" when it can.
std::string version_fault(uint32_t t, Data d, uint32_t uefi) {
  auto word_inside = [&](uint64_t at) { return at + 4 <= d.n; };
  switch (t) {
    case type::TIM1: case type::TIM2: case type::MIM1: case type::MIM2: case type::RECOVERY: case type::LIM: {
      size_t at = t == type::LIM ? 16 : 0;
      if (!word_inside(at + 12)) return "version text outside the image";
      std::string text = swizzled_text(d.p, d.n, at);
      const char* prefix = t == type::LIM ? "LIM" : t == type::RECOVERY ? "RCVR" : t <= type::TIM2 ? "TIM" : "MIM";
      if (!four_part_text(text, prefix)) return "version text \"" + text + "\" does not read as \"" + prefix + " a.b.c.d\"";
      return "";
    }
    case type::OPT_MODULES: case type::HW_SET: case type::CCM:
      return word_inside((t == type::CCM ? 16 : 0) + 12) ? "" : "version text outside the image";
    case type::INIT_HW: {
      if (!word_inside(0)) return "version pointer outside the image";
      uint32_t x = get_le32(d.p);
      return word_inside(uint64_t(x) + 4) ? "" : "version word outside the image";
    }
    case type::ISCSI_CFG: case type::FCOE_CFG: case type::ETH_PHY_FW1: case type::ETH_PHY_FW2:
      return word_inside(0) ? "" : "version word outside the image";
    case type::MBA: {
      RomReading r = read_rom(d.p, d.n, uefi);
      std::string why;
      for (const std::string& e : r.errors) why += (why.empty() ? "" : "; ") + e;
      return why;
    }
    default:
      return "";
  }
}

}  // namespace

std::string Report::text() const {
  std::string s;
  for (const auto& e : errors) s += e + "\n";
  return s;
}

Report verify(const Bytes& nv) {
  Report r;
  char buf[200];
  auto err = [&](const char* fmt, auto... a) {
    std::snprintf(buf, sizeof buf, fmt, a...);
    r.errors.emplace_back(buf);
  };
  if (nv.size() % 4) err("NVRAM size 0x%zX is not a whole number of dwords", nv.size());
  for (unsigned c = 0; c < 2; ++c) {
    CopyState s = check_copy(nv, c);
    if (s == CopyState::Valid || s == CopyState::Empty) continue;
    uint32_t at = dir_copy_offset(c);
    if (s == CopyState::OutOfNvram) {
      err("directory copy %u outside the NVRAM", c);
      continue;
    }
    uint32_t seq = get_le32(&nv[at]), count = get_le32(&nv[at + 4]);
    if (s == CopyState::BadCount) err("directory copy %u (seq %u) damaged: count %u", c, seq, count);
    else err("directory copy %u (seq %u) damaged: bad CRC", c, seq);
  }
  auto d = directory(nv);
  if (!d) {
    err("no directory copy in force (copy 0 %s, copy 1 %s)", copy_state_name(check_copy(nv, 0)),
        copy_state_name(check_copy(nv, 1)));
    return r;
  }

  uint32_t uefi = 0;
  for (const Entry& e : d->entries)
    if (e.type == type::NVM_CFG1) uefi = image_word(nv, e, kUefiVersionByte).value_or(0);

  std::vector<const Entry*> placed, seen;
  for (size_t i = 0; i < d->entries.size(); ++i) {
    const Entry& e = d->entries[i];
    std::string name = type_name(e.type);
    const char* n = name.c_str();
    if (name.empty()) {
      err("entry %zu: unknown type %u", i, e.type);
      continue;
    }
    bool twice = false;
    for (const Entry* o : seen) twice = twice || o->type == e.type;
    seen.push_back(&e);
    if (twice) err("%s: listed twice", n);
    if (e.offset % 4 || e.length % 4) {
      err("%s: offset 0x%X or length 0x%X not a whole number of dwords", n, e.offset, e.length);
      continue;
    }
    if (e.length < 4) {
      err("%s: length 0x%X leaves no room for its CRC", n, e.length);
      continue;
    }
    if (!inside(nv, e.offset, e.length)) {
      err("%s: 0x%X+0x%X outside the NVRAM", n, e.offset, e.length);
      continue;
    }
    if (e.type == type::DIR1 || e.type == type::DIR2) {
      // A self entry stands for the copy it names, whose own CRC (after its own entries, which
      // need not be as many as those in force) was checked above; that copy must exist.
      unsigned copy = e.type == type::DIR1 ? 0 : 1;
      if (e.offset != dir_copy_offset(copy) || e.length > kDirCopySize)
        err("%s: 0x%X+0x%X is not its directory copy at 0x%X", n, e.offset, e.length, dir_copy_offset(copy));
      else if (check_copy(nv, copy) == CopyState::Empty)
        err("%s: names directory copy %u, which is empty", n, copy);
      continue;
    }
    if (e.offset < kFirstImage && uint64_t(e.offset) + e.length > kDirCopy0)
      err("%s: 0x%X+0x%X inside the directory area", n, e.offset, e.length);
    else if (e.offset < kFirstImage)
      err("%s: offset 0x%X below 0x4000", n, e.offset);
    for (const Entry* o : placed)
      if (o->type != e.type && e.offset < uint64_t(o->offset) + o->length && o->offset < uint64_t(e.offset) + e.length)
        err("%s overlaps %s", n, type_name(o->type).c_str());
    placed.push_back(&e);
    Data data{&nv[e.offset], e.length - 4};
    if (e.type != type::CRASH_DUMP) {
      uint32_t stored = get_le32(&nv[e.offset + data.n]), want = crc(data.p, data.n);
      if (stored != want) err("%s: CRC 0x%08X, computed 0x%08X", n, stored, want);
    }
    if ((e.type == type::NVM_CFG1 || e.type == type::DEFAULT_CFG) && e.length != kNvmCfgSize + 4)
      err("%s: 0x%X bytes, not 0x%zX", n, e.length, kNvmCfgSize + 4);
    std::string fault = e.type == type::VPD ? vpd_fault(data) : version_fault(e.type, data, uefi);
    if (!fault.empty()) err("%s: %s", n, fault.c_str());
  }

  auto listed = [&](uint32_t t) {
    for (const Entry& e : d->entries)
      if (e.type == t) return true;
    return false;
  };
  for (uint32_t t : {type::NVM_CFG1, type::DEFAULT_CFG})
    if (!listed(t)) err("%s missing", type_name(t).c_str());
  unsigned bank = d->next_bank();
  for (uint32_t t : {type::TIM1, type::MIM1}) {
    uint32_t member = type_in_bank(t, bank);
    if (!listed(member)) err("bank %u boots next but %s is missing", bank, type_name(member).c_str());
  }
  return r;
}

}  // namespace testkit::e4
