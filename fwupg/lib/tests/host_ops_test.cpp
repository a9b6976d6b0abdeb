// The host callback record against the simulated adapter: NVRAM slots with the swap flag and
// partial dwords, the read cache as the management library's journal sees it, register slots, and
// the Tcl slots.
#include <gtest/gtest.h>
#include <tcl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "frame_test_support.h"
#include "fwupg/bkv9_helper.h"
#include "fwupg/host_ops_builder.h"
#include "fwupg/nvm_read_cache.h"
#include "fwupg/selected_nic.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"
#include "sim_test_support.h"

using namespace frametest;

static_assert(sizeof(HostOps) == 144);
static_assert(offsetof(HostOps, devIndex) == 128);
static_assert(offsetof(HostOps, chipId) == 132);
static_assert(offsetof(HostOps, clientData) == 136);

namespace {

// One simulated adapter with known NVRAM bytes 0x00, 0x01, ... selected and the library up.
class HostOpsTest : public ::testing::Test {
protected:
    void SetUp() override { setUpWith(sim::make_adapter(5, 1)); }
    void TearDown() override
    {
        fwupg::yx::Shutdown();
        if (interp) Tcl_DeleteInterp(interp);
    }
    void setUpWith(sim::AdapterDef desc)
    {
        if (interp) {
            fwupg::yx::Shutdown();
            Tcl_DeleteInterp(interp);
        }
        adapter = desc;
        sim::write_adapter(root.path, adapter);
        std::vector<uint8_t> bytes(4096);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
        sim::set_nvram(root.path, adapter.name, bytes);
        ASSERT_EQ(fwupg::yx::Initialize(), 0u);
        select_adapter(adapter);
        interp = Tcl_CreateInterp();
        BuildHostOps(&ops, interp, 0x77);
        journal.clear();
        g_uUpgRetCode = 0;
        g_bNvmWritten = g_bCommandError = 0;
    }
    std::vector<uint8_t> nvram() const { return sim::read_nvram(root.path, adapter.name); }
    size_t reads() const { return journal.calls(68).size(); }

    TempRoot root;
    SimJournal journal;
    sim::AdapterDef adapter;
    Tcl_Interp* interp = nullptr;
    HostOps ops{};
};

}  // namespace

TEST_F(HostOpsTest, RecordHoldsTheInterpreterClientDataChipIdAndCallableSlots)
{
    EXPECT_EQ(ops.interp, interp);
    EXPECT_EQ(ops.clientData, 0x77u);
    EXPECT_EQ(ops.devIndex, 0u);
    EXPECT_EQ(ops.chipId, adapter.chip_id);
    ops.nop2();
    ops.nop4();
    ops.nop12();
    ops.nop13();
    ops.nop14();
    EXPECT_TRUE(journal.calls().empty()) << "the no-op slots touch nothing";
    ops.setLastError(1234);
    EXPECT_EQ(g_uUpgRetCode, 1234u);
    fwupg::SetHostInputSource([] { return int('y'); });
    EXPECT_EQ(ops.getChar(), 'y');
    fwupg::SetHostInputSource(nullptr);
}

