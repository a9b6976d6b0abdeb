// Command execution against the simulated adapter: the lines the builders write (as Tcl lists)
// and their code mappings, the claim and the "q" rules (release, reset, 95), and the event after a
// successful upgrade.
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "fwupg/command_exec.h"
#include "fwupg/event_log.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/session_state.h"
#include "fwupg/stop_signals.h"
#include "fwupg/yxmapi_client.h"
#include "shell_fixture.h"
#include "sim_test_support.h"

using namespace shelltest;
using Words = std::vector<std::string>;

namespace {

class CommandExecTest : public ShellTest {
protected:
    // Replaces a shell command by a recorder that leaves `code` and returns `rc`.
    void Record(const std::string& name, uint32_t code = 0, int rc = TCL_OK)
    {
        Command(name, [this, code, rc](const Words& w) {
            seen.push_back(w);
            g_uUpgRetCode = code;
            return rc;
        });
    }
    // Replaces "_dump" by a recorder that leaves `code` and, as the engine does, the dump file.
    void RecordDump(uint32_t code = 0)
    {
        Command("_dump", [this, code](const Words& w) {
            seen.push_back(w);
            std::FILE* f = std::fopen(w.back().c_str(), "wb");
            if (f) std::fclose(f);
            g_uUpgRetCode = code;
            return TCL_OK;
        });
    }
    // A command that writes one NVRAM dword through the host record, as an engine does.
    void AddWriteCommand()
    {
        Command("t_write", [](const Words&) {
            HostOps ops;
            BuildHostOps(&ops, g_TclInterp, 0);
            return ops.nvmWriteDword(0, 0x100, 0x12345678, 0) == 0 ? TCL_OK : TCL_ERROR;
        });
    }
    void Run(const std::string& line)
    {
        std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
        std::strncpy(g_CommandBuffer, line.c_str(), sizeof g_CommandBuffer - 1);
        g_uUpgRetCode = 0;
        ProcessCommand();
    }
    std::vector<Words> seen;
};

}  // namespace

TEST_F(CommandExecTest, BuildersWriteOneListWordPerArgumentAndAddTheBackupNameExceptOnE4)
{
    const std::string hostile = "C:/fw dir/[exit 3]$env(HOME)\\x.bin";
    struct Case {
        uint32_t family;
        std::function<uint32_t()> build;
        const char* command;
        Words expected;
    };
    const std::vector<Case> cases = {
        {5, [&] { return fwupg::command::FwUpgKv9(true, "-mba", hostile.c_str()); }, "upgrade",
         {"upgrade", "-F", "-mba", hostile, "NVMDump#_001018000001.BIN"}},
        {4, [&] { return fwupg::command::FwUpgKv9(false, "-bc", "a b"); }, "upgrade",
         {"upgrade", "-bc", "a b", "NVMDump#_001018000001.BIN"}},
        {6, [&] { return fwupg::command::FwUpgKv9(true, "-mbi", hostile.c_str()); }, "upgrade",
         {"upgrade", "-F", "-mbi", hostile}},
        {5, [] { return fwupg::command::FwCfgKv9(-2, 0x7FFFFFFF); }, "cfg", {"cfg", "-2=2147483647"}},
        {5, [&] { return fwupg::command::FwPhyUpgKv9("-upg", hostile.c_str()); }, "phy", {"phy", "-upg", hostile}},
        {5, [&] { return fwupg::command::FwDumpKv9(hostile.c_str()); }, "_dump", {"_dump", hostile}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        Start(c.family);
        seen.clear();
        Record(c.command);
        Command("exit", [](const Words&) -> int { ADD_FAILURE() << "a path ran a command"; return TCL_OK; });
        c.build();
        ASSERT_EQ(seen.size(), 1u) << g_CommandBuffer;
        EXPECT_EQ(seen[0], c.expected);
        TearDown();
    }
}

TEST_F(CommandExecTest, EachBuilderMapsTheCodeTheLineLeaves)
{
    Start(5);
    struct Case {
        uint32_t code;
        uint32_t upgrade, cfg, phy, dump;
    };
    const Case cases[] = {
        {0, 1, 1, 1, 0},     {95, 1, 1, 1, 0},    {138, 14, 7, 7, 7}, {35, 2, 7, 7, 7},  {126, 103, 7, 7, 7},
        {140, 110, 7, 7, 7}, {139, 111, 7, 7, 7}, {142, 3, 7, 7, 7},  {14, 7, 7, 7, 7},  {70, 7, 7, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        for (const char* name : {"upgrade", "cfg", "phy"}) Record(name, c.code);
        RecordDump(c.code);
        EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), c.upgrade);
        EXPECT_EQ(fwupg::command::FwCfgKv9(1, 2), c.cfg);
        EXPECT_EQ(fwupg::command::FwPhyUpgKv9("-upg", "f"), c.phy);
        const std::string dump = root.file("dump.bin");
        EXPECT_EQ(fwupg::command::FwDumpKv9(dump.c_str()), c.dump);
        std::remove(dump.c_str());
    }
}

