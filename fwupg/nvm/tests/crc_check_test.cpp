// The board check and "crc -no_print" on E1-E3 NVRAM whose first sector a power cut erased: both
// fail and read no more than the NVRAM holds; the board check writes nothing, the command only the
// default VPD into a VPD area the cut erased.
#include <gtest/gtest.h>

#include <algorithm>

#include "fwupg/engine_procs.h"
#include "fwupg/nvm/commands/commands.h"
#include "kit_board.h"
#include "testkit/bytes.h"

namespace fwupg::nvm::test {
namespace {

using testkit::Bytes;

struct Erased {
    const char* name;
    uint32_t end;  // bytes 0 .. end-1 are all ones, as an erase leaves them
};

class CrcOnErasedStart : public ::testing::TestWithParam<Erased> {};

TEST_P(CrcOnErasedStart, CheckFailsWithoutWritingOrReadingPastTheNvram)
{
    KitBoard b(kit_board_def());
    std::fill(b.adapter.nvram.begin(), b.adapter.nvram.begin() + GetParam().end, uint8_t(0xFF));
    const Bytes before = b.adapter.nvram;
    b.adapter.reset_counters();
    EXPECT_EQ(common_nvm_board_check(b.adapter.interp()), 1);
    EXPECT_EQ(b.adapter.bytes_written, 0u);
    EXPECT_TRUE(b.adapter.nvram == before);
    EXPECT_LE(b.adapter.largest_read, b.adapter.nvram.size()) << "a read sized by an erased word";

    take_debug_text();
    EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc -no_print"), TCL_ERROR);
    EXPECT_EQ(b.result(), "\nCRC Mismatch found!!!\n");
    EXPECT_LE(b.adapter.largest_read, b.adapter.nvram.size());
    const uint32_t vpd = kit::layout::kVpd, vpdEnd = vpd + kit::layout::kVpdLen;
    for (size_t at = 0; at < before.size(); ++at)
        if (at < vpd || at >= vpdEnd) {
            ASSERT_EQ(b.adapter.nvram[at], before[at]) << "byte " << at;
        }
    const bool vpdErased = GetParam().end >= vpdEnd;
    EXPECT_EQ(b.adapter.bytes_written, vpdErased ? kit::layout::kVpdLen : 0u) << "the default VPD only";
}

INSTANTIATE_TEST_SUITE_P(Cuts, CrcOnErasedStart,
                         ::testing::Values(Erased{"BootstrapAndDirectory", 0x540}, Erased{"FirstSector", 0x640}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fwupg::nvm::test
