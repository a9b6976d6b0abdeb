// The image-type table of E1-E3 NVRAM (kImageTableRows rows): name, command-line option, processor code,
// directory type and the four-character tag of the image's record in a wrapped image file.
#pragma once

#include <cstdint>

// Rows of the table; companion tables keyed by row assert their length against it.
inline constexpr uint32_t kImageTableRows = 66;

extern "C" {

struct nvm_image_row {
    uint32_t id;
    const char* name;
    const char* option;  // "" when the image is not named on the command line
    uint32_t processor;
    uint32_t dir_type;
    uint32_t tag;
};

extern const nvm_image_row g_image_table[kImageTableRows];

uint32_t common_nvm_image_table_size();
int common_nvm_image_row_by_type(uint32_t type, uint32_t* row);
// 1 found, 0 not: by exact option text (tag 0), or by tag (no option text).
int common_nvm_image_type_lookup(const char* option, uint32_t tag, uint32_t* type);

}  // extern "C"

namespace fwupg::nvm {

constexpr uint32_t kTypeMask = 0xF0800003;
constexpr uint32_t kProcMask = 0x0F000000;
constexpr uint32_t kLenMask = 0x007FFFFC;

constexpr uint32_t kTypeBc1 = 0xF0000000;
constexpr uint32_t kTypeBc2 = 0x00000000;
constexpr uint32_t kTypeMba = 0x10000000;
constexpr uint32_t kTypeNcsiCmn = 0x20000000;
constexpr uint32_t kTypeModulesPn = 0x30000000;
constexpr uint32_t kTypeNcsiElib = 0x60000000;
constexpr uint32_t kTypeIbCprg = 0xB0000000;
constexpr uint32_t kTypeIbCfg = 0xC0000000;
constexpr uint32_t kTypeIbCfg2 = 0x50000000;
constexpr uint32_t kTypeUsrBlk = 0xB0000003;
constexpr uint32_t kTypeIscsiB = 0xD0000000;
constexpr uint32_t kTypeExtDir = 0xE0000000;
constexpr uint32_t kTypeIbCfg3 = 0x80000001;
constexpr uint32_t kTypeIbCfg4 = 0x90000001;
constexpr uint32_t kTypeFcoeB = 0x20000001;
constexpr uint32_t kTypeFebCfg = 0x10000001;
constexpr uint32_t kTypeFebCfg2 = 0x30000001;
constexpr uint32_t kTypeFebCfg3 = 0x60000001;
constexpr uint32_t kTypeFebCfg4 = 0x70000001;
constexpr uint32_t kTypeNicPrtion = 0x50000001;
constexpr uint32_t kTypeVpd = 0xA0000001;
constexpr uint32_t kTypeNiv = 0xD0000001;
constexpr uint32_t kTypeNivProfiles = 0xD0000003;
constexpr uint32_t kTypeBootCfgShadow = 0x10800001;
constexpr uint32_t kTypeCfgShared = 0xE0000003;
constexpr uint32_t kTypeMfw1 = 0x20000003;
constexpr uint32_t kTypeMfw2 = 0x30000003;
constexpr uint32_t kTypeMfw2A = 0x90000003;
constexpr uint32_t kTypeE3PcieV2 = 0x00800003;
constexpr uint32_t kTypeCcm = 0x90800003;
constexpr uint32_t kTypeBdn = 0xC0800003;

constexpr uint32_t kRowSwim1 = 33;   // SWIM1..SWIM12 are rows 33-44, SWIM1B..SWIM12B rows 45-56
constexpr uint32_t kSwimRows = 24;

// True for the 24 SWIM directory types; `position` (0-23) is the type's place in that list.
bool is_swim_type(uint32_t type, uint32_t* position = nullptr);
// Row of the first table entry whose name contains `text`; -1 when none.
int row_by_name_part(const char* text);
// Row of the exact name; -1 when none.
int row_by_name(const char* name);

}  // namespace fwupg::nvm
