// What the version code knows about each E4 image type, one row per type.
#pragma once

#include <cstdint>

namespace fwupg::nvm::e4 {

// Where an image keeps its version.
enum class Text {
    None,      // no version
    At0,       // 16 swizzled characters at byte 0
    At16,      // the same at byte 16
    Mba,       // expansion-ROM chain: component versions
    InitHw,    // word 0 is X; the big-endian word at X + 4
    IscsiCfg,  // word 0: major << 8 | minor
    FcoeCfg,
    EthPhy,    // word 0 taken big-endian
};

// How an upgrade compares the new version with NVRAM's.
enum class Check {
    Compared,  // by the row's format; without one both count 0 and the image is never newer
    Passed,    // not compared: always newer
    Never,     // the check is switched off for the type
};

// What the upgrade says when it goes on.
enum class Report { Versions, NameOnly, Silent };

struct TypeRule {
    uint32_t id;
    Text text;
    const char* format;  // sscanf format of the comparison, or null
    Check check;
    Report report;
};

const TypeRule& type_rule(uint32_t type);

}  // namespace fwupg::nvm::e4
