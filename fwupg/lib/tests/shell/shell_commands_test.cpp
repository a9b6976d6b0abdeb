// The shell's commands with a facade double and an image-check double: registration, option
// types, dispatch by family, argument and family codes, the lines they run, and cfg requests.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "fwupg/cfg_request.h"
#include "fwupg/command_exec.h"
#include "fwupg/session_state.h"
#include "shell_fixture.h"

using namespace shelltest;
using Words = std::vector<std::string>;

static_assert(sizeof(cfg_request) == 32);

namespace {

class ShellCommandsTest : public ShellTest {
protected:
    std::string File(const std::string& name)
    {
        std::string path = root.file(name);
        std::ofstream(path) << "x";
        return path;
    }
};

}  // namespace

TEST_F(ShellCommandsTest, InterpreterHasTheThirteenCommandsInTableOrder)
{
    Start(5);
    const Words names = {"cfg", "upgrade", "_upgrade", "_prg", "_dump", "_crc", "dir",
                         "q",   "_reset",  "phy",      "crc",  "update_cfg", "_update_cfg"};
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_STREQ(FrontEndCommandTable[i].name, names[i].c_str());
        Tcl_CmdInfo info;
        EXPECT_TRUE(Tcl_GetCommandInfo(g_TclInterp, names[i].c_str(), &info)) << names[i];
    }
    EXPECT_EQ(FrontEndCommandTable[13].name, nullptr);
    EXPECT_STREQ(Tcl_GetVar(g_TclInterp, "tcl_interactive", TCL_GLOBAL_ONLY), "0");
}

TEST(ShellOptions, ImageTypeOfEachOptionIgnoresCase)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"-mba", 1},      {"-L2T", 8},      {"-ipmi", 2},    {"-Ump", 3},       {"-ncsi", 4},  {"-ib", 5},
        {"-ib_ipv6", 5},  {"-IB_IPV4N6", 5}, {"-mfw1", 10},  {"-mfw", 10},      {"-feb", 11},  {"-vpd", 12},
        {"-ccm", 14},     {"-MBI", 15},     {"-init_hw", 16}, {"-upg", 7},      {"-iscsi_cfg", 18},
        {"-fcoe_cfg", 19}, {"-pk", 20},     {"-recovery", 21}, {"-meta", 22},   {"-bc", 23},   {"-fixmac", 23},
        {"mba", 23},      {"", 23},
    };
    for (const auto& [option, type] : cases) EXPECT_EQ(GetImageTypeFromOption(option), type) << option;
}

TEST_F(ShellCommandsTest, EngineCommandsGoToTheFacadeSlotOfTheFamily)
{
    struct Case {
        uint32_t family;
        const char* line;
        Words slots;  // facade slots reached
        int rc;
    };
    const Case cases[] = {
        {4, "_upgrade -mba f", {"nvm_upgrade"}, TCL_OK},
        {4, "_prg 0 f", {"nvm_crc_check", "nvm_dump", "nvm_prg"}, TCL_OK},  // board check, backup
        {4, "_dump f", {"nvm_dump"}, TCL_OK},
        {4, "_crc", {"nvm_crc"}, TCL_OK},
        {4, "dir", {"nvm_dir"}, TCL_OK},
        {5, "_upgrade -F -mbi f", {"nvm_upgrade_mbi"}, TCL_OK},
        {5, "_upgrade -mba f", {"nvm_upgrade_57710"}, TCL_OK},
        {6, "_upgrade -mfw f", {"nvm_upgrade_57710"}, TCL_OK},
        {5, "_prg 0 f", {"nvm_board_check_57710", "nvm_dump_57710", "nvm_prg_57710"}, TCL_OK},
        {6, "_dump f", {"nvm_dump_57710"}, TCL_OK},
        {5, "_crc", {"nvm_crc_57710"}, TCL_OK},
        {6, "dir", {"nvm_dir_57710"}, TCL_OK},
        {7, "dir", {}, TCL_ERROR},
        {6, "_update_cfg a b", {"nvm_update_cfg_e4"}, TCL_OK},
        {4, "crc", {"nvm_crc"}, TCL_OK},
        {5, "crc -NO_PRINT", {"nvm_crc_57710"}, TCL_OK},
        {7, "crc", {}, TCL_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + std::string(" on family ") + std::to_string(c.family));
        Start(c.family);
        facade.calls.clear();
        EXPECT_EQ(Eval(c.line), c.rc);
        EXPECT_EQ(facade.slots(), c.slots);
        if (!facade.calls.empty()) {
            EXPECT_EQ(facade.calls[0].ops.interp, g_TclInterp);
            EXPECT_EQ(facade.calls[0].ops.chipId, adapter.chip_id);
            EXPECT_EQ(facade.calls.back().words[0], std::string(c.line).substr(0, std::string(c.line).find(' ')));
        }
        TearDown();
    }
}

