// Facade slot 34 on a simulated E3 adapter through the real facade and engine: the active SWIM
// set is the one whose SWIM image carries the version the running firmware publishes in shared
// memory; the text goes out through the engine's debug print.
#include <algorithm>
#include <string>

#include "fwupg/debug_log.h"
#include "platform/debug_channel.h"
#include "real_engine_fixture.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/images.h"

using namespace shelltest;
namespace e1e3 = testkit::e1e3;

namespace {

constexpr uint32_t kShmemBase = 0x10000;

class E3SwimTest : public RealEngineTest {
protected:
    void Run(uint32_t chip, uint32_t running)
    {
        sim::AdapterDef a = sim::make_adapter(yxmapi::kFamily57710, 1, "e3");
        a.vid = 0x14E4, a.did = uint16_t(chip), a.svid = 0x14E4, a.ssid = 0x1234;
        a.chip_id = sim::chip_id(chip, 1, 0);
        a.reg(0xA2B4, kShmemBase).reg(kShmemBase + 8, running);
        Start(a);
        e1e3::NvramDef s;
        s.chip = chip == 0x1662 ? e1e3::Chip::E2 : e1e3::Chip::E3;
        s.size = a.nvram_size();
        e1e3::set_board(s, 0x14E4, uint16_t(chip), 0x14E4, 0x1234, 0x001018AA0000ull, 2);
        for (auto [kind, version] : {std::pair{"SWIM1", "7.10.3.0"}, {"SWIM1B", "7.10.2.0"}}) {
            e1e3::ImageDef im;
            im.kind = kind;
            im.data = testkit::stock_image(kind, version, 0x7FC);
            s.images.push_back(im);
        }
        sim::set_nvram(root.path, adapter.name, e1e3::build(s).nvram);
    }
    // The slot's result and the text it printed.
    std::pair<int, std::string> Show()
    {
        platform::CapturingDebugChannel channel;
        platform::set_debug_channel(&channel);
        fwupg::GetDebugLog().SetChannelEnabled(true);
        const int rc = Slot([](HostOps ops) { return gpIFwUpgKv9->show_active_swim(ops); });
        fwupg::GetDebugLog().SetChannelEnabled(false);
        platform::set_debug_channel(nullptr);
        std::string text;
        for (const std::string& t : channel.texts)
            if (t.find("Active SWIM") != std::string::npos) text += t.substr(t.find("Active SWIM"));
        return {rc, text};
    }
};

TEST_F(E3SwimTest, TheRunningSetIsShown)
{
    Run(0x168E, 0x070A0200);
    EXPECT_EQ(Show(), (std::pair<int, std::string>{0, "Active SWIM              : SWIM1B\n\r\n"}));
}

TEST_F(E3SwimTest, OtherChipsAnswerMinusOne)
{
    Run(0x1662, 0x070A0300);
    EXPECT_EQ(Show(), (std::pair<int, std::string>{-1, ""}));
}

}  // namespace
