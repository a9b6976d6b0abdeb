#include "testkit/describe.h"

#include "testkit/images.h"

#include <functional>
#include <stdexcept>

namespace testkit {
namespace desc {

std::string trim(std::string_view s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string_view::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return std::string(s.substr(a, b - a + 1));
}

void each_line(std::string_view text, const std::function<void(const Line&)>& fn) {
  int n = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    ++n;
    if (line.empty() || line[0] == '#') continue;
    try {
      if (line.front() == '[' && line.back() == ']') {
        fn({n, line, ""});
        continue;
      }
      size_t eq = line.find('=');
      if (eq == std::string::npos) throw std::invalid_argument("expected key=value");
      fn({n, trim(line.substr(0, eq)), trim(line.substr(eq + 1))});
    } catch (const std::exception& e) {
      throw std::invalid_argument("line " + std::to_string(n) + ": " + e.what());
    }
  }
}

std::string path_in(const std::string& base, const std::string& p) {
  return !p.empty() && p[0] == '/' ? p : base + "/" + p;
}

Args args_of(const std::string& value) {
  Args a;
  for (const std::string& w : split_words(value)) {
    size_t eq = w.find('=');
    if (eq == std::string::npos) a.words.push_back(w);
    else a.opts.emplace_back(w.substr(0, eq), w.substr(eq + 1));
  }
  return a;
}

uint32_t num32(std::string_view s) {
  uint64_t v = parse_number(s);
  if (v > 0xFFFFFFFFu) throw std::invalid_argument("number too large: " + std::string(s));
  return uint32_t(v);
}

uint16_t num16(std::string_view s) {
  uint32_t v = num32(s);
  if (v > 0xFFFF) throw std::invalid_argument("number too large: " + std::string(s));
  return uint16_t(v);
}

uint8_t num8(std::string_view s) {
  uint32_t v = num32(s);
  if (v > 0xFF) throw std::invalid_argument("number too large: " + std::string(s));
  return uint8_t(v);
}

}  // namespace desc

using namespace desc;

std::vector<std::string> split_words(std::string_view s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) out.emplace_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

Bytes wrapped_stock(std::string_view list) {
  std::vector<WrappedRecord> recs;
  size_t i = 0;
  while (i <= list.size()) {
    size_t comma = list.find(',', i);
    if (comma == std::string_view::npos) comma = list.size();
    std::string item = trim(list.substr(i, comma - i));
    i = comma + 1;
    if (item.empty()) continue;
    size_t colon = item.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("expected KIND:VERSION, got " + item);
    recs.push_back(stock_record(item.substr(0, colon), item.substr(colon + 1)));
  }
  if (recs.empty()) throw std::invalid_argument("no records");
  return wrapped_file(recs);
}

e1e3::NvramDef parse_nvram_description(std::string_view text, const std::string& base_dir) {
  e1e3::NvramDef s;
  each_line(text, [&](const Line& l) {
    const std::string& k = l.key;
    if (k == "chip") {
      if (l.value == "E1") s.chip = e1e3::Chip::E1;
      else if (l.value == "E2") s.chip = e1e3::Chip::E2;
      else if (l.value == "E3") s.chip = e1e3::Chip::E3;
      else throw std::invalid_argument("chip must be E1, E2 or E3");
    } else if (k == "size") {
      s.size = num32(l.value);
    } else if (k == "fill") {
      s.fill = num8(l.value);
    } else if (k == "board") {
      Args a = args_of(l.value);
      if (a.words.size() < 6 || a.words.size() > 7) throw std::invalid_argument("board=VID DID SVID SSID MAC FUNCTIONS [4port]");
      uint64_t mac = parse_number("0x" + a.words[4]);
      e1e3::set_board(s, num16(a.words[0]), num16(a.words[1]), num16(a.words[2]), num16(a.words[3]), mac,
                      num32(a.words[5]), a.words.size() == 7 && a.words[6] == "4port");
    } else if (k == "text") {
      s.text20 = l.value;
    } else if (k == "part_number") {
      s.part_number = l.value;
    } else if (k.rfind("vpd.", 0) == 0) {
      std::string f = k.substr(4);
      if (f == "name") s.vpd.name = l.value;
      else if (f == "pn") s.vpd.pn = l.value;
      else if (f == "ec") s.vpd.ec = l.value;
      else if (f == "sn") s.vpd.sn = l.value;
      else if (f == "mn") s.vpd.mn = l.value;
      else if (f == "v0") s.vpd.v0 = l.value;
      else throw std::invalid_argument("unknown VPD field " + f);
    } else if (k == "image") {
      Args a = args_of(l.value);
      if (a.words.empty()) throw std::invalid_argument("image=KIND VERSION | image=KIND file=PATH");
      e1e3::ImageDef im;
      im.kind = a.words[0];
      if (const std::string* f = a.opt("file")) {
        im.data = read_file(path_in(base_dir, *f));
      } else {
        std::string version = a.words.size() > 1 ? a.words[1] : "";
        size_t size = a.opt("size") ? num32(*a.opt("size")) : 0;
        uint16_t did = a.opt("did") ? num16(*a.opt("did")) : s.ports[0][0].did ? s.ports[0][0].did : 0x168E;
        im.data = stock_image(im.kind, version, size, did);
      }
      if (const std::string* g = a.opt("gap")) im.gap_before = num32(*g);
      s.images.push_back(std::move(im));
    } else if (k == "word") {
      Args a = args_of(l.value);
      if (a.words.size() != 2) throw std::invalid_argument("word=OFFSET VALUE");
      s.words.emplace_back(num32(a.words[0]), num32(a.words[1]));
    } else if (k == "ext_dir") {
      s.ext_dir_always = l.value == "1";
    } else {
      throw std::invalid_argument("unknown key " + k);
    }
  });
  return s;
}