// "-mfw" on E4 notes the write mode for the command's first write; whatever the command does
// (writes, refuses, throws), the note is gone when it returns, so the next command's first write
// is not taken for a bundle. Other families never note it.
TEST_F(ShellCommandsTest, MfwUpgradeOnE4NotesTheWriteModeForItsOwnWritesOnly)
{
    struct Case {
        const char* what;
        uint32_t family;
        int result;  // of the facade slot; 99: it throws
        std::u16string during;
        int rc;
    } cases[] = {
        {"E4, programmed", 6, 0, u"-mfw", TCL_OK},
        {"E4, refused", 6, -1, u"-mfw", TCL_ERROR},
        {"E4, exception", 6, 99, u"-mfw", TCL_ERROR},
        {"E1-E3", 5, 0, u"", TCL_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(c.family);
        ClearPendingMfwNote();
        std::u16string seen = u"(not called)";
        facade.hooks["nvm_upgrade_57710"] = [&](const FacadeCall&) -> int {
            seen = g_PendingMfwNote;
            if (c.result == 99) throw ExceptionClass{70};
            return c.result;
        };
        EXPECT_EQ(Eval("_upgrade -mfw f"), c.rc);
        EXPECT_EQ(seen, c.during);
        EXPECT_EQ(std::u16string(g_PendingMfwNote), u"");
        facade.hooks.clear();
        TearDown();
    }
}

TEST_F(ShellCommandsTest, FacadeFailureAndExceptionsBecomeTclErrors)
{
    Start(5);
    facade.results["nvm_dir_57710"] = -1;
    EXPECT_EQ(Eval("dir"), TCL_ERROR);

    facade.hooks["nvm_dump_57710"] = [](const FacadeCall&) -> int { throw ExceptionClass{77}; };
    EXPECT_EQ(Eval("_dump f"), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 77u);

    g_uUpgRetCode = 0;
    facade.hooks["set_nvm_cfg_57710"] = [](const FacadeCall&) -> int { throw std::runtime_error("boom"); };
    EXPECT_EQ(Eval("cfg 1=2"), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, uint32_t(CMD_FAILED));
}

// Argument, family and file errors: the code each leaves, and that no engine was reached.
TEST_F(ShellCommandsTest, BadArgumentsWrongFamilyAndMissingFilesSetTheirCodes)
{
    struct Case {
        uint32_t family;
        std::string line;
        uint32_t code;
    };
    const std::string v0Long = "1.2.3." + std::string(251, '9');  // 257 characters
    std::string yb129;
    for (int i = 0; i < 129; ++i) yb129 += "1 ";
    const std::vector<Case> cases = {
        {6, "_update_cfg a", 2},
        {5, "_update_cfg a b", 60},
        {5, "crc -fix", 2},
        {5, "crc -no_print x", 2},
        {5, "phy", 2},
        {4, "phy -upg f", 3},
        {5, "phy -x f", 2},
        {5, "phy -upg", 2},
        {5, "phy -upg missing.bin", 63},
        {6, "update_cfg a", 2},
        {5, "update_cfg a b", 60},
        {6, "update_cfg -F missing1 missing2", 63},
        {4, "upgrade -l2t f", 60},
        {6, "upgrade -l2t f", 60},
        {5, "upgrade -ipmi f", 60},
        {5, "upgrade -ump f", 60},
        {5, "upgrade -c -mba f", 2},
        {5, "upgrade -p -bc f", 2},
        {5, "upgrade -mba", 2},
        {5, "upgrade f", 2},
        {5, "upgrade -mba missing.bin", 63},
        {5, "cfg", 2},
        {5, "cfg -noreset", 2},
        {7, "cfg 1=2", 60},
        {5, "cfg -vpdv0", 2},
        {5, "cfg -vpdyb", 2},
        {5, "cfg -vpdv0 1.2", 2},
        {5, "cfg -vpdv0 1.2.3.4.5", 2},
        {5, "cfg -vpdv0 " + v0Long, 2},
        {5, "cfg -vpdyb {1 zz}", 2},
        {5, "cfg -vpdyb {" + yb129 + "}", 2},
        {5, "cfg 12", 2},
        {5, "cfg x=1", 2},
        {5, "cfg 1=0x1FFFFFFFF", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + " on family " + std::to_string(c.family));
        Start(c.family);
        facade.calls.clear();
        g_uUpgRetCode = 0;
        EXPECT_EQ(Eval(c.line), TCL_ERROR);
        EXPECT_EQ(g_uUpgRetCode, c.code);
        EXPECT_TRUE(facade.calls.empty()) << facade.slots()[0];
        TearDown();
    }
}

// Something other than a regular file at the backup's name is neither removed nor written through.
TEST_F(ShellCommandsTest, BackupNameHoldingAFolderIsRefused)
{
    Start(5);
    const std::string image = File("image.bin");
    const std::string backup = root.file("backup");
    mkdir(backup.c_str(), 0755);
    std::ofstream(backup + "/keep") << "x";
    EXPECT_EQ(Eval("upgrade -mba " + image + " " + backup), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, static_cast<uint32_t>(CMD_WORK_FILE_UNSAFE));
    EXPECT_TRUE(facade.calls.empty());
    EXPECT_EQ(access((backup + "/keep").c_str(), F_OK), 0);
}

TEST_F(ShellCommandsTest, UpdateCfgRunsTheEngineLineWithForceFirstAndEachFileOneWord)
{
    Start(6);
    const std::string a = File("nvm cfg [a].txt");
    const std::string b = File("meta$b.txt");
    EXPECT_EQ(Eval("update_cfg {" + a + "} {} {" + b + "} -f"), TCL_OK);
    ASSERT_EQ(facade.slots(), Words{"nvm_update_cfg_e4"});
    EXPECT_EQ(facade.calls[0].words, (Words{"_update_cfg", "-F", a, b}));

    g_bNoReset = 1;
    facade.calls.clear();
    EXPECT_EQ(Eval("update_cfg {" + a + "} {" + b + "}"), TCL_OK);
    EXPECT_EQ(facade.calls[0].words, (Words{"_update_cfg", a, b}));
    EXPECT_EQ(g_bNoReset, 0) << "update_cfg clears the no-reset mark";

    facade.results["nvm_update_cfg_e4"] = 1;
    EXPECT_EQ(Eval("update_cfg {" + a + "} {" + b + "}"), TCL_ERROR);
}

TEST_F(ShellCommandsTest, PhyWritesTheCheckedImageThroughTheManagementLibrary)
{
    Start(5);
    const std::string file = File("phy.bin");
    EXPECT_EQ(Eval("phy -upg " + file), TCL_OK);
    ASSERT_EQ(Count(journal, 131), 1u);
    EXPECT_EQ(journal.calls(131)[0].count, images.phyBytes.size());
    EXPECT_EQ(images.asked.back(), "1:7:" + file);

    images.phy = 98;
    EXPECT_EQ(Eval("phy -upg " + file), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 98u);
    EXPECT_EQ(Count(journal, 131), 1u) << "an image not for this adapter is not written";

    images.phy = 0;
    frametest::fail_ordinal(root.path, 131);
    TearDown();
    Start(5);
    EXPECT_EQ(Eval("phy -upg " + file), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 106u);
}

TEST_F(ShellCommandsTest, CfgHandsTheEngineOneRequestOfTheFamily)
{
    struct Case {
        uint32_t family;
        std::string args;
        const char* slot;
        uint64_t flags;
        uint32_t option, value;
        std::vector<uint8_t> data;
    };
    std::string yb128;
    std::vector<uint8_t> yb128Bytes{128};
    for (int i = 0; i < 128; ++i) {
        yb128 += "0x1" + std::to_string(i % 10) + " ";
        yb128Bytes.push_back(static_cast<uint8_t>(0x10 + i % 10));
    }
    const std::vector<Case> cases = {
        {5, "0x10=017", "set_nvm_cfg_57710", 0x4000, 16, 15, {}},
        {4, "3=-1", "set_nvm_cfg", 0x4000, 3, 0xFFFFFFFF, {}},
        {6, "-noreset 7=1=2", "set_nvm_cfg_e4", 0x4000, 7, 2, {}},
        {5, "-vpdv0 7.12.4", "set_nvm_cfg_57710", 0x2000000, 0, 0, {'7', '.', '1', '2', '.', '4', 0}},
        {6, "-vpdv0 1.2.3.4", "set_nvm_cfg_e4", 0x2000000, 0, 0, {'1', '.', '2', '.', '3', '.', '4', 0}},
        {5, "-vpdyb {1 ff\t 2A\r\n0x3}", "set_nvm_cfg_57710", 0x8000000, 0, 0, {4, 0x01, 0xFF, 0x2A, 0x03}},
        {5, "-vpdyb {" + yb128 + "}", "set_nvm_cfg_57710", 0x8000000, 0, 0, yb128Bytes},
        {5, "4=1", "set_nvm_cfg_57710", 0x4000, 4, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("cfg " + c.args);
        Start(c.family);
        facade.calls.clear();
        g_bNoReset = 0;
        EXPECT_EQ(Eval("cfg " + c.args), TCL_OK);
        // An E1-E3 change is preceded by the board check and the NVRAM backup.
        ASSERT_EQ(facade.slots(),
                  (c.family == 5 ? Words{"nvm_board_check_57710", "nvm_dump_57710", c.slot} : Words{c.slot}));
        const cfg_request& r = facade.calls.back().request;
        EXPECT_EQ(r.option_flag, c.flags);
        EXPECT_EQ(r.option_num, c.option);
        EXPECT_EQ(r.value, c.value);
        EXPECT_EQ(r.value2, 0u);
        EXPECT_EQ(r.value3, 0u);
        EXPECT_EQ(facade.calls.back().data, c.data);
        EXPECT_EQ(g_bNoReset, c.args.rfind("-noreset", 0) == 0 ? 1 : 0);
        TearDown();
    }
}

TEST_F(ShellCommandsTest, FlagOptionBoardsTakeOptions4And0x20000000AsFlags)
{
    sim::AdapterDef board = sim::make_adapter(5, 1);
    board.vid = 0x1077, board.svid = 0x1590, board.did = 0x16A4, board.ssid = 0x22ED;
    Start(board);
    const std::pair<const char*, uint64_t> cases[] = {
        {"cfg 4=1", 4}, {"cfg 0x20000000=0", 0x20000000}, {"cfg 5=1", 0x4000}};
    for (const auto& [line, flags] : cases) {
        facade.calls.clear();
        EXPECT_EQ(Eval(line), TCL_OK);
        ASSERT_EQ(facade.slots(), (Words{"nvm_board_check_57710", "nvm_dump_57710", "set_nvm_cfg_57710"}));
        EXPECT_EQ(facade.calls.back().request.option_flag, flags) << line;
    }
    TearDown();
    board.ssid = 0x1006;  // another subsystem: a numbered option as everywhere
    Start(board);
    EXPECT_EQ(Eval("cfg 4=1"), TCL_OK);
    EXPECT_EQ(facade.calls.back().request.option_flag, 0x4000u);
}
