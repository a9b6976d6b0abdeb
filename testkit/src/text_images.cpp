// SFP+ module lists and register scripts of the test kit.
#include "testkit/text_images.h"

#include <cstdio>
#include <stdexcept>

namespace testkit {

namespace {

void put_padded(Bytes& b, size_t off, const std::string& text)
{
  if (text.size() > 16) throw std::invalid_argument("module text longer than 16: " + text);
  for (size_t i = 0; i < 16; ++i) b.at(off + i) = i < text.size() ? uint8_t(text[i]) : uint8_t(' ');
}

void parse_oui(const std::string& oui, uint8_t out[3])
{
  unsigned a = 0, b = 0, c = 0;
  char tail = 0;
  if (std::sscanf(oui.c_str(), "%2x-%2x-%2x%c", &a, &b, &c, &tail) != 3)
    throw std::invalid_argument("bad OUI: " + oui);
  out[0] = uint8_t(a);
  out[1] = uint8_t(b);
  out[2] = uint8_t(c);
}

Bytes module_image(const std::vector<SfpModule>& modules, bool big_endian)
{
  auto word = [&](Bytes& b, size_t off, uint32_t v) {
    if (big_endian) set_be32(b, off, v);
    else set_le32(b, off, v);
  };
  Bytes b(8 + 40 * modules.size(), 0);
  word(b, 0, 1);
  word(b, 4, uint32_t(modules.size()));
  size_t e = 8;
  for (const SfpModule& m : modules) {
    uint32_t flags = 0;
    if (m.name != "*") flags |= 1;
    if (m.oui != "*") {
      flags |= 2;
      parse_oui(m.oui, &b[e + 20]);
    }
    if (m.part_number != "*") flags |= 4;
    word(b, e, flags);
    put_padded(b, e + 4, m.name);
    put_padded(b, e + 24, m.part_number);
    e += 40;
  }
  return b;
}

uint32_t code_of(const std::string& text, const std::vector<std::pair<std::string, uint32_t>>& table)
{
  for (const auto& [name, code] : table)
    if (name == text) return code;
  throw std::invalid_argument("unknown register-script word: " + text);
}

Bytes hw_set_image(const std::vector<HwSetEntry>& entries, bool big_endian)
{
  Bytes b(8 + 28 * entries.size(), 0);
  auto word = [&](size_t off, uint32_t v) {
    if (big_endian) set_be32(b, off, v);
    else set_le32(b, off, v);
  };
  word(0, 1);
  word(4, uint32_t(entries.size()));
  size_t e = 8;
  for (const HwSetEntry& h : entries) {
    word(e, code_of(h.reg_type, {{"GRC", 1}, {"PHY", 2}, {"PCI", 4}}));
    word(e + 4, h.bank);
    word(e + 8, h.pf);
    word(e + 12, code_of(h.operation, {{"R", 1}, {"W", 2}, {"RMW_SET", 3}, {"RMW_CLR", 4}}));
    word(e + 16, h.address);
    word(e + 20, h.data);
    word(e + 24, h.reset_type);
    e += 28;
  }
  return b;
}

}  // namespace

std::string sfp_module_text(const std::vector<SfpModule>& modules, unsigned revision)
{
  std::string t = "# approved modules (test kit)\nrevision = " + std::to_string(revision) + "\n";
  for (const SfpModule& m : modules) {
    std::string oui = m.oui;
    if (oui != "*") {
      uint8_t b[3];
      parse_oui(oui, b);
      char text[16];
      std::snprintf(text, sizeof text, "%02x-%02x-%02x", b[0], b[1], b[2]);
      oui = text;
    }
    t += m.name + " , " + oui + " , " + m.part_number + "\n";
  }
  return t;
}

Bytes sfp_module_nvram_image(const std::vector<SfpModule>& modules) { return module_image(modules, true); }
Bytes sfp_module_host_image(const std::vector<SfpModule>& modules) { return module_image(modules, false); }

std::string hw_set_text(const std::vector<HwSetEntry>& entries)
{
  std::string t = "; register script (test kit)\n";
  for (const HwSetEntry& h : entries) {
    char line[160];
    std::snprintf(line, sizeof line, "%s, %u, %u, 0x%x, 0x%x, 0x%x, %s\n", h.reg_type.c_str(), unsigned(h.bank),
                  unsigned(h.pf), unsigned(h.address), unsigned(h.data), unsigned(h.reset_type), h.operation.c_str());
    t += line;
  }
  return t;
}

Bytes hw_set_nvram_image(const std::vector<HwSetEntry>& entries) { return hw_set_image(entries, true); }
Bytes hw_set_host_image(const std::vector<HwSetEntry>& entries) { return hw_set_image(entries, false); }

}  // namespace testkit
