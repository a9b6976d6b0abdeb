// "upgrade" with a facade double whose engine commands act on files: the image checks, the
// engine line, the NVRAM backup with its fingerprint, and the restore when the upgrade or the CRC
// check after it fails, down to the code the builder returns. The same backup guards an E1-E3
// configuration change ("cfg") and the programming of a whole file ("_prg").
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "fwupg/command_exec.h"
#include "fwupg/session_state.h"
#include "fwupg/sha256.h"
#include "../../src/shell/shell_internal.h"
#include "shell_fixture.h"

using namespace shelltest;
using Words = std::vector<std::string>;

namespace {

class UpgradeTest : public ShellTest {
protected:
    void Start(uint32_t family, uint32_t capabilities = 0)
    {
        sim::AdapterDef desc = sim::make_adapter(family, 1);
        desc.capabilities = capabilities;
        ShellTest::Start(desc);
        image = root.file("new image [x] $y.bin");
        std::ofstream(image) << "image";
        backup = "NVMDump#_" + adapter.mac + ".BIN";
        // The dump writes its file as the engine does; the upgrade, CRC and program commands
        // answer as the test says.
        auto dump = [this](const FacadeCall& call) {
            if (call.words.size() == 4) {  // "_dump <offset> <length> <file>": a read of the board
                const size_t at = std::stoul(call.words[1]), length = std::stoul(call.words[2]);
                std::ofstream(call.words.back(), std::ios::binary)
                    << (at + length <= board.size() ? board.substr(at, length) : std::string(length, 'x'));
                return 0;
            }
            dumps.push_back(call.words);
            if (dumpFails) {
                Tcl_SetResult(g_TclInterp, const_cast<char*>("Dump from NVM failed."), TCL_STATIC);
                return 1;
            }
            if (dumpMakesFolder)
                mkdir(call.words.back().c_str(), 0755);
            else
                std::ofstream(call.words.back(), std::ios::binary) << "nvram backup bytes";
            return 0;
        };
        facade.hooks["nvm_dump_57710"] = dump;
        facade.hooks["nvm_dump"] = dump;
        auto upgrade = [this](const FacadeCall& call) {
            upgrades.push_back(call.words);
            if (changeBackup) std::ofstream(backup, std::ios::app) << "changed";
            g_uUpgRetCode = upgradeCode;
            return upgradeCode ? 1 : 0;
        };
        facade.hooks["nvm_upgrade_57710"] = upgrade;
        facade.hooks["nvm_upgrade_mbi"] = upgrade;
        facade.hooks["nvm_crc_57710"] = [this](const FacadeCall& call) {
            crcs.push_back(call.words);
            g_uUpgRetCode = crcCode;
            return crcCode ? 1 : 0;
        };
        facade.hooks["nvm_prg_57710"] = [this](const FacadeCall& call) {
            programs.push_back(call.words);
            backupAtRestore = access(call.words.back().c_str(), F_OK) == 0;
            return programFails ? 1 : 0;
        };
    }
    bool BackupLeft() const { return access(backup.c_str(), F_OK) == 0; }
    // An NVRAM image of the adapter whose first port part holds its ids and the MAC address `mac`.
    std::string NvramWithMac(uint64_t mac) const
    {
        std::string nvram(adapter.nvram_size(), '\xFF');
        const uint32_t words[] = {adapter.vid << 16 | adapter.did, uint32_t(mac >> 32), uint32_t(mac)};
        const size_t at[] = {300, 316, 320};
        for (size_t i = 0; i < 3; ++i)
            for (int b = 0; b < 4; ++b) nvram[at[i] + size_t(b)] = char(words[i] >> (24 - 8 * b));
        return nvram;
    }
    // The board checks the facade has seen so far.
    long BoardChecks() const
    {
        const Words slots = facade.slots();
        return std::count(slots.begin(), slots.end(), "nvm_board_check_57710");
    }
    // The adapter as a fingerprint file names it: MAC address and device id.
    std::string Identity() const
    {
        char did[8];
        std::snprintf(did, sizeof did, "%04X", adapter.did);
        return adapter.mac + " " + did;
    }

