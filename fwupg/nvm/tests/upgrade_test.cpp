// The upgrade command, the MBI package upgrade and the board fixes on a simulated E3 adapter whose
// NVRAM and files come from the test kit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fake_host.h"
#include "fwupg/engine_procs.h"
#include "fwupg/nvm/base/access.h"
#include "fwupg/nvm/commands/upgrade.h"
#include "fwupg/nvm/e123/board_fixups.h"
#include "fwupg/nvm/e123/boot_cfg_prepare.h"
#include "platform/testing/temp_root.h"
#include "testkit/e1e3_nvram.h"
#include "testkit/e1e3_reader.h"
#include "testkit/e1e3_verify.h"
#include "testkit/images.h"
#include "testkit/package.h"
#include "wrapped_cases.h"

namespace {

using fwupg::nvm::test::FakeAdapter;
using testkit::Bytes;
using testkit::WrappedRecord;
namespace e1e3 = testkit::e1e3;

// Requests that reached the configuration setter, as (selector, option, value).
std::vector<std::tuple<uint64_t, uint32_t, uint32_t>> g_requests;

int record_request(cfg_request* r)
{
    g_requests.emplace_back(r->option_flag, r->option_num, r->value);
    return 0;
}

struct Board {
    uint16_t did = 0x168E, svid = 0x103C, ssid = 0x22FA;
};

// A two-port E3 board with boot code, an L2T image and an MFW pair in the extended directory.
Bytes base_nvram(const Board& b)
{
    e1e3::NvramDef desc;
    desc.chip = e1e3::Chip::E3;
    e1e3::set_board(desc, 0x14E4, b.did, b.svid, b.ssid, 0x001018000000ull, 2);
    desc.images.push_back({"BC1", testkit::stock_image("BC1", "7.10.1"), {}, {}, 0});
    desc.images.push_back({"L2T", testkit::stock_image("L2T", "7.10.1"), {}, {}, 0});
    desc.images.push_back({"MFW1", testkit::stock_image("MFW1", "7.10.1"), {}, {}, 0});
    desc.images.push_back({"MFW2", testkit::stock_image("MFW2", "7.10.1"), {}, {}, 0});
    return e1e3::build(desc).nvram;
}

class UpgradeTest : public ::testing::Test {
protected:
    void SetUp() override { make(Board{}); }
    void TearDown() override
    {
        fwupg::nvm::set_cfg_setter(nullptr);
    }

    void make(const Board& b)
    {
        adapter_ = std::make_unique<FakeAdapter>(base_nvram(b));
        adapter_->set_device_id(b.did);
        adapter_->set_toe("VID", std::to_string(0x14E4));
        adapter_->set_toe("DID", std::to_string(b.did));
        adapter_->set_toe("SVID", std::to_string(b.svid));
        adapter_->set_toe("SSID", std::to_string(b.ssid));
        adapter_->set_toe("CHIP_REV", "B0");
        g_requests.clear();
        fwupg::nvm::set_cfg_setter(record_request);
    }

    std::string write_file(const std::string& name, const Bytes& bytes)
    {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }

    // Runs "upgrade <words...>" and returns the command's result.
    int upgrade(const std::vector<std::string>& words, bool mbi = false)
    {
        const int r = adapter_->run_command(mbi ? tcl_al_nvm_mbi_upgrade_cmd : tcl_al_nvm_upgrade_cmd, "upgrade", words);
        result_ = Tcl_GetStringResult(adapter_->interp());
        return r;
    }

    uint32_t last_error() const { return adapter_->last_errors.empty() ? 0 : adapter_->last_errors.back(); }
    std::string version_of(const std::string& kind) const
    {
        auto img = e1e3::find_image(adapter_->nvram, kind);
        return img ? img->version : "";
    }
    void expect_nvram_verifies() const
    {
        auto report = e1e3::verify(adapter_->nvram, e1e3::Chip::E3);
        EXPECT_TRUE(report.ok()) << report.text();
    }

