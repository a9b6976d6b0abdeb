// Power cuts during an update from the discovery report, through the real TIRN, the real vendor
// library and the simulated management library. For one board of each family the update is run
// once to find its NVRAM writes; then, on a fresh copy of the machine, the k-th write is struck:
//   Between  - the power goes before the write's first byte (the process ends there);
//   Inside   - the power goes half way through the write (the process ends there);
//   Refused  - the write stores half its bytes and fails, and the program carries on.
// Afterwards no run may have reported success; with power back every NVRAM must pass the test
// kit's verifier of its family (a cut inside a write may leave that one record invalid, and is
// counted separately), and one more update from a fresh discovery must leave every adapter
// verifying and running the new versions. Only after a cut that left the directory torn may that
// take two runs (the first discovery cannot see the images the torn directory hides); the line
// then says runs=2.
//
// By default a few cut points per board (the first, middle and last write) are tried. With
// FWUPG_POWER_CUT_EVERY=1 the EveryWrite tests try every write of each board in turn instead (the
// sampled points are among them, and would count twice in the figures).
// Each cut point prints one "power-cut:" line, which ./bench.sh sums up.
#include "demo_machine.h"

#include "sim/adapter_builder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

enum class Cut { Between, Inside, Refused };
enum class Point { First, Middle, Last };

const char* cut_name(Cut c) { return c == Cut::Between ? "Between" : c == Cut::Inside ? "Inside" : "Refused"; }
const char* point_name(Point p) { return p == Point::First ? "First" : p == Point::Middle ? "Middle" : "Last"; }

// A board of the demo machine, by its name.
struct Board {
    const char* name;
    bool legacy;  // made only by "fwgen demo --legacy"
};
void PrintTo(const Board& b, std::ostream* os) { *os << b.name; }
const Board kBoards[] = {
    {"e1-57710", false},  {"e2-57712", false}, {"e3-57810", false}, {"e3-57810c", false},
    {"e4-57980s", false}, {"l-5706", true},    {"l-5709", true},
};

// One NVRAM write of the target adapter during the counting run: its index among the adapter's
// writes in its library session (the fault rules count from each initialisation) and its size.
struct Write {
    uint32_t nth = 0;
    uint32_t bytes = 0;
    uint32_t offset = 0;
};

struct Outcome {
    bool falseSuccess = false;
    bool invalidAfterCut = false;
    bool repaired = false;
};

constexpr unsigned kOrdInitialize = 34;
constexpr unsigned kOrdWriteNvram = 67;
constexpr int kPowerLossExit = 75;  // the simulated library's exit code at a power loss

// A field of a journal line: "pid=<dec> ord=<dec> handle=<hex> offset=<hex> count=<hex> ...".
unsigned field(const std::string& line, const std::string& key)
{
    size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return 0;
    const int base = key == "ord" ? 10 : 16;
    return static_cast<unsigned>(std::strtoul(line.c_str() + at + key.size() + 2, nullptr, base));
}

class PowerCut : public ::testing::Test {
protected:
    // Makes the demo machine holding only `board`, discovers it and notes what it lists.
    void MakeMachine(const Board& board)
    {
        sb.runSeconds = 300;
        auto usable = MakeDemoMachine(sb, board.legacy);
        ASSERT_FALSE(usable.empty());
        machine = KeepOnlyBoard(sb, usable, board.name);
        ASSERT_FALSE(machine.empty());
        target = machine.front();
        ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
        before = ListByMac(sb, machine);
        pristine = sb.base + "/pristine";
        fs::copy(sb.root, pristine, fs::copy_options::recursive);
    }

    void RestoreMachine()
    {
        fs::remove_all(sb.root);
        fs::copy(pristine, sb.root, fs::copy_options::recursive);
    }

    size_t JournalSize() const
    {
        const std::string j = sb.root + "/yxmapi.journal";
        return fs::exists(j) ? fs::file_size(j) : 0;
    }

