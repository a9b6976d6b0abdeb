#include "testkit/fwdata.h"

namespace testkit {
namespace {

std::string escape(const std::string& v) {
  std::string s;
  for (char c : v) {
    switch (c) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      case '\'': s += "&apos;"; break;
      default: s.push_back(c);
    }
  }
  return s;
}

void attr(std::string& s, const std::string& k, const std::string& v) {
  s += " " + k + "=\"" + escape(v) + "\"";
}

}  // namespace

std::string nicfwdata_xml(const std::vector<NicFwModel>& models, const std::string& root) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root + ">\n";
  for (const NicFwModel& m : models) {
    s += "  <adapter>\n    <nic";
    attr(s, "name", m.name);
    attr(s, "venid", m.venid);
    attr(s, "devid", m.devid);
    attr(s, "subvenid", m.subvenid);
    attr(s, "subdevid", m.subdevid);
    for (const auto& [k, v] : m.components) attr(s, k, v);
    s += "/>\n  </adapter>\n";
  }
  s += "</" + root + ">\n";
  return s;
}

}  // namespace testkit
