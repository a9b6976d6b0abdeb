// Power cuts on the update paths of the shell: single images and MFW bundles with the front end's
// NVRAM backup, the restore of that backup after a failed upgrade, whole-NVRAM programming,
// configuration and VPD changes, on E1-E3, E4 and legacy boards of the test kit's demo machine.
// Each path is run once without faults to find its NVRAM writes; then, on a fresh copy of the
// board, the k-th write is struck:
//   Between  - the power goes before the write's first byte (the process ends there);
//   Inside   - the power goes half way through the write (the process ends there);
//   Refused  - the write stores half its bytes and fails, and the run carries on;
//   Erase    - as Inside, on flash that erases 4 KiB sectors before programming them: the rest of
//              the struck sector reads 0xFF, whatever other records it held.
// No struck run may report success; with power back every function's NVRAM must pass the kit's
// verifier (a cut inside a write may leave the record it was writing invalid, an erasing cut the
// rest of its sector; such cuts print the first complaint), and running the path's repair lines
// again must succeed and leave the board holding what a fault-free repair run leaves. After an
// erasing cut on an E1-E3 or legacy board that repair comes from the backup the struck run left on
// disk, which the repair run programs back first; no erasing cut may leave a board beyond repair.
//
// By default the first, middle and last write of each path are struck; with
// FWUPG_POWER_CUT_EVERY=1 every write is. Each cut prints one "power-cut:" line, which
// bench/power_cut_figures.sh sums up.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "power_cut_machine.h"
#include "sim/power_cut.h"
#include "testkit/e4_images.h"
#include "testkit/e4_nvram.h"
#include "testkit/images.h"

using namespace powercut;

