// Board rows and the fix-up steps that follow an MBI package upgrade of an E4 adapter.
#include "fwupg/nvm/e4/board_fixups.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fwupg/cfg_request.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/e4/cfg_editor.h"
#include "fwupg/nvm/e4/versions.h"
#include "fwupg/nvm/e4/vpd.h"

namespace fwupg::nvm::e4 {
namespace {

struct BoardId {
    uint16_t vid, did, svid, ssid;
};

// Boards whose VPD takes the version texts. Only (VID, SVID) is compared.
constexpr BoardId kVersionVpdBoards[] = {
    // 578xx boards.
    {0x14E4, 0x16A2, 0x103C, 0x1916}, {0x14E4, 0x16A2, 0x103C, 0x1917}, {0x14E4, 0x16A2, 0x103C, 0x1931},
    {0x14E4, 0x16A2, 0x103C, 0x8107}, {0x14E4, 0x16A4, 0x103C, 0x1916}, {0x14E4, 0x16A4, 0x103C, 0x1917},
    {0x14E4, 0x16A4, 0x103C, 0x1931}, {0x14E4, 0x16A4, 0x103C, 0x8107}, {0x14E4, 0x16AD, 0x103C, 0x1916},
    {0x14E4, 0x16AD, 0x103C, 0x1917}, {0x14E4, 0x16AD, 0x103C, 0x1931}, {0x14E4, 0x16AD, 0x103C, 0x8107},
    {0x14E4, 0x168E, 0x103C, 0x1933}, {0x14E4, 0x168E, 0x103C, 0x193A}, {0x14E4, 0x168E, 0x103C, 0x18D3},
    {0x14E4, 0x168E, 0x103C, 0x22FA}, {0x14E4, 0x168E, 0x103C, 0x2231}, {0x14E4, 0x168E, 0x103C, 0x339D},
    {0x14E4, 0x168E, 0x103C, 0x8148}, {0x14E4, 0x16AE, 0x103C, 0x1933}, {0x14E4, 0x16AE, 0x103C, 0x193A},
    {0x14E4, 0x16AE, 0x103C, 0x18D3}, {0x14E4, 0x16AE, 0x103C, 0x22FA}, {0x14E4, 0x16AE, 0x103C, 0x2231},
    {0x14E4, 0x16AE, 0x103C, 0x339D}, {0x14E4, 0x16AE, 0x103C, 0x8148}, {0x14E4, 0x16AF, 0x103C, 0x1933},
    {0x14E4, 0x16AF, 0x103C, 0x193A}, {0x14E4, 0x16AF, 0x103C, 0x18D3}, {0x14E4, 0x16AF, 0x103C, 0x22FA},
    {0x14E4, 0x16AF, 0x103C, 0x2231}, {0x14E4, 0x16AF, 0x103C, 0x339D}, {0x14E4, 0x16AF, 0x103C, 0x8148},
    {0x1077, 0x168E, 0x103C, 0x22ED}, {0x1077, 0x168E, 0x103C, 0x00EC}, {0x1077, 0x16AE, 0x103C, 0x22ED},
    {0x1077, 0x16AE, 0x103C, 0x00EC}, {0x1077, 0x16AF, 0x103C, 0x22ED}, {0x1077, 0x16AF, 0x103C, 0x00EC},
    // E4 boards.
    {0x1077, 0x1656, 0x1590, 0x00CF}, {0x1077, 0x1664, 0x1590, 0x00CF}, {0x1077, 0x1644, 0x1590, 0x00F6},
    {0x1077, 0x1654, 0x1590, 0x0223}, {0x1077, 0x1664, 0x1590, 0x0223}, {0x1077, 0x8070, 0x1590, 0x021A},
    {0x1077, 0x8070, 0x1590, 0x021B}, {0x1077, 0x8070, 0x1590, 0x021E}, {0x1077, 0x8070, 0x1590, 0x021F},
    {0x1077, 0x8080, 0x1590, 0x021A}, {0x1077, 0x8080, 0x1590, 0x021B}, {0x1077, 0x8080, 0x1590, 0x021E},
    {0x1077, 0x8080, 0x1590, 0x021F}, {0x1077, 0x8084, 0x1590, 0x021A}, {0x1077, 0x8084, 0x1590, 0x021B},
    {0x1077, 0x8084, 0x1590, 0x021E}, {0x1077, 0x8084, 0x1590, 0x021F}, {0x1077, 0x8090, 0x1590, 0x021A},
    {0x1077, 0x8090, 0x1590, 0x021B}, {0x1077, 0x8090, 0x1590, 0x021E}, {0x1077, 0x8090, 0x1590, 0x021F},
    {0x1077, 0x8070, 0x1590, 0x021D}, {0x1077, 0x8070, 0x1590, 0x0220}, {0x1077, 0x8090, 0x1590, 0x021D},
    {0x1077, 0x8090, 0x1590, 0x0220},
};
static_assert(std::size(kVersionVpdBoards) == 64);

// Boards whose VPD V9 takes the MBI version. (VID, SVID, SSID) is compared.
constexpr std::vector<BoardId> mbi_vpd_boards()
{
    std::vector<BoardId> rows{{0x1077, 0x1656, 0x1077, 0xE4F5}};
    for (uint16_t did : {0x8071, 0x8081, 0x8085, 0x8090})
        for (uint16_t ssid = 0x0001; ssid <= 0x000A; ++ssid)
            rows.push_back({0x1077, did, 0x1077, ssid});
    for (uint16_t did : {0x8073, 0x8083, 0x8087, 0x8090})
        for (uint16_t ssid : {0x000B, 0x000C, 0x000F, 0x0010})
            if (did != 0x8090 || ssid != 0x0010) rows.push_back({0x1077, did, 0x1077, ssid});
    return rows;
}
static_assert(mbi_vpd_boards().size() == 56);

using OptionSet = std::vector<std::pair<uint32_t, uint32_t>>;  // option = value

struct StoredSet {
    uint16_t did[2];  // 0: no second device id
    uint16_t svid;
    uint16_t ssid[3];
    OptionSet options;
};

const StoredSet kStoredSets[] = {
    {{0x1656, 0},
     0x1077,
     {0xE4F5, 0, 0},
     {{11, 1},  {17, 2},   {104, 3},  {123, 167772260}, {131, 2},  {134, 1},   {135, 110}, {136, 5},  {137, 110},
      {139, 1}, {143, 120}, {144, 5}, {188, 9},         {27, 10},  {28, 10},   {29, 4},    {30, 6},   {31, 4},
      {32, 6},  {57, 49},  {102, 127}, {126, 1},        {127, 27}, {84, 5732}, {95, 0},    {132, 0},  {187, 1}}},
    {{0x1656, 0}, 0x1077, {0xE4F6, 0xE4F7, 0xE4F8}, {{27, 10}, {28, 10}}},
    {{0x1656, 0x1664},
     0x1590,
     {0x00CF, 0, 0},
     {{11, 0},   {17, 2},   {83, 7},   {104, 2}, {113, 1}, {131, 2}, {134, 1},  {135, 110}, {136, 5},
      {139, 1},  {141, 0},  {142, 0},  {143, 120}, {144, 5}, {10, 16}, {27, 8}, {28, 8},    {59, 1},
      {102, 127}, {140, 0}, {145, 1},  {84, 5732}, {95, 0},  {132, 0}}},
    {{0x1644, 0},
     0x1590,
     {0x00F6, 0, 0},
     {{11, 0}, {17, 2}, {83, 3}, {104, 2}, {113, 1}, {131, 2}, {134, 1}, {135, 110}, {136, 5}, {139, 1}, {141, 0},
      {142, 0}, {143, 120}, {144, 5}, {10, 0}, {59, 1}, {102, 127}, {145, 2}, {84, 5732}, {95, 0}, {132, 0}}},
};

BoardId board()
{
    return {uint16_t(toe_number("VID")), uint16_t(toe_number("DID")), uint16_t(toe_number("SVID")),
            uint16_t(toe_number("SSID"))};
}

// A boot-agent version word as text: four parts from 0x10000 on, else three; empty for 0.
std::string boot_agent_text(uint32_t v)
{
    char text[32] = "";
    if (v >= 0x10000)
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", int((v >> 16) & 0xF), int((v >> 12) & 0xF),
                      int((v >> 8) & 0xF), int(v & 0xFF));
    else if (v)
        std::snprintf(text, sizeof text, "%d.%d.%d", int((v >> 12) & 0xFF), int((v >> 8) & 0xF), int(v & 0xFF));
    return text;
}

// Sends option requests in one run (every port and function). Requests the validator refuses are
// left out with their messages, so one refused value does not cost the board the whole set.
int set_options(const OptionSet& options)
{
    std::vector<cfg_request> requests;
    for (auto [number, value] : options) {
        if (!e4_cfg_option_valid(number, value)) {
            fwupg_dbg_printf("Skipping option %u = %u for this board.\n", number, value);
            continue;
        }
        cfg_request r{};
        r.option_flag = 0x4000;
        r.option_num = number;
        r.value = value;
        requests.push_back(r);
    }
    HostOps ops{};
    if (requests.empty() || !get_current_host_ops(&ops)) return -1;
    return set_nvm_cfg_e4(ops, requests.data(), uint32_t(requests.size()), 1);
}

void vpd_step(const BoardId& b)
{
    if (!board_in_version_vpd_list(b.vid, b.svid)) return;
    const VersionState& s = version_state();
    std::string mim;
    if (s.last_mim[0] || s.last_mim[1] || s.last_mim[2] || s.last_mim[3]) {
        char text[48];
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", int(s.last_mim[0]), int(s.last_mim[1]), int(s.last_mim[2]),
                      int(s.last_mim[3]));
        mim = text;
    }
    // The version texts go into the VPD image in one write.
    std::vector<std::pair<std::string, std::string>> fields;
    for (auto& [keyword, text] : {std::pair<std::string, std::string>{"V1", boot_agent_text(s.last_pci30_revision)},
                                  {"V3", mim}, {"V6", boot_agent_text(s.last_uefi)}})
        if (!text.empty()) fields.emplace_back(keyword, text);
    if (!fields.empty() && set_vpd_fields(fields) != 0) fwupg_dbg_printf("Failed to program the VPD version texts.\n");
}

