// Command lines on a simulated E4 adapter through the shell, the real facade and the real engine:
// the management library's firmware channel installs what the engine writes at offset 0, a reset
// starts the bank a bundle went into, and the test kit's E4 verifier checks the NVRAM after every
// write.
#include <cstdio>
#include <cstring>
#include <string>

#include "fwupg/command_exec.h"
#include "fwupg/fwupg_kv9.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"
#include "shell_fixture.h"
#include "testkit/e4_describe.h"
#include "testkit/e4_images.h"
#include "testkit/e4_reader.h"

using namespace shelltest;
namespace e4 = testkit::e4;
using testkit::Bytes;

namespace {

class E4AdapterTest : public ShellTest {
protected:
    void SetUp() override
    {
        sim::AdapterSpec desc = sim::make_adapter(yxmapi::kFamilyE4, 1, "e4");
        desc.vid = 0x1077;
        desc.did = 0x1634;
        desc.svid = 0x1077;
        desc.ssid = 0xE4F1;
        desc.chip_id = sim::chip_id_e4(0x1634, 1, 0);
        desc.flash_word = 0x40000;
        desc.active_bundle = 0;
        Start(desc);
        sim::set_nvram(root.path, adapter.name, e4::build(e4::stock_nvram({})).nvram);  // MFW 8.10.5.0
    }

    // Runs one command line as a builder would (claim, ::toe, the line, "q"); returns its code.
    uint32_t Line(const std::string& line)
    {
        std::memset(g_CommandBuffer, 0, sizeof g_CommandBuffer);
        std::snprintf(g_CommandBuffer, sizeof g_CommandBuffer, "%s", line.c_str());
        g_uUpgRetCode = 0;
        ProcessCommand();
        return g_uUpgRetCode;
    }
    std::string File(const char* name, const Bytes& bytes)
    {
        const std::string path = root.file(name);
        testkit::write_file(path, bytes);
        return "{" + path + "}";
    }
    Bytes Nvram() const { return sim::read_nvram(root.path, adapter.name); }
    void ExpectValid() const
    {
        const e4::Report r = e4::verify(Nvram());
        EXPECT_TRUE(r.ok()) << r.text();
    }
    std::string Version(uint32_t type) const
    {
        auto image = e4::find_image(Nvram(), type);
        return image ? image->version : "(absent)";
    }
    std::string RunningMfw() const
    {
        yxmapi::MfwInfo info;
        info.prepare(yxmapi::kMfwInfoVersion);
        EXPECT_EQ(fwupg::yx::GetMfwInfo(adapter.api_handle, &info), 0u);
        return std::string(info.get(yxmapi::mfw::kVersion));
    }

    FacadeSwap realEngine{GetFwUpgKv9Instance()};
};

constexpr uint32_t kOk = 0, kRebootPending = 95;
// Once a line of the session wrote NVRAM, every later good line ends "reboot pending".
bool Good(uint32_t code) { return code == kOk || code == kRebootPending; }

TEST_F(E4AdapterTest, BundleGoesIntoTheIdleBankAndRunsAfterAReset)
{
    const std::string bundle = File("mfw.bin", e4::bundle(e4::mfw_bundle_items("8.12.3.0", 0)));
    EXPECT_EQ(Line("_upgrade -mfw " + bundle), kRebootPending);
    ExpectValid();
    EXPECT_EQ(Version(e4::type::TIM2), "TIM 8.12.3.0");
    EXPECT_EQ(Version(e4::type::TIM1), "TIM 8.10.5.0");
    EXPECT_EQ(e4::directory(Nvram())->next_bank(), 1u);
    EXPECT_EQ(RunningMfw(), "8.10.5.0");  // pending until the reset

    ASSERT_EQ(fwupg::yx::Reset(adapter.api_handle), 0u);
    EXPECT_EQ(RunningMfw(), "8.12.3.0");
    ExpectValid();
}

// An image of the version the adapter holds is refused without -F and goes in with it; a file
// with a version-2 header goes in (the engine sends it as version 3); each write leaves valid
// NVRAM.
TEST_F(E4AdapterTest, SingleImagesWithTheirVersionChecksAndHeaders)
{
    const std::string same = File("tim.bin", e4::stock_image(e4::type::TIM1, "8.10.5.0"));
    const Bytes before = Nvram();
    EXPECT_FALSE(Good(Line("_upgrade -tim1 " + same)));
    EXPECT_EQ(Nvram(), before);
    EXPECT_EQ(Line("_upgrade -F -tim1 " + same), kRebootPending);
    ExpectValid();

    const Bytes lim = e4::stock_image(e4::type::LIM, "8.12.3.0");
    const std::string v2 = File("lim.bin", e4::headed_image(e4::HeaderSpec(e4::type::LIM, 2), lim));
    EXPECT_EQ(Line("_upgrade -lim " + v2), kRebootPending);
    ExpectValid();
    EXPECT_EQ(Version(e4::type::LIM), "LIM 8.12.3.0");
}

// A damaged image CRC: the check fails, "-fix" writes the computed value back in place (a raw
// write, not the firmware channel), and the NVRAM verifies again; a dump reads it whole.
TEST_F(E4AdapterTest, CrcCheckFixAndDump)
{
    Bytes nv = Nvram();
    const auto tim = e4::find_image(nv, e4::type::TIM1);
    ASSERT_TRUE(tim);

    EXPECT_EQ(Line("_crc -no_print"), kOk) << "before the damage";
    nv[tim->entry.offset + tim->entry.length - 1] ^= 0xFF;
    sim::set_nvram(root.path, adapter.name, nv);
    ASSERT_FALSE(e4::verify(Nvram()).ok());
    EXPECT_FALSE(Good(Line("_crc -no_print")));
    EXPECT_EQ(Line("_crc -fix TIM1"), kRebootPending);  // it wrote NVRAM
    ExpectValid();
    EXPECT_TRUE(Good(Line("_crc -no_print")));
    nv = Nvram();

    const std::string dump = root.file("dump.bin");
    EXPECT_TRUE(Good(Line("_dump {" + dump + "}")));
    const Bytes got = testkit::read_file(dump);
    ASSERT_EQ(got.size(), nv.size());
    for (size_t i = 0; i < got.size(); i += 4)
        ASSERT_TRUE(got[i] == nv[i + 3] && got[i + 1] == nv[i + 2] && got[i + 2] == nv[i + 1] && got[i + 3] == nv[i]) << i;
}

}  // namespace
