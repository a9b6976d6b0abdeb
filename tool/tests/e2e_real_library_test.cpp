// TIRN end to end against the real vendor library and the simulated management library: the
// program, both libraries and the FW folder in one working folder, as an installation has them,
// on the simulated machine and firmware folder that the test kit's demo set makes.
#include "demo_machine.h"
#include "report_xml.h"

#include "sim/adapter_builder.h"
#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

class RealLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine = MakeDemoMachine(sb, false);
        ASSERT_FALSE(machine.empty());
    }

    std::map<std::string, ListedAdapter> ListByMac() { return tirn_test::ListByMac(sb, machine); }

    Sandbox sb;
    std::vector<MachineAdapter> machine;  // the usable adapters
};

TEST_F(RealLibrary, ListingShowsEveryAdapterWithItsFirmwareVersions)
{
    auto listed = ListByMac();
    // Every E1-E3 board carries 7.10.1 firmware and the E4 board 8.10.5; the folder holds 7.12.0
    // images for the former and an 8.12.3 package for the latter. The E3 board's boot agent is
    // 7.10.4: its sub-components being old, its MBI item shows that MBA version. The converged E3
    // board runs 7.14 firmware, above every threshold: its MBI item shows the MBI version of its
    // configuration (7.14.0), not its boot agent's 7.14.2; the folder holds 7.15.0 for it.
    using Versions = std::pair<std::string, std::string>;
    for (const auto& m : machine) {
        const auto& fw = listed[m.mac].firmware;
        const bool e4 = m.name.rfind("e4-", 0) == 0;
        const bool e3 = m.name.rfind("e3-", 0) == 0;
        const bool converged = m.name.rfind("e3-57810c", 0) == 0;
        const Versions expected = e4          ? Versions{"8.10.5", "8.12.3"}
                                  : converged ? Versions{"7.14.0", "7.15.0"}
                                              : Versions{e3 ? "7.10.4" : "7.10.1", "7.12.0"};
        const bool offered =
            std::any_of(fw.begin(), fw.end(), [&](const auto& e) { return e.second == expected; });
        EXPECT_TRUE(offered) << m.name << " shows no " << expected.first << " -> " << expected.second << " entry";
    }
    EXPECT_TRUE(Contains(sb.Log(), "Found " + std::to_string(machine.size()) + " adapters\r\n"));
}

TEST_F(RealLibrary, DiscoveryWritesAWellFormedReportNamingEveryAdapter)
{
    RunResult r = sb.Run({"-d", "report.xml"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "Discovery report written to report.xml.\nLibrary result: 0\n")) << r.out;

    const std::string report = sb.work + "/report.xml";
    ASSERT_TRUE(fs::exists(report));
    xmlDoc* doc = xmlReadFile(report.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr) << "report is not well-formed:\n" << ReadFile(report);
    xmlNode* root = xmlDocGetRootElement(doc);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "zk_rom_discovery");

    std::multiset<std::string> reported;
    for (xmlNode* list = root->children; list; list = list->next) {
        if (list->type != XML_ELEMENT_NODE || xmlStrcmp(list->name, BAD_CAST "devices") != 0) continue;
        for (xmlNode* d = list->children; d; d = d->next) {
            if (d->type != XML_ELEMENT_NODE) continue;
            reported.insert(ChildValue(d, "macaddress"));
            bool hasItem = false;
            for (xmlNode* c = d->children; c; c = c->next)
                hasItem |= c->type == XML_ELEMENT_NODE && xmlStrcmp(c->name, BAD_CAST "fw_item") == 0;
            EXPECT_TRUE(hasItem) << ChildValue(d, "macaddress") << " has no firmware item";
        }
    }
    xmlFreeDoc(doc);

    std::multiset<std::string> expected;
    for (const auto& m : machine) expected.insert(m.mac);
    EXPECT_EQ(reported, expected) << ReadFile(report);
}

