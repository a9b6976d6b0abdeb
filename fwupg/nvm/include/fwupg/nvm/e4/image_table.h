// The image types of E4 NVRAM: the name that messages and listings show, the upgrade option that
// selects the type, and the id that stands in the directory and in image headers. Ids 30 and 35
// have no row, so from row 29 on the row index and the id differ: code that needs a row (option
// lookup, header preparation) takes the row, code that meets an id (directory, header) the id.
#pragma once

#include <cstdint>
#include <string>

extern "C" {

struct e4_image_row {
    char name[32];
    char option[32];
    int32_t id;
};

extern const e4_image_row g_image_table_e4[35];

uint32_t e4_image_table_size();
// Copies the name of the first row with the id into out (32 bytes); -1 when no row has it.
int e4_image_name_by_id(uint32_t id, char* out);
// Exact, case-sensitive matches: 0 and the id or row, or -1 (also for a null argument).
int e4_image_id_by_name(const char* name, uint32_t* id);
int e4_image_row_by_option(const char* option, uint32_t* row);
int e4_image_row_by_name(const char* name, uint32_t* row);

}  // extern "C"

namespace fwupg::nvm::e4 {

// Image type ids the engine names in its rules.
inline constexpr uint32_t kTim1 = 1, kTim2 = 2, kMim1 = 3, kMim2 = 4, kMba = 5, kOptModules = 6, kVpd = 7;
inline constexpr uint32_t kMfwTrace1 = 8, kMfwTrace2 = 9, kNvmCfg1 = 10, kDir1 = 12, kHwSet = 16, kLim = 17;
inline constexpr uint32_t kDir2 = 19, kCcm = 20, kInitHw = 25, kDefaultCfg = 26, kCrashDump = 27, kMeta = 28;
inline constexpr uint32_t kIscsiCfg = 29, kFcoeCfg = 31, kEthPhy1 = 32, kEthPhy2 = 33, kPk = 36, kRecovery = 37;

// The name of a type id, or null.
const char* image_name(uint32_t id);

// "image_type: -mfw, -mbi" and ", <option>" for every row.
std::string upgrade_type_list();

}  // namespace fwupg::nvm::e4
