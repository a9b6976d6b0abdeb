// Which adapter may take another adapter's kept NVRAM backup over within one exported call. The
// adapter records do not name the board, so a backup of another function of the same kind of
// board is a candidate, and its first 4 KiB (which hold the board's MAC addresses) must still
// match. Blank boards (MAC addresses all 0 or all FF) of one kind hold the same 4 KiB over other
// contents, so an adapter with a blank MAC address takes its own dump: a backup taken over from
// another board would, once programmed back, put that board's images onto this one.
//
// The fixture: two boards of one kind built by the test kit from one description, whose images
// differ only beyond the first 4 KiB (the L2T version); either both functions sit on one board or
// function 1 sits on the second board.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "power_cut_machine.h"
#include "testkit/describe.h"
#include "testkit/e1e3_nvram.h"

using namespace powercut;

namespace {

constexpr uint32_t kCodeRestored = 138;
constexpr size_t kGuardBytes = 0x1000;

// The demo's E3 board as the kit's description, but for the L2T version, which lies beyond the
// first 4 KiB. MAC addresses are set per case.
constexpr const char* kBoardText = R"(chip=E3
size=0x80000
board=0x14E4 0x168E 0x14E4 0x168E 001018E30100 2
text=DEMO e3-57810
image=MBA 7.10.1
image=L2T L2T_VERSION
image=MFW1 7.10.1
image=MFW2 7.10.1
image=SWIM1 7.10.1
image=SWIM2 7.10.1
image=SWIM3 7.10.1
image=SWIM4 7.10.1
image=NIC_PRTION 1.0.0
image=CFG_SHARED 1.0.0
)";

struct GuardCase {
    const char* name;
    std::optional<uint64_t> blankMac;  // every MAC address of both boards and records; none: real ones
    bool ownFlash;                     // function 1 sits on a second board
    bool takesOver;
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }

// The verifier's complaints but those of the blank MAC addresses a case gives its boards on purpose.
std::string ComplaintsBesideBlankMacs(const Verdicts& verdicts, const GuardCase& c)
{
    std::string out;
    for (const auto& [name, complaint] : verdicts) {
        std::string kept;
        size_t from = 0;
        for (size_t end; (end = complaint.find('\n', from)) != std::string::npos; from = end + 1) {
            const std::string line = complaint.substr(from, end + 1 - from);
            if (!c.blankMac || line.find("blank MAC address") == std::string::npos) kept += line;
        }
        if (!kept.empty()) out += name + ":\n" + kept;
    }
    return out;
}

const GuardCase kCases[] = {
    // Real MAC addresses: the second function of the board takes the first one's backup over.
    {"real_macs_one_board", std::nullopt, false, true},
    // Blank ones: never, even where the flash is in fact shared (a fresh dump costs a read, a
    // wrong backup a board).
    {"zero_macs_one_board", 0x000000000000ull, false, false},
    {"zero_macs_two_boards", 0x000000000000ull, true, false},
    {"ff_macs_two_boards", 0xFFFFFFFFFFFFull, true, false},
};

testkit::Bytes BoardNvram(const char* l2tVersion, const std::optional<uint64_t>& blankMac)
{
    std::string text = kBoardText;
    text.replace(text.find("L2T_VERSION"), 11, l2tVersion);
    testkit::e1e3::NvramDef def = testkit::parse_nvram_description(text);
    if (blankMac) {
        for (auto& path : def.ports)
            for (auto& port : path) port.mac = port.iscsi_mac = port.fcoe_mac = *blankMac;
    }
    return testkit::e1e3::build(def).nvram;
}

std::string MacText(uint64_t mac)
{
    char text[16];
    std::snprintf(text, sizeof text, "%012llX", static_cast<unsigned long long>(mac));
    return text;
}

// Puts the case's boards in place of the demo's E3 board.
void MakeBoards(Machine& m, const GuardCase& c)
{
    ASSERT_EQ(m.functions.size(), 2u);
    const testkit::Bytes first = BoardNvram("7.10.1", c.blankMac), second = BoardNvram("7.10.2", c.blankMac);
    ASSERT_TRUE(std::equal(first.begin(), first.begin() + kGuardBytes, second.begin()))
        << "the two boards' first 4 KiB differ";
    ASSERT_NE(first, second);
    for (sim::AdapterDef& f : m.functions) {
        if (c.blankMac) f.mac = MacText(*c.blankMac);
        if (c.ownFlash && f.function == 1) f.board = "e3-second";
        sim::write_adapter(m.root.path, f);
    }
    sim::set_nvram(m.root.path, m.functions[0].board_name(), first);
    if (c.ownFlash) sim::set_nvram(m.root.path, m.functions[1].board_name(), second);
    m.target = m.functions[0];
}

uint64_t BytesRead(const Machine& m, size_t function)
{
    uint64_t bytes = 0;
    for (const Write& r : m.Writes(kOrdReadNvram, function)) bytes += r.bytes;
    return bytes;
}

class BackupTakeOver : public ::testing::TestWithParam<GuardCase> {};

TEST_P(BackupTakeOver, OnlyAnAdapterWithItsOwnMacTakesAnotherFunctionsBackupOver)
{
    const GuardCase& c = GetParam();
    Machine m("e3-57810", false);
    MakeBoards(m, c);
    if (HasFatalFailure()) return;
    const std::vector<std::string> both{Expand("upgrade -F -mba {$FW/mba_e3.bin} {$ROOT/backup.bin}", m),
                                        Expand("@1 upgrade -F -mba {$FW/mba_e3.bin} {$ROOT/backup_p1.bin}", m)};
    const uint64_t nvramSize = m.Nvram().size();
    m.Save("pristine");

    // The first change alone: what a failed second change must leave on function 1's flash.
    RunResult r = m.Run({both[0]});
    ASSERT_EQ(r.exitCode, 0) << r.failedLine;
    const testkit::Bytes secondAfterFirst = sim::read_nvram(m.root.path, m.functions[1].name);
    m.Restore("pristine");

    // Both in one call: a backup taken over reads only the guard and the first change's writes
    // again; a fresh dump reads the whole NVRAM.
    r = m.Run(both, {}, true);
    ASSERT_EQ(r.exitCode, 0) << r.failedLine;
    EXPECT_EQ(ComplaintsBesideBlankMacs(m.Verify(), c), "");
    const uint64_t secondReads = BytesRead(m, 1);
    if (c.takesOver) {
        EXPECT_LT(secondReads, nvramSize / 2) << "function 1 dumped the NVRAM instead of taking the backup over";
    } else {
        EXPECT_GE(secondReads, nvramSize) << "function 1 took over a backup it cannot tell is its own board's";
    }
    const size_t secondWrites = m.Writes(kOrdWriteNvram, 1).size();
    ASSERT_GT(secondWrites, 1u);
    m.Restore("pristine");

    // The second change's middle write refused: its backup must give function 1's flash back as
    // it was before that change.
    sim::FaultRule refuse;
    refuse.ordinal = kOrdWriteNvram;
    refuse.adapter = m.functions[1].name;
    refuse.nth = uint32_t(secondWrites / 2 + 1);  // counted per adapter
    r = m.Run(both, {refuse}, true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lineCode, kCodeRestored) << r.failedLine;
    EXPECT_EQ(ComplaintsBesideBlankMacs(m.Verify(), c), "");
    EXPECT_TRUE(sim::read_nvram(m.root.path, m.functions[1].name) == secondAfterFirst)
        << "the restore put other contents on function 1's flash than it held before its change";
}

INSTANTIATE_TEST_SUITE_P(Macs, BackupTakeOver, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

}  // namespace
