// Injected faults, cut NVRAM writes, the call journal and counters, registers, reset, PHY write
// and write mode.
#include "sim_test_support.h"

using namespace simtest;

namespace {

struct Machine : ::testing::Test {
    void SetUp() override
    {
        a = sim::make_adapter(5, 1, "nic-a");
        b = sim::make_adapter(6, 2, "nic-b");
        a.flash_word = b.flash_word = 0x4000;
        a.reg(0xA2B4, 0x00300000).reg(0x00300000 + 436, 0x00000C00);
        sim::write_adapter(root.path, a);
        sim::write_adapter(root.path, b);
        old_image = std::vector<uint8_t>(a.nvram_size());
        for (size_t i = 0; i < old_image.size(); ++i) old_image[i] = static_cast<uint8_t>(i);
        sim::set_nvram(root.path, a.name, old_image);
    }
    void faults(std::vector<sim::FaultRule> rules)
    {
        sim::Control c;
        c.faults = std::move(rules);
        sim::write_control(root.path, c);
    }
    // A new session whose first write to nic-a is cut after `cut` bytes (on flash erasing
    // `sector`-byte sectors when given); writes `dwords` words of `fill` and returns its status.
    uint32_t cut_write(const Library& lib, uint32_t cut, std::optional<uint32_t> sector, uint32_t offset,
                       uint32_t dwords, uint32_t fill);
    uint32_t read_word(const Library& lib, const sim::AdapterDef& s, uint32_t off = 0)
    {
        uint32_t w;
        return lib.fn<ord::kReadNvram>()(s.api_handle, off, &w, 1, kGuid);
    }
    TempRoot root;
    sim::AdapterDef a, b;
    std::vector<uint8_t> old_image;
};

sim::FaultRule rule(uint32_t ordinal, std::string adapter, uint32_t nth, uint32_t status)
{
    sim::FaultRule r;
    r.ordinal = ordinal, r.adapter = std::move(adapter), r.nth = nth, r.status = status;
    return r;
}

uint32_t Machine::cut_write(const Library& lib, uint32_t cut, std::optional<uint32_t> sector, uint32_t offset,
                           uint32_t dwords, uint32_t fill)
{
    sim::FaultRule r = rule(ord::kWriteNvram, "nic-a", 1, 0xE00000C7);
    r.cut_after = cut;
    r.erase_sector = sector;
    faults({r});
    EXPECT_EQ(lib.init(), 0u);
    std::vector<uint32_t> data(dwords, fill);
    return lib.fn<ord::kWriteNvram>()(a.api_handle, offset, data.data(), dwords, kGuid);
}

}  // namespace

TEST_F(Machine, InjectedFaultsSurfaceWithTheirStatusOnTheirCallOnly)
{
    faults({rule(ord::kReadNvram, "nic-a", 2, 0xE0001234), rule(ord::kClaimNic, "", 0, 5), rule(ord::kGetAllPhyNicHandles, "", 1, 0x77)});
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(read_word(lib, a), 0u);
    EXPECT_EQ(read_word(lib, b), 0u) << "another adapter does not count";
    EXPECT_EQ(read_word(lib, a), 0xE0001234u);
    EXPECT_EQ(read_word(lib, a), 0u);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(a.api_handle), 5u);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(b.api_handle), 5u);
    uint32_t handles[2];
    EXPECT_EQ(lib.fn<ord::kGetAllPhyNicHandles>()(handles, 2), 0x77u);
    EXPECT_EQ(lib.fn<ord::kGetAllPhyNicHandles>()(handles, 2), 0u);
    lib.shutdown();

    // Rules are read again at initialisation and their counts restart.
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(lib.fn<ord::kGetAllPhyNicHandles>()(handles, 2), 0x77u);
    lib.shutdown();

    faults({rule(ord::kInitializeEx, "", 1, 0x34)});
    EXPECT_EQ(lib.init(), 0x34u);
    uint32_t count;
    EXPECT_NE(lib.fn<ord::kGetPhyNicCount>()(&count), 0u) << "a failed initialisation leaves the library closed";
}

