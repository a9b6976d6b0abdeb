// Short text descriptions for fwgen: "key=value" lines, '#' starts a comment line. Errors throw
// std::invalid_argument naming the line.
//
// NVRAM description:
//   chip=E1|E2|E3            size=0x40000            fill=0xFF
//   board=VID DID SVID SSID MAC FUNCTIONS [4port]    (MAC as 12 hex digits)
//   text=...                 part_number=...
//   vpd.name= vpd.pn= vpd.ec= vpd.sn= vpd.mn= vpd.v0=
//   image=KIND VERSION [size=N] [gap=N] [did=N]      a stock image of the kind
//   image=KIND file=PATH [gap=N]                     an image from a file (host view)
//   word=OFFSET VALUE        ext_dir=1
// Package description:
//   version=A.B.C  date=D1 D2 YEAR  magic=XXXX  format_version=N  header_length=N
//   entry_count=N  byte12=N
//   entry=NAME file=PATH | stock=KIND:VERSION | wrap=KIND:VERSION[,KIND:VERSION...]
//         [offset=N] [length=N]                      NAME: MBA MFW L2T CCM IBOOT FBOOT PHY ...
//   row=VID DID SVID SSID MASK
// Firmware data description: "[model]" starts a model; then name=, venid=, devid=, subvenid=,
// subdevid= and any component attribute (bootcode=, bcFile=, mbi=, mbiFile=, ...).
#pragma once

#include "testkit/e1e3_nvram.h"
#include "testkit/fwdata.h"
#include "testkit/package.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testkit {

// Relative file names in a description are taken from `base_dir`.
e1e3::NvramDef parse_nvram_description(std::string_view text, const std::string& base_dir = ".");
PackageDef parse_package_description(std::string_view text, const std::string& base_dir = ".");
std::vector<NicFwModel> parse_fwdata_description(std::string_view text);

// "KIND:VERSION[,KIND:VERSION...]" as a wrapped file of stock records.
Bytes wrapped_stock(std::string_view list);

// Splits on blanks.
std::vector<std::string> split_words(std::string_view s);

// The pieces every description parser is made of (the legacy kit's parser uses them too).
namespace desc {

struct Line {
  int number;
  std::string key, value;
};

// Calls `fn` for every "key=value" line; "[section]" lines come as key "[section]". An exception
// from `fn` comes back as std::invalid_argument naming the line.
void each_line(std::string_view text, const std::function<void(const Line&)>& fn);

// Splits "word word key=value key=value" into positional words and options.
struct Args {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::string>> opts;
  const std::string* opt(const std::string& k) const {
    for (const auto& [key, v] : opts)
      if (key == k) return &v;
    return nullptr;
  }
};
Args args_of(const std::string& value);

std::string trim(std::string_view s);
// A relative path is taken from `base`.
std::string path_in(const std::string& base, const std::string& p);
// Numbers ("0x..." or decimal) that must fit the width; std::invalid_argument otherwise.
uint32_t num32(std::string_view s);
uint16_t num16(std::string_view s);
uint8_t num8(std::string_view s);

}  // namespace desc

}  // namespace testkit
