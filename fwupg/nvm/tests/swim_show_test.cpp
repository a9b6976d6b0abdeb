// The active SWIM set (facade slot 34's engine procedure) on a test-kit E3 board: the set whose
// SWIM image carries the running management firmware's version.
#include <gtest/gtest.h>

#include "fwupg/engine_procs.h"
#include "nvm_fixture.h"

namespace {

using namespace fwupg::nvm::test;

TEST(ActiveSwim, ShowsTheSetOfTheRunningFirmware)
{
    auto s = board_def(kit::Chip::E3);
    s.images.push_back(image_def("SWIM1", testkit::stock_image("SWIM1", "7.10.3.0", 0x7FC)));
    s.images.push_back(image_def("SWIM1B", testkit::stock_image("SWIM1B", "7.10.2.0", 0x7FC)));
    const struct {
        uint32_t running;  // the version word the firmware publishes in shared memory
        const char* text;
    } cases[] = {
        {0x070A0300, "Active SWIM              : SWIM1\n"},
        {0x070A0200, "Active SWIM              : SWIM1B\n"},
        {0x01020304, ""},  // neither set: nothing to name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.running);
        Board b(s);
        b.a().regs[0xA2B4] = 0x10000;  // shared-memory base
        b.a().regs[0x10008] = c.running;
        take_debug_text();
        EXPECT_EQ(show_active_swim(b.a().ops()), 0);
        EXPECT_EQ(take_debug_text(), c.text);
    }
}

TEST(ActiveSwim, OtherChipsAreRefused)
{
    Board b(board_def(kit::Chip::E2));
    take_debug_text();
    EXPECT_EQ(show_active_swim(b.a().ops()), -1);
    EXPECT_EQ(take_debug_text(), "");
}

}  // namespace
