// "upgrade -ib" on a simulated E3 adapter whose NVRAM already holds iSCSI boot-configuration
// blocks: the kept blocks end converted to the IP mode of the new boot image, rows without a
// block get the file's block, and the NVRAM verifies with the test kit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "platform/testing/temp_root.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"
#include "testkit/iscsi_cfg.h"

namespace {

using fwupg::nvm::test::FakeAdapter;
using testkit::Bytes;
using testkit::IscsiBootCfg;
namespace e1e3 = testkit::e1e3;

constexpr uint32_t kIpv4 = 0x0800, kIpv6 = 0x86DD, kIpv4And6 = 0xC0B0, kNoMode = 0x0000;
constexpr uint32_t kIpv6Flag = 0x100;
constexpr uint32_t kIscsiV1ProgBytes = 1020;

// The settings of the configuration a user made on the adapter, as IPv6 where asked.
IscsiBootCfg user_settings(bool ipv6)
{
    IscsiBootCfg c = testkit::iscsi_sample_settings();
    if (ipv6) {
        c.flags |= kIpv6Flag;
        c.address[0] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0a};
        c.target[0].address = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x14};
    }
    return c;
}

// The block that ships in the image file: defaults only.
IscsiBootCfg file_settings()
{
    IscsiBootCfg c;
    c.head_text = "default";
    c.target[0].word2 = 3260;
    return c;
}

IscsiBootCfg with_flags(IscsiBootCfg c, uint32_t flags)
{
    c.flags = flags;
    return c;
}

struct Block {
    int layout;
    IscsiBootCfg cfg;
};

// A two-port E3 board of the quad FCoE list (SVID 0x103C, SSID 0x22FA), so the boot configuration
// spreads over I_B_CFG and I_B_CFG2 (directory) and I_B_CFG3 and I_B_CFG4 (extended directory).
// `kept` is placed in I_B_CFG and I_B_CFG3; `raw_kept` replaces it with raw bytes.
// `boot_ip_mode` places an iSCSI boot image with that IP-mode word.
Bytes board_nvram(const std::optional<Block>& kept, const std::optional<Bytes>& raw_kept = std::nullopt,
                  std::optional<uint32_t> boot_ip_mode = std::nullopt)
{
    e1e3::NvramDef desc;
    desc.chip = e1e3::Chip::E3;
    e1e3::set_board(desc, 0x14E4, 0x168E, 0x103C, 0x22FA, 0x001018000000ull, 2);
    desc.images.push_back({"BC1", testkit::stock_image("BC1", "7.10.1"), {}, {}, 0});
    desc.images.push_back({"MFW1", testkit::stock_image("MFW1", "7.10.1"), {}, {}, 0});
    desc.images.push_back({"MFW2", testkit::stock_image("MFW2", "7.10.1"), {}, {}, 0});
    if (boot_ip_mode) {
        Bytes boot = testkit::stock_image("ISCSI_B", "7.10.1");
        testkit::set_le32(boot, 12, *boot_ip_mode);
        desc.images.push_back({"ISCSI_B", boot, {}, {}, 0});
    }
    if (kept || raw_kept) {
        const Bytes data = raw_kept ? *raw_kept : testkit::iscsi_boot_cfg_block(kept->cfg, kept->layout);
        desc.images.push_back({"I_B_CFG", data, {}, {}, 0});
        desc.images.push_back({"I_B_CFG3", data, {}, {}, 0});
    }
    return e1e3::build(desc).nvram;
}

class BootCfgPrepareTest : public ::testing::Test {
protected:
    void make(const Bytes& nvram)
    {
        adapter_ = std::make_unique<FakeAdapter>(nvram);
        adapter_->set_device_id(0x168E);
        adapter_->set_toe("VID", std::to_string(0x14E4));
        adapter_->set_toe("DID", std::to_string(0x168E));
        adapter_->set_toe("SVID", std::to_string(0x103C));
        adapter_->set_toe("SSID", std::to_string(0x22FA));
        adapter_->set_toe("CHIP_REV", "B0");
    }

