// Power cuts during an update from the discovery report, through the real TIRN, the real vendor
// library and the simulated management library. For one board of each family the update is run
// once to find its NVRAM writes; then, on a fresh copy of the machine, the k-th write is struck:
//   Between  - the power goes before the write's first byte (the process ends there);
//   Inside   - the power goes half way through the write (the process ends there);
//   Refused  - the write stores half its bytes and fails, and the program carries on;
//   Erase    - as Inside, on flash that erases 4 KiB sectors before programming them: the rest of
//              the struck sector reads 0xFF, whatever other records it held.
// Afterwards no run may have reported success; with power back every NVRAM must pass the test
// kit's verifier of its family (a cut inside a write may leave that one record invalid, and is
// counted separately), and one more run - a fresh discovery and one update from its report - must
// leave every adapter verifying and running the new version of every item. A cut that tore the
// directory hides images from the adapter's own report of its firmware; the backup the cut run
// left behind still lists them, and that one update programs it back and updates every item.
//
// By default a few cut points per board (the first, middle and last write) are tried. With
// FWUPG_POWER_CUT_EVERY=1 the EveryWrite tests try every write of each board in turn instead (the
// sampled points are among them, and would count twice in the figures).
// Each cut point prints one "power-cut:" line, which ./bench.sh sums up.
#include "demo_machine.h"

#include "sim/adapter_builder.h"
#include "sim/power_cut.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tirn_test;

namespace {

using sim::Cut;
enum class Point { First, Middle, Last };

const char* point_name(Point p) { return p == Point::First ? "First" : p == Point::Middle ? "Middle" : "Last"; }

// A board of the demo machine, by its name.
struct Board {
    const char* name;
    bool legacy;  // made only by "fwgen demo --legacy"
};
void PrintTo(const Board& b, std::ostream* os) { *os << b.name; }
// The sampled form takes one legacy board of each NVRAM layout (single function, two functions);
// every write is struck on all four legacy boards.
const Board kBoards[] = {
    {"e1-57710", false},  {"e2-57712", false}, {"e3-57810", false}, {"e3-57810c", false},
    {"e4-57980s", false}, {"l-5706", true},    {"l-5709", true},
};
const Board kEveryBoards[] = {
    {"e1-57710", false},  {"e2-57712", false}, {"e3-57810", false}, {"e3-57810c", false},
    {"e4-57980s", false}, {"l-5706", true},    {"l-5708", true},    {"l-5709", true},
    {"l-5716", true},
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

    // Runs the update and strikes the first write whose in-session index is `w.nth`; the power is
    // back afterwards.
    RunResult Strike(const Write& w, Cut cut)
    {
        sim::FaultRule rule;
        rule.ordinal = kOrdWriteNvram;
        rule.adapter = target.name;
        rule.nth = w.nth;
        sim::SetCut(rule, cut, w.bytes / 2);
        sim::Control control;
        control.faults.push_back(rule);
        sim::write_control(sb.root, control);

        sb.allowStderr = true;
        RunResult r = sb.Run({"-u", "report.xml"});
        sb.allowStderr = false;
        sim::write_control(sb.root, sim::Control{});
        return r;
    }

    // Strikes the first write whose in-session index is `w.nth`, then powers the machine back
    // and updates it again.
    Outcome StrikeAndRepair(const Write& w, Cut cut, size_t writeCount)
    {
        Outcome o;
        const size_t start = JournalSize();
        RunResult r = Strike(w, cut);
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

        std::string invalid;
        for (const auto& [name, v] : VerifyAllNvram(sb.root))
            if (v.status != 0) invalid += name + ":\n" + v.output;
        o.invalidAfterCut = !invalid.empty();
        if (cut == Cut::Between || cut == Cut::Refused) {
            EXPECT_EQ(invalid, "") << "an NVRAM does not verify after the "
                                   << (cut == Cut::Between ? "cut between writes" : "refused write");
        }

        // The next run from a fresh discovery repairs the board and finishes its update.
        EXPECT_EQ(sb.Run({"-d", "report2.xml"}).exitCode, 1);
        RunResult again = sb.Run({"-u", "report2.xml"});
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
                EXPECT_EQ(now, versions.second) << m.name << " " << type;
                updated &= now == versions.second;
            }
        o.repaired = allValid && updated && again.exitCode == 2;

        std::printf("power-cut: board=%s cut=%s write=%u/%zu offset=0x%X bytes=%u false_success=%d "
                    "invalid=%d repaired=%d\n",
                    target.name.c_str(), sim::CutName(cut), w.nth, writeCount, w.offset, w.bytes, o.falseSuccess,
                    o.invalidAfterCut, o.repaired);
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

// The backup files an update left in the working folder.
std::vector<fs::path> LeftoverBackups(const Sandbox& sb)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(sb.work))
        if (e.path().filename().string().rfind("NVMDump#_", 0) == 0) files.push_back(e.path());
    return files;
}