    platform::testing::TempDir tmp_;
    std::filesystem::path dir_{tmp_.path()};
    std::unique_ptr<FakeAdapter> adapter_;
    std::string result_;
};

TEST_F(UpgradeTest, WrappedImageIsProgrammedWithItsVersionCheck)
{
    const auto file = write_file("l2t.bin", testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}));
    ASSERT_EQ(upgrade({"-l2t", file}), 0) << result_;
    EXPECT_NE(result_.find("info burned into nvm successfully."), std::string::npos);
    EXPECT_EQ(adapter_->regs[0xA470], 1u);
    EXPECT_NE(version_of("L2T").find("7.12.3"), std::string::npos) << version_of("L2T");
    expect_nvram_verifies();

    // The same version again is refused without -F and taken with it.
    const Bytes before = adapter_->nvram;
    EXPECT_NE(upgrade({"-l2t", file}), 0);
    EXPECT_EQ(adapter_->nvram, before);
    EXPECT_EQ(upgrade({"-F", "-l2t", file}), 0) << result_;
    expect_nvram_verifies();
}

// Files and command lines refused before anything is written, with their last-error codes.
TEST_F(UpgradeTest, RefusalsWriteNothing)
{
    WrappedRecord v3 = testkit::stock_record("L2T", "7.12.3");
    v3.version = 3;
    WrappedRecord too_long = testkit::stock_record("L2T", "7.12.3");
    too_long.length = 0x100000;
    WrappedRecord unknown = testkit::stock_record("L2T", "7.12.3");
    unknown.tag = testkit::tag_of("zzzz");
    const auto l2t = write_file("l2t.bin", testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}));
    const auto raw_bc = write_file("bc.raw", testkit::stock_image("BC1", "7.12.3"));
    const auto fmt3 = write_file("v3.bin", testkit::wrapped_file({v3}));
    const auto past_end = write_file("long.bin", testkit::wrapped_file({too_long}));
    const auto unknown_tag = write_file("unknown.bin", testkit::wrapped_file({unknown}));
    const auto mfw_second = write_file(
        "mfw2nd.bin", testkit::wrapped_file({testkit::stock_record("MFW2", "7.12.3"),
                                             testkit::stock_record("MFW1", "7.12.3")}));
    struct Case {
        const char* what;
        std::vector<std::string> words;
        uint32_t code;
        const char* text;
    } cases[] = {
        {"-F alone with a file", {"-F", l2t}, 2, "wrong # args"},
        {"unknown option", {"-nonsense", l2t}, 2, "wrong # args"},
        {"missing file", {"-l2t", (dir_ / "none.bin").string()}, 13, "File does not exist."},
        {"raw boot code", {"-bc", raw_bc}, 78, "Not intended for -bc option."},
        {"format version 3", {"-l2t", fmt3}, 78, "incorrect format version."},
        {"record past the end", {"-l2t", past_end}, 78, "Improper file format"},
        {"unknown tag", {"-l2t", unknown_tag}, 78, "unknown file type."},
        {"MFW not first", {"-mfw", mfw_second}, 120, "MFW package must start with MFW1 image"},
        {"-n without a number", {"-mba", "-n", l2t}, 2, "wrong # args"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before = adapter_->nvram;
        adapter_->writes.clear();
        EXPECT_NE(upgrade(c.words), 0);
        EXPECT_EQ(last_error(), c.code);
        EXPECT_NE(result_.find(c.text), std::string::npos) << result_;
        EXPECT_TRUE(adapter_->writes.empty());
        EXPECT_EQ(adapter_->nvram, before);
    }
}

TEST_F(UpgradeTest, MfwBundleUpdatesFirmwareAndFixesTheBoardOptions)
{
    const auto file = write_file(
        "mfw.bin", testkit::wrapped_file({testkit::stock_record("MFW1", "7.12.3"),
                                          testkit::stock_record("MFW2", "7.12.3")}));
    ASSERT_EQ(upgrade({"-mfw", file}), 0) << result_;
    EXPECT_NE(version_of("MFW1").find("7.12.3"), std::string::npos) << version_of("MFW1");
    EXPECT_NE(version_of("MFW2").find("7.12.3"), std::string::npos) << version_of("MFW2");
    expect_nvram_verifies();
    // SSID 0x22FA: option 248 set to 1, then the flag option 0x8000000000 cleared.
    std::vector<std::tuple<uint64_t, uint32_t, uint32_t>> want = {{0x4000, 248, 1}, {0x8000000000ull, 0, 0}};
    EXPECT_EQ(g_requests, want);
}

// An MFW bundle of the board's own firmware set: MFW1, MFW2 and three SWIM images.
Bytes mfw_bundle(const char* version)
{
    return testkit::wrapped_file({testkit::stock_record("MFW1", version), testkit::stock_record("MFW2", version),
                                  testkit::stock_record("SWIM1", version), testkit::stock_record("SWIM2", version),
                                  testkit::stock_record("SWIM3", version)});
}