    // An iSCSI image file: the boot image with its IP-mode word (none without a mode), then the
    // configuration block.
    std::string iscsi_file(std::optional<uint32_t> ip_mode, const IscsiBootCfg& shipped = file_settings())
    {
        std::vector<testkit::WrappedRecord> records;
        if (ip_mode) {
            records.push_back(testkit::stock_record("ISCSI_B", "7.12.3"));
            testkit::set_le32(records.back().data, 12, *ip_mode);
        }
        testkit::WrappedRecord cfg = testkit::stock_record("I_B_CFG", "1.0.0");
        cfg.data = testkit::iscsi_boot_cfg_block(shipped, 2);
        records.push_back(cfg);
        const std::string path = (dir_ / "iscsi.bin").string();
        const Bytes bytes = testkit::wrapped_file(records);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }

    int upgrade(const std::vector<std::string>& words)
    {
        const int r = adapter_->run_command(tcl_al_nvm_upgrade_cmd, "upgrade", words);
        result_ = Tcl_GetStringResult(adapter_->interp());
        return r;
    }

    // The block a row holds now, as the kit reads it.
    std::optional<testkit::IscsiBlockRead> row_block(const std::string& row) const
    {
        const auto img = e1e3::find_image(adapter_->nvram, row);
        if (!img)
            return std::nullopt;
        return testkit::read_iscsi_boot_cfg(testkit::get_host_view(adapter_->nvram, img->offset, img->length));
    }

    void expect_row(const std::string& row, const Block& want) const
    {
        const auto got = row_block(row);
        ASSERT_TRUE(got.has_value()) << row;
        EXPECT_EQ(want.layout, got->layout) << row;
        EXPECT_EQ(want.cfg, got->cfg) << row;
    }

    void expect_nvram_verifies() const
    {
        const auto report = e1e3::verify(adapter_->nvram, e1e3::Chip::E3);
        EXPECT_TRUE(report.ok()) << report.text();
    }

    platform::testing::TempDir tmp_;
    std::filesystem::path dir_{tmp_.path()};
    std::unique_ptr<FakeAdapter> adapter_;
    std::string result_;
};

}  // namespace

