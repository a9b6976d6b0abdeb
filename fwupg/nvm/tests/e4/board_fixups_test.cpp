// The board lists of the E4 fix-ups and the board-translation switch.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fwupg/nvm/e4/board_fixups.h"

namespace {

using namespace fwupg::nvm::e4;

// V9 boards are told by VID, SVID and SSID: all have VID and SVID 0x1077.
TEST(E4BoardLists, MbiVersionVpdBoards)
{
    EXPECT_TRUE(common_nvm_board_in_mbi_vpd_list(0x1077, 0x1077, 0xE4F5));
    for (uint16_t ssid = 0x0001; ssid <= 0x000C; ++ssid)
        EXPECT_TRUE(common_nvm_board_in_mbi_vpd_list(0x1077, 0x1077, ssid)) << ssid;
    for (uint16_t ssid : {0x000F, 0x0010})
        EXPECT_TRUE(common_nvm_board_in_mbi_vpd_list(0x1077, 0x1077, ssid)) << ssid;
    for (uint16_t ssid : {0x0000, 0x000D, 0x000E, 0x0011, 0xE4F6})
        EXPECT_FALSE(common_nvm_board_in_mbi_vpd_list(0x1077, 0x1077, ssid)) << ssid;
    EXPECT_FALSE(common_nvm_board_in_mbi_vpd_list(0x1077, 0x1590, 0x0001));
    EXPECT_FALSE(common_nvm_board_in_mbi_vpd_list(0x14E4, 0x1077, 0x0001));
}

// Version-text boards are told by VID and SVID only.
TEST(E4BoardLists, VersionVpdBoards)
{
    for (auto [vid, svid, in] : {std::tuple{0x14E4, 0x103C, true}, {0x1077, 0x103C, true}, {0x1077, 0x1590, true},
                                 {0x1077, 0x1077, false}, {0x14E4, 0x1590, false}, {0x14E4, 0x14E4, false}})
        EXPECT_EQ(board_in_version_vpd_list(uint16_t(vid), uint16_t(svid)), in) << std::hex << vid << ":" << svid;
}

TEST(E4BoardLists, TranslationSwitch)
{
    for (auto [value, on] : {std::pair{"TROSKEL", true}, {"troskel", true}, {"3904r7", true}, {"7462", true},
                             {"", false}, {"TROSKEL ", false}, {"74620", false}}) {
        setenv("DONVM_TRANSLATION", value, 1);
        EXPECT_EQ(board_translation_on(), on) << '"' << value << '"';
    }
    unsetenv("DONVM_TRANSLATION");
    EXPECT_FALSE(board_translation_on());
}

}  // namespace
