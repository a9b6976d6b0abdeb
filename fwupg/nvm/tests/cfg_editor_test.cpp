#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/commands.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/nvm/e123/board_fixups.h"
#include "fwupg/nvm/e123/cfg.h"
#include "fwupg/nvm/e123/cfg_editor.h"
#include "nvm_fixture.h"
#include "testkit/vpd.h"
#include "verify_but_identity.h"

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
    auto s = board_def(kit::Chip::E3);
    if (with_cfg_shared)
        s.images.push_back(image_def("CFG_SHARED", testkit::stock_image("CFG_SHARED", "")));
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
    EXPECT_VALID_BUT_IDENTITY(b);  // the device id field took 0xFFFF on purpose
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

// The VF setter (flag 0x400000): single-function mode stores the count in the port's word; in
// multi-function mode the count goes into the function's NIC_PRTION entry, within the 64 VFs the
// functions of its parity share; AFEX boards and multi-function mode in VC are refused, as is a
// count beyond the budget, each with nothing written.
TEST(CfgEditor, VfSetterStoresWithinTheBudgetAndRefusesWhereVfsCannotBeSet)
{
    // NIC_PRTION in host order: bit 8 of word 0 marks multi-function mode; functions 2 and 4 (the
    // parity of function 0) hold 20 and 30 VFs, leaving 14.
    auto nic_prtion = [](bool mf) {
        testkit::Bytes np(508, 0);
        np[0] = 1;
        np[1] = mf ? 1 : 0;
        np[96 + 48 * 2] = 20;
        np[96 + 48 * 4] = 30;
        return np;
    };
    const struct {
        const char* what;
        bool mf;
        uint32_t sf_mode;  // bits 8-10 of the shared feature word
        bool afex;         // an NIV image whose first word is set
        uint32_t mode;     // the setter's mode argument (1: VC)
        uint32_t value;
        const char* refusal;  // null when stored
        uint32_t code;
    } cases[] = {
        {"single function", false, 0, false, 0, 33, nullptr, 0},
        {"multi-function, the whole budget", true, 2, false, 0, 14, nullptr, 0},
        {"multi-function, one over the budget", true, 2, false, 0, 15, "Total VF Exceeds 64!", 18},
        {"multi-function in VC", true, 0, false, 1, 1, "Cannot Set Number of VFs for MF mode in VC!", 18},
        {"AFEX", true, 2, true, 0, 1, "AFEX mode does not support VF per PF!", 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = board_def(kit::Chip::E3);
        s.images.push_back(image_def("NIC_PRTION", nic_prtion(c.mf)));
        if (c.afex)
            s.images.push_back(image_def("NIV", testkit::stock_image("NIV", "1.0.0")));
        s.words.push_back({1104, c.sf_mode << 8});
        Board b(s);
        const auto before = b.a().nvram;
        b.a().last_errors.clear();
        const int rc = set_flag(b, 0x400000, c.value, c.mode);
        if (c.refusal) {
            EXPECT_EQ(rc, 1);
            EXPECT_EQ(std::string(Tcl_GetStringResult(b.a().interp())), c.refusal);
            ASSERT_FALSE(b.a().last_errors.empty());
            EXPECT_EQ(b.a().last_errors.back(), c.code);
            EXPECT_EQ(b.a().nvram, before);
            continue;
        }
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(word_of(c.mf ? 920 : 400), c.value);
        EXPECT_NVRAM_VALID(b);
        if (c.mf) {
            // The count sits in function 0's NIC_PRTION entry, the other entries untouched.
            const auto r = b.verify();
            ASSERT_TRUE(found(r, "NIC_PRTION"));
            const uint32_t at = found(r, "NIC_PRTION")->offset;
            EXPECT_EQ(b.a().be32(at + 96), c.value);
            EXPECT_EQ(b.a().be32(at + 96 + 48 * 2), 20u);
            EXPECT_EQ(b.a().be32(at + 96 + 48 * 4), 30u);
        }
    }
}

// V0 on a board whose VPD lives in the extended directory goes into that image (the configuration
// copy keeps its own V0, and the adapter is not reset); the other fields stay.
TEST(CfgEditor, V0GoesIntoTheVpdImageOfTheExtendedDirectory)
{
    auto s = board_def(kit::Chip::E3);
    testkit::VpdFields f;
    f.sn = "SN-KEPT";
    s.images.push_back(image_def("VPD", testkit::vpd_directory_image(f, 128)));
    Board b(s);
    ASSERT_EQ(Tcl_Eval(b.a().interp(), "set ::resets 0; proc _reset {} { incr ::resets }"), TCL_OK);
    const uint32_t v0_copy = word_of(696);
    char text[] = "7.12.4";
    cfg_request r{};
    r.option_flag = 0x2000000;
    r.data = text;
    ASSERT_EQ(common_nvm_cfg_57710_set(b.a().ops(), &r, 0), 0) << take_debug_text();
    EXPECT_NVRAM_VALID(b);
    EXPECT_STREQ(Tcl_GetVar(b.a().interp(), "::resets", 0), "0");
    EXPECT_EQ(word_of(696), v0_copy);

    b.a().set_toe("IS_VPD_IMAGE", "1");
    for (const auto& [keyword, want] : {std::pair{"V0", "7.12.4"}, std::pair{"SN", "SN-KEPT"}}) {
        ASSERT_EQ(run_line(b.a(), tcl_al_vpd_read_cmd, std::string("read ") + keyword), TCL_OK);
        EXPECT_EQ(std::string(Tcl_GetStringResult(b.a().interp())), want) << keyword;
    }
}

}  // namespace