// Writes that switch entry 15 of the directory (the entry and the directory CRC in one transfer,
// which may start lower, at other entries held with it or at the bootstrap record).
constexpr uint32_t kEntry15 = 0x14 + 12 * 15;
bool switches_entry15(const std::pair<uint32_t, uint32_t>& w)
{
    return w.first <= kEntry15 && kEntry15 < w.first + w.second;
}
size_t entry15_switches(const std::vector<std::pair<uint32_t, uint32_t>>& writes)
{
    return size_t(std::count_if(writes.begin(), writes.end(), switches_entry15));
}

// The images of a bundle go in under one new copy of the extended directory, switched in once.
TEST_F(UpgradeTest, MfwBundleSwitchesTheExtendedDirectoryOnce)
{
    make(Board{0x168E, 0x14E4, 0x1234});
    const auto file = write_file("mfw.bin", mfw_bundle("7.12.3"));
    adapter_->writes.clear();
    ASSERT_EQ(upgrade({"-mfw", file}), 0) << result_;
    EXPECT_EQ(entry15_switches(adapter_->writes), 1u);
    expect_nvram_verifies();
    for (const char* kind : {"MFW1", "MFW2", "SWIM1", "SWIM2", "SWIM3"})
        EXPECT_NE(version_of(kind).find("7.12.3"), std::string::npos) << kind << ": " << version_of(kind);
}

// Power lost before any write of the bundle's update, or half way through one: until entry 15 is
// switched the adapter keeps its old, whole firmware set (the images just written are listed by
// nothing yet) and the command fails; a cut inside the switch itself may tear only the directory.
TEST_F(UpgradeTest, PowerCutBeforeTheSwitchLeavesTheOldDirectoryWhole)
{
    const Board board{0x168E, 0x14E4, 0x1234};
    make(board);
    const auto file = write_file("mfw.bin", mfw_bundle("7.12.3"));
    adapter_->writes.clear();
    ASSERT_EQ(upgrade({"-mfw", file}), 0) << result_;
    const auto writes = adapter_->writes;
    const auto switch_at = std::find_if(writes.begin(), writes.end(), switches_entry15);
    ASSERT_NE(switch_at, writes.end());
    const size_t last = size_t(switch_at - writes.begin());
    ASSERT_GT(last, 4u) << "five images are written before the switch";

    uint64_t before = 0;
    for (size_t k = 0; k <= last; ++k) {
        const uint32_t offset = writes[k].first, length = writes[k].second;
        for (const uint64_t into : {uint64_t(0), uint64_t(length / 2)}) {
            const bool torn_directory = into != 0 && offset < 0x100;  // the bootstrap or the directory
            SCOPED_TRACE("cut " + std::to_string(into) + " bytes into write " + std::to_string(k + 1) + " at " +
                         std::to_string(offset));
            make(board);
            adapter_->cut_power_after(before + into);
            EXPECT_NE(upgrade({"-mfw", file}), 0) << result_;
            adapter_->power_on();
            if (torn_directory)
                continue;
            expect_nvram_verifies();
            EXPECT_NE(version_of("MFW1").find("7.10.1"), std::string::npos) << version_of("MFW1");
            EXPECT_NE(version_of("MFW2").find("7.10.1"), std::string::npos) << version_of("MFW2");
            EXPECT_EQ(version_of("SWIM1"), "");
        }
        before += writes[k].second;
    }
}

// The shell's "upgrade" as package commands reach it: straight into the engine command.
int shell_upgrade(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    auto* a = static_cast<FakeAdapter*>(data);
    return tcl_al_nvm_upgrade_cmd(a->ops(), interp, objc, objv) == 0 ? TCL_OK : TCL_ERROR;
}

