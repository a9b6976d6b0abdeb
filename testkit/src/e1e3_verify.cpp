#include "testkit/e1e3_verify.h"

#include <algorithm>
#include <cstdio>

namespace testkit::e1e3 {
namespace {

using namespace layout;

std::string hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}

std::string name_of(uint32_t type) {
  if (type == kExtDirType) return "EXT_DIR";
  const ImageKind* k = kind_by_type(type);
  return k ? std::string(k->name) : "?";
}

class Checker {
 public:
  Checker(const Bytes& nv, Chip chip) : nv_(nv), chip_(chip) {}

  Report run() {
    if (nv_.size() < image_start(chip_) || nv_.size() % 4) {
      fail("NVRAM size " + hex(uint32_t(nv_.size())) + " is too small or not a multiple of 4");
      return std::move(r_);
    }
    check_bootstrap();
    if (!region_crc_ok(nv_, kDir, kDirRegionLen)) fail("directory CRC mismatch");
    for (unsigned path = 0; path < paths(chip_); ++path) {
      if (!region_crc_ok(nv_, cfg(path), kCfgLen)) fail("configuration CRC mismatch, path " + std::to_string(path));
      if (!region_crc_ok(nv_, feat(path), kFeatLen)) fail("feature CRC mismatch, path " + std::to_string(path));
    }
    check_identity();
    for (unsigned i = 0; i < kDirEntries; ++i) check_dir_entry(i);
    check_overlaps();
    return std::move(r_);
  }

 private:
  void fail(std::string s) { r_.errors.push_back(std::move(s)); }

  // Bounds, alignment and trailing CRC of one image; records it when it lies inside the NVRAM.
  void image(const std::string& where, uint32_t type, uint32_t off, uint32_t len) {
    std::string who = where + " " + name_of(type);
    if (off % 4) fail(who + ": offset " + hex(off) + " not 4-aligned");
    if (len < 4) {
      fail(who + ": length " + hex(len) + " cannot hold a CRC");
      return;
    }
    if (off < image_start(chip_)) fail(who + ": offset " + hex(off) + " points into the fixed area");
    if (uint64_t(off) + len > nv_.size()) {
      fail(who + ": " + hex(off) + "+" + hex(len) + " runs past the end of NVRAM");
      return;
    }
    r_.images.push_back({where, name_of(type), type, off, len});
    if (!region_crc_ok(nv_, off, len)) fail(who + ": image CRC mismatch");
  }

  // Every port part names the board's device id (that of path 0, port 0: neither 0 nor 0xFFFF)
  // and a MAC address, in its word pair at +16/+20, that is not erased (all ones). Port 0 of
  // path 0 holds function 0's address on every chip and mode, so there zero is blank too; a port
  // no function sits on may hold zero.
  void check_identity() {
    uint32_t board_did = be32_at(nv_, port_part(0, 0)) & 0xFFFF;
    if (board_did == 0 || board_did == 0xFFFF) fail("port 0 of path 0 names no device id (" + hex(board_did) + ")");
    for (unsigned path = 0; path < paths(chip_); ++path)
      for (unsigned port = 0; port < 2; ++port) {
        uint32_t at = port_part(path, port);
        std::string who = "port " + std::to_string(port) + " of path " + std::to_string(path);
        uint32_t did = be32_at(nv_, at) & 0xFFFF;
        if (did != board_did) fail(who + ": device id " + hex(did) + " is not the board's " + hex(board_did));
        uint64_t mac = uint64_t(be32_at(nv_, at + 16) & 0xFFFF) << 32 | be32_at(nv_, at + 20);
        if (mac == 0xFFFFFFFFFFFFull || (mac == 0 && path == 0 && port == 0)) fail(who + ": blank MAC address");
      }
  }

