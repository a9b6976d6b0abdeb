// The weak "not built yet" engine procedures of the frame, linked here without any engine: the
// presence questions fail with their slot's code like every other stand-in, where an answer of 0
// would read as "the adapter has no such image".
#include <gtest/gtest.h>

#include "fwupg/engine_procs.h"

namespace {

uint32_t g_lastError = 0;
void RecordError(uint32_t code) { g_lastError = code; }

TEST(EngineNotBuilt, PresenceQuestionsFailWithTheirSlotsCode)
{
    const struct {
        int (*ask)(HostOps);
        uint32_t slot;
    } cases[] = {
        {toe_nvm_ump_present, 35},    {toe_nvm_ipmi_present, 36},    {toe_nvm_ncsi_present, 37},
        {toe_nvm_mba_present, 38},    {common_nvm_ump_present, 39},  {common_nvm_ipmi_present, 40},
        {common_nvm_ncsi_present, 41}, {common_nvm_mba_present, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("slot " + std::to_string(c.slot));
        HostOps ops{};
        ops.setLastError = RecordError;
        g_lastError = 0;
        EXPECT_EQ(c.ask(ops), -1);
        EXPECT_EQ(g_lastError, kEngineNotBuiltBase + c.slot);
    }
}

}  // namespace