    std::vector<std::string> JournalSince(size_t start) const
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(sb.root + "/yxmapi.journal").substr(start));
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }

    // Runs the update without faults and returns the target adapter's NVRAM writes.
    std::vector<Write> CountWrites()
    {
        const size_t start = JournalSize();
        RunResult r = sb.Run({"-u", "report.xml"});
        EXPECT_EQ(r.exitCode, 2) << r.out;
        std::vector<Write> writes;
        uint32_t inSession = 0;
        for (const auto& l : JournalSince(start)) {
            const unsigned ord = field(l, "ord");
            if (ord == kOrdInitialize) inSession = 0;
            if (ord != kOrdWriteNvram || field(l, "handle") != target.apiHandle) continue;
            writes.push_back({++inSession, 4 * field(l, "count"), field(l, "offset")});
        }
        RestoreMachine();
        return writes;
    }

    // Strikes the first write whose in-session index is `w.nth`, then powers the machine back
    // and updates it again.
    Outcome StrikeAndRepair(const Write& w, Cut cut, size_t writeCount)
    {
        Outcome o;
        sim::FaultRule rule;
        rule.ordinal = kOrdWriteNvram;
        rule.adapter = target.name;
        rule.nth = w.nth;
        rule.cut_after = cut == Cut::Between ? 0 : w.bytes / 2;
        rule.exit_after_cut = cut != Cut::Refused;
        sim::Control control;
        control.faults.push_back(rule);
        sim::write_control(sb.root, control);

        sb.allowStderr = true;
        const size_t start = JournalSize();
        RunResult r = sb.Run({"-u", "report.xml"});
        sb.allowStderr = false;
        if (cut == Cut::Refused) {
            bool struck = false;
            for (const auto& l : JournalSince(start))
                struck |= field(l, "ord") == kOrdWriteNvram && field(l, "handle") == target.apiHandle &&
                          field(l, "status") == YXSIM_E_INJECTED;
            EXPECT_TRUE(struck) << "the refused write was not reached:\n" << r.out;
            o.falseSuccess = r.exitCode == 2 || Contains(r.out, "Library result: 1\n");
            EXPECT_FALSE(o.falseSuccess) << "a failed update reported success:\n" << r.out;
        } else {
            EXPECT_EQ(r.exitCode, kPowerLossExit) << "the cut write was not reached:\n" << r.out;
            o.falseSuccess = r.exitCode != kPowerLossExit && (r.exitCode == 2 || Contains(r.out, "Library result: 1\n"));
        }

        // Power back: no faults any more.
        sim::write_control(sb.root, sim::Control{});
        std::string invalid;
        for (const auto& [name, v] : VerifyAllNvram(sb.root))
            if (v.status != 0) invalid += name + ":\n" + v.output;
        o.invalidAfterCut = !invalid.empty();
        if (cut != Cut::Inside) {
            EXPECT_EQ(invalid, "") << "an NVRAM does not verify after the "
                                   << (cut == Cut::Between ? "cut between writes" : "refused write");
        }

        // The next run from a fresh discovery repairs the board. A cut inside the write of a
        // single-copy record (the directory) can hide images from that discovery until the run has
        // rewritten the record; one more run must then finish the update.
        auto update_again = [&](const std::string& report, bool lastTry) {
            EXPECT_EQ(sb.Run({"-d", report}).exitCode, 1);
            RunResult again = sb.Run({"-u", report});
            EXPECT_EQ(again.exitCode, 2) << again.out;
            bool allValid = true;
            for (const auto& [name, v] : VerifyAllNvram(sb.root)) {
                EXPECT_EQ(v.status, 0) << name << " after the update:\n" << v.output;
                allValid &= v.status == 0;
            }
            auto after = ListByMac(sb, machine);
            bool updated = true;
            for (const auto& m : machine)
                for (const auto& [type, versions] : before[m.mac].firmware) {
                    if (versions.first == versions.second || versions.second.empty()) continue;
                    const std::string now = after[m.mac].firmware[type].first;
                    if (lastTry) {
                        EXPECT_EQ(now, versions.second) << m.name << " " << type;
                    }
                    updated &= now == versions.second;
                }
            return allValid && updated && again.exitCode == 2;
        };
        int runs = 1;
        o.repaired = update_again("report2.xml", !(cut == Cut::Inside && o.invalidAfterCut));
        if (!o.repaired && cut == Cut::Inside && o.invalidAfterCut) {
            runs = 2;
            o.repaired = update_again("report3.xml", true);
        }

        std::printf("power-cut: board=%s cut=%s write=%u/%zu offset=0x%X bytes=%u false_success=%d "
                    "invalid=%d repaired=%d runs=%d\n",
                    target.name.c_str(), cut_name(cut), w.nth, writeCount, w.offset, w.bytes, o.falseSuccess,
                    o.invalidAfterCut, o.repaired, runs);
        std::fflush(stdout);
        return o;
    }

    Sandbox sb;
    std::vector<MachineAdapter> machine;
    MachineAdapter target;
    std::map<std::string, ListedAdapter> before;
    std::string pristine;
};

