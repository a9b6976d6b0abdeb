#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/nvm/e123/board_fixups.h"
#include "fwupg/nvm/e123/cfg.h"
#include "fwupg/nvm/e123/cfg_editor.h"
#include "nvm_fixture.h"

using namespace fwupg::nvm;
using namespace fwupg::nvm::test;

namespace {

uint32_t word_of(uint32_t offset)
{
    auto set = std::make_unique<CfgSet>();
    EXPECT_EQ(set->read(), 0);
    uint32_t v;
    std::memcpy(&v, set->record + offset, 4);
    return v;
}

int set_flag(Board& b, uint64_t flag, uint32_t value, uint32_t mode = 0)
{
    cfg_request r{};
    r.option_flag = flag;
    r.value = value;
    return common_nvm_cfg_57710_set(b.a().ops(), &r, mode);
}

Board e3_board(bool with_cfg_shared)
{
    auto s = board_spec(kit::Chip::E3);
    if (with_cfg_shared)
        s.images.push_back(image_spec("CFG_SHARED", testkit::stock_image("CFG_SHARED", "")));
    return Board(s);
}

// The MBI version store, through the editor, lands in the shared image, which
// is created when the board has none.
TEST(CfgEditor, MbiVersionLandsInTheSharedConfiguration)
{
    for (bool with_cfg_shared : {true, false}) {
        SCOPED_TRACE(with_cfg_shared);
        Board b = e3_board(with_cfg_shared);
        set_cfg_setter([](cfg_request* r) { return common_nvm_cfg_57710_set(*g_pHostOps, r, 0); });
        const int rc = common_nvm_set_mbi_version(b.a().interp(), 0x070C0300u, 0x0A0BE707u);
        set_cfg_setter(nullptr);
        ASSERT_EQ(rc, 0);
        uint32_t v = 0, d = 0;
        ASSERT_EQ(common_nvm_get_mbi_version(&v, &d), 0);
        EXPECT_EQ(v, 0x070C0300u);
        EXPECT_EQ(d, 0x0A0BE707u);
        EXPECT_NVRAM_VALID(b);
    }
}

TEST(CfgEditor, ParametersAreCheckedAndStoredInTheirField)
{
    struct Case {
        uint32_t index, value;
        bool accepted;
        uint32_t word, shift, width;
    } cases[] = {
        {16, 14, true, 36, 16, 4},     {16, 15, false, 36, 16, 4},   {16, 0x13, false, 36, 16, 4},
        {59, 7, true, 500, 16, 4},     {59, 8, false, 500, 16, 4},   {104, 4, true, 416, 0, 3},
        {104, 5, false, 416, 0, 3},    {36, 0xFFF, true, 448, 0, 16}, {36, 0x1000, false, 448, 0, 16},
        {9, 0xFFFF, true, 60, 0, 16},  {9, 0x10000, false, 60, 0, 16}, {248, 1, true, 6204, 12, 1},
        {248, 2, false, 6204, 12, 1},  {239, 7, true, 6204, 10, 1},  {243, 0xFFFFFFFF, true, 6268, 0, 32},
    };
    Board b = e3_board(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << "=" << c.value);
        const uint32_t before = word_of(c.word);
        take_debug_text();
        cfg_request r{};
        r.option_flag = 0x4000;
        r.option_num = c.index;
        r.value = c.value;
        const int rc = common_nvm_cfg_57710_set(b.a().ops(), &r, 0);
        const uint32_t after = word_of(c.word);
        const uint32_t mask = (c.width == 32 ? ~0u : ((1u << c.width) - 1)) << c.shift;
        if (c.accepted) {
            EXPECT_EQ(rc, 0);
            const uint32_t stored = c.width == 1 ? (c.value != 0) : c.value;
            EXPECT_EQ((after & mask) >> c.shift, stored);
            EXPECT_EQ(after & ~mask, before & ~mask);
        } else {
            EXPECT_EQ(rc, 1);
            EXPECT_EQ(after, before);
            EXPECT_NE(take_debug_text().find("Error: invalid param_value = 0x"), std::string::npos);
        }
    }
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgEditor, UnknownParameterIsRefusedWithBothMessages)
{
    Board b = e3_board(true);
    const auto before = b.a().nvram;
    take_debug_text();
    cfg_request r{};
    r.option_flag = 0x4000;
    r.option_num = 247;
    r.value = 1;
    EXPECT_EQ(common_nvm_cfg_57710_set(b.a().ops(), &r, 0), 1);
    EXPECT_EQ(take_debug_text(), "Unsupported Parameter\nError: invalid param_value = 0x1 for param_index = 247\n");
    EXPECT_EQ(b.a().nvram, before);
}