// A block already on the adapter, in each case of the conversion, and the rows that had none.
TEST_F(BootCfgPrepareTest, KeptBlocksFollowTheBootImagesIpMode)
{
    const IscsiBootCfg v4 = user_settings(false), v6 = user_settings(true);
    IscsiBootCfg v6_reset = testkit::iscsi_without_addresses(v4);
    v6_reset.flags |= kIpv6Flag;
    v6_reset.address[1][0] = 0x40;
    const IscsiBootCfg fresh = file_settings();
    struct Case {
        const char* what;
        uint32_t ip_mode;
        Block kept, want;
        uint32_t empty_row_flags;  // flags of the file's block in the rows that had none
    } cases[] = {
        {"layout 2 while the mode is not known -> layout 1", kNoMode, {2, v4}, {1, v4}, 0},
        {"IPv6 layout 2 while the mode is not known -> layout 1 without addresses", kNoMode, {2, v6},
         {1, with_flags(testkit::iscsi_without_addresses(v6), v6.flags & ~kIpv6Flag)}, 0},
        {"layout 1 with an IPv4 boot image -> layout 2, IPv4", kIpv4, {1, v4}, {2, v4}, 0},
        {"layout 1 with an IPv6 boot image -> layout 2, IPv6", kIpv6, {1, v4}, {2, v6_reset}, kIpv6Flag},
        {"layout 1 with an IPv4-and-6 boot image -> layout 2, IPv4", kIpv4And6, {1, v4}, {2, v4}, 0},
        {"IPv4 layout 2 with an IPv6 boot image -> reset to IPv6", kIpv6, {2, v4}, {2, v6_reset}, kIpv6Flag},
        {"IPv6 layout 2 with an IPv4 boot image -> reset to IPv4", kIpv4, {2, v6},
         {2, with_flags(testkit::iscsi_without_addresses(v6), v6.flags & ~kIpv6Flag)}, 0},
        {"IPv6 layout 2 with an IPv4-and-6 boot image stays", kIpv4And6, {2, v6}, {2, v6}, 0},
        {"IPv4 layout 2 with an IPv4 boot image stays", kIpv4, {2, v4}, {2, v4}, 0},
        {"layout 1 while the mode is not known stays", kNoMode, {1, v4}, {1, v4}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        make(board_nvram(c.kept));
        ASSERT_EQ(0, upgrade({"-ib", iscsi_file(c.ip_mode)})) << result_;
        expect_row("I_B_CFG", c.want);
        expect_row("I_B_CFG3", c.want);
        expect_row("I_B_CFG2", {2, with_flags(fresh, c.empty_row_flags)});
        expect_row("I_B_CFG4", {2, with_flags(fresh, c.empty_row_flags)});
        expect_nvram_verifies();
    }
}

TEST_F(BootCfgPrepareTest, RowsWithoutABlockGetTheFilesBlockWithTheVariantsFlag)
{
    make(board_nvram(std::nullopt));
    IscsiBootCfg shipped = file_settings();
    shipped.flags = kIpv6Flag | 0x3;
    ASSERT_EQ(0, upgrade({"-ib", iscsi_file(kIpv4, shipped)})) << result_;
    for (const char* row : {"I_B_CFG", "I_B_CFG2", "I_B_CFG3", "I_B_CFG4"})
        expect_row(row, {2, with_flags(shipped, 0x3)});
    expect_nvram_verifies();
}

// A block of neither layout holds nothing this upgrade can read: it is left as it is.
TEST_F(BootCfgPrepareTest, BlockOfUnknownLayoutIsLeftAlone)
{
    Bytes foreign = testkit::iscsi_boot_cfg_block(user_settings(false), 2);
    testkit::set_le16(foreign, 2, 0x0300);
    make(board_nvram(std::nullopt, foreign));
    const auto before = e1e3::find_image(adapter_->nvram, "I_B_CFG");
    ASSERT_TRUE(before.has_value());
    const Bytes stored = testkit::get_host_view(adapter_->nvram, before->offset, before->length);

    ASSERT_EQ(0, upgrade({"-ib", iscsi_file(kIpv6)})) << result_;
    const auto after = e1e3::find_image(adapter_->nvram, "I_B_CFG");
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(stored, testkit::get_host_view(adapter_->nvram, after->offset, after->length));
    expect_row("I_B_CFG2", {2, with_flags(file_settings(), kIpv6Flag)});
    expect_nvram_verifies();
}

// A file with the configuration block alone: the IP mode is that of the boot image on the adapter.
TEST_F(BootCfgPrepareTest, ConfigurationAloneFollowsTheBootImageOnTheAdapter)
{
    make(board_nvram(Block{1, user_settings(false)}, std::nullopt, kIpv6));
    ASSERT_EQ(0, upgrade({"-ib", iscsi_file(std::nullopt)})) << result_;
    IscsiBootCfg want = testkit::iscsi_without_addresses(user_settings(false));
    want.flags |= kIpv6Flag;
    want.address[1][0] = 0x40;
    expect_row("I_B_CFG", {2, want});
    expect_row("I_B_CFG3", {2, want});
    expect_nvram_verifies();
}

// Power lost while converted blocks are programmed: the command fails, and each row holds the
// user's block either as it was or converted, in a valid NVRAM. The cuts fall inside the writes of
// the blocks themselves; a cut inside a directory update leaves a stale directory CRC, a window
// the directory format cannot close.
TEST_F(BootCfgPrepareTest, PowerLossDuringConversionFailsAndLeavesAValidBlock)
{
    const Block old{1, user_settings(false)};
    const Bytes nvram = board_nvram(old, std::nullopt, kIpv4);
    make(nvram);
    const std::string file = iscsi_file(std::nullopt);
    adapter_->writes.clear();
    ASSERT_EQ(0, upgrade({"-ib", file})) << result_;
    std::vector<uint64_t> cuts{1};
    uint64_t done = 0;
    for (const auto& [offset, length] : adapter_->writes) {
        if (length >= kIscsiV1ProgBytes)
            cuts.push_back(done + length / 2);
        done += length;
    }
    ASSERT_GE(cuts.size(), 3u) << "both kept blocks are reprogrammed";

    const Block converted{2, user_settings(false)};
    for (uint64_t cut : cuts) {
        SCOPED_TRACE("power cut after " + std::to_string(cut) + " of " + std::to_string(done) + " bytes");
        make(nvram);
        adapter_->cut_power_after(cut);
        adapter_->last_errors.clear();
        EXPECT_NE(0, upgrade({"-ib", file}));
        EXPECT_FALSE(adapter_->last_errors.empty());
        adapter_->power_on();
        expect_nvram_verifies();
        for (const char* row : {"I_B_CFG", "I_B_CFG3"}) {
            const auto got = row_block(row);
            ASSERT_TRUE(got.has_value()) << row;
            const Block& want = got->layout == 1 ? old : converted;
            EXPECT_EQ(want.cfg, got->cfg) << row;
        }
    }
}