// A cut inside the directory write leaves a board whose own firmware report hides images. Its
// listing is that of the board holding the backup the cut run left (every item, with the versions
// the backup holds), and listing it writes nothing; a backup whose fingerprint does not match is
// not trusted, and the board is listed as its NVRAM is.
TEST_F(PowerCut, ListingAfterATornDirectoryShowsTheLeftoverBackup)
{
    MakeMachine({"l-5709", true});
    if (HasFatalFailure()) return;
    const std::vector<Write> writes = CountWrites();
    ASSERT_FALSE(writes.empty());
    const std::string nvram = sb.root + "/adapters/" + target.board + ".nvram";
    const fs::path aside = sb.base + "/aside";
    fs::create_directories(aside);
    auto countItems = [&] { return ListByMac(sb, machine)[target.mac].firmware.size(); };
    // The last write whose cut hides images from the board's own report.
    bool torn = false;
    for (size_t k = writes.size(); k-- > 0 && !torn;) {
        RestoreMachine();
        for (const auto& f : LeftoverBackups(sb)) fs::remove(f);
        Strike(writes[k], Cut::Inside);
        const auto left = LeftoverBackups(sb);
        if (left.empty()) continue;
        for (const auto& f : left) fs::rename(f, aside / f.filename());
        torn = countItems() < before[target.mac].firmware.size();
        for (const auto& f : left) fs::rename(aside / f.filename(), f);
    }
    ASSERT_TRUE(torn) << "no cut of the update hides images from the board's report";

    // What the board lists once it holds the backup again (the cut run had updated the items
    // before the struck one, and brought its backup up to date with them).
    const std::string damaged = ReadFile(nvram);
    fs::path backup;
    for (const auto& f : LeftoverBackups(sb))
        if (f.extension() != ".sha256") backup = f;
    ASSERT_FALSE(backup.empty());
    fs::copy_file(backup, nvram, fs::copy_options::overwrite_existing);
    const auto restored = ListByMac(sb, machine)[target.mac].firmware;
    std::ofstream(nvram, std::ios::binary | std::ios::trunc) << damaged;

    const size_t start = JournalSize();
    EXPECT_EQ(ListByMac(sb, machine)[target.mac].firmware, restored);
    EXPECT_EQ(restored.size(), before[target.mac].firmware.size());

    // A fingerprint that does not match: the backup is not taken for the board's.
    const auto left = LeftoverBackups(sb);
    bool edited = false;
    for (const auto& f : left)
        if (f.extension() == ".sha256") {
            std::ofstream(f, std::ios::app) << "0";
            edited = true;
        }
    ASSERT_TRUE(edited) << "the cut run left no fingerprint file";
    EXPECT_LT(countItems(), before[target.mac].firmware.size());

    EXPECT_EQ(ReadFile(nvram), damaged) << "listing the board changed its NVRAM";
    for (const auto& l : JournalSince(start)) EXPECT_NE(field(l, "ord"), kOrdWriteNvram) << l;
    for (const auto& f : left) EXPECT_TRUE(fs::exists(f)) << f << " was removed by a listing";
}

// The configuration blocks of every E1-E3 board of the machine (each path's, with its ports'
// PCI ids and MAC addresses), by board.
std::map<std::string, std::string> ConfigurationBlocks(const std::string& root)
{
    std::map<std::string, std::string> blocks;
    for (const auto& e : fs::directory_iterator(root + "/adapters")) {
        if (e.path().extension() != ".nvram") continue;
        const std::string nvram = ReadFile(e.path().string());
        if (nvram.size() < 2872) continue;
        blocks[e.path().stem().string()] = nvram.substr(256, 848) + nvram.substr(2024, 848);
    }
    return blocks;
}