class MbiTest : public UpgradeTest {
protected:
    void SetUp() override
    {
        UpgradeTest::SetUp();
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);  // packages unpack into the working folder
        Tcl_CreateObjCommand(adapter_->interp(), "upgrade", shell_upgrade, adapter_.get(), nullptr);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old_cwd_);
        UpgradeTest::TearDown();
    }
    // A package of version 1.2.3 for this board; `l2t` adds an L2T image of the given version.
    std::string package(const char* l2t)
    {
        testkit::PackageDef desc;
        desc.major = 1;
        desc.minor = 2;
        desc.build = 3;
        if (l2t)
            desc.entries.push_back({testkit::package_tag("L2T"),
                                    testkit::wrapped_file({testkit::stock_record("L2T", l2t)}), {}, {}});
        desc.entries.push_back({testkit::package_tag("META"), Bytes(64, 0x20), {}, {}});
        desc.rows.push_back({0x14E4, 0x168E, 0x103C, 0x22FA, 0x3});
        return write_file("pkg.bin", testkit::package(desc));
    }
    // NVRAM whose shared configuration holds an MBI version.
    void with_mbi_version(uint32_t version)
    {
        e1e3::NvramDef desc;
        e1e3::set_board(desc, 0x14E4, 0x168E, 0x103C, 0x22FA, 0x001018000000ull, 2);
        Bytes shared = testkit::stock_image("CFG_SHARED", "");
        for (int i = 0; i < 4; ++i)
            shared[72 + i] = uint8_t(version >> (8 * i));
        desc.images.push_back({"L2T", testkit::stock_image("L2T", "7.10.1"), {}, {}, 0});
        desc.images.push_back({"CFG_SHARED", shared, {}, {}, 0});
        adapter_->nvram = e1e3::build(desc).nvram;
        uint32_t v = 0, d = 0;
        fwupg::nvm::test::CurrentAdapter cur(*adapter_);
        ASSERT_EQ(common_nvm_get_mbi_version(&v, &d), 0);
        ASSERT_EQ(v, version);
    }
    // The MBI version the adapter's shared configuration holds.
    uint32_t mbi_version() const
    {
        uint32_t v = 0, d = 0;
        fwupg::nvm::test::CurrentAdapter cur(*adapter_);
        EXPECT_EQ(common_nvm_get_mbi_version(&v, &d), 0);
        return v;
    }
    std::filesystem::path old_cwd_;
};

TEST_F(MbiTest, UnconfiguredVersionIsResetThenThePackageIsProgrammedAndStored)
{
    const auto pkg = package("7.12.3");
    ASSERT_EQ(upgrade({"-mbi", pkg}, true), 0) << result_;
    EXPECT_NE(version_of("L2T").find("7.12.3"), std::string::npos) << version_of("L2T");
    expect_nvram_verifies();
    EXPECT_EQ(mbi_version(), 0x01020300u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "L2T"));  // extracted images are removed
}

// A package's commands install their images beside the old ones and the whole package is
// switched in at its end: the MFW bundle's images and the CFG_SHARED copy with the version through
// one new copy of the extended directory, the L2T entry, entry 15 and the bootstrap record of the
// new MFW1 in one write of the first 256 bytes.
TEST_F(MbiTest, PackageSwitchesItsImagesInWithOneDirectoryWrite)
{
    testkit::PackageDef desc;
    desc.major = 1;
    desc.minor = 2;
    desc.build = 3;
    desc.entries.push_back({testkit::package_tag("MFW"),
                            testkit::wrapped_file({testkit::stock_record("MFW1", "7.12.3"),
                                                   testkit::stock_record("MFW2", "7.12.3")}),
                            {}, {}});
    desc.entries.push_back({testkit::package_tag("L2T"),
                            testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}), {}, {}});
    desc.rows.push_back({0x14E4, 0x168E, 0x103C, 0x22FA, 0x3});
    const auto pkg = write_file("pkg.bin", testkit::package(desc));

    adapter_->writes.clear();
    ASSERT_EQ(upgrade({"-F", "-mbi", pkg}, true), 0) << result_;
    std::vector<std::pair<uint32_t, uint32_t>> directory, copies;
    for (const auto& w : adapter_->writes) {
        if (w.first < 0x100)
            directory.push_back(w);
        if (w.second == 780)
            copies.push_back(w);
    }
    EXPECT_EQ(directory, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0x100}}));
    EXPECT_EQ(copies.size(), 1u);
    expect_nvram_verifies();
    for (const char* kind : {"MFW1", "MFW2", "L2T"})
        EXPECT_NE(version_of(kind).find("7.12.3"), std::string::npos) << kind << ": " << version_of(kind);
    EXPECT_EQ(mbi_version(), 0x01020300u);
}