  void check_bootstrap() {
    uint32_t magic = be32_at(nv_, 0);
    if (magic != kBootstrapMagic && magic != 0) fail("bootstrap magic " + hex(magic) + " is wrong");
    if (!region_crc_ok(nv_, 0, 20)) fail("bootstrap CRC mismatch");
    uint32_t count = be32_at(nv_, 8), off = be32_at(nv_, 12);
    if (magic == 0) {
      if (count != 0) fail("bootstrap without magic names " + hex(count) + " dwords");
      return;
    }
    if (count == 0 || count > nv_.size() / 4) {
      fail("bootstrap dword count " + hex(count) + " is out of range");
      return;
    }
    image("bootstrap", kBc1Type, off, count * 4);
  }

  void check_dir_entry(unsigned i) {
    uint32_t e = dir_entry(i);
    uint32_t flags = be32_at(nv_, e + 4), off = be32_at(nv_, e + 8);
    uint32_t len = flags & kLenMask, type = flags & kTypeMask;
    if (len == 0) return;
    std::string where = "dir[" + std::to_string(i) + "]";
    if (type == kExtDirType) {
      if (i != 15) {
        fail(where + ": extended directory outside entry 15");
        return;
      }
      check_ext_dir(off, len);
      return;
    }
    image(where, type, off, len);
  }

  void check_ext_dir(uint32_t off, uint32_t len) {
    if (len != kExtDirLen) {
      fail("ext-dir: length " + hex(len) + " is not " + hex(kExtDirLen));
      return;
    }
    size_t before = r_.images.size();
    image("ext-dir", kExtDirType, off, len);
    if (r_.images.size() == before) return;  // out of bounds: nothing more to read
    uint32_t count = be32_at(nv_, off), byte_cnt = be32_at(nv_, off + 4);
    if (count > kExtDirMax) {
      fail("ext-dir: count " + std::to_string(count) + " exceeds 64");
      return;
    }
    uint32_t sum = 0;
    for (uint32_t k = 0; k < kExtDirMax; ++k) {
      uint32_t p = off + 8 + 12 * k;
      uint32_t sram = be32_at(nv_, p), flags = be32_at(nv_, p + 4), ioff = be32_at(nv_, p + 8);
      if (k >= count) {
        if (sram || flags || ioff) fail("ext-dir: unused slot " + std::to_string(k) + " is not zero");
        continue;
      }
      uint32_t ilen = flags & kLenMask;
      sum += ilen;
      image("ext[" + std::to_string(k) + "]", flags & kTypeMask, ioff, ilen);
    }
    if (sum != byte_cnt) fail("ext-dir: byte count " + hex(byte_cnt) + " differs from the sum " + hex(sum));
  }

  void check_overlaps() {
    std::vector<FoundImage> v = r_.images;
    std::sort(v.begin(), v.end(), [](const FoundImage& a, const FoundImage& b) {
      return a.offset != b.offset ? a.offset < b.offset : a.length < b.length;
    });
    for (size_t i = 1; i < v.size(); ++i) {
      const FoundImage& a = v[i - 1];
      const FoundImage& b = v[i];
      if (uint64_t(a.offset) + a.length <= b.offset) continue;
      // After a management-firmware install the bootstrap names the MFW1 image itself.
      bool boot_is_mfw1 = a.offset == b.offset && a.length == b.length &&
                          ((a.where == "bootstrap" && b.dir_type == 0x20000003) ||
                           (b.where == "bootstrap" && a.dir_type == 0x20000003));
      if (!boot_is_mfw1) fail(a.where + " " + a.name + " overlaps " + b.where + " " + b.name);
    }
  }

  const Bytes& nv_;
  Chip chip_;
  Report r_;
};

}  // namespace

std::string Report::text() const {
  std::string s;
  char line[160];
  for (const auto& im : images) {
    std::snprintf(line, sizeof line, "%-10s %-16s type=0x%08X offset=0x%06X length=0x%06X\n", im.where.c_str(),
                  im.name.c_str(), im.dir_type, im.offset, im.length);
    s += line;
  }
  for (const auto& e : errors) s += "error: " + e + "\n";
  return s;
}

Report verify(const Bytes& nvram, Chip chip) { return Checker(nvram, chip).run(); }

}  // namespace testkit::e1e3
