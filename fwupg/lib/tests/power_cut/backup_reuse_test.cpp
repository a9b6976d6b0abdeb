// The NVRAM backups of one exported call, on boards of the test kit's demo machine: the first
// change of an adapter dumps its whole NVRAM, later changes of the same adapter reuse that backup
// brought up to date. A later change that fails must be undone to the NVRAM as it was just before
// it - the earlier changes of the call kept - which is what a fresh dump before it would give;
// and the call reads the NVRAM whole only once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "power_cut_machine.h"

using namespace powercut;

namespace {

constexpr uint32_t kCodeRestored = 138;

struct TwoChanges {
    const char* name;
    const char* board;
    bool legacy;
    std::string first, second;
    size_t secondFunction = 0;  // the board's function the second change runs on
};

void PrintTo(const TwoChanges& c, std::ostream* os) { *os << c.name; }

const TwoChanges kCases[] = {
    {"e3_two_images", "e3-57810", false, "upgrade -F -mba {$FW/mba_e3.bin} {$ROOT/backup.bin}",
     "upgrade -F -mfw {$FW/mfw_e3.bin} {$ROOT/backup.bin}"},
    // The VPD change has its own backup name; it takes the upgrade's backup over.
    {"e1_image_then_vpd", "e1-57710", false, "upgrade -F -mba {$FW/mba_e1.bin} {$ROOT/backup.bin}",
     "cfg -vpdv0 7.99.1"},
    {"legacy_two_images", "l-5709", true, "upgrade -F -mba {$FW/mba_legacy.bin} {$ROOT/backup.bin}",
     "upgrade -F -bc {$FW/bc_legacy.bin} {$ROOT/backup.bin}"},
    // Functions of one board share one flash: the second function takes the first one's backup
    // over under its own backup name.
    {"e3_two_functions", "e3-57810", false, "upgrade -F -mba {$FW/mba_e3.bin} {$ROOT/backup.bin}",
     "@1 upgrade -F -mfw {$FW/mfw_e3.bin} {$ROOT/backup_p1.bin}", 1},
    {"legacy_two_functions", "l-5709", true, "upgrade -F -mba {$FW/mba_legacy.bin} {$ROOT/backup.bin}",
     "@1 upgrade -F -bc {$FW/bc_legacy.bin} {$ROOT/backup_p1.bin}", 1},
};



// Backup files left in the working folder.
std::vector<std::string> BackupFiles(const Machine& m)
{
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(m.root.path)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("backup", 0) == 0 || name.rfind("NVMCfgDump#_", 0) == 0) out.push_back(name);
    }
    return out;
}

class BackupReuse : public ::testing::TestWithParam<TwoChanges> {};

TEST_P(BackupReuse, OneWholeReadAndAFailedLaterChangeKeepsTheEarlierOne)
{
    const TwoChanges& c = GetParam();
    Machine m(c.board, c.legacy);
    const std::vector<std::string> both{Expand(c.first, m), Expand(c.second, m)};
    const uint64_t nvramSize = m.Nvram().size();
    m.Save("pristine");

    // The first change alone: what a failed second change must leave.
    RunResult r = m.Run({both[0]});
    ASSERT_EQ(r.exitCode, 0) << r.failedLine;
    const auto afterFirst = m.Contents();
    const size_t firstWrites = c.secondFunction == 0 ? m.Writes().size() : 0;
    m.Restore("pristine");

    // Each change in a call of its own: two whole dumps.
    r = m.Run(both);
    ASSERT_EQ(r.exitCode, 0) << r.failedLine;
    const uint64_t readsApart = m.Bytes(kOrdReadNvram, true);
    const auto afterBoth = m.Contents();
    m.Restore("pristine");

    // Both in one call: the same result, the NVRAM read whole once, nothing left on disk.
    r = m.Run(both, {}, true);
    ASSERT_EQ(r.exitCode, 0) << r.failedLine;
    EXPECT_EQ(Complaints(m.Verify()), "");
    EXPECT_TRUE(m.Contents() == afterBoth) << "one call left other contents than two";
    const uint64_t readsTogether = m.Bytes(kOrdReadNvram, true);
    EXPECT_LE(readsTogether + nvramSize * 3 / 4, readsApart)
        << "one call read " << readsTogether << " bytes, two calls " << readsApart;
    EXPECT_EQ(BackupFiles(m), std::vector<std::string>{}) << "the call's end removes its backups";
    const size_t allWrites = m.Writes(kOrdWriteNvram, c.secondFunction).size();
    ASSERT_GT(allWrites, firstWrites);
    m.Restore("pristine");

    // The second change's middle write refused: the kept backup, brought up to date, undoes the
    // second change only.
    sim::FaultRule refuse;
    refuse.ordinal = kOrdWriteNvram;
    refuse.adapter = m.functions.at(c.secondFunction).name;
    refuse.nth = uint32_t(firstWrites + (allWrites - firstWrites) / 2 + 1);
    r = m.Run(both, {refuse}, true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lineCode, kCodeRestored) << r.failedLine;
    EXPECT_EQ(Complaints(m.Verify()), "");
    EXPECT_TRUE(m.Contents() == afterFirst) << "the restore did not give the NVRAM as the first change left it";
    EXPECT_EQ(BackupFiles(m), std::vector<std::string>{});
}

std::string CaseName(const ::testing::TestParamInfo<TwoChanges>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Calls, BackupReuse, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