TEST(CfgEditor, OptionFlagsSetAndClearTheirBits)
{
    struct Case {
        uint64_t flag;
        uint32_t word, bit;
    } cases[] = {
        {0x4, 464, 25},        {0x10, 464, 26},   {0x40, 464, 24},        {0x20000, 464, 8},
        {0x80000, 460, 12},    {0x800000, 460, 14}, {0x200000, 36, 30},   {0x20000000, 464, 27},
        {0x40000, 6212, 8},    {0x80000000, 6264, 0}, {0x100000000ull, 6224, 20},
    };
    Board b = e3_board(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flag);
        for (uint32_t value : {5u, 0u}) {
            const uint32_t before = word_of(c.word);
            ASSERT_EQ(set_flag(b, c.flag, value), 0);
            const uint32_t after = word_of(c.word);
            EXPECT_EQ((after >> c.bit) & 1, value != 0 ? 1u : 0u);
            EXPECT_EQ(after & ~(1u << c.bit), before & ~(1u << c.bit));
        }
    }
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgEditor, FieldOptionsStoreTheValueAndRefuseOneThatDoesNotFit)
{
    Board b = e3_board(true);
    ASSERT_EQ(set_flag(b, 0x8000000000ull, 2), 0);
    EXPECT_EQ((word_of(460) >> 8) & 7, 2u);
    ASSERT_EQ(set_flag(b, 0x40000000, 3), 0);
    EXPECT_EQ((word_of(40) >> 21) & 3, 3u);
    const auto before = b.a().nvram;
    EXPECT_EQ(set_flag(b, 0x40000000, 4), 1);  // ASPM has four settings
    EXPECT_EQ(b.a().nvram, before);
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgEditor, ShadowSwimNeedsTheSharedImage)
{
    Board b = e3_board(false);
    const auto before = b.a().nvram;
    EXPECT_EQ(set_flag(b, 0x40000, 1), 1);
    EXPECT_EQ(std::string(Tcl_GetStringResult(b.a().interp())),
              "CFG_SHARED entry has to be in NVRAM in order to set the feature.");
    ASSERT_FALSE(b.a().last_errors.empty());
    EXPECT_EQ(b.a().last_errors.back(), 30u);
    EXPECT_EQ(b.a().nvram, before);
}

TEST(CfgEditor, MacAddressesGoToTheirWords)
{
    Board b = e3_board(true);
    cfg_request r{};
    r.option_flag = 0x800;
    r.value2 = 0x0010;
    r.value3 = 0x18ABCDEF;
    ASSERT_EQ(common_nvm_cfg_57710_set(b.a().ops(), &r, 0), 0);
    EXPECT_EQ(word_of(452), 0x0010u);
    EXPECT_EQ(word_of(456), 0x18ABCDEFu);
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgEditor, V0InTheConfigurationCopyResetsTheAdapter)
{
    Board b = e3_board(true);
    ASSERT_EQ(Tcl_Eval(b.a().interp(), "set ::resets 0; proc _reset {} { incr ::resets }"), TCL_OK);
    char text[] = "7.12.4-TOO-LONG-FOR-THE-AREA";
    cfg_request r{};
    r.option_flag = 0x2000000;
    r.data = text;
    ASSERT_EQ(common_nvm_cfg_57710_set(b.a().ops(), &r, 0), 0);
    auto set = std::make_unique<CfgSet>();
    ASSERT_EQ(set->read(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(set->record + 696)), "7.12.4-TOO-LONG-");
    EXPECT_STREQ(Tcl_GetVar(b.a().interp(), "::resets", 0), "1");
    EXPECT_NVRAM_VALID(b);
}