namespace {

namespace e4 = testkit::e4;

using sim::Cut;
using sim::CutName;

// An update path: the lines that write, run as one session; "$FW" stands for the demo's firmware
// folder and "$ROOT" for the system root (the working folder).
struct UpdatePath {
    const char* name;
    const char* board;  // the board's name in the demo machine
    bool legacy;        // a board of "fwgen demo --legacy"
    std::vector<std::string> lines;
    // What a user runs again after the power is back (the same lines, forced where a repeated
    // version would be refused).
    std::vector<std::string> repair;
    // Lines run without faults on the fresh board whose NVRAM is then kept as $ROOT/image.bin
    // (a whole-NVRAM image to program back); the board is put back afterwards.
    std::vector<std::string> prepare = {};
    // The middle write of the lines is refused, so that the front end restores its backup; the
    // cuts then strike the writes of the restore.
    bool restoreAfterRefusal = false;
    // The path programs a whole NVRAM image in place (a "_prg" of a file, the restore of a
    // backup): until its last write the NVRAM holds part of the old contents and part of the new,
    // so a cut anywhere may leave any record invalid; only the repair is required.
    bool wholeImage = false;
    // The ordinal of the writes struck: NVRAM writes, or the PHY firmware write (a PHY commits
    // only a whole image, so a cut or refused PHY write must leave the board as it was).
    uint32_t ordinal = kOrdWriteNvram;
};

void PrintTo(const UpdatePath& p, std::ostream* os) { *os << p.name; }

const char* const kBackup = "{$ROOT/backup.bin}";

std::vector<std::string> Lines(std::initializer_list<std::string> lines) { return lines; }

const UpdatePath kPaths[] = {
    {"e1-upgrade-mba", "e1-57710", false, Lines({"upgrade -mba {$FW/mba_e1.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mba {$FW/mba_e1.bin} " + std::string(kBackup)})},
    {"e1-cfg", "e1-57710", false, {"cfg 16=3"}, {"cfg 16=3"}},
    {"e1-vpd", "e1-57710", false, {"cfg -vpdv0 7.12.4"}, {"cfg -vpdv0 7.12.4"}},
    {"e2-upgrade-mfw", "e2-57712", false, Lines({"upgrade -mfw {$FW/mfw_e3.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mfw {$FW/mfw_e3.bin} " + std::string(kBackup)})},
    {"e2-restore", "e2-57712", false, Lines({"upgrade -mba {$FW/mba_e3.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mba {$FW/mba_e3.bin} " + std::string(kBackup)}), {}, true, true},
    {"e2-cfg", "e2-57712", false, {"cfg 16=3"}, {"cfg 16=3"}},
    {"e2-vpd", "e2-57712", false, {"cfg -vpdv0 7.12.4"}, {"cfg -vpdv0 7.12.4"}},
    {"e3-upgrade-mba", "e3-57810", false, Lines({"upgrade -mba {$FW/mba_e3.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mba {$FW/mba_e3.bin} " + std::string(kBackup)})},
    {"e3-upgrade-mfw", "e3-57810", false, Lines({"upgrade -mfw {$FW/mfw_e3.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mfw {$FW/mfw_e3.bin} " + std::string(kBackup)})},
    // The converged board's MBI package: every image of the package, its version and date, in one line.
    {"e3c-mbi", "e3-57810c", false, Lines({"upgrade -mbi {$FW/mbi_e3c.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mbi {$FW/mbi_e3c.bin} " + std::string(kBackup)})},
    {"e3-prg", "e3-57810", false, {"_prg 0 {$ROOT/image.bin}"}, {"_prg 0 {$ROOT/image.bin}"},
     Lines({"upgrade -mba {$FW/mba_e3.bin} " + std::string(kBackup)}), false, true},
    {"e3-cfg", "e3-57810", false, {"cfg 16=3"}, {"cfg 16=3"}},
    {"e3-vpd", "e3-57810", false, {"cfg -vpdv0 7.12.4"}, {"cfg -vpdv0 7.12.4"}},
    {"e4-tim1", "e4-57980s", false, {"_upgrade -tim1 {$ROOT/tim1.bin}"}, {"_upgrade -F -tim1 {$ROOT/tim1.bin}"}},
    {"e4-cfg", "e4-57980s", false, {"cfg 117=0x3"}, {"cfg 117=0x3"}},
    {"e4-vpd", "e4-57980s", false, {"cfg -vpdv0 8.12.3"}, {"cfg -vpdv0 8.12.3"}},
    {"legacy-upgrade-mba", "l-5709", true, Lines({"upgrade -mba {$FW/mba_legacy.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mba {$FW/mba_legacy.bin} " + std::string(kBackup)})},
    {"legacy-restore", "l-5709", true, Lines({"upgrade -mba {$FW/mba_legacy.bin} " + std::string(kBackup)}),
     Lines({"upgrade -F -mba {$FW/mba_legacy.bin} " + std::string(kBackup)}), {}, true, true},
    {"legacy-vpd", "l-5709", true, {"cfg -vpdv0 7.12.4"}, {"cfg -vpdv0 7.12.4"}},
    {"legacy-prg", "l-5709", true, {"_prg 0 {$ROOT/image.bin}"}, {"_prg 0 {$ROOT/image.bin}"},
     Lines({"upgrade -mba {$FW/mba_legacy.bin} " + std::string(kBackup)}), false, true},
};

// The PHY firmware write of the demo's E3 board (its external PHY and the folder's image for it).
const UpdatePath kPhyPaths[] = {
    {"e3-phy", "e3-57810", false, {"phy -upg {$FW/phy_e3.bin}"}, {"phy -upg {$FW/phy_e3.bin}"}, {}, false, false,
     kOrdWritePhy},
};


std::vector<std::string> Expand(const std::vector<std::string>& lines, const Machine& m)
{
    std::vector<std::string> out;
    for (const std::string& l : lines) out.push_back(powercut::Expand(l, m));
    return out;
}

std::string Show(const RunResult& r)
{
    return "exit " + std::to_string(r.exitCode) + (r.failedLine.empty() ? "" : ", code " + std::to_string(r.lineCode) +
                                                                                   " from \"" + r.failedLine + "\"");
}


// The records whose bytes differ between two boards' contents, by name.
std::string Differences(const std::map<std::string, testkit::Bytes>& now,
                        const std::map<std::string, testkit::Bytes>& wanted)
{
    std::string out;
    for (const auto& [name, bytes] : now) {
        auto other = wanted.find(name);
        if (other == wanted.end()) out += name + " (not wanted) ";
        else if (other->second != bytes) out += name + " ";
    }
    for (const auto& [name, bytes] : wanted)
        if (!now.count(name)) out += name + " (missing) ";
    return out;
}

// Whether every complaint is about a record the NVRAM holds once (the directory, the bootstrap
// record, a configuration or feature block - HW_INFO and FEAT_INFO on legacy boards - E4's
// NVM_CFG1): only these may be left invalid by a cut inside their own write.
bool OnlySingleCopyRecords(const Verdicts& v)
{
    static const char* const kSingleCopy[] = {"directory CRC", "configuration CRC", "feature CRC", "bootstrap",
                                              "NVM_CFG1", "HW_INFO CRC", "FEAT_INFO CRC"};
    for (const auto& [name, complaint] : v) {
        std::istringstream lines(complaint);
        for (std::string line; std::getline(lines, line);) {
            bool known = false;
            for (const char* record : kSingleCopy) known |= strcasestr(line.c_str(), record) != nullptr;
            if (!known) return false;
        }
    }
    return true;
}

class PowerCut : public ::testing::TestWithParam<std::tuple<UpdatePath, Cut>> {
protected:
    // Makes the board, its files and its reference states; returns the writes that may be struck.
    std::vector<Write> Prepare(const UpdatePath& p)
    {
        machine = std::make_unique<Machine>(p.board, p.legacy);
        Machine& m = *machine;
        lines = Expand(p.lines, m);
        repair = Expand(p.repair, m);
        if (m.target.family == yxmapi::kFamilyE4)
            testkit::write_file(m.root.file("tim1.bin"), e4::stock_image(e4::type::TIM1, "8.12.3.0"));
        m.Save("pristine");
        if (!p.prepare.empty()) {
            const RunResult r = m.Run(Expand(p.prepare, m));
            EXPECT_EQ(r.exitCode, 0) << "preparing: " << Show(r);
            testkit::write_file(m.root.file("image.bin"), m.Nvram());
            m.Restore("pristine");
        }

        // What a fault-free repair leaves.
        RunResult r = m.Run(repair);
        EXPECT_EQ(r.exitCode, 0) << "the repair lines without faults: " << Show(r);
        EXPECT_EQ(Complaints(m.Verify()), "");
        expected = m.Contents();
        m.Restore("pristine");

        // The path's own writes.
        r = m.Run(lines);
        EXPECT_EQ(r.exitCode, 0) << "the path without faults: " << Show(r);
        std::vector<Write> writes = m.Writes(p.ordinal);
        m.Restore("pristine");
        if (!p.restoreAfterRefusal || writes.empty()) return writes;

        // The middle write refused: the writes after it are the restore's.
        sim::FaultRule refuse;
        refuse.ordinal = kOrdWriteNvram;
        refuse.adapter = m.target.name;
        refuse.nth = uint32_t(writes.size() / 2 + 1);
        base = {refuse};
        const auto pristine = m.Contents();
        r = m.Run(lines, base);
        EXPECT_EQ(r.exitCode, 1) << "the refused write did not fail the path: " << Show(r);
        EXPECT_EQ(Complaints(m.Verify()), "") << "after the restore";
        EXPECT_EQ(Differences(m.Contents(), pristine), "") << "the restore did not bring the board back";
        writes = m.Writes();
        writes.erase(writes.begin(), writes.begin() + refuse.nth);
        m.Restore("pristine");
        return writes;
    }