TEST_F(HostOpsTest, DwordSlotsWithAndWithoutTheSwapFlag)
{
    uint32_t v = 0;
    ASSERT_EQ(ops.nvmReadDword(9, 0x10, &v, 1), 0u);
    EXPECT_EQ(v, 0x10111213u) << "with the swap flag the lowest address is most significant";
    ASSERT_EQ(ops.nvmReadDword(9, 0x10, &v, 0), 0u);
    EXPECT_EQ(v, 0x13121110u);
    ASSERT_EQ(ops.nvmWriteDword(9, 0x20, 0xA1B2C3D4u, 1), 0u);
    std::vector<uint8_t> after = nvram();
    EXPECT_EQ((std::vector<uint8_t>(after.begin() + 0x20, after.begin() + 0x24)),
              (std::vector<uint8_t>{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(g_bNvmWritten, 1);
    EXPECT_EQ(journal.calls(67).at(0).handle, adapter.api_handle);
}

TEST_F(HostOpsTest, BlockReadOfAPartialDwordFillsItsTail)
{
    uint8_t buf[12];
    std::memset(buf, 0xEE, sizeof buf);
    ASSERT_EQ(ops.nvmReadBlock(0, 0x400, 10, buf, 0), 0u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buf[i], uint8_t(0x400 + i)) << i;
    EXPECT_EQ(buf[10], 0xEE) << "nothing past the length is written";
    ASSERT_EQ(ops.nvmReadBlock(0, 0x400, 8, buf, 1), 0u);
    EXPECT_EQ(buf[0], 0x03);
    EXPECT_EQ(buf[3], 0x00);
    EXPECT_EQ(buf[4], 0x07);
}

TEST_F(HostOpsTest, BlockWriteChangesOnlyItsRangeAndSwapsTheCallersWholeDwords)
{
    const std::vector<uint8_t> before = nvram();
    alignas(4) uint8_t buf[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(ops.nvmWriteBlock(0, 0x800, 6, buf, 1), 0u);
    std::vector<uint8_t> after = nvram();
    EXPECT_EQ((std::vector<uint8_t>(after.begin() + 0x800, after.begin() + 0x806)),
              (std::vector<uint8_t>{4, 3, 2, 1, 5, 6}));
    EXPECT_EQ(after[0x806], before[0x806]) << "the bytes after the range keep their contents";
    EXPECT_EQ(after[0x807], before[0x807]);
    EXPECT_EQ((std::vector<uint8_t>(buf, buf + 6)), (std::vector<uint8_t>{4, 3, 2, 1, 5, 6}))
        << "the whole dwords of the caller's buffer stay reversed; the tail is untouched";
    after[0x800] = before[0x800], after[0x801] = before[0x801], after[0x802] = before[0x802];
    after[0x803] = before[0x803], after[0x804] = before[0x804], after[0x805] = before[0x805];
    EXPECT_EQ(after, before);
}

TEST_F(HostOpsTest, FailuresGiveTheirCodesAndMarks)
{
    sim::Control control;
    for (uint32_t ordinal : {67u, 68u, 71u, 72u}) {
        sim::FaultRule rule;
        rule.ordinal = ordinal;
        control.faults.push_back(rule);
    }
    sim::write_control(root.path, control);
    fwupg::yx::Shutdown();
    ASSERT_EQ(fwupg::yx::Initialize(), 0u);  // the control file is read at initialisation
    uint32_t v = 0;
    uint8_t buf[8];
    EXPECT_EQ(ops.nvmReadDword(0, 0, &v, 1), 4u);
    EXPECT_EQ(g_uUpgRetCode, 4u);
    EXPECT_EQ(ops.nvmReadBlock(0, 0x40, 8, buf, 1), 4u);
    g_uUpgRetCode = 0;
    EXPECT_EQ(ops.nvmWriteDword(0, 0x40, 1, 1), 18u);
    EXPECT_EQ(g_uUpgRetCode, 18u);
    EXPECT_EQ(g_bCommandError, 1);
    EXPECT_EQ(g_bNvmWritten, 0);
    EXPECT_EQ(ops.nvmWriteBlock(0, 0x40, 8, buf, 0), 18u);
    EXPECT_EQ(ops.regRead(0, 0x808, &v), 4u);
    EXPECT_EQ(ops.regWrite(0, 0x808, 1), 43u);
}

TEST_F(HostOpsTest, NoDriverAccessGives41WithoutCallingTheLibrary)
{
    adapter.driver_access = false;
    sim::write_adapter(root.path, adapter);
    fwupg::yx::Shutdown();
    ASSERT_EQ(fwupg::yx::Initialize(), 0u);
    select_adapter(adapter);
    journal.clear();
    uint32_t v = 0;
    uint8_t buf[8] = {};
    EXPECT_EQ(ops.nvmReadDword(0, 0, &v, 1), 41u);
    EXPECT_EQ(g_uUpgRetCode, 41u);
    EXPECT_EQ(ops.nvmReadBlock(0, 0, 8, buf, 1), 41u);
    EXPECT_EQ(ops.nvmWriteDword(0, 0, 1, 1), 41u);
    EXPECT_EQ(ops.nvmWriteBlock(0, 0, 8, buf, 1), 41u);
    EXPECT_EQ(ops.regRead(0, 0x808, &v), 41u);
    EXPECT_EQ(ops.regWrite(0, 0x808, 1), 41u);
    EXPECT_TRUE(journal.calls().empty());
}

TEST_F(HostOpsTest, RegisterSlotsReadAndWriteChipRegisters)
{
    uint32_t v = 0;
    ASSERT_EQ(ops.regWrite(0, 0x2008, 0x5A5A), 0u);
    ASSERT_EQ(ops.regRead(0, 0x2008, &v), 0u);
    EXPECT_EQ(v, 0x5A5Au);
    const auto calls = journal.calls(71);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].mode, 3u) << "chip register access";
    EXPECT_EQ(calls[0].reg, 0x2008u);
}

TEST_F(HostOpsTest, TclSlotsReadToeIntegersAndEvaluateWithAClearedResult)
{
    Tcl_SetVar2(interp, "::toe", "DEV", "0", TCL_GLOBAL_ONLY);
    Tcl_SetVar2(interp, "::toe", "PORT0", "one", TCL_GLOBAL_ONLY);
    int value = -1;
    EXPECT_EQ(ops.getToeInt(interp, "DEV", &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ops.getToeInt(interp, "BUS", &value), 1);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "$::toe(BUS) not defined");
    Tcl_ResetResult(interp);
    EXPECT_EQ(ops.getToeInt(interp, "PORT0", &value), 1);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "$::toe(PORT0) is not a number");

    Tcl_SetResult(interp, const_cast<char*>("an earlier error"), TCL_STATIC);
    EXPECT_EQ(ops.tclEval(interp, "set x 5"), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "5");
    Tcl_SetResult(interp, const_cast<char*>("an earlier error"), TCL_STATIC);
    EXPECT_EQ(ops.tclEval(interp, ""), TCL_OK);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "") << "the earlier result is cleared first";
    EXPECT_EQ(ops.tclEval(interp, "nvm read 0"), TCL_ERROR) << "the front end has no nvm command";
}

