// Whole-NVRAM programming of a user's file keeps the board's own MAC address words, even when the
// power goes inside a write on flash that erases its 4 KiB sector first and the erase takes the
// sector that holds them. The file carries other MAC words than the board (a file made on another
// board), so a kept address can only come from the board as it was before the first write: the
// run after the cut programs back the backup the struck run left and then programs the file with
// the addresses read from it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "power_cut_machine.h"
#include "sim/power_cut.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/legacy_image.h"

using namespace powercut;

namespace {

namespace e1e3 = testkit::e1e3;
namespace legacy = testkit::legacy;

using sim::kEraseSector;

// One MAC address: two words (high half first), 8 bytes at `offset`.
struct MacWords {
    uint32_t offset;
};

struct IdentityCase {
    const char* name;
    const char* board;
    bool legacy;
    std::string prepare;  // the change whose result becomes the user's file
    std::vector<MacWords> macs;  // function 0's primary MAC and its backup copy
    // Makes the region holding the MAC words verify again after they were changed.
    std::function<void(testkit::Bytes&)> reseal;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

const IdentityCase kCases[] = {
    {"e3", "e3-57810", false, "upgrade -mba {$FW/mba_e3.bin} {$ROOT/backup.bin}",
     {{e1e3::layout::port_part(0, 0) + 16}, {e1e3::layout::port_part(0, 0) + 392}},
     [](testkit::Bytes& n) { e1e3::fix_crc(n, e1e3::layout::cfg(0), e1e3::layout::kCfgLen); }},
    {"legacy", "l-5709", true, "upgrade -mba {$FW/mba_legacy.bin} {$ROOT/backup.bin}",
     {{0x134}, {0x164}},
     [](testkit::Bytes& n) { legacy::seal(n, legacy::HW_INFO, 0xFC); }},
};

testkit::Bytes MacBytes(const testkit::Bytes& nvram, const std::vector<MacWords>& macs)
{
    testkit::Bytes out;
    for (const MacWords& m : macs) out.insert(out.end(), nvram.begin() + m.offset, nvram.begin() + m.offset + 8);
    return out;
}

class PrgIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(PrgIdentity, SurvivesAnErasingCutInTheirSector)
{
    const IdentityCase& c = GetParam();
    Machine m(c.board, c.legacy);
    m.Save("pristine");
    const testkit::Bytes boardMacs = MacBytes(m.Nvram(), c.macs);

    // The user's file: the board's contents after a change, with the last byte of each MAC flipped.
    ASSERT_EQ(m.Run({Expand(c.prepare, m)}).exitCode, 0);
    testkit::Bytes file = m.Nvram();
    m.Restore("pristine");
    for (const MacWords& mac : c.macs) file[mac.offset + 7] ^= 0x5A;
    c.reseal(file);
    ASSERT_NE(MacBytes(file, c.macs), boardMacs);
    testkit::write_file(m.root.file("image.bin"), file);
    const std::vector<std::string> prg{Expand("_prg 0 {$ROOT/image.bin}", m)};

    // Without faults: the file's contents with the board's addresses.
    RunResult r = m.Run(prg);
    ASSERT_EQ(r.exitCode, 0) << r.failedLine;
    EXPECT_EQ(MacBytes(m.Nvram(), c.macs), boardMacs);
    const auto expected = m.Contents();
    const std::vector<Write> writes = m.Writes();
    m.Restore("pristine");

    // The first write in the MAC words' sector that begins before them: cut half way, its erase
    // takes the rest of the sector and with it the addresses.
    const uint32_t firstMac = c.macs.front().offset;
    const Write* struck = nullptr;
    for (const Write& w : writes)
        if (!struck && w.offset / kEraseSector == firstMac / kEraseSector && w.offset + (w.bytes / 2 & ~3u) <= firstMac)
            struck = &w;
    ASSERT_NE(struck, nullptr) << "no write before the MAC words in their sector";
    sim::FaultRule cut;
    cut.ordinal = kOrdWriteNvram;
    cut.adapter = m.target.name;
    cut.nth = struck->nth;
    cut.cut_after = (struck->bytes / 2) & ~3u;
    cut.exit_after_cut = true;
    cut.erase_sector = kEraseSector;
    r = m.Run(prg, {cut});
    ASSERT_EQ(r.exitCode, kPowerLossExit) << r.failedLine;
    ASSERT_EQ(MacBytes(m.Nvram(), c.macs), testkit::Bytes(8 * c.macs.size(), 0xFF)) << "the cut left the addresses";

    // The same line run again repairs the board and keeps its addresses.
    r = m.Run(prg);
    ASSERT_EQ(r.exitCode, 0) << r.failedLine << " code " << r.lineCode;
    EXPECT_EQ(Complaints(m.Verify()), "");
    EXPECT_EQ(MacBytes(m.Nvram(), c.macs), boardMacs);
    EXPECT_TRUE(m.Contents() == expected) << "the repaired board differs from a fault-free run's";
}

INSTANTIATE_TEST_SUITE_P(Boards, PrgIdentity, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<IdentityCase>& info) { return info.param.name; });

}  // namespace