// The caller keeps a dump: it counts as written only once its bytes are flushed to the disk. One
// that cannot be (here: the engine reported a dump but no regular file stands at the name) fails
// the call, never reported as success; something other than a file at the name is left as it is.
TEST_F(CommandExecTest, ADumpThatCannotBeFlushedIsNoSuccess)
{
    Start(5);
    enum Left { kFile, kNothing, kFolder };
    struct Case {
        const char* what;
        Left left;
        uint32_t code;
    } const cases[] = {
        {"a whole dump file", kFile, 0},
        {"no file at the name", kNothing, 7},
        {"a folder at the name", kFolder, 7},
    };
    const std::string dump = root.file("dump.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Command("_dump", [&](const Words& w) {
            if (c.left == kFile) std::fclose(std::fopen(w.back().c_str(), "wb"));
            if (c.left == kFolder) mkdir(w.back().c_str(), 0700);
            g_uUpgRetCode = 0;
            return TCL_OK;
        });
        EXPECT_EQ(fwupg::command::FwDumpKv9(dump.c_str()), c.code);
        struct stat st {};
        EXPECT_EQ(stat(dump.c_str(), &st) == 0, c.left != kNothing) << "what stood at the name stays";
        std::remove(dump.c_str());
    }
}

// A stop signal pending while the call holds them: no builder starts its line, each ends as
// cancelled; one that the caller ignores is no stop.
TEST_F(CommandExecTest, BuildersStartNothingOnceAHeldStopSignalIsPending)
{
    Start(5);
    for (const char* name : {"upgrade", "cfg", "phy", "_dump"}) Record(name);
    struct Case {
        int signal;
        bool ignored;
        uint32_t upgrade;
    } const cases[] = {{SIGTERM, false, 5}, {SIGINT, false, 5}, {SIGHUP, false, 5}, {SIGHUP, true, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        seen.clear();
        struct sigaction before {}, ignore {};
        ignore.sa_handler = SIG_IGN;
        if (c.ignored) sigaction(c.signal, &ignore, &before);
        fwupg::HoldStopSignals();
        raise(c.signal);  // held: pending, not delivered
        EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), c.upgrade);
        if (!c.ignored) {
            EXPECT_EQ(fwupg::command::FwCfgKv9(1, 2), 5u);
            EXPECT_EQ(fwupg::command::FwPhyUpgKv9("-upg", "f"), 5u);
            EXPECT_EQ(fwupg::command::FwDumpKv9("f"), 5u);
            EXPECT_TRUE(seen.empty()) << "a line ran after the stop";
            EXPECT_EQ(fwupg::StopSignalNumber(), c.signal);
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, c.signal);
            int taken = 0;
            sigwait(&one, &taken);  // the test takes the signal before the mask is put back
        }
        fwupg::ReleaseStopSignals();
        if (c.ignored) sigaction(c.signal, &before, nullptr);
        fwupg::ForgetStopRequest();
    }
}

TEST_F(CommandExecTest, BuildersRefuseWithoutInterpreterOldDriverOrALineThatDoesNotFit)
{
    sim::AdapterDef old = sim::make_adapter(5, 1);
    old.driver_major = 4, old.driver_minor = 0, old.driver_build = 17;
    Start(old);
    Record("upgrade");
    Record("phy");
    Record("_dump");
    EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), 104u);
    EXPECT_EQ(fwupg::command::FwPhyUpgKv9("-upg", "f"), 104u);

    const std::string longPath(600, 'p');
    EXPECT_EQ(fwupg::command::FwDumpKv9(longPath.c_str()), 7u);
    EXPECT_EQ(g_uUpgRetCode, 2u);
    EXPECT_STREQ(g_CommandBuffer, "") << "a line that does not fit is not cut";

    DeleteInterp();
    EXPECT_EQ(fwupg::command::FwDumpKv9("f"), 105u);
    EXPECT_EQ(fwupg::command::FwCfgKv9(1, 1), 105u);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(Count(journal, 47), 0u) << "nothing claimed";
}