TEST_F(Machine, CutWriteChangesExactlyTheFirstBytes)
{
    struct Case {
        uint32_t cut, offset, dwords;
    } cases[] = {{0, 0x100, 8}, {5, 0x101, 8}, {31, 0x200, 8}, {64, 0x300, 8}};
    Library lib;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        EXPECT_EQ(cut_write(lib, c.cut, std::nullopt, c.offset, c.dwords, 0xA5A5A5A5), 0xE00000C7u);
        std::vector<uint32_t> data(c.dwords, 0xA5A5A5A5);
        std::vector<uint8_t> expect = old_image;
        std::fill_n(expect.begin() + c.offset, std::min<uint32_t>(c.cut, 4 * c.dwords), 0xA5);
        EXPECT_EQ(sim::read_nvram(root.path, a.name), expect);
        old_image = expect;
        // The rule fired once; the next write goes through whole.
        EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, c.offset, data.data(), c.dwords, kGuid), 0u);
        std::fill_n(old_image.begin() + c.offset, 4 * c.dwords, 0xA5);
        lib.shutdown();
    }
}

// Rules that select NVRAM calls by the bytes they touch: only calls meeting the range count.
TEST_F(Machine, FaultsSelectNvramCallsByOffsetOrRange)
{
    sim::FaultRule at = rule(ord::kWriteNvram, "nic-a", 1, 0xE0000011);
    at.from = 0x1002;  // the call covering this byte
    sim::FaultRule range = rule(ord::kReadNvram, "", 2, 0xE0000012);
    range.from = 0x2000, range.to = 0x2100;
    faults({at, range});
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t w = 0x12345678, two[2] = {1, 2};
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0x0FF8, two, 2, kGuid), 0u) << "ends before 0x1002";
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0x1004, &w, 1, kGuid), 0u) << "starts after it";
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0x1000, &w, 1, kGuid), 0xE0000011u);
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0x1000, &w, 1, kGuid), 0u) << "nth 1 only";

    EXPECT_EQ(read_word(lib, a, 0x1FFC), 0u);
    EXPECT_EQ(read_word(lib, a, 0x2100), 0u);
    EXPECT_EQ(lib.fn<ord::kReadNvram>()(a.api_handle, 0x1FFC, two, 2, kGuid), 0u) << "first call in the range";
    EXPECT_EQ(read_word(lib, a, 0x20FC), 0xE0000012u) << "second call in the range";
}

// On flash that erases before programming, a cut leaves the rest of the struck sector erased;
// without the setting the old bytes after the cut point stay.
TEST_F(Machine, CutWithEraseGranularityLeavesTheRestOfTheSectorErased)
{
    struct Case {
        const char* what;
        std::optional<uint32_t> sector;
        uint32_t offset, dwords, cut;
        uint32_t erased_from, erased_to;  // bytes reading 0xFF besides the written ones
    } cases[] = {
        {"old bytes stay", std::nullopt, 0x1F00, 0x80, 0x30, 0, 0},
        {"rest of the 4 KiB sector", 4096, 0x1F00, 0x80, 0x30, 0x1F30, 0x2000},
        {"cut in the second sector", 4096, 0x0FF0, 0x10, 0x20, 0x1010, 0x2000},
        {"cut on a sector boundary", 4096, 0x0FF0, 0x10, 0x10, 0, 0},
        {"sector ends the NVRAM", 0x4000, 0x3F00, 0x10, 0x8, 0x3F08, 0x4000},
    };
    Library lib;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::set_nvram(root.path, a.name, old_image);
        EXPECT_EQ(cut_write(lib, c.cut, c.sector, c.offset, c.dwords, 0x5A5A5A5A), 0xE00000C7u);
        std::vector<uint8_t> expect = old_image;
        std::fill(expect.begin() + c.erased_from, expect.begin() + c.erased_to, 0xFF);
        std::fill_n(expect.begin() + c.offset, c.cut, 0x5A);
        EXPECT_EQ(sim::read_nvram(root.path, a.name), expect);
        lib.shutdown();
    }
}

