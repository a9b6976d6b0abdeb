// The E4 image-type table and its lookups.
#include "fwupg/nvm/e4/image_table.h"

#include <cstring>
#include <iterator>

extern "C" const e4_image_row g_image_table_e4[35] = {
    {"TIM1", "-tim1", 1},           {"TIM2", "-tim2", 2},           {"MIM1", "-mim1", 3},
    {"MIM2", "-mim2", 4},           {"MBA", "-mba", 5},             {"OPT_MODULES", "-optm", 6},
    {"VPD", "-vpd", 7},             {"MFW_TRACE1", "-mfwt1", 8},    {"MFW_TRACE2", "-mfwt2", 9},
    {"NVM_CFG1", "-cfg", 10},       {"L2B", "-l2b", 11},            {"DIR1", "-dir1", 12},
    {"EAGLE_FW1", "-eagle1", 13},   {"FALCON_FW1", "-falcon1", 14}, {"PCIE_FW1", "-pcie1", 15},
    {"HW_SET", "-hw_set", 16},      {"LIM", "-lim", 17},            {"AVS_FW1", "-avs1", 18},
    {"DIR2", "-dir2", 19},          {"CCM", "-ccm", 20},            {"EAGLE_FW2", "-eagle2", 21},
    {"FALCON_FW2", "-falcon2", 22}, {"PCIE_FW2", "-pcie2", 23},     {"AVS_FW2", "-avs2", 24},
    {"INIT_HW", "-init_hw", 25},    {"DEFAULT_CFG", "-def_cfg", 26}, {"CRASH_DUMP", "-mdump", 27},
    {"META", "-meta", 28},          {"ISCSI_CFG", "-iscsi_cfg", 29}, {"FCOE_CFG", "-fcoe_cfg", 31},
    {"ETH_PHY_FW1", "-ethphy1", 32}, {"ETH_PHY_FW2", "-ethphy2", 33}, {"BDN", "-bdn", 34},
    {"PK", "-pk", 36},              {"RECOVERY", "-recovery", 37},
};

namespace {

constexpr uint32_t kRows = uint32_t(std::size(g_image_table_e4));

template <typename Match>
int find_row(Match match, uint32_t* row)
{
    if (!row)
        return -1;
    for (uint32_t i = 0; i < kRows; ++i)
        if (match(g_image_table_e4[i])) {
            *row = i;
            return 0;
        }
    return -1;
}

}  // namespace

extern "C" {

uint32_t e4_image_table_size() { return kRows; }

int e4_image_name_by_id(uint32_t id, char* out)
{
    const char* name = fwupg::nvm::e4::image_name(id);
    if (!name || !out)
        return -1;
    std::memcpy(out, name, sizeof g_image_table_e4[0].name);
    return 0;
}

int e4_image_row_by_option(const char* option, uint32_t* row)
{
    if (!option)
        return -1;
    return find_row([&](const e4_image_row& r) { return std::strcmp(r.option, option) == 0; }, row);
}

int e4_image_row_by_name(const char* name, uint32_t* row)
{
    if (!name)
        return -1;
    return find_row([&](const e4_image_row& r) { return std::strcmp(r.name, name) == 0; }, row);
}

int e4_image_id_by_name(const char* name, uint32_t* id)
{
    uint32_t row = 0;
    if (!id || e4_image_row_by_name(name, &row) != 0)
        return -1;
    *id = uint32_t(g_image_table_e4[row].id);
    return 0;
}

}  // extern "C"

namespace fwupg::nvm::e4 {

const char* image_name(uint32_t id)
{
    for (const auto& r : g_image_table_e4)
        if (uint32_t(r.id) == id)
            return r.name;
    return nullptr;
}

std::string upgrade_type_list()
{
    std::string text = "image_type: -mfw, -mbi";
    for (const auto& r : g_image_table_e4)
        text += std::string(", ") + r.option;
    return text;
}

}  // namespace fwupg::nvm::e4