    std::string image, backup;
    std::string board;  // what the NVRAM holds for reads of a range
    uint32_t upgradeCode = 0, crcCode = 0;
    bool dumpFails = false, dumpMakesFolder = false, changeBackup = false, programFails = false, backupAtRestore = false;
    std::vector<Words> dumps, upgrades, crcs, programs;
};

}  // namespace

TEST_F(UpgradeTest, SuccessfulUpgradeTakesABackupRunsTheEngineLineAndChecksTheCrc)
{
    Start(5);
    EXPECT_EQ(Eval("upgrade -F -noreset -mbi {" + image + "} " + backup), TCL_OK);
    EXPECT_EQ(images.asked, Words{"0:15:" + image});
    // The dump goes to a scratch name first, and to the backup's name only once it is whole.
    EXPECT_EQ(dumps, (std::vector<Words>{{"_dump", backup + ".part"}}));
    EXPECT_EQ(facade.slots(), (Words{"nvm_board_check_57710", "nvm_dump_57710", "nvm_upgrade_mbi", "nvm_crc_57710"}))
        << "the board check reads; the check after the upgrade is the CRC command";
    EXPECT_EQ(facade.last("nvm_upgrade_mbi")->words, (Words{"_upgrade", "-F", "-mbi", image}));
    EXPECT_EQ(facade.last("nvm_crc_57710")->words, (Words{"crc", "-no_print"}));
    EXPECT_EQ(g_bNoReset, 1);
    EXPECT_EQ(g_uUpgRetCode, 0u);
    EXPECT_FALSE(BackupLeft()) << "the backup is removed at the end";
}

TEST_F(UpgradeTest, AnExistingBackupFileIsReplaced)
{
    Start(5);
    std::ofstream(backup) << "stale";
    chmod(backup.c_str(), 0444);
    EXPECT_EQ(Eval("upgrade -mba {" + image + "} " + backup), TCL_OK);
    EXPECT_EQ(dumps.size(), 1u);
    EXPECT_EQ(upgrades.size(), 1u);
}