TEST_F(MbiTest, SameOrOlderPackageNeedsForce)
{
    const auto pkg = package("7.12.3");
    for (uint32_t nvram_version : {0x01020300u, 0x02000000u}) {
        SCOPED_TRACE(nvram_version);
        with_mbi_version(nvram_version);
        const Bytes before = adapter_->nvram;
        EXPECT_NE(upgrade({"-mbi", pkg}, true), 0);
        EXPECT_EQ(last_error(), 35u);
        EXPECT_EQ(adapter_->nvram, before);
    }
    ASSERT_EQ(upgrade({"-F", "-mbi", pkg}, true), 0) << result_;
    EXPECT_NE(version_of("L2T").find("7.12.3"), std::string::npos);
    EXPECT_EQ(mbi_version(), 0x01020300u);
}

// A file the package reader refuses ends with the invalid-package error, not with a refusal that
// names no reason (which the caller would take for success), and nothing is written.
TEST_F(MbiTest, InvalidPackageFailsAsInvalid)
{
    testkit::PackageDef def;
    def.major = 1;
    def.minor = 2;
    def.build = 3;
    def.entries.push_back({testkit::package_tag("L2T"),
                           testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}), {}, {}});
    def.rows.push_back({0x14E4, 0x168E, 0x103C, 0x9999, 0x1});  // another board's subsystem id
    const Bytes other_board = testkit::package(def);
    def.rows.back().ssid = 0x22FA;
    Bytes cut = testkit::package(def);
    cut.erase(cut.end() - 8, cut.end());  // the L2T image runs past the end of the file
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {{"not a package", Bytes(96, 0x5A)}, {"no row for this board", other_board}, {"cut short", cut}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto pkg = write_file("bad.bin", c.bytes);
        const Bytes before = adapter_->nvram;
        adapter_->writes.clear();
        EXPECT_EQ(upgrade({"-F", "-mbi", pkg}, true), 1);
        EXPECT_EQ(last_error(), 126u);
        EXPECT_EQ(result_, "Improper file format, Not intended for -mbi option\n");
        EXPECT_TRUE(adapter_->writes.empty());
        EXPECT_EQ(adapter_->nvram, before);
    }
}

TEST_F(MbiTest, PackageWithoutImagesOrWithAFailingImageStoresNoVersion)
{
    struct Case {
        const char* what;
        const char* l2t;
        bool fail_writes;
    } cases[] = {{"no image for the board", nullptr, false}, {"NVRAM write failure", "7.12.3", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto pkg = package(c.l2t);
        adapter_->fail_writes = c.fail_writes;
        EXPECT_NE(upgrade({"-mbi", pkg}, true), 0);
        EXPECT_FALSE(std::filesystem::exists(dir_ / "L2T"));
        adapter_->fail_writes = false;
        EXPECT_NE(mbi_version(), 0x01020300u);
        expect_nvram_verifies();
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "L2T"));
}

TEST(BoardFixups, OptionsFollowTheSubsystemId)
{
    struct Case {
        uint16_t ssid;
        std::vector<std::tuple<uint64_t, uint32_t, uint32_t>> want;
    } cases[] = {
        {0x193A, {{0x80000, 0, 0}, {0x800000, 0, 0}, {0x4000, 248, 1}}},
        {0x22ED, {{0x4, 0, 1}, {0x20000000, 0, 1}, {0x4000, 248, 1}}},
        {0x2231, {{0x4000, 239, 1}}},
        {0x1916, {{0x4000, 248, 1}, {0x4000, 16, 3}}},
        {0x1234, {}},
    };
    fwupg::nvm::set_cfg_setter(record_request);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ssid);
        g_requests.clear();
        fwupg::nvm::board_fixups_after_mfw(c.ssid, 1);
        EXPECT_EQ(g_requests, c.want);
    }
    fwupg::nvm::set_cfg_setter(nullptr);
}

// A write failure or a power cut in the middle of an image leaves the command failing and the
// directory consistent (the old image still listed, or the new one whole).
TEST_F(UpgradeTest, FaultsDuringProgrammingAreReportedAndLeaveAVerifiedNvram)
{
    const auto file = write_file("l2t.bin", testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}));
    adapter_->fail_writes = true;
    EXPECT_NE(upgrade({"-l2t", file}), 0);
    EXPECT_EQ(last_error(), 70u);
    adapter_->fail_writes = false;
    expect_nvram_verifies();
    EXPECT_NE(version_of("L2T").find("7.10.1"), std::string::npos);

}