PackageDef parse_package_description(std::string_view text, const std::string& base_dir) {
  PackageDef s;
  each_line(text, [&](const Line& l) {
    const std::string& k = l.key;
    if (k == "version") {
      auto v = parse_version(l.value);
      s.major = uint8_t(v[0]);
      s.minor = uint8_t(v[1]);
      s.build = uint8_t(v[2]);
    } else if (k == "date") {
      auto w = split_words(l.value);
      if (w.size() != 3) throw std::invalid_argument("date=FIELD1 FIELD2 YEAR");
      s.date1 = num8(w[0]);
      s.date2 = num8(w[1]);
      s.year = num16(w[2]);
    } else if (k == "magic") {
      if (l.value.size() != 4) throw std::invalid_argument("magic has four characters");
      std::copy(l.value.begin(), l.value.end(), s.magic.begin());
    } else if (k == "format_version") {
      s.format_version = num16(l.value);
    } else if (k == "header_length") {
      s.header_length = num16(l.value);
    } else if (k == "entry_count") {
      s.entry_count = num16(l.value);
    } else if (k == "byte12") {
      s.byte12 = num8(l.value);
    } else if (k == "entry") {
      Args a = args_of(l.value);
      if (a.words.size() != 1) throw std::invalid_argument("entry=NAME file=|stock=|wrap=");
      PackageEntry e;
      e.tag = package_tag(a.words[0]);
      if (const std::string* f = a.opt("file")) {
        e.data = read_file(path_in(base_dir, *f));
      } else if (const std::string* st = a.opt("stock")) {
        size_t colon = st->find(':');
        if (colon == std::string::npos) throw std::invalid_argument("stock=KIND:VERSION");
        e.data = stock_image(st->substr(0, colon), st->substr(colon + 1));
      } else if (const std::string* w = a.opt("wrap")) {
        e.data = wrapped_stock(*w);
      } else {
        throw std::invalid_argument("entry needs file=, stock= or wrap=");
      }
      if (const std::string* o = a.opt("offset")) e.offset = num32(*o);
      if (const std::string* n = a.opt("length")) e.length = num32(*n);
      s.entries.push_back(std::move(e));
    } else if (k == "row") {
      auto w = split_words(l.value);
      if (w.size() != 5) throw std::invalid_argument("row=VID DID SVID SSID MASK");
      s.rows.push_back({num16(w[0]), num16(w[1]), num16(w[2]), num16(w[3]), num32(w[4])});
    } else {
      throw std::invalid_argument("unknown key " + k);
    }
  });
  return s;
}

std::vector<NicFwModel> parse_fwdata_description(std::string_view text) {
  std::vector<NicFwModel> models;
  each_line(text, [&](const Line& l) {
    if (l.key == "[model]") {
      models.emplace_back();
      return;
    }
    if (l.key.front() == '[') throw std::invalid_argument("unknown section " + l.key);
    if (models.empty()) throw std::invalid_argument("attribute before the first [model]");
    NicFwModel& m = models.back();
    if (l.key == "name") m.name = l.value;
    else if (l.key == "venid") m.venid = l.value;
    else if (l.key == "devid") m.devid = l.value;
    else if (l.key == "subvenid") m.subvenid = l.value;
    else if (l.key == "subdevid") m.subdevid = l.value;
    else m.components.emplace_back(l.key, l.value);
  });
  return models;
}

}  // namespace testkit