// A backup that a run ended by a power loss left behind: programmed back as it is before the next
// upgrade of the same adapter, but only when the NVRAM fails the board check and the backup is
// this adapter's whole NVRAM (its fingerprint file agrees and names the adapter, it is as large as
// the NVRAM, and its configuration carries the adapter's MAC address and device id); removed
// afterwards, except when programming it back fails: then it is the only copy of the board's
// contents from before the cut, so it stays and the upgrade stops before it dumps or writes
// anything. On a board that passes its check the leftover is removed only when the board holds
// its configuration blocks. Any other leftover is kept aside under "<name>.unverified-1", never
// programmed back: the upgrade of a damaged board is then refused, that of a sound one goes on.
TEST_F(UpgradeTest, ALeftoverBackupOfThisAdapterIsProgrammedBackWhenTheNvramFailsItsCheck)
{
    enum Fingerprint { kNone, kRight, kOtherBytes, kOtherAdapter };
    // kFunction4: the adapter is function 4 of a board in a multi-function mode, whose address is
    // that of its port (function 0's, in the port part) plus 8, as the simulated machine reports
    // it; kTooFar: the port's address is 16 below the adapter's, which no function of it takes.
    enum Bytes { kOwn, kOtherMac, kHalf, kFunction4, kTooFar };
    struct Case {
        const char* what;
        bool damaged;  // the CRC check before the upgrade fails
        Fingerprint fingerprint;
        Bytes bytes;
        bool programmed;
        bool programFails = false;
        bool boardDiffers = false;    // the sound board holds another MAC address
        bool boardRewritten = false;  // the sound board holds other words of its configuration
    };
    const Case cases[] = {
        {"own backup, damaged NVRAM", true, kRight, kOwn, true},
        {"own backup, damaged NVRAM, programming it back fails", true, kRight, kOwn, true, true},
        {"own backup, NVRAM passes its check and holds the backup's configuration", false, kRight, kOwn, false},
        {"own backup, NVRAM passes its check with another MAC address", false, kRight, kOwn, false, false, true},
        {"own backup, NVRAM passes its check with the words an update rewrites", false, kRight, kOwn, false, false,
         false, true},
        {"no fingerprint file", true, kNone, kOwn, false},
        {"fingerprint of other bytes", true, kOtherBytes, kOwn, false},
        {"backup of another adapter", true, kOtherAdapter, kOwn, false},
        {"another board's NVRAM with this adapter's fingerprint line", true, kRight, kOtherMac, false},
        {"half the NVRAM with a matching fingerprint", true, kRight, kHalf, false},
        {"function 4's own backup, damaged NVRAM", true, kRight, kFunction4, true},
        {"a port whose functions do not reach this address", true, kRight, kTooFar, false},
        {"no fingerprint file, NVRAM passes its check", false, kNone, kOwn, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(5);
        const uint64_t mac = (std::stoull(adapter.mac, nullptr, 16) ^ (c.bytes == kOtherMac ? 0x0400 : 0)) -
                             (c.bytes == kFunction4 ? 8 : c.bytes == kTooFar ? 16 : 0);
        std::string left = NvramWithMac(mac);
        if (c.bytes == kHalf) left.resize(left.size() / 2);
        std::ofstream(backup, std::ios::binary) << left;
        const std::string identity =
            c.fingerprint == kOtherAdapter ? "001122334455" + Identity().substr(adapter.mac.size()) : Identity();
        const std::string key = Sha256HexDigest(c.fingerprint == kOtherBytes ? std::string("other") : left);
        if (c.fingerprint != kNone) std::ofstream(backup + ".sha256", std::ios::binary) << key << '\n' << identity << '\n';
        board = left;
        if (c.boardDiffers) board[300 + 20] ^= 0x01;      // another MAC address in the first port part
        if (c.boardRewritten) board[256 + 100] ^= 0x01;   // a word of the shared configuration
        facade.hooks["nvm_board_check_57710"] = [&](const FacadeCall&) {
            g_uUpgRetCode = 21;  // a check leaves its code; the caller keeps its own
            return c.damaged && programs.empty() ? 1 : 0;  // programming the backup back mends it
        };
        programFails = c.programFails;
        const bool refused = c.programFails || (c.damaged && !c.programmed);
        const long checksBefore = BoardChecks();
        EXPECT_EQ(Eval("upgrade -mba {" + image + "} " + backup), refused ? TCL_ERROR : TCL_OK);
        ASSERT_EQ(programs.size(), c.programmed ? 1u : 0u);
        if (c.programmed) {
            EXPECT_EQ(programs[0], (Words{"_prg", "-raw", "0", backup}));
            EXPECT_EQ(facade.slots().front(), "nvm_board_check_57710");
            EXPECT_EQ(facade.slots()[1], "nvm_prg_57710") << "programmed back before the new backup and upgrade";
        }
        EXPECT_TRUE(crcs.size() <= 1u) << "the board check before the change is not the CRC command, which writes";
        EXPECT_EQ(BoardChecks() - checksBefore, 1) << "the board check reads the NVRAM once per change";
        const std::string aside = backup + ".unverified-1";
        const bool belongs = c.fingerprint == kRight && (c.bytes == kOwn || c.bytes == kFunction4);
        if (!belongs || c.boardDiffers) {
            std::ifstream kept(aside, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), left) << "kept aside, bytes unchanged";
        } else {
            EXPECT_NE(access(aside.c_str(), F_OK), 0);
        }
        if (refused) {
            EXPECT_EQ(g_uUpgRetCode, static_cast<uint32_t>(CMD_RESTORE_FAILED));
            EXPECT_TRUE(dumps.empty() && upgrades.empty()) << "nothing more happens to the damaged board";
            if (c.programFails) {
                EXPECT_TRUE(BackupLeft()) << "the only copy of the board's contents stays";
                EXPECT_EQ(access((backup + ".sha256").c_str(), F_OK), 0);
            } else {
                EXPECT_NE(Result().find(aside), std::string::npos) << "the message names the kept file: " << Result();
            }
        } else {
            EXPECT_EQ(dumps.size(), 1u) << "a new backup is taken either way";
            EXPECT_EQ(upgrades.size(), 1u);
            EXPECT_EQ(g_uUpgRetCode, 0u);
            EXPECT_FALSE(BackupLeft());
            EXPECT_EQ(access((backup + ".sha256").c_str(), F_OK), -1);
        }
        for (const std::string& f : {backup, backup + ".sha256", aside, aside + ".sha256"}) std::remove(f.c_str());
        programFails = false;
        TearDown();
        dumps.clear(), upgrades.clear(), crcs.clear(), programs.clear();
    }
}