// The release and reset rules of "q", by the adapter and what the line did.
TEST_F(CommandExecTest, QuitReleasesAndResetsOrAsksForAReboot)
{
    struct Case {
        const char* what;
        std::function<void(sim::AdapterDef&)> adapter;
        std::string line;
        bool failReset;
        uint32_t code;
        size_t releases, resets;
    };
    auto family = [](uint32_t f) { return [f](sim::AdapterDef& a) { a = sim::make_adapter(f, 1); }; };
    auto legacy5706 = [](sim::AdapterDef& a) {
        a = sim::make_adapter(4, 1);
        a.chip_id = sim::chip_id(0x5706, 1, 0);
        a.did = 0x164A;
        a.registers.clear();
    };
    auto cannotReset = [](uint32_t f) {
        return [f](sim::AdapterDef& a) {
            a = sim::make_adapter(f, 1);
            a.capabilities = 1u << 3;
        };
    };
    const Case cases[] = {
        {"57710 write: reboot later", family(5), "t_write", false, 95, 1, 0},
        {"57710 write with _reset: reset now", family(5), "t_write; _reset", false, 0, 1, 1},
        {"E4 write with _reset", family(6), "t_write; _reset", false, 0, 1, 1},
        {"E4 write with -noreset", family(6), "t_write; _reset; t_noreset", false, 0, 1, 0},
        {"no write: nothing to do", family(5), "t_ok", false, 0, 1, 0},
        {"legacy 5706 write: reset now", legacy5706, "t_write", false, 0, 1, 1},
        {"legacy 5709 write: reboot later", family(4), "t_write", false, 95, 1, 0},
        {"reset fails: reboot later", legacy5706, "t_write", true, 95, 1, 1},
        {"cannot reset (capability bit 3)", cannotReset(5), "t_write; _reset", false, 95, 1, 0},
        {"write then failure: left claimed", family(5), "t_write; t_fail", false, 18, 0, 0},
        {"failure without write", family(5), "t_fail", false, 18, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::AdapterDef desc;
        c.adapter(desc);
        if (c.failReset) frametest::fail_ordinal(root.path, 33);
        Start(desc);
        g_bNvmWritten = 0;
        AddWriteCommand();
        Command("t_ok", [](const Words&) { return TCL_OK; });
        Command("t_noreset", [](const Words&) { g_bNoReset = 1; return TCL_OK; });
        Command("t_fail", [](const Words&) { g_uUpgRetCode = 18; return TCL_ERROR; });
        Run(c.line);
        EXPECT_EQ(g_uUpgRetCode, c.code);
        EXPECT_EQ(Count(journal, 47), 1u);
        EXPECT_EQ(Count(journal, 48), c.releases);
        EXPECT_EQ(Count(journal, 33), c.resets);
        for (const YxSimCall& call : journal.calls(33)) EXPECT_EQ(call.mode, 2u);
        TearDown();
        std::remove(sim::control_path(root.path).c_str());
    }
}

// The lines of one adapter's update inside a claim scope: one claim for all of them that "q" does
// not release, so a second process can neither claim nor write the adapter between the lines, and
// the read cache carries over from one line to the next. A reset (after a 5706's write) ends the
// cache: the next line claims again, as the holder may, and reads afresh. The scope's end releases.
TEST_F(CommandExecTest, LinesInsideAClaimScopeShareItsClaimAndReadCache)
{
    sim::AdapterDef legacy5706 = sim::make_adapter(4, 1);
    legacy5706.chip_id = sim::chip_id(0x5706, 1, 0);
    legacy5706.did = 0x164A;
    legacy5706.registers.clear();
    const struct {
        const char* what;
        sim::AdapterDef adapter;
        size_t secondLineReads, claims;
    } kCases[] = {
        {"5709: no reset, the second line reads nothing", sim::make_adapter(4, 1), 0, 1},
        {"5706: reset after the write, the second line reads again", legacy5706, 1, 2},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        Start(c.adapter);
        AddWriteCommand();
        Command("t_read", [](const Words&) {
            HostOps ops;
            BuildHostOps(&ops, g_TclInterp, 0);
            uint32_t v = 0;
            return ops.nvmReadDword(0, 0x40, &v, 0) == 0 ? TCL_OK : TCL_ERROR;
        });
        char handle[16];
        std::snprintf(handle, sizeof handle, "0x%X", adapter.api_handle);
        simtest::Probe other;
        ASSERT_EQ(other.status("init"), 0u);
        {
            const fwupg::yx::ClaimScope scope(adapter.api_handle);
            ASSERT_EQ(scope.status(), 0u);
            Run("t_read; t_write");
            EXPECT_EQ(g_bCommandError, 0);
            EXPECT_NE(other.status(std::string("claim ") + handle), 0u) << "claimed by another process between lines";
            EXPECT_NE(other.status(std::string("write ") + handle + " 0x200 EEEEEEEE"), 0u);
            const size_t readsBefore = Count(journal, 68);
            Run("t_read");
            EXPECT_EQ(g_bCommandError, 0);
            EXPECT_EQ(Count(journal, 68) - readsBefore, c.secondLineReads);
            EXPECT_EQ(Count(journal, 47), c.claims);
            EXPECT_EQ(Count(journal, 48), 0u) << "q released the scope's claim";
        }
        EXPECT_EQ(Count(journal, 48), 1u);
        EXPECT_EQ(other.status(std::string("claim ") + handle), 0u) << "the scope's end released the adapter";
        EXPECT_EQ(other.status(std::string("release ") + handle), 0u);
        TearDown();
    }
}

TEST_F(CommandExecTest, AFailedClaimRunsNothingKeeps14AndStillRunsQ)
{
    frametest::fail_ordinal(root.path, 47);
    Start(5);
    Record("upgrade");
    Command("q", [this](const Words& w) {
        seen.push_back(w);
        return TCL_OK;
    });
    EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), 7u);
    EXPECT_EQ(g_uUpgRetCode, 14u);
    ASSERT_EQ(seen.size(), 1u) << "only q ran";
    EXPECT_EQ(seen[0], Words{"q"});
    EXPECT_EQ(g_bSessionClaimed, 0);
}