// What the read cache serves, as the management library's journal sees it: nothing outside a
// claim; within a claim each dword once, until this process writes it.
TEST_F(HostOpsTest, ReadCacheServesOneClaimOnly)
{
    const uint32_t h = adapter.api_handle;
    uint8_t buf[0x60];
    uint32_t v = 0;
    ASSERT_EQ(ops.nvmReadBlock(0, 0x100, 0x40, buf, 0), 0u);
    ASSERT_EQ(ops.nvmReadBlock(0, 0x100, 0x40, buf, 0), 0u);
    EXPECT_EQ(reads(), 2u) << "outside a claim every read goes to the library";

    ASSERT_EQ(fwupg::yx::Claim(h), 0u);
    journal.clear();
    ASSERT_EQ(ops.nvmReadBlock(0, 0x100, 0x40, buf, 0), 0u);
    ASSERT_EQ(ops.nvmReadBlock(0, 0x110, 0x10, buf, 0), 0u);
    ASSERT_EQ(ops.nvmReadDword(0, 0x13C, &v, 0), 0u);
    EXPECT_EQ(reads(), 1u) << "a range read once in the claim is served from the cache";
    EXPECT_EQ(v, 0x3F3E3D3Cu);

    // Only the dwords not cached yet are read, each run in one call.
    ASSERT_EQ(ops.nvmReadBlock(0, 0xF8, 0x50, buf, 0), 0u);
    const auto calls = journal.calls(68);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].offset, 0xF8u);
    EXPECT_EQ(calls[1].count, 2u);
    EXPECT_EQ(calls[2].offset, 0x140u);
    EXPECT_EQ(calls[2].count, 2u);
    for (int i = 0; i < 0x50; ++i) ASSERT_EQ(buf[i], uint8_t(0xF8 + i)) << i;

    // This process's write drops the dwords it touched: they are read from the flash again, the
    // rest of the range is not.
    ASSERT_EQ(ops.nvmWriteDword(0, 0x120, 0xA1B2C3D4u, 1), 0u);
    journal.clear();
    ASSERT_EQ(ops.nvmReadBlock(0, 0x100, 0x40, buf, 0), 0u);
    ASSERT_EQ(reads(), 1u);
    EXPECT_EQ(journal.calls(68)[0].offset, 0x120u);
    EXPECT_EQ(journal.calls(68)[0].count, 1u);
    EXPECT_EQ(buf[0x20], 0xA1);
    EXPECT_EQ(buf[0x23], 0xD4);
    EXPECT_EQ(buf[0x24], 0x24) << "the dword after the write is still the cached one";

    ASSERT_EQ(fwupg::yx::Release(h), 0u);
    journal.clear();
    ASSERT_EQ(ops.nvmReadBlock(0, 0x100, 0x40, buf, 0), 0u);
    EXPECT_EQ(reads(), 1u) << "a release ends the cache";
}

