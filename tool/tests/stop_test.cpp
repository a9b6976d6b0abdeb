// Stopping TIRN with SIGTERM or SIGINT in the middle of an update of the test kit's demo machine,
// at moments drawn from a fixed seed across a whole update. A stop is held until the change in
// progress has finished or been undone: the stopped run says so (or finished before the signal
// came), leaves no work folder and no backup, and every board verifies; one normal run afterwards
// leaves nothing behind either.
#include "demo_machine.h"
#include "report_xml.h"


#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

std::string BadBoards(const std::string& root)
{
    std::string bad;
    for (const auto& [name, verdict] : VerifyAllNvram(root))
        if (verdict.status != 0) bad += name + ":\n" + verdict.output;
    return bad;
}

// How many of the report's items the run ended as cancelled (5): those it did not start once stopped.
int CancelledItems(const std::string& report)
{
    int n = 0;
    for (const auto& [mac, items] : ItemStatuses(report))
        for (const auto& [type, status] : items) n += status == "5";
    return n;
}

long long Milliseconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// A run on a fresh copy of the machine, sent `signal` `at` milliseconds after it started.
RunResult RunStopped(Sandbox& sb, const std::string& pristine, int signal, long long at,
                     const std::function<RunResult()>& run)
{
    fs::remove_all(sb.root);
    fs::copy(pristine, sb.root, fs::copy_options::recursive);
    sb.stopSignal = signal;
    sb.stopAfterMs = static_cast<int>(at);
    const RunResult r = run();
    sb.stopSignal = 0;
    return r;
}

std::string RoundText(int round, int signal, long long at, long long whole)
{
    return "round " + std::to_string(round) + ": signal " + std::to_string(signal) + " after " + std::to_string(at) +
           " ms of " + std::to_string(whole);
}

// TIRN updates of the demo machine from one discovery report, each on a fresh copy of the machine.
class DemoUpdates : public ::testing::Test {
protected:
    void SetUp() override
    {
        sb.runSeconds = 300;
        ASSERT_FALSE(MakeDemoMachine(sb, false).empty());
        ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
        pristine = sb.base + "/pristine";
        fs::copy(sb.root, pristine, fs::copy_options::recursive);
        // How long a whole update takes here: the stops are spread over it.
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(sb.Run({"-u", Fresh("whole.xml")}).exitCode, 2);
        whole = Milliseconds(t0);
    }
    // A report to run from: a fresh copy, since a run writes its results into it.
    std::string Fresh(const std::string& as)
    {
        fs::copy_file(sb.work + "/report.xml", sb.work + "/" + as, fs::copy_options::overwrite_existing);
        return as;
    }

    Sandbox sb;
    std::string pristine;
    long long whole = 0;
};

TEST_F(DemoUpdates, StoppedRunsLeaveNoWorkFolderNoBackupAndSoundBoards)
{

    std::mt19937 random(4242);
    std::uniform_int_distribution<long long> moment(whole / 20, whole * 9 / 10);
    int stopped = 0;
    for (int round = 0; round < 8; ++round) {
        const int signal = round % 2 ? SIGINT : SIGTERM;
        const long long at = moment(random);
        SCOPED_TRACE(RoundText(round, signal, at, whole));
        const RunResult r = RunStopped(sb, pristine, signal, at, [&] { return sb.Run({"-u", Fresh("stopped.xml")}); });
        if (r.exitCode == 128 + signal) {
            // Only a signal that came before the tool could catch it may end the process itself.
            if (Contains(r.out, "TIRN was stopped")) ++stopped;
            // The items it did not start end as cancelled, and the run as a failure. (A stop during
            // the listing before the update ends the run before the report is opened.)
            const int cancelled = CancelledItems(sb.work + "/stopped.xml");
            std::printf("round %d: stopped after %lld of %lld ms, %d items not started\n", round, at, whole, cancelled);
            if (cancelled > 0) {
                EXPECT_TRUE(Contains(r.out, "Library result: 106")) << r.out;
            }
        } else {
            EXPECT_EQ(r.exitCode, 2) << r.out;  // the update ended before the signal came
        }
        EXPECT_EQ(RunLeftovers(sb.work), std::vector<std::string>{}) << r.out;
        EXPECT_EQ(BadBoards(sb.root), "");

        const RunResult normal = sb.Run({"-u", Fresh("again.xml")});
        EXPECT_TRUE(normal.exitCode >= 0 && normal.exitCode < 128) << normal.exitCode << ":\n" << normal.out;
        EXPECT_EQ(RunLeftovers(sb.work), std::vector<std::string>{}) << normal.out;
        EXPECT_EQ(BadBoards(sb.root), "");
    }
    EXPECT_GE(stopped, 4) << "most stops should land inside an update";
}