// Silent faults report success: a read returns a flipped bit, a write does not stick.
TEST_F(Machine, SilentFaultsReportSuccess)
{
    sim::FaultRule flip = rule(ord::kReadNvram, "nic-a", 1, 0);
    flip.from = 0x80, flip.flip = 0x00000100;
    sim::FaultRule lost = rule(ord::kWriteNvram, "nic-a", 1, 0);
    lost.lost = true;
    faults({flip, lost});
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t w = 0, again = 0, stored = 0;
    ASSERT_EQ(lib.fn<ord::kReadNvram>()(a.api_handle, 0x80, &w, 1, kGuid), 0u);
    ASSERT_EQ(lib.fn<ord::kReadNvram>()(a.api_handle, 0x80, &again, 1, kGuid), 0u);
    EXPECT_EQ(w ^ again, 0x100u) << "only the first read was struck";
    const uint32_t value = 0xC0FFEE00;
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0x200, &value, 1, kGuid), 0u);
    EXPECT_EQ(sim::read_nvram(root.path, a.name), old_image) << "the write was reported stored";
    ASSERT_EQ(lib.fn<ord::kReadNvram>()(a.api_handle, 0x200, &stored, 1, kGuid), 0u);
    EXPECT_NE(stored, value);
}

// A persistent rule counts its calls across sessions: the third write overall fails, whichever
// session makes it; a plain rule counts from each initialisation.
TEST_F(Machine, PersistentRulesCountAcrossSessions)
{
    sim::FaultRule r = rule(ord::kWriteNvram, "nic-a", 3, 0xE0000033);
    r.persist = true;
    faults({r});
    Library lib;
    uint32_t w = 1;
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0, &w, 1, kGuid), 0u);
    EXPECT_EQ(lib.fn<ord::kWriteNvram>()(a.api_handle, 0, &w, 1, kGuid), 0u);
    lib.shutdown();
    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    EXPECT_EQ(probe.status("write " + std::to_string(a.api_handle) + " 0 00000000"), 0xE0000033u);
    EXPECT_EQ(probe.status("write " + std::to_string(a.api_handle) + " 0 00000000"), 0u);
}

TEST_F(Machine, CutWriteWithExitEndsTheProcessLikeAPowerLoss)
{
    sim::FaultRule r = rule(ord::kWriteNvram, "nic-a", 1, 1);
    r.cut_after = 6;
    r.exit_after_cut = true;
    faults({r});
    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    EXPECT_EQ(probe.run("write " + std::to_string(a.api_handle) + " 0x40 ffffffffffffffff"), "");
    int st = probe.wait();
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 75);
    std::vector<uint8_t> expect = old_image;
    std::fill_n(expect.begin() + 0x40, 6, 0xFF);
    EXPECT_EQ(sim::read_nvram(root.path, a.name), expect);
}