// Every call after which the NVRAM may hold other bytes than this process wrote drops the cache.
TEST_F(HostOpsTest, CallsThatMayChangeTheNvramDropTheCache)
{
    const uint32_t h = adapter.api_handle;
    const struct {
        const char* what;
        std::function<void()> call;
    } kCases[] = {
        {"a new claim (another process may have written before it)", [&] { fwupg::yx::Claim(h); }},
        {"a reset", [&] { fwupg::yx::Reset(h); }},
        {"shutdown and initialisation", [&] { fwupg::yx::Shutdown(), fwupg::yx::Initialize(); }},
        {"a PHY write", [&] { uint8_t phy[4] = {}; fwupg::yx::WritePhyFirmware(h, phy, sizeof phy); }},
        {"a write mode change", [&] { fwupg::yx::SetNvramWriteMode(h, yxmapi::kWriteModeImage); }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(fwupg::yx::Claim(h), 0u);
        uint32_t v = 0;
        ASSERT_EQ(ops.nvmReadDword(0, 0x80, &v, 0), 0u);
        journal.clear();
        c.call();
        ASSERT_EQ(ops.nvmReadDword(0, 0x80, &v, 0), 0u);
        EXPECT_EQ(reads(), 1u);
        fwupg::yx::Release(h);
    }
}

// Another process writes the adapter between two claims of this one: the second claim reads its
// bytes, not the ones the first claim cached. While this process holds the claim the other
// process's write is refused, which is what lets the cache keep bytes for the claim's span.
TEST_F(HostOpsTest, AnotherWritersBytesAreSeenAfterTheNextClaim)
{
    const uint32_t h = adapter.api_handle;
    char handle[16];
    std::snprintf(handle, sizeof handle, "0x%X", h);
    const std::string write = std::string("write ") + handle + " 0x200 EEEEEEEE";
    uint32_t v = 0;
    simtest::Probe other;
    ASSERT_EQ(other.status("init"), 0u);

    ASSERT_EQ(fwupg::yx::Claim(h), 0u);
    ASSERT_EQ(ops.nvmReadDword(0, 0x200, &v, 1), 0u);
    EXPECT_EQ(v, 0x00010203u);
    EXPECT_NE(other.status(write), 0u) << "no other writer while the claim is held";
    ASSERT_EQ(fwupg::yx::Release(h), 0u);

    ASSERT_EQ(other.status(write), 0u);
    ASSERT_EQ(fwupg::yx::Claim(h), 0u);
    ASSERT_EQ(ops.nvmReadDword(0, 0x200, &v, 1), 0u);
    EXPECT_EQ(v, 0xEEEEEEEEu) << "a stale cached dword hid the other writer's bytes";
    fwupg::yx::Release(h);
}

// A write the flash drops although it reports success: the next read of those bytes in the same
// claim goes to the flash and shows what the flash kept, though the range was cached before. The
// engines' read-back of every write is such a read, so the dropped write fails there.
TEST_F(HostOpsTest, ReadAfterALostWriteShowsTheFlashNotTheCache)
{
    sim::FaultRule lost;
    lost.ordinal = 67;
    lost.nth = 1;
    lost.lost = true;
    sim::Control control;
    control.faults = {lost};
    sim::write_control(root.path, control);
    fwupg::yx::Shutdown();
    ASSERT_EQ(fwupg::yx::Initialize(), 0u);

    const uint32_t h = adapter.api_handle;
    ASSERT_EQ(fwupg::yx::Claim(h), 0u);
    uint8_t buf[16];
    ASSERT_EQ(ops.nvmReadBlock(0, 0x300, sizeof buf, buf, 1), 0u);
    ASSERT_EQ(ops.nvmWriteDword(0, 0x304, 0xDEADBEEFu, 1), 0u) << "the lost write reports success";
    journal.clear();
    uint32_t kept = 0;
    ASSERT_EQ(ops.nvmReadDword(0, 0x304, &kept, 1), 0u);
    EXPECT_EQ(reads(), 1u) << "the written dword is read from the flash";
    EXPECT_EQ(kept, 0x04050607u) << "the flash kept its old bytes";
    fwupg::yx::Release(h);
}

// Scopes of one adapter nest: the inner scope neither claims again nor releases, so the reads of
// the whole run share the cache; the outermost scope releases.
TEST_F(HostOpsTest, NestedClaimScopesHoldOneClaim)
{
    const uint32_t h = adapter.api_handle;
    uint32_t v = 0;
    {
        fwupg::yx::ClaimScope outer(h);
        ASSERT_EQ(outer.status(), 0u);
        ASSERT_EQ(ops.nvmReadDword(0, 0x40, &v, 0), 0u);
        for (int i = 0; i < 2; ++i) {
            fwupg::yx::ClaimScope inner(h);
            ASSERT_EQ(ops.nvmReadDword(0, 0x40, &v, 0), 0u);
        }
        EXPECT_EQ(journal.calls(47).size(), 1u);
        EXPECT_EQ(journal.calls(48).size(), 0u);
        EXPECT_EQ(reads(), 1u);
    }
    EXPECT_EQ(journal.calls(48).size(), 1u);
    EXPECT_FALSE(g_NvmReadCache.Active());
}

// A reset inside a scope ends the read cache though the claim goes on: the next inner scope of the
// adapter claims again (the holder may) for a fresh cache, which the scopes after it share; only
// the outermost scope releases.
TEST_F(HostOpsTest, AnInnerScopeAfterAResetClaimsAgainForAFreshCache)
{
    const uint32_t h = adapter.api_handle;
    uint32_t v = 0;
    {
        fwupg::yx::ClaimScope outer(h);
        ASSERT_EQ(ops.nvmReadDword(0, 0x40, &v, 0), 0u);
        ASSERT_EQ(fwupg::yx::Reset(h), 0u);
        for (int i = 0; i < 2; ++i) {
            fwupg::yx::ClaimScope inner(h);
            EXPECT_EQ(inner.status(), 0u);
            ASSERT_EQ(ops.nvmReadDword(0, 0x40, &v, 0), 0u);
        }
        EXPECT_EQ(journal.calls(47).size(), 2u);
        EXPECT_EQ(reads(), 2u) << "one read before the reset, one after it";
        EXPECT_EQ(journal.calls(48).size(), 0u);
    }
    EXPECT_EQ(journal.calls(48).size(), 1u);
}

TEST_F(HostOpsTest, CacheBelongsToTheClaimedAdapter)
{
    sim::AdapterDef other = sim::make_adapter(5, 2);
    sim::write_adapter(root.path, other);
    std::vector<uint8_t> bytes(1024, 0x5C);
    sim::set_nvram(root.path, other.name, bytes);
    fwupg::yx::Shutdown();
    ASSERT_EQ(fwupg::yx::Initialize(), 0u);
    ASSERT_EQ(fwupg::yx::Claim(adapter.api_handle), 0u);
    uint32_t v = 0;
    ASSERT_EQ(ops.nvmReadDword(0, 16, &v, 0), 0u);
    EXPECT_EQ(v, 0x13121110u);
    select_adapter(other);
    journal.clear();
    ASSERT_EQ(ops.nvmReadDword(0, 16, &v, 0), 0u);
    EXPECT_EQ(v, 0x5C5C5C5Cu) << "another adapter's read never comes from this adapter's cache";
    ASSERT_EQ(ops.nvmReadDword(0, 16, &v, 0), 0u);
    EXPECT_EQ(reads(), 2u) << "and is not cached: its adapter is not claimed";
    fwupg::yx::Release(adapter.api_handle);
}

TEST_F(HostOpsTest, E4WriteModeFollowsTheMfwNoteAndTheImageMagic)
{
    setUpWith(sim::make_adapter(6, 3));
    SetPendingMfwNote(u"-mfw");
    ASSERT_EQ(ops.nvmWriteDword(0, 0x1000, 0x12345678, 0), 0u);
    ASSERT_EQ(ops.nvmWriteDword(0, 0x1004, 0x12345678, 0), 0u);
    auto modes = journal.calls(181);
    ASSERT_EQ(modes.size(), 1u) << "the note is consumed by the first write";
    EXPECT_EQ(modes[0].mode, 1u);
    EXPECT_EQ(g_PendingMfwNote[0], u'\0');
    ASSERT_EQ(ops.nvmWriteDword(0, 0x1008, 0x669955AA, 0), 0u);
    modes = journal.calls(181);
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[1].mode, 2u);

    setUpWith(sim::make_adapter(5, 4));
    SetPendingMfwNote(u"-mfw");
    ASSERT_EQ(ops.nvmWriteDword(0, 0x1008, 0x669955AA, 0), 0u);
    EXPECT_TRUE(journal.calls(181).empty()) << "write modes are for E4 adapters only";
}