// A run cut between putting a backup's new dump in place and renaming its fingerprint in beside
// it leaves a whole pair: the fingerprint still under its side name. The one check of a leftover
// knows that pair without renaming anything, so a reader that holds no name (the listing of a
// damaged board) comes to the verdict a change comes to; a side fingerprint of other bytes
// counts for nothing.
TEST_F(UpgradeTest, ALeftoverWhoseFingerprintSwitchWasCutIsJudgedWithoutARename)
{
    struct Case {
        const char* what;
        bool sideNamesTheBytes, mainNamesTheBytes;
        bool belongs;
    };
    const Case cases[] = {
        {"the fingerprint in place names the bytes", false, true, true},
        {"cut between the renames: the side fingerprint names the bytes", true, false, true},
        {"the side fingerprint names other bytes", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(5);
        const std::string left = NvramWithMac(std::stoull(adapter.mac, nullptr, 16));
        std::ofstream(backup, std::ios::binary) << left;
        auto print = [&](bool ofTheBytes) {
            return Sha256HexDigest(ofTheBytes ? left : std::string("other")) + '\n' + Identity() + '\n';
        };
        const std::string main = print(c.mainNamesTheBytes), side = print(c.sideNamesTheBytes);
        std::ofstream(backup + ".sha256", std::ios::binary) << main;
        std::ofstream(backup + ".sha256.new", std::ios::binary) << side;

        EXPECT_EQ(fwupg::shell::BackupBelongsHere(backup), c.belongs);
        std::ifstream inPlace(backup + ".sha256", std::ios::binary), beside(backup + ".sha256.new", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(inPlace), {}), main) << "the check renames nothing";
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(beside), {}), side);
        for (const std::string& f : fwupg::shell::BackupFileNames(backup)) std::remove(f.c_str());
        TearDown();
    }
}