// A report named by a drive path lands in the system root, and the tool looks for it where the
// library wrote it: the run reports it written and succeeds.
TEST_F(RealLibrary, ReportNamedByADrivePathIsFoundWhereTheLibraryWroteIt)
{
    struct Case {
        const char* name;
        const char* underRoot;
    };
    const std::vector<Case> cases = {
        {"C:\\tvnsystem\\log\\x.xml", "/C/tvnsystem/log/x.xml"},
        {"c:/TVNSystem/LOG/y.xml", "/C/tvnsystem/log/y.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = sb.Run({"-d", c.name});
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(Contains(r.out, std::string("Discovery report written to ") + c.name + ".\nLibrary result: 0\n"))
            << r.out;
        EXPECT_TRUE(fs::exists(sb.root + c.underRoot));
    }
}

// A firmware folder the library cannot find ends the run with its code (108) and a line naming
// the folder; a backslash in the tool's own folder is named as the cause.
TEST_F(RealLibrary, FirmwareFolderThatCannotBeFoundIsNamed)
{
    struct Case {
        const char* what;
        std::string folder;  // the tool's folder, under the sandbox
        bool withFw;
        std::string line;    // after "No supported adapters found!\n"
    };
    const std::string base = sb.base + "/tools";
    const std::vector<Case> cases = {
        {"no FW folder", base + "/plain", false, "Firmware folder " + base + "/plain/FW not found.\n"},
        {"backslash in the tool's folder", base + "/back\\slash", true,
         "Firmware folder " + base + "/back\\slash/FW not found: the library reads each backslash in its path as "
                                     "a folder separator.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(c.folder);
        fs::copy_file(sb.ProgramPath(), c.folder + "/TIRN");
        if (c.withFw) fs::copy(sb.FwFolder(), c.folder + "/FW", fs::copy_options::recursive);
        RunResult r = sb.RunProgram(c.folder + "/TIRN", {"-c"});
        EXPECT_EQ(r.exitCode, 108) << r.out;
        EXPECT_TRUE(Contains(r.out, "No supported adapters found!\n" + c.line)) << r.out;
    }
}

TEST_F(RealLibrary, UpdateFromTheReportInstallsTheNewVersions)
{
    ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
    auto before = ListByMac();

    RunResult r = sb.Run({"-u", "report.xml"});
    EXPECT_TRUE(Contains(r.out, "Flashing from discovery report at report.xml.\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Library result: 1\n")) << r.out;
    auto after = ListByMac();

    // Every entry that was older than the folder's image now runs that image's version.
    EXPECT_EQ(r.exitCode, 2) << r.out;
    for (const auto& m : machine) {
        for (const auto& [type, versions] : before[m.mac].firmware) {
            if (versions.first == versions.second) continue;
            auto now = after[m.mac].firmware.find(type);
            ASSERT_NE(now, after[m.mac].firmware.end()) << m.name << " " << type;
            EXPECT_EQ(now->second.first, versions.second) << m.name << " " << type;
        }
    }
}

// Every legacy board of the demo passes the kit's legacy verifier as made and after the update
// from the report, which moves and rewrites its images.
TEST(RealLibraryLegacy, DemoBoardsPassTheKitVerifierBeforeAndAfterTheUpdate)
{
    Sandbox sb;
    ASSERT_FALSE(MakeDemoMachine(sb, true).empty());
    auto legacyVerdicts = [&](const char* when) {
        size_t boards = 0;
        for (const auto& [name, verdict] : VerifyAllNvram(sb.root)) {
            if (name.rfind("l-", 0) != 0) continue;
            ++boards;
            EXPECT_EQ(verdict.status, 0) << when << " " << name << ":\n" << verdict.output;
            EXPECT_TRUE(Contains(verdict.output, "NVRAM OK")) << when << " " << name << ":\n" << verdict.output;
        }
        EXPECT_EQ(boards, 4u) << when;
    };
    legacyVerdicts("fresh");
    ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
    RunResult r = sb.Run({"-u", "report.xml"});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    legacyVerdicts("after the update");
}

// Two updates started together. The simulated management library's claims let only one process
// write a board at a time, through whichever of its functions, so the NVRAM writes of the two
// processes never interleave on any board's flash; a write the other's claim refused fails its
// process's update (the loser reports failure), and a process that loses a board wrote nothing to
// it. Afterwards every NVRAM passes the test kit's verifier of its family, and one more run from a
// fresh discovery leaves every adapter running the new versions.
//   - two TIRN runs from one report on the whole machine (each may lose some adapter to the other);
//   - a two-function board of each family: one process flashes an image through the library's
//     export on function 0, the other the same image on function 1 (one flash, one claim).
struct Contention {
    const char* name;
    const char* board;  // the one board kept on the machine (its name); null: the whole machine
    bool legacy;        // the demo machine with its legacy boards
    const char* image;  // flashed through the export on functions 0 and 1; null: two TIRN runs
};
void PrintTo(const Contention& c, std::ostream* os) { *os << c.name; }

const Contention kContentions[] = {
    {"TwoRunsOfOneReport", nullptr, false, nullptr},
    {"E3BoardFunctionZeroAndOne", "e3-57810", false, "mbi_e2e3.bin"},
    {"LegacyBoardFunctionZeroAndOne", "l-5709", true, "ib_legacy.bin"},
    {"E4BoardFunctionZeroAndOne", "e4-57980s", false, "mbi_e4.bin"},
};

// Calls that change a board; the claim of another session refuses them.
bool ChangesTheBoard(uint32_t ordinal)
{
    namespace ord = yxmapi::ord;
    return ordinal == ord::kWriteNvram || ordinal == ord::kWritePhyFirmware || ordinal == ord::kSetNvramWriteMode ||
           ordinal == ord::kResetNic;
}

class UpdatesAtOnce : public ::testing::TestWithParam<Contention> {};

TEST_P(UpdatesAtOnce, NeverInterleaveTheirWrites)
{
    const Contention& c = GetParam();
    Sandbox sb;
    std::vector<MachineAdapter> machine = MakeDemoMachine(sb, c.legacy);
    ASSERT_FALSE(machine.empty());
    if (c.board) machine = KeepOnlyBoard(sb, machine, c.board);
    ASSERT_FALSE(machine.empty());
    ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
    auto before = ListByMac(sb, machine);

    std::map<uint32_t, std::string> boardOfHandle;
    std::vector<std::string> flashArgs[2];  // export_flash's arguments for functions 0 and 1
    for (const MachineAdapter& a : MachineAdapters(sb.root)) {
        boardOfHandle[a.apiHandle] = a.board;
        if (c.image && a.function < 2)
            flashArgs[a.function] = {sb.FwFolder() + "/" + c.image, std::to_string(a.bus), std::to_string(a.device),
                                     std::to_string(a.function)};
    }
    if (c.image) {
        ASSERT_FALSE(flashArgs[0].empty() || flashArgs[1].empty()) << c.board << " has no two functions";
        fs::copy_file(BinDir() + "/export_flash", sb.work + "/export_flash");
    }
    const size_t journalStart = sim::read_journal_file(sb.root).size();

    RunResult runs[2];
    auto run = [&](int i) {
        runs[i] = c.image ? sb.RunProgram(sb.work + "/export_flash", flashArgs[i]) : sb.Run({"-u", "report.xml"});
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    // Whether each process says it succeeded: TIRN by its exit code 2 with the library's result 1
    // (the two must agree), the export program by its exit code 0.
    bool succeeded[2];
    for (int i = 0; i < 2; ++i) {
        const RunResult& r = runs[i];
        if (!c.image) {
            EXPECT_EQ(r.exitCode == 2, Contains(r.out, "Library result: 1\n")) << r.exitCode << ":\n" << r.out;
        }
        succeeded[i] = r.exitCode == (c.image ? 0 : 2);
    }

    // Per board, the processes in the order of the writes that reached its flash: one process's
    // writes must all come before the other's. Per process, the board changes the other's claim
    // refused.
    const std::vector<YxSimCall> journal = sim::read_journal_file(sb.root);
    ASSERT_GE(journal.size(), journalStart);
    std::map<std::string, std::vector<uint32_t>> writers;
    std::map<uint32_t, std::set<std::string>> refusedBoards, writtenBoards;
    for (size_t i = journalStart; i < journal.size(); ++i) {
        const YxSimCall& call = journal[i];
        if (!ChangesTheBoard(call.ordinal)) continue;
        auto board = boardOfHandle.find(call.handle);
        ASSERT_NE(board, boardOfHandle.end()) << "a change of an unknown handle " << call.handle;
        if (call.status == YXSIM_E_CLAIMED_ELSEWHERE) refusedBoards[call.pid].insert(board->second);
        if (call.status != YXSIM_OK || call.ordinal == yxmapi::ord::kSetNvramWriteMode ||
            call.ordinal == yxmapi::ord::kResetNic)
            continue;
        writtenBoards[call.pid].insert(board->second);
        auto& w = writers[board->second];
        if (w.empty() || w.back() != call.pid) w.push_back(call.pid);
    }
    EXPECT_FALSE(writers.empty()) << "no NVRAM write was journalled";
    for (const auto& [board, pids] : writers) {
        std::set<uint32_t> distinct(pids.begin(), pids.end());
        EXPECT_EQ(pids.size(), distinct.size()) << board << ": the writes of two processes interleave";
    }
    for (int i = 0; i < 2; ++i) {
        const auto refused = refusedBoards.find(static_cast<uint32_t>(runs[i].pid));
        EXPECT_FALSE(succeeded[i] && refused != refusedBoards.end())
            << "a change was refused, yet the run reported success:\n" << runs[i].out;
        // On one board, an export that lost to the other process has written nothing.
        if (c.image && !succeeded[i]) {
            EXPECT_EQ(writtenBoards.count(static_cast<uint32_t>(runs[i].pid)), 0u) << "the loser wrote:\n" << runs[i].out;
        }
    }
    std::printf("updates-at-once: %s reported success %d/%d, refused changes %zu/%zu\n", c.name, succeeded[0],
                succeeded[1], refusedBoards.count(static_cast<uint32_t>(runs[0].pid)),
                refusedBoards.count(static_cast<uint32_t>(runs[1].pid)));

    for (const auto& [name, verdict] : VerifyAllNvram(sb.root)) EXPECT_EQ(verdict.status, 0) << name << ":\n" << verdict.output;

    // One more run from a fresh discovery finishes what the two left.
    ASSERT_EQ(sb.Run({"-d", "report2.xml"}).exitCode, 1);
    sb.Run({"-u", "report2.xml"});
    auto after = ListByMac(sb, machine);
    const std::set<std::pair<std::string, std::string>> upgrades{{"7.10.1", "7.12.0"}, {"7.10.4", "7.12.0"}, {"8.10.5", "8.12.3"}};
    for (const auto& m : machine) {
        for (const auto& [type, versions] : before[m.mac].firmware) {
            if (!upgrades.count(versions)) continue;
            EXPECT_EQ(after[m.mac].firmware[type].first, versions.second) << m.name << " " << type;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealLibrary, UpdatesAtOnce, ::testing::ValuesIn(kContentions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