    // Strikes `w`, powers the board back and repairs it.
    void Strike(const UpdatePath& p, Cut cut, const Write& w, uint32_t total)
    {
        Machine& m = *machine;
        sim::FaultRule rule;
        rule.ordinal = p.ordinal;
        rule.adapter = m.target.name;
        rule.nth = w.nth;
        sim::SetCut(rule, cut, (w.bytes / 2) & ~3u);
        std::vector<sim::FaultRule> faults = base;
        faults.push_back(rule);

        SCOPED_TRACE(std::string(p.name) + " " + CutName(cut) + " write " + std::to_string(w.nth));
        const auto beforeRun = m.Contents();
        const RunResult r = m.Run(lines, faults);
        const bool falseSuccess = r.exitCode == 0;
        EXPECT_FALSE(falseSuccess) << "a struck run reported success";
        if (cut == Cut::Refused) {
            EXPECT_EQ(r.exitCode, 1) << Show(r);
        } else {
            EXPECT_EQ(r.exitCode, kPowerLossExit) << "the cut write was not reached: " << Show(r);
        }

        const Verdicts afterCut = m.Verify();
        // One word, so that every field of the printed line is key=value.
        std::string complaint = FirstComplaint(afterCut);
        for (char& c : complaint)
            if (c == ' ' || c == '=') c = '_';
        if (p.ordinal == kOrdWritePhy) {
            EXPECT_EQ(Differences(m.Contents(), beforeRun), "") << "the PHY took part of an image";
        }
        if (p.wholeImage || cut == Cut::Erase) {
            // Counted and named only: see UpdatePath::wholeImage; an erasing cut takes the rest
            // of its sector, which may hold other records than the one written.
        } else if (cut == Cut::Inside) {
            EXPECT_TRUE(OnlySingleCopyRecords(afterCut)) << Complaints(afterCut);
        } else {
            EXPECT_EQ(Complaints(afterCut), "") << "after the " << CutName(cut) << " cut";
        }

        // The front end's backup of the struck run, left on disk when the power went before the
        // run could remove it: the repair run programs it back first where the NVRAM fails its
        // check.
        bool leftover = false;
        for (const auto& entry : std::filesystem::directory_iterator(m.root.path)) {
            const std::string name = entry.path().filename().string();
            leftover |= name == "backup.bin" || (name.rfind("NVMCfgDump#_", 0) == 0 && name.size() > 4 &&
                                                 name.compare(name.size() - 4, 4, ".BIN") == 0);
        }

        const RunResult again = m.Run(repair);
        const std::string afterRepair = Complaints(m.Verify());
        const std::string differences = Differences(m.Contents(), expected);
        const bool repaired = again.exitCode == 0 && afterRepair.empty() && differences.empty();
        EXPECT_EQ(again.exitCode, 0) << "the repair run: " << Show(again);
        EXPECT_EQ(afterRepair, "") << "after the repair run";
        EXPECT_EQ(differences, "") << "the repair run left other contents than a fault-free one";
        const std::string fromBackup = leftover ? " leftover_backup=1" : "";

        std::printf("power-cut: path=%s board=%s cut=%s write=%u/%u offset=0x%X bytes=%u false_success=%d "
                    "invalid=%d repaired=%d%s%s%s\n",
                    p.name, m.target.name.c_str(), CutName(cut), w.nth, total, w.offset, w.bytes, falseSuccess,
                    !complaint.empty(), repaired, fromBackup.c_str(), complaint.empty() ? "" : " record=",
                    complaint.c_str());
        std::fflush(stdout);
        m.Restore("pristine");
    }