TEST_F(Machine, JournalRecordsEveryCallWithItsArgumentsInMemoryAndInTheFile)
{
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t count = 0, handles[2], word = 0x669955AA, value = 0;
    yxmapi::PhyNicInfo p;
    p.prepare(yxmapi::kPhyNicInfoVersion);
    lib.fn<ord::kGetPhyNicCount>()(&count);
    lib.fn<ord::kGetAllPhyNicHandles>()(handles, count);
    lib.fn<ord::kGetPhyNic>()(handles[1], &p);
    lib.fn<ord::kClaimNic>()(b.api_handle);
    lib.fn<ord::kSetNvramWriteMode>()(b.api_handle, 2, kGuid);
    lib.fn<ord::kWriteNvram>()(b.api_handle, 0x20, &word, 1, kGuid);
    lib.fn<ord::kReadNvram>()(b.api_handle, 0, handles, 2, kGuid);
    lib.fn<ord::kReadRegister>()(a.api_handle, 3, 0xA2B4, &value, kGuid);
    lib.fn<ord::kWriteRegister>()(b.api_handle, 3, 0x2008, 0x1234, kGuid);
    lib.fn<ord::kResetNic>()(b.api_handle, 2);
    lib.fn<ord::kReleaseNic>()(b.api_handle);
    lib.fn<ord::kReleaseNic>()(b.api_handle);
    lib.shutdown();

    struct Want {
        uint32_t ordinal, handle, offset, count, mode, reg, value;
        bool ok;
    } want[] = {
        {ord::kInitializeEx, 0, 0, 0, 0, 0, 0, true},
        {ord::kGetPhyNicCount, 0, 0, 0, 0, 0, 2, true},
        {ord::kGetAllPhyNicHandles, 0, 0, 2, 0, 0, 0, true},
        {ord::kGetPhyNic, b.list_handle, 0, 0, 0, 0, 0, true},
        {ord::kClaimNic, b.api_handle, 0, 0, 0, 0, 0, true},
        {ord::kSetNvramWriteMode, b.api_handle, 0, 0, 2, 0, 0, true},
        {ord::kWriteNvram, b.api_handle, 0x20, 1, 0, 0, 0x669955AA, true},
        {ord::kReadNvram, b.api_handle, 0, 2, 0, 0, 0, true},
        {ord::kReadRegister, a.api_handle, 0, 0, 3, 0xA2B4, 0x00300000, true},
        {ord::kWriteRegister, b.api_handle, 0, 0, 3, 0x2008, 0x1234, true},
        {ord::kResetNic, b.api_handle, 0, 0, 2, 0, 0, true},
        {ord::kReleaseNic, b.api_handle, 0, 0, 0, 0, 0, true},
        {ord::kReleaseNic, b.api_handle, 0, 0, 0, 0, 0, false},
        {ord::kShutdown, 0, 0, 0, 0, 0, 0, true},
    };
    auto check = [&](const std::vector<YxSimCall>& calls) {
        ASSERT_EQ(calls.size(), std::size(want));
        for (size_t i = 0; i < calls.size(); ++i) {
            const YxSimCall& c = calls[i];
            const Want& w = want[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(c.ordinal, w.ordinal);
            EXPECT_EQ(c.handle, w.handle);
            EXPECT_EQ(c.offset, w.offset);
            EXPECT_EQ(c.count, w.count);
            EXPECT_EQ(c.mode, w.mode);
            EXPECT_EQ(c.reg, w.reg);
            EXPECT_EQ(c.value, w.value);
            EXPECT_EQ(c.status == 0, w.ok);
            EXPECT_EQ(c.pid, static_cast<uint32_t>(getpid()));
        }
    };
    check(lib.journal());
    check(sim::read_journal_file(root.path));

    YxSimCounters counters = lib.counters();
    EXPECT_EQ(counters.calls[ord::kReleaseNic], 2u);
    EXPECT_EQ(counters.calls[ord::kReadNvram], 1u);
    EXPECT_EQ(counters.nvramBytesRead, 8u);
    EXPECT_EQ(counters.nvramBytesWritten, 4u);
    EXPECT_EQ(counters.resets, 1u);

    // Calls of another process land in the same file under its own process id.
    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    ASSERT_EQ(probe.status("reset " + std::to_string(a.api_handle)), 0u);
    pid_t child = probe.pid();
    probe.wait();
    auto calls = sim::read_journal_file(root.path);
    ASSERT_EQ(calls.size(), std::size(want) + 2);
    EXPECT_EQ(calls.back().ordinal, 33u);
    EXPECT_EQ(calls.back().pid, static_cast<uint32_t>(child));
}

TEST_F(Machine, RegistersStartFromTheDescriptionAndKeepWrites)
{
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t v = 1;
    ASSERT_EQ(lib.fn<ord::kReadRegister>()(a.api_handle, 3, 0xA2B4, &v, kGuid), 0u);
    EXPECT_EQ(v, 0x00300000u);
    ASSERT_EQ(lib.fn<ord::kReadRegister>()(a.api_handle, 3, v + 436, &v, kGuid), 0u);
    EXPECT_EQ(v, 0x00000C00u) << "shared memory is read as registers at base + offset";
    ASSERT_EQ(lib.fn<ord::kReadRegister>()(a.api_handle, 3, 0x2008, &v, kGuid), 0u);
    EXPECT_EQ(v, 0u) << "undescribed registers read 0";
    EXPECT_NE(lib.fn<ord::kReadRegister>()(a.api_handle, 1, 0x2008, &v, kGuid), 0u) << "only access type 3";
    EXPECT_NE(lib.fn<ord::kWriteRegister>()(a.api_handle, 4, 0x2008, 1, kGuid), 0u);
    ASSERT_EQ(lib.fn<ord::kWriteRegister>()(a.api_handle, 3, 0x2008, 0xCAFE, kGuid), 0u);
    lib.shutdown();

    // Another process sees the stored write and is refused a write while the claim is held here.
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kReadRegister>()(a.api_handle, 3, 0x2008, &v, kGuid), 0u);
    EXPECT_EQ(v, 0xCAFEu);
    ASSERT_EQ(lib.fn<ord::kClaimNic>()(a.api_handle), 0u);
    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    EXPECT_NE(probe.status("write " + std::to_string(a.api_handle) + " 0 00000000"), 0u);
    lib.shutdown();
}

