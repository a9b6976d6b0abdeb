// Command lines on a simulated E4 adapter through the shell, the real facade and the real engine:
// the management library's firmware channel installs what the engine writes at offset 0, a reset
// starts the bank a bundle went into, and the test kit's E4 verifier checks the NVRAM after every
// write.
#include <cstdio>
#include <string>

#include "real_engine_fixture.h"

using namespace shelltest;

namespace {

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
    const std::string v2 = File("lim.bin", e4::headed_image(e4::HeaderDef(e4::type::LIM, 2), lim));
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