    std::unique_ptr<Machine> machine;
    std::vector<std::string> lines, repair;
    std::vector<sim::FaultRule> base;
    std::map<std::string, testkit::Bytes> expected;
};

TEST_P(PowerCut, NeverReportsSuccessAndARepeatedRunRepairs)
{
    const auto& [path, cut] = GetParam();
    const std::vector<Write> writes = Prepare(path);
    if (HasFailure()) return;
    ASSERT_FALSE(writes.empty()) << path.name << " wrote nothing";
    const char* every = std::getenv("FWUPG_POWER_CUT_EVERY");
    std::set<size_t> picks;
    if (every && std::string(every) == "1") {
        for (size_t i = 0; i < writes.size(); ++i) picks.insert(i);
    } else {
        picks = {0, writes.size() / 2, writes.size() - 1};
    }
    for (size_t i : picks) Strike(path, cut, writes[i], writes.back().nth);
}

std::string TestName(const ::testing::TestParamInfo<PowerCut::ParamType>& info)
{
    std::string name = std::string(std::get<0>(info.param).name) + "_" + CutName(std::get<1>(info.param));
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Paths, PowerCut,
                         ::testing::Combine(::testing::ValuesIn(kPaths),
                                            ::testing::Values(Cut::Between, Cut::Inside, Cut::Refused, Cut::Erase)),
                         TestName);
INSTANTIATE_TEST_SUITE_P(Phy, PowerCut,
                         ::testing::Combine(::testing::ValuesIn(kPhyPaths),
                                            ::testing::Values(Cut::Between, Cut::Inside, Cut::Refused)),
                         TestName);

}  // namespace