// A write the flash reports stored but drops, at each write of an image upgrade in turn: the
// upgrade fails with 70, unless the dropped bytes were the ones the NVRAM already held.
TEST_F(UpgradeTest, AWriteTheFlashDropsFailsTheUpgrade)
{
    const auto file = write_file("l2t.bin", testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}));
    const Bytes before = adapter_->nvram;
    ASSERT_EQ(upgrade({"-l2t", file}), 0) << result_;
    const Bytes fresh = adapter_->nvram;
    const size_t writes = adapter_->writes.size();
    ASSERT_GT(writes, 2u);
    for (size_t k = 1; k <= writes; ++k) {
        SCOPED_TRACE("dropped write " + std::to_string(k));
        adapter_->nvram = before;
        adapter_->writes.clear();
        adapter_->last_errors.clear();
        adapter_->lose_write = k;
        if (upgrade({"-l2t", file}) == 0) {
            EXPECT_EQ(adapter_->nvram, fresh) << "success reported over a dropped write";
        } else {
            EXPECT_EQ(last_error(), 70u) << result_;
        }
    }
}

TEST_F(UpgradeTest, RegisterKickFailureIsAFailure)
{
    const auto file = write_file("l2t.bin", testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}));
    adapter_->failing_regs.insert(0xA470);
    EXPECT_NE(upgrade({"-l2t", file}), 0);
    EXPECT_EQ(last_error(), 43u);
}

// An E4 chip takes the E4 branch, where "-l2t" names no image type (usage, last error 2); an unknown
// chip is refused outright (last error 1). Neither writes.
TEST_F(UpgradeTest, ChipsOutsideTheOlderFamiliesAreRefused)
{
    const auto file = write_file("l2t.bin", testkit::wrapped_file({testkit::stock_record("L2T", "7.12.3")}));
    struct Case {
        const char* what;
        void (FakeAdapter::*set)(uint16_t);
        uint16_t did;
        uint32_t code;
        const char* text;
    };
    for (const Case& c : {Case{"E4", &FakeAdapter::set_e4_device_id, 0x1656, 2, "image_type: -mfw, -mbi"},
                          Case{"unknown", &FakeAdapter::set_device_id, 0x1234, 1, "not supported on this device"}}) {
        SCOPED_TRACE(c.what);
        ((*adapter_).*c.set)(c.did);
        const Bytes before = adapter_->nvram;
        EXPECT_NE(upgrade({"-l2t", file}), 0);
        EXPECT_EQ(last_error(), c.code);
        EXPECT_NE(result_.find(c.text), std::string::npos) << result_;
        EXPECT_EQ(adapter_->nvram, before);
    }
}

// The malformed wrapped files every reader of wrapped records meets, through the upgrade walk (an
// L2T file, and an MFW bundle that first goes through its pre-pass) and through the NCSI check.
TEST_F(UpgradeTest, MalformedWrappedFilesAreRefusedWhereTheyBreak)
{
    using fwupg::WrappedStop;
    struct Expect {
        int ok;
        uint32_t code;
        const char* text;
    };
    auto walk_expect = [](WrappedStop stop) -> Expect {
        switch (stop) {
        case WrappedStop::End: return {1, 0, "info burned into nvm successfully."};
        case WrappedStop::ShortHeader:
        case WrappedStop::BadMagic: return {0, 70, "Failed to program all"};
        case WrappedStop::BadVersion: return {0, 78, "incorrect format version."};
        case WrappedStop::PastEnd: return {0, 78, "record length exceeds the file."};
        }
        return {};
    };
    struct Walk {
        const char* option;
        const char* first;
        const char* next;
    } walks[] = {{"-l2t", "L2T", "L2T"}, {"-mfw", "MFW1", "MFW2"}};
    for (const Walk& wk : walks) {
        const WrappedRecord first = testkit::stock_record(wk.first, "7.12.3");
        const WrappedRecord next = testkit::stock_record(wk.next, "7.12.3");
        for (const auto& c : wrapped_test::wrapped_cases(testkit::wrapped_file({first}), next)) {
            SCOPED_TRACE(std::string(wk.option) + ": " + c.what);
            make(Board{});
            const Expect want = walk_expect(c.stop);
            const int r = upgrade({"-F", wk.option, write_file("wrapped.bin", c.file)});
            EXPECT_EQ(r == 0, want.ok == 1) << result_;
            EXPECT_EQ(last_error(), want.code);
            EXPECT_NE(result_.find(want.text), std::string::npos) << result_;
        }
    }

    auto ncsi_text = [](WrappedStop stop) -> const char* {
        switch (stop) {
        case WrappedStop::End: return "";
        case WrappedStop::ShortHeader:
        case WrappedStop::BadMagic: return "Improper file format, missing magic value.\n";
        case WrappedStop::BadVersion: return "Improper file format, incorrect format version.\n";
        case WrappedStop::PastEnd: return "Improper file format, record length exceeds the file.\n";
        }
        return nullptr;
    };
    FakeAdapter a;
    fwupg::nvm::test::CurrentAdapter cur(a);
    for (const auto& c :
         wrapped_test::wrapped_cases(testkit::ncsi_bundle("1.2.3"), testkit::stock_record("NCSI_CMN", "1.2.3"))) {
        SCOPED_TRACE(std::string("NCSI check: ") + c.what);
        Tcl_ResetResult(a.interp());
        const int r = common_nvm_check_ncsi_file(a.interp(), uint32_t(c.file.size()), c.file.data());
        EXPECT_EQ(r, c.stop == WrappedStop::End ? 0 : 1);
        EXPECT_STREQ(Tcl_GetStringResult(a.interp()), ncsi_text(c.stop));
    }
}