TEST(PagedImageFile, StripPageSparesRemovesOnlyMarkerPairs)
{
    std::vector<uint8_t> image;
    for (int page = 0; page < 3; ++page) {
        for (int i = 0; i < 256; ++i) image.push_back(static_cast<uint8_t>(page * 16 + i));
        const uint32_t marker = page == 1 ? 0x12345678u : 0x57105710u;
        for (int k = 0; k < 2; ++k)
            for (int b = 0; b < 4; ++b) image.push_back(static_cast<uint8_t>(marker >> (8 * b)));
    }
    const size_t n = fwupg::StripPageSpares(image.data(), image.size());
    EXPECT_EQ(n, image.size() - 8) << "only the first page's spare bytes are a marker pair";
    EXPECT_EQ(image[256], 16);
    EXPECT_EQ(image[512], 0x78);
}

// The two file-backed stand-ins for the adapter: an NVRAM image file (raw or with page spares) and
// the raw "<MAC>.dmp" dump file.
TEST_F(HostOpsTest, ImageFileStandsInForTheAdapter)
{
    std::vector<uint8_t> nvm(1024);
    for (size_t i = 0; i < nvm.size(); ++i) nvm[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> paged;
    for (size_t page = 0; page < nvm.size() / 256; ++page) {
        paged.insert(paged.end(), nvm.begin() + page * 256, nvm.begin() + (page + 1) * 256);
        for (int k = 0; k < 2; ++k) paged.insert(paged.end(), {0x10, 0x57, 0x10, 0x57});
    }
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(root.file(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return root.file(name);
    };
    const std::string rawFile = write("raw.bin", nvm);
    const std::string pagedFile = write("paged.bin", paged);
    const std::string shortFile = write("short.bin", std::vector<uint8_t>(nvm.begin(), nvm.begin() + 300));

    uint32_t v = 0;
    for (const std::string& file : {rawFile, pagedFile}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(g_Bkv9Helper.SetImageFileName(file));
        ASSERT_EQ(ops.nvmReadDword(0, 0x304, &v, 1), 0u);
        EXPECT_EQ(v, uint32_t(nvm[0x304]) << 24 | uint32_t(nvm[0x305]) << 16 | uint32_t(nvm[0x306]) << 8 | nvm[0x307]);
    }
    ASSERT_TRUE(g_Bkv9Helper.SetImageFileName(rawFile));
    uint8_t buf[16];
    ASSERT_EQ(ops.nvmReadBlock(0, 0x1F8, 16, buf, 0), 0u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 16), std::vector<uint8_t>(nvm.begin() + 0x1F8, nvm.begin() + 0x208));
    EXPECT_EQ(ops.nvmWriteDword(0, 0, 1, 1), 0u) << "writes are ignored";
    EXPECT_EQ(ops.nvmWriteBlock(0, 0, 16, buf, 1), 0u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 16), std::vector<uint8_t>(nvm.begin() + 0x1F8, nvm.begin() + 0x208))
        << "the caller's buffer is left alone";

    ASSERT_TRUE(g_Bkv9Helper.SetImageFileName(shortFile));
    EXPECT_EQ(ops.nvmReadDword(0, 0, &v, 1), 47u) << "shorter than 512 bytes: end of file";
    ASSERT_TRUE(g_Bkv9Helper.SetImageFileName(root.file("missing.bin")));
    EXPECT_EQ(ops.nvmReadDword(0, 0, &v, 1), 13u);
    EXPECT_EQ(g_uUpgRetCode, 13u);
    EXPECT_TRUE(journal.calls().empty()) << "no call reached the management library";
    ASSERT_TRUE(g_Bkv9Helper.SetImageFileName(""));
}

TEST_F(HostOpsTest, DumpFileModeReadsAndWritesTheMacNamedFile)
{
    const std::string dump = root.file(adapter.mac + ".dmp");
    std::vector<uint8_t> bytes(2048, 0x3C);
    std::ofstream(dump, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 2048);
    g_FwUpgOptions = kFwUpgOptionDumpFile;
    uint32_t v = 0;
    ASSERT_EQ(ops.nvmWriteDword(0, 0x400, 0x11223344u, 1), 0u);
    ASSERT_EQ(ops.nvmReadDword(0, 0x400, &v, 1), 0u);
    EXPECT_EQ(v, 0x11223344u);
    ASSERT_EQ(ops.nvmReadDword(0, 0x404, &v, 0), 0u);
    EXPECT_EQ(v, 0x3C3C3C3Cu);
    EXPECT_EQ(ops.nvmReadDword(0, 0x1000, &v, 0), 4u) << "a short read of the dump file fails the read";
    std::filesystem::remove(dump);
    EXPECT_EQ(ops.nvmWriteDword(0, 0, 1, 0), 18u);
    g_FwUpgOptions = 0;
    EXPECT_TRUE(journal.calls(67).empty() && journal.calls(68).empty());
}
