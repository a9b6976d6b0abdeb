// "crc -no_print" as a check on E1-E3 NVRAM whose first sector a power cut erased: it fails, writes
// nothing (the blank VPD copy is left as it is), and reads no more than the NVRAM holds.
#include <gtest/gtest.h>

#include <algorithm>

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
    take_debug_text();
    EXPECT_EQ(b.run(tcl_al_nvm_crc_cmd, "crc -no_print"), TCL_ERROR);
    EXPECT_EQ(b.result(), "\nCRC Mismatch found!!!\n");
    EXPECT_EQ(b.adapter.bytes_written, 0u);
    EXPECT_TRUE(b.adapter.writes.empty());
    EXPECT_TRUE(b.adapter.nvram == before);
    EXPECT_LE(b.adapter.largest_read, b.adapter.nvram.size()) << "a read sized by an erased word";
}

INSTANTIATE_TEST_SUITE_P(Cuts, CrcOnErasedStart,
                         ::testing::Values(Erased{"BootstrapAndDirectory", 0x540}, Erased{"FirstSector", 0x640}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fwupg::nvm::test