void option_step(const BoardId& b)
{
    if (b.ssid == 0x00CF && set_options({{202, 1}, {208, 1}}) != 0) fwupg_dbg_printf("Failed to set board options.\n");
    if (b.ssid == 0x0223 && set_options({{202, 1}}) != 0) fwupg_dbg_printf("Failed to set board options.\n");
}

void stored_set_step(const BoardId& b)
{
    if (b.vid != 0x1077) return;
    for (const StoredSet& set : kStoredSets) {
        const bool did = b.did == set.did[0] || (set.did[1] && b.did == set.did[1]);
        const bool ssid = b.ssid == set.ssid[0] || (set.ssid[1] && b.ssid == set.ssid[1]) ||
                          (set.ssid[2] && b.ssid == set.ssid[2]);
        if (did && b.svid == set.svid && ssid) {
            if (set_options(set.options) != 0) fwupg_dbg_printf("Failed to set the board's stored options.\n");
            return;
        }
    }
}

}  // namespace

bool board_in_version_vpd_list(uint16_t vid, uint16_t svid)
{
    for (const BoardId& b : kVersionVpdBoards)
        if (b.vid == vid && b.svid == svid) return true;
    return false;
}

bool board_translation_on()
{
    const char* v = std::getenv("DONVM_TRANSLATION");
    if (!v) return false;
    for (const char* name : {"TROSKEL", "3904R7", "7462"})
        if (strcasecmp(v, name) == 0) return true;
    return false;
}

void board_fixups_after_mbi()
{
    const BoardId b = board();
    vpd_step(b);
    option_step(b);
    if (board_translation_on()) stored_set_step(b);
}

}  // namespace fwupg::nvm::e4

bool common_nvm_board_in_mbi_vpd_list(uint16_t vid, uint16_t svid, uint16_t ssid)
{
    static const std::vector<fwupg::nvm::e4::BoardId> rows = fwupg::nvm::e4::mbi_vpd_boards();
    for (const auto& b : rows)
        if (b.vid == vid && b.svid == svid && b.ssid == ssid) return true;
    return false;
}