bool EveryWriteAsked()
{
    const char* every = std::getenv("FWUPG_POWER_CUT_EVERY");
    return every && std::string(every) == "1";
}

class SampledCut : public PowerCut, public ::testing::WithParamInterface<std::tuple<Board, Cut, Point>> {};

TEST_P(SampledCut, NeverReportsSuccessAndTheNextRunRepairs)
{
    if (EveryWriteAsked()) GTEST_SKIP() << "the EveryWrite tests strike these writes too";
    const auto [board, cut, point] = GetParam();
    MakeMachine(board);
    if (HasFatalFailure()) return;
    const std::vector<Write> writes = CountWrites();
    ASSERT_FALSE(writes.empty()) << "the update wrote nothing to " << target.name;
    const size_t i = point == Point::First ? 0 : point == Point::Middle ? writes.size() / 2 : writes.size() - 1;
    // The fault rule strikes the first write with that in-session index.
    size_t first = i;
    for (size_t j = 0; j < i; ++j)
        if (writes[j].nth == writes[i].nth) first = std::min(first, j);
    StrikeAndRepair(writes[first], cut, writes.size());
}

INSTANTIATE_TEST_SUITE_P(
    Boards, SampledCut,
    ::testing::Combine(::testing::ValuesIn(kBoards), ::testing::Values(Cut::Between, Cut::Inside, Cut::Refused),
                       ::testing::Values(Point::First, Point::Middle, Point::Last)),
    [](const ::testing::TestParamInfo<SampledCut::ParamType>& info) {
        std::string name = std::string(std::get<0>(info.param).name) + "_" + cut_name(std::get<1>(info.param)) +
                           "_" + point_name(std::get<2>(info.param));
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

class EveryWrite : public PowerCut, public ::testing::WithParamInterface<std::tuple<Board, Cut>> {};

TEST_P(EveryWrite, NeverReportsSuccessAndTheNextRunRepairs)
{
    if (!EveryWriteAsked()) GTEST_SKIP() << "set FWUPG_POWER_CUT_EVERY=1 to strike every write";
    const auto [board, cut] = GetParam();
    MakeMachine(board);
    if (HasFatalFailure()) return;
    const std::vector<Write> writes = CountWrites();
    ASSERT_FALSE(writes.empty());
    // Every distinct in-session index, struck at its first write.
    std::map<uint32_t, size_t> firstByNth;
    for (size_t j = 0; j < writes.size(); ++j) firstByNth.emplace(writes[j].nth, j);
    for (const auto& [nth, j] : firstByNth) {
        StrikeAndRepair(writes[j], cut, writes.size());
        RestoreMachine();
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, EveryWrite,
                         ::testing::Combine(::testing::ValuesIn(kBoards),
                                            ::testing::Values(Cut::Between, Cut::Inside, Cut::Refused)),
                         [](const ::testing::TestParamInfo<EveryWrite::ParamType>& info) {
                             std::string name = std::string(std::get<0>(info.param).name) + "_" +
                                                cut_name(std::get<1>(info.param));
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