TEST_F(Machine, AdapterWithoutDriverAccessServesRecordsButNoChipAccess)
{
    sim::AdapterDef c = sim::make_adapter(4, 3, "nic-c");
    c.driver_access = false;
    sim::write_adapter(root.path, c);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    yxmapi::PhyNicInfo p;
    p.prepare(yxmapi::kPhyNicInfoVersion);
    EXPECT_EQ(lib.fn<ord::kGetPhyNic>()(c.list_handle, &p), 0u);
    uint32_t v;
    EXPECT_NE(read_word(lib, c), 0u);
    EXPECT_NE(lib.fn<ord::kReadRegister>()(c.api_handle, 3, 0x808, &v, kGuid), 0u);
    EXPECT_NE(lib.fn<ord::kResetNic>()(c.api_handle, 2), 0u);
    lib.shutdown();
}

TEST_F(Machine, ResetPhyWriteAndWriteModeCheckTheirArguments)
{
    sim::AdapterDef c = sim::make_adapter(5, 3, "nic-c");
    c.capabilities = yxmapi::nic::kCapCannotReset;
    sim::write_adapter(root.path, c);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(lib.fn<ord::kResetNic>()(a.api_handle, 2), 0u);
    EXPECT_NE(lib.fn<ord::kResetNic>()(a.api_handle, 1), 0u);
    EXPECT_NE(lib.fn<ord::kResetNic>()(c.api_handle, 2), 0u) << "an adapter that cannot be reset";
    EXPECT_EQ(lib.counters().resets, 1u);

    const uint8_t image[] = {1, 2, 3, 4, 5};
    EXPECT_NE(lib.fn<ord::kWritePhyFirmware>()(a.api_handle, image, sizeof image, kGuid), 0u) << "not a PHY file";
    EXPECT_FALSE(std::filesystem::exists(sim::phy_image_path(root.path, a.name)));
    EXPECT_NE(lib.fn<ord::kWritePhyFirmware>()(a.api_handle, image, 0, kGuid), 0u);
    EXPECT_NE(lib.fn<ord::kWritePhyFirmware>()(a.api_handle, nullptr, 4, kGuid), 0u);

    EXPECT_EQ(lib.fn<ord::kSetNvramWriteMode>()(b.api_handle, 1, kGuid), 0u);
    EXPECT_EQ(lib.fn<ord::kSetNvramWriteMode>()(b.api_handle, 2, kGuid), 0u);
    EXPECT_NE(lib.fn<ord::kSetNvramWriteMode>()(b.api_handle, 3, kGuid), 0u);
    EXPECT_NE(lib.fn<ord::kSetNvramWriteMode>()(a.api_handle, 1, kGuid), 0u) << "write modes belong to E4 adapters";
    lib.shutdown();
}