TEST(NcsiCheck, BundlesNeedTheCommonImageAndWellFormedRecords)
{
    FakeAdapter a;
    fwupg::nvm::test::CurrentAdapter cur(a);
    WrappedRecord bad_magic = testkit::stock_record("NCSI_CMN", "1.2.3");
    bad_magic.magic = 0x12345678;
    struct Case {
        const char* what;
        Bytes file;
        int want;
    } cases[] = {
        {"common and library", testkit::ncsi_bundle("1.2.3"), 0},
        {"library only", testkit::wrapped_file({testkit::stock_record("NCSI_ELIB", "1.2.3")}), 1},
        {"bad magic", testkit::wrapped_file({bad_magic}), 1},
        {"foreign tag", testkit::wrapped_file({testkit::stock_record("L2T", "1.2.3")}), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(common_nvm_check_ncsi_file(a.interp(), uint32_t(c.file.size()), c.file.data()), c.want);
    }
}

TEST(MbaDeviceCheck, RestrictedImagesMustNameTheChipFamily)
{
    FakeAdapter a;
    struct Case {
        uint16_t did;
        uint8_t family;
        uint8_t restrict_flag;
        int want;
    } cases[] = {
        {0x168E, 0x00, 0, 0}, {0x168E, 0x10, 1, 1}, {0x168E, 0x20, 1, 0}, {0x168E, 0x00, 1, 0},
        {0x1662, 0x10, 1, 0}, {0x1662, 0x20, 1, 1}, {0x164E, 0x20, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.did << " " << int(c.family));
        a.set_device_id(c.did);
        fwupg::nvm::test::CurrentAdapter cur(a);
        testkit::MbaDef desc = testkit::mba_stock(c.did, "7.12.3");
        desc.family_bits = c.family;
        desc.restrict_flag = c.restrict_flag;
        const Bytes rom = testkit::mba_rom(desc);
        EXPECT_EQ(common_nvm_check_mba_device(a.interp(), rom.data()), c.want);
    }
}

TEST(ChunkedRead, ReadsWholePiecesThenTheRest)
{
    FakeAdapter a;
    fwupg::nvm::test::CurrentAdapter cur(a);
    for (uint32_t i = 0; i < 5000; ++i)
        a.nvram[0x1000 + i] = uint8_t(i * 7);
    a.reset_counters();
    std::vector<uint8_t> out(5000);
    ASSERT_EQ(common_nvm_read_chunked(0x1000, out.data(), 5000, 1), 0);
    EXPECT_EQ(a.block_reads, 2u);
    EXPECT_EQ(a.writes.size(), 0u);
    std::vector<uint8_t> whole(5000);
    ASSERT_EQ(common_nvm_read(0x1000, whole.data(), 5000, 1), 0);
    EXPECT_EQ(out, whole);
    a.fail_reads = true;
    EXPECT_EQ(common_nvm_read_chunked(0x1000, out.data(), 5000, 1), 1);
}

}  // namespace