// The restore sequence: what the engine and the backup did, the restore that follows, and the code
// the builder returns (through "q", on an adapter that cannot be reset, so "q" would ask for a
// reboot if it were allowed to replace the code).
TEST_F(UpgradeTest, FailedUpgradeOrCrcRestoresTheUnchangedBackupAndReportsWhatHappened)
{
    struct Case {
        const char* what;
        uint32_t upgradeCode, crcCode;
        bool changeBackup, programFails;
        uint32_t code;
        size_t programs;
        uint32_t result;
    };
    const Case cases[] = {
        {"upgrade fails, restored", 70, 0, false, false, 138, 1, 14},
        {"CRC fails after upgrade, restored", 0, 21, false, false, 138, 1, 14},
        {"backup changed: not restored", 70, 0, true, false, 139, 0, 111},
        {"CRC fails, backup changed", 0, 21, true, false, 139, 0, 111},
        {"restore fails", 70, 0, false, true, 140, 1, 110},
        {"version already installed: nothing to restore", 35, 0, false, false, 35, 0, 2},
        {"CRC check fails otherwise: no restore, not success", 0, 4, false, false, 4, 0, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(5, 1u << 3);
        upgradeCode = c.upgradeCode;
        crcCode = c.crcCode;
        changeBackup = c.changeBackup;
        programFails = c.programFails;
        EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", image.c_str()), c.result);
        EXPECT_EQ(g_uUpgRetCode, c.code);
        ASSERT_EQ(programs.size(), c.programs);
        if (c.programs) {
            EXPECT_EQ(programs[0], (Words{"_prg", "-raw", "0", backup}));
            EXPECT_TRUE(backupAtRestore);
            EXPECT_EQ(images.asked.back(), "2:6:" + backup) << "the backup is checked before it is programmed";
        }
        if (c.code >= 138) {
            EXPECT_EQ(g_bResetRequested, 1);
        }
        EXPECT_FALSE(BackupLeft());
        TearDown();
        dumps.clear(), upgrades.clear(), crcs.clear(), programs.clear();
        images.asked.clear();
    }
}

TEST_F(UpgradeTest, ABackupThatIsNotAFullImageForTheAdapterIsNotProgrammed)
{
    Start(5);
    upgradeCode = 70;
    images.restore = 109;
    EXPECT_EQ(Eval("upgrade -mba {" + image + "} " + backup), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 140u);
    EXPECT_TRUE(programs.empty());
}

TEST_F(UpgradeTest, NoUpgradeWithoutAGoodBackup)
{
    Start(5);
    dumpFails = true;
    EXPECT_EQ(Eval("upgrade -mba {" + image + "} " + backup), TCL_ERROR);
    EXPECT_TRUE(upgrades.empty());
    EXPECT_EQ(Result(), "Dump from NVM failed.");
}

TEST_F(UpgradeTest, ABackupThatCannotBeReadWholeStopsTheUpgrade)
{
    Start(5);
    dumpMakesFolder = true;  // opens, but gives no bytes
    EXPECT_EQ(Eval("upgrade -mba {" + image + "} " + backup), TCL_ERROR);
    EXPECT_TRUE(upgrades.empty());
    EXPECT_EQ(g_uUpgRetCode, 13u);
    EXPECT_FALSE(BackupLeft());
}

TEST_F(UpgradeTest, E4TakesNoBackupAndNeverRestores)
{
    Start(6);
    upgradeCode = 70;
    EXPECT_EQ(fwupg::command::FwUpgKv9(true, "-mbi", image.c_str()), 7u);
    ASSERT_EQ(upgrades.size(), 1u);
    EXPECT_TRUE(dumps.empty());
    EXPECT_TRUE(programs.empty());
    // Even when the line names a backup.
    EXPECT_EQ(Eval("upgrade -mbi {" + image + "} " + backup), TCL_ERROR);
    EXPECT_TRUE(dumps.empty());
    EXPECT_TRUE(programs.empty());
    EXPECT_EQ(g_uUpgRetCode, 70u);
}

TEST_F(UpgradeTest, ImageCheckFailureStopsBeforeAnythingRuns)
{
    Start(5);
    images.upgrade = 67;
    EXPECT_EQ(Eval("upgrade -ib {" + image + "} " + backup), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 67u);
    EXPECT_EQ(facade.slots(), Words{"nvm_board_check_57710"}) << "only the board check, which reads";
}

TEST_F(UpgradeTest, FebMarksBecomeTheEngineOptionUnlessTheAdapterHasTheImage)
{
    struct Case {
        const char* marks;
        int extDirResult;  // 0: the image is on the adapter
        Words option;
    };
    const Case cases[] = {
        {"-c -p", 1, {"-cp"}}, {"-cp", 0, {"-c"}}, {"-c", 1, {"-c"}},
        {"-p", 1, {"-p"}},     {"-p", 0, {}},      {"", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marks);
        Start(5);
        facade.extDirResult = c.extDirResult;
        EXPECT_EQ(Eval(std::string("upgrade -feb ") + c.marks + " {" + image + "}"), TCL_OK);
        Words expected{"_upgrade", "-feb"};
        expected.insert(expected.end(), c.option.begin(), c.option.end());
        expected.push_back(image);
        ASSERT_EQ(upgrades.size(), 1u);
        EXPECT_EQ(upgrades[0], expected);
        const FacadeCall* ext = facade.last("has_ext_dir_image");
        if (std::string(c.marks).find('p') != std::string::npos) {
            ASSERT_NE(ext, nullptr);
            EXPECT_EQ(ext->dirType, 0x40000001u);
        }
        TearDown();
        upgrades.clear();
    }
}

// An E1-E3 configuration change is backed up first; the backup is programmed back only when the
// change fails after it wrote (or tried to write) NVRAM. A chip whose NVRAM cannot be dumped takes
// the change without a backup, as before.
TEST_F(UpgradeTest, CfgOnE1E3RestoresTheBackupWhenTheChangeFailsAfterAWrite)
{
    struct Case {
        const char* what;
        int result;
        bool wrote, failedWrite, dumpFails;
        size_t programs;
        uint32_t builder;
    };
    const Case cases[] = {
        {"succeeds after writing", 0, true, false, false, 0, 1},
        {"fails after a write", 1, true, false, false, 1, 7},
        {"fails in a write", 1, false, true, false, 1, 7},
        {"fails before writing", 1, false, false, false, 0, 7},
        {"no backup possible, fails after a write", 1, true, false, true, 0, 7},
        {"no backup possible, succeeds", 0, true, false, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(5, 1u << 3);
        dumpFails = c.dumpFails;
        const std::string cfgBackup = "NVMCfgDump#_" + adapter.mac + ".BIN";
        facade.hooks["set_nvm_cfg_57710"] = [&](const FacadeCall&) {
            if (c.wrote) g_bNvmWritten = 1;
            if (c.failedWrite) g_bCommandError = 1;
            if (c.result) g_uUpgRetCode = 18;
            return c.result;
        };
        g_bNvmWritten = 0;
        EXPECT_EQ(fwupg::command::FwCfgKv9(16, 3), c.builder);
        EXPECT_EQ(dumps, (std::vector<Words>{{"_dump", cfgBackup + ".part"}}));
        ASSERT_EQ(programs.size(), c.programs);
        if (c.programs) {
            EXPECT_EQ(programs[0], (Words{"_prg", "-raw", "0", cfgBackup}));
            EXPECT_EQ(g_uUpgRetCode, 138u);
        } else {
            EXPECT_EQ(g_uUpgRetCode, c.result ? 18u : 95u);
        }
        EXPECT_EQ(g_bNvmWritten, c.wrote ? 1 : 0) << "the write mark keeps what the change did";
        EXPECT_EQ(access(cfgBackup.c_str(), F_OK), -1) << "the backup is removed";
        TearDown();
        dumps.clear(), programs.clear();
    }
}

// Programming a file is backed up like a configuration change, on E1-E3 and legacy adapters: the
// dump comes before the engine's "_prg", a program that fails after writing gets the backup
// programmed back, and that programming back is not itself backed up again.
TEST_F(UpgradeTest, PrgOfAFileIsBackedUpAndUndoneWhenItFails)
{
    for (const uint32_t family : {4u, 5u}) {
        for (const bool fails : {false, true}) {
            SCOPED_TRACE("family " + std::to_string(family) + (fails ? ", failing" : ", succeeding"));
            Start(family);
            const std::string cfgBackup = "NVMCfgDump#_" + adapter.mac + ".BIN";
            auto program = [&](const FacadeCall& call) {
                programs.push_back(call.words);
                const bool user = call.words.size() > 1 && call.words[1] != "-raw";
                if (user) g_bNvmWritten = 1;
                if (user && fails) g_uUpgRetCode = 18;
                return user && fails ? 1 : 0;
            };
            facade.hooks["nvm_prg"] = program;
            facade.hooks["nvm_prg_57710"] = program;
            EXPECT_EQ(Eval("_prg 0 {" + image + "}"), fails ? TCL_ERROR : TCL_OK);
            EXPECT_EQ(dumps, (std::vector<Words>{{"_dump", cfgBackup + ".part"}}));
            std::vector<Words> expected{{"_prg", "0", image}};
            if (fails) expected.push_back({"_prg", "-raw", "0", cfgBackup});
            EXPECT_EQ(programs, expected);
            if (fails) {
                EXPECT_EQ(g_uUpgRetCode, 138u);
            }
            EXPECT_EQ(access(cfgBackup.c_str(), F_OK), -1) << "the backup is removed";
            TearDown();
            dumps.clear(), programs.clear();
        }
    }
}