// A program that calls the library's export with the signals' default actions: the held signal
// ends it only after the call, when the change has finished or been undone and its files are gone.
TEST(StoppedRuns, AnExportCallerWithDefaultSignalsEndsOnlyAfterTheCall)
{
    Sandbox sb;
    sb.runSeconds = 300;
    ASSERT_FALSE(MakeDemoMachine(sb, false).empty());
    std::vector<std::string> args;
    for (const MachineAdapter& a : MachineAdapters(sb.root))
        if (a.board == "e3-57810" && a.function == 0)
            args = {sb.FwFolder() + "/mbi_e2e3.bin", std::to_string(a.bus), std::to_string(a.device), "0"};
    ASSERT_FALSE(args.empty());
    fs::copy_file(BinDir() + "/export_flash", sb.work + "/export_flash");
    const std::string pristine = sb.base + "/pristine";
    fs::copy(sb.root, pristine, fs::copy_options::recursive);

    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(sb.RunProgram(sb.work + "/export_flash", args).exitCode, 0);
    const long long whole = Milliseconds(t0);

    std::mt19937 random(1717);
    std::uniform_int_distribution<long long> moment(whole / 10, whole * 9 / 10);
    int ended = 0;
    for (int round = 0; round < 6; ++round) {
        const int signal = round % 2 ? SIGINT : SIGTERM;
        const long long at = moment(random);
        SCOPED_TRACE(RoundText(round, signal, at, whole));
        const RunResult r =
            RunStopped(sb, pristine, signal, at, [&] { return sb.RunProgram(sb.work + "/export_flash", args); });
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 128 + signal) << r.exitCode << ":\n" << r.out;
        ended += r.exitCode == 128 + signal;
        EXPECT_EQ(RunLeftovers(sb.work), std::vector<std::string>{}) << r.out;
        EXPECT_EQ(BadBoards(sb.root), "");
    }
    EXPECT_GE(ended, 3);
}

// SIGKILL cannot be held: the killed run leaves its work folder and maybe its backup, and the
// next normal run removes the folder (its lock died with the run) and finishes or removes the
// backup, which is never without its fingerprint and so never kept aside.
TEST_F(DemoUpdates, AKilledRunsFilesAreGoneAfterTheNextRun)
{
    sb.allowStderr = true;  // a killed run may leave a note there

    std::mt19937 random(2323);
    std::uniform_int_distribution<long long> moment(whole / 2, whole * 19 / 20);  // inside the update
    for (int round = 0; round < 4; ++round) {
        const long long at = moment(random);
        SCOPED_TRACE(RoundText(round, SIGKILL, at, whole));
        const RunResult r = RunStopped(sb, pristine, SIGKILL, at, [&] { return sb.Run({"-u", Fresh("killed.xml")}); });
        std::printf("round %d: exit %d after %lld of %lld ms, left %zu files\n", round, r.exitCode, at, whole,
                    RunLeftovers(sb.work).size());
        const RunResult normal = sb.Run({"-u", Fresh("again.xml")});
        EXPECT_TRUE(normal.exitCode >= 0 && normal.exitCode < 128) << normal.exitCode << ":\n" << normal.out;
        EXPECT_EQ(RunLeftovers(sb.work), std::vector<std::string>{}) << normal.out;
        EXPECT_EQ(BadBoards(sb.root), "");
    }
}

}  // namespace