// An update cut by an erasing power loss inside the E3 board's first 4 KiB leaves the only copy of
// its configuration (MAC addresses, PCI ids) in a backup in the tool's folder. A run from another
// folder (a second copy of the tool, as the update manager's plug-in runs it from its component
// folder) finds that backup through the machine-wide list, programs it back and updates the
// board; when the list does not name it, that run refuses the damaged board (110) and writes
// nothing to it. Either way no run reports success on a damaged board, and the console update
// that follows in the first folder leaves every board updated with what a fault-free update
// leaves in its configuration blocks.
TEST_F(PowerCut, ALeftoverIsFoundFromAnotherFolderAndADamagedBoardIsNeverWrittenBlind)
{
    MakeMachine({"e3-57810", false});
    if (HasFatalFailure()) return;
    const std::vector<Write> writes = CountWrites();
    // What a fault-free update leaves.
    ASSERT_EQ(sb.Run({"-u", "report.xml"}).exitCode, 2);
    const auto reference = ConfigurationBlocks(sb.root);
    ASSERT_FALSE(reference.empty());
    const std::string registry = sb.root + "/C/ProgramData/FwUpg/Backups";
    const std::string nvram = sb.root + "/adapters/" + target.board + ".nvram";
    // The second write into the first 4 KiB.
    const Write* struck = nullptr;
    for (size_t j = 0, seen = 0; j < writes.size() && !struck; ++j)
        if (writes[j].offset < 0x1000 && ++seen == 2) struck = &writes[j];
    ASSERT_NE(struck, nullptr) << "the update writes the first 4 KiB fewer than twice";

    for (const bool listed : {true, false}) {
        SCOPED_TRACE(listed ? "the leftover is listed machine-wide" : "the list does not name the leftover");
        RestoreMachine();
        const std::string first = sb.work;
        for (const auto& f : LeftoverBackups(sb)) fs::remove(f);
        EXPECT_EQ(Strike(*struck, Cut::Erase).exitCode, kPowerLossExit);
        ASSERT_FALSE(LeftoverBackups(sb).empty()) << "the cut run left no backup";
        const bool damaged = VerifyAllNvram(sb.root).at(target.board).status != 0;
        ASSERT_TRUE(damaged) << "the cut left a board that verifies";
        if (!listed) fs::remove_all(registry);

        // A second copy of the tool with its own firmware folder.
        const std::string second = sb.base + (listed ? "/second" : "/third");
        fs::create_directories(second);
        for (const char* f : {"TIRN", "LibALDN_ZkFwUpg.so", "YXMAPIa.so"}) fs::copy_file(first + "/" + f, second + "/" + f);
        fs::copy(first + "/FW", second + "/FW", fs::copy_options::recursive);
        sb.work = sb.prog = second;
        ASSERT_EQ(sb.Run({"-d", "report.xml"}).exitCode, 1);
        const std::string before = ReadFile(nvram);
        RunResult other = sb.Run({"-u", "report.xml"});
        const NvramVerdict verdict = VerifyAllNvram(sb.root).at(target.board);
        if (other.exitCode == 2) {
            EXPECT_EQ(verdict.status, 0) << "success reported on a damaged board:\n" << verdict.output << other.out;
        }
        if (listed) {
            EXPECT_EQ(other.exitCode, 2) << "the leftover in the first folder was not used:\n" << other.out;
            EXPECT_EQ(ConfigurationBlocks(sb.root), reference);
        } else {
            EXPECT_NE(other.exitCode, 2) << other.out;
            EXPECT_EQ(ReadFile(nvram), before) << "the damaged board was written";
        }
        EXPECT_TRUE(fs::is_empty(second) || LeftoverBackups(sb).empty()) << "a backup stays in the second folder";

        // The console update again, from the first folder.
        sb.work = sb.prog = first;
        ASSERT_EQ(sb.Run({"-d", "report3.xml"}).exitCode, 1);
        RunResult again = sb.Run({"-u", "report3.xml"});
        EXPECT_TRUE(again.exitCode == 2 || again.exitCode == 1 || again.exitCode == 3) << again.out;
        for (const auto& [name, v] : VerifyAllNvram(sb.root)) EXPECT_EQ(v.status, 0) << name << ":\n" << v.output;
        EXPECT_EQ(ConfigurationBlocks(sb.root), reference) << "MAC addresses or PCI ids differ from a fault-free update";
        EXPECT_TRUE(LeftoverBackups(sb).empty()) << "the leftover stays after the board was repaired";
        auto after = ListByMac(sb, machine);
        for (const auto& m : machine)
            for (const auto& [type, versions] : this->before[m.mac].firmware) {
                if (versions.first == versions.second || versions.second.empty()) continue;
                EXPECT_EQ(after[m.mac].firmware[type].first, versions.second) << m.name << " " << type;
            }
    }
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
    ::testing::Combine(::testing::ValuesIn(kBoards), ::testing::Values(Cut::Between, Cut::Inside, Cut::Refused, Cut::Erase),
                       ::testing::Values(Point::First, Point::Middle, Point::Last)),
    [](const ::testing::TestParamInfo<SampledCut::ParamType>& info) {
        std::string name = std::string(std::get<0>(info.param).name) + "_" + sim::CutName(std::get<1>(info.param)) +
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
                         ::testing::Combine(::testing::ValuesIn(kEveryBoards),
                                            ::testing::Values(Cut::Between, Cut::Inside, Cut::Refused, Cut::Erase)),
                         [](const ::testing::TestParamInfo<EveryWrite::ParamType>& info) {
                             std::string name = std::string(std::get<0>(info.param).name) + "_" +
                                                sim::CutName(std::get<1>(info.param));
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