TEST(CfgEditor, ReadFailureWritesNothing)
{
    Board b = e3_board(true);
    const auto before = b.a().nvram;
    b.a().fail_reads = true;
    EXPECT_NE(set_flag(b, 0x4, 1), 0);
    b.a().fail_reads = false;
    EXPECT_EQ(b.a().nvram, before);
}

std::string show(Board& b, uint32_t code, uint32_t index = 0, int* rc = nullptr)
{
    cfg_request r{};
    r.value = code;
    r.option_num = index;
    take_debug_text();
    const int result = show_nvm_cfg_57710(b.a().ops(), &r, 0);
    if (rc)
        *rc = result;
    return take_debug_text();
}

TEST(CfgEditor, ShowPrintsWhatTheSetterStored)
{
    Board b = e3_board(true);
    ASSERT_EQ(set_flag(b, 0x1000, 5), 0);
    cfg_request r{};
    r.option_flag = 0x4000;
    r.option_num = 244;
    r.value = 0x0C1FE907;  // 12/31/2025, year bytes swapped
    ASSERT_EQ(common_nvm_cfg_57710_set(b.a().ops(), &r, 0), 0);
    EXPECT_EQ(show(b, 2), "MBA Boot Protocol: 5\n");
    EXPECT_EQ(show(b, 16, 244), "Option #244: date = 12/31/2025\n");
    int rc = 0;
    EXPECT_EQ(show(b, 16, 247, &rc), "Unsupported Parameter\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(show(b, 4096, 0, &rc), "Invalid option specified.\n");
    EXPECT_EQ(rc, 1);
}

TEST(CfgEditor, WolSwitchWritesTheBitAndResets)
{
    Board b = e3_board(true);
    ASSERT_EQ(Tcl_Eval(b.a().interp(), "set ::resets 0; proc _reset {} { incr ::resets }"), TCL_OK);
    for (uint32_t on : {1u, 0u}) {
        ASSERT_EQ(common_nvm_set_cfg_bit24(b.a().ops(), on), 0);
        EXPECT_EQ((word_of(464) >> 24) & 1, on);
        EXPECT_NE(show(b, 0).find("wol: " + std::to_string(on) + "\n"), std::string::npos);
    }
    EXPECT_STREQ(Tcl_GetVar(b.a().interp(), "::resets", 0), "2");
    b.a().fail_writes = true;
    take_debug_text();
    EXPECT_EQ(common_nvm_set_cfg_bit24(b.a().ops(), 1), 1);
    EXPECT_NE(take_debug_text().find("Error, new config updates not saved.\n"), std::string::npos);
    EXPECT_STREQ(Tcl_GetVar(b.a().interp(), "::resets", 0), "2");
}

}  // namespace

namespace {

// Same-parity functions share 64 VFs; the current function's own count is not charged.
TEST(CfgEditor, VfBudgetCountsTheOtherFunctionsOfTheSameParity)
{
    Board b = e3_board(true);
    b.a().set_toe("FUNC_NUM", "2");
    b.refresh();
    ASSERT_EQ(common_nvm_get_func_num(), 2);
    uint8_t np[508] = {};
    auto vfs = [&](int f, uint32_t n) { std::memcpy(np + 96 + 48 * f, &n, 4); };
    vfs(0, 20);
    vfs(2, 50);  // the current function
    vfs(4, 24);
    vfs(1, 60);  // other parity
    EXPECT_EQ(common_nvm_vf_available(np), 20u);
    vfs(6, 30);
    EXPECT_EQ(common_nvm_vf_available(np), 0u);
}

}  // namespace