TEST_F(CommandExecTest, AFailureWithoutCodeIsNotSuccessAndQKeepsAFailureCode)
{
    sim::AdapterDef desc = sim::make_adapter(5, 1);
    desc.capabilities = 1u << 3;
    Start(desc);
    AddWriteCommand();
    // A line that fails without a code.
    Command("upgrade", [](const Words&) { return TCL_ERROR; });
    EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), 7u);
    EXPECT_EQ(g_uUpgRetCode, uint32_t(CMD_FAILED));

    // A restore that ran wrote NVRAM and asked for a reset; the adapter cannot be reset, so "q"
    // would ask for a reboot, but the restore's code is what the caller must see.
    // Without an NVRAM write first (g_bNvmWritten is never cleared), so that "q" reaches its reset
    // rules for every code.
    for (uint32_t code : {139u, 140u, 138u}) {
        SCOPED_TRACE(code);
        Command("upgrade", [code](const Words&) {
            if (code == 138) {
                HostOps ops;
                BuildHostOps(&ops, g_TclInterp, 0);
                ops.nvmWriteDword(0, 0x100, 1, 0);
            }
            g_bResetRequested = 1;
            g_uUpgRetCode = code;
            return code == 138 ? TCL_OK : TCL_ERROR;
        });
        EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mbi", "f"), fwupg::command::MapUpgradeCode(code));
        EXPECT_EQ(g_uUpgRetCode, code);
    }
}

TEST_F(CommandExecTest, QWithAnArgumentIsABadCommand)
{
    Start(5);
    EXPECT_EQ(Eval("q now"), TCL_ERROR);
    EXPECT_EQ(g_uUpgRetCode, 2u);
}

TEST_F(CommandExecTest, SuccessfulUpgradeReportsATypeZeroEventWhileEventsAreLogged)
{
    Start(5);
    Record("upgrade");
    Record("phy");
    ClearEventText();
    EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), 1u);
    EXPECT_TRUE(events.entries.empty()) << "no event while events are not logged";

    g_bLogEvents = 1;
    ClearEventText();
    EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), 1u);
    EXPECT_EQ(fwupg::command::FwPhyUpgKv9("-upg", "f"), 1u);
    ASSERT_EQ(events.entries.size(), 2u);
    EXPECT_EQ(events.entries[0].source, "LibALDN_ZkFwUpg.dll");
    EXPECT_EQ(events.entries[0].type, 0);
    EXPECT_EQ(events.entries[0].id, 1u);
    EXPECT_EQ(events.entries[0].text,
              "Firmware Update Information:\n - The MBI upgrade is successful on this NIC. Reboot is required "
              "for effective changes!!!\n\n");
    EXPECT_EQ(events.entries[1].text,
              events.entries[0].text +
                  "The PHY upgrade is successful on this NIC. Reboot is required for effective changes!!!");

    Record("upgrade", 70);
    EXPECT_EQ(fwupg::command::FwUpgKv9(false, "-mba", "f"), 7u);
    EXPECT_EQ(events.entries.size(), 2u) << "a failed upgrade reports nothing here";
}
