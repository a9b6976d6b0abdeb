// The functions of one board share its flash, its claim and the registers of their path; a
// session notices a changed system root; register writes are kept in place.
#include <fstream>
#include <sys/stat.h>

#include "kv_text.h"
#include "sim_test_support.h"

using namespace simtest;

namespace {

// Board "dual": functions f0 and f1 on path 0, f2 on path 1; "solo" is a board of its own.
struct BoardFixture : ::testing::Test {
    void SetUp() override
    {
        for (uint32_t i = 0; i < 3; ++i) {
            fn[i] = sim::make_adapter(5, i + 1, "dual-f" + std::to_string(i));
            fn[i].board = "dual";
            fn[i].path = i == 2 ? 1 : 0;
            fn[i].function = i;
            fn[i].reg(0x3808, 0x070A0100);
            sim::write_adapter(root.path, fn[i]);
        }
        solo = sim::make_adapter(5, 7, "solo");
        sim::write_adapter(root.path, solo);
    }
    uint32_t read_word(const sim::AdapterDef& a, uint32_t offset, uint32_t* out) const
    {
        return lib.fn<ord::kReadNvram>()(a.api_handle, offset, out, 1, kGuid);
    }
    uint32_t write_word(const sim::AdapterDef& a, uint32_t offset, uint32_t value) const
    {
        return lib.fn<ord::kWriteNvram>()(a.api_handle, offset, &value, 1, kGuid);
    }
    uint32_t reg(const sim::AdapterDef& a, uint32_t r) const
    {
        uint32_t v = 0xDEADDEAD;
        EXPECT_EQ(lib.fn<ord::kReadRegister>()(a.api_handle, yxmapi::kRegAccessChip, r, &v, kGuid), 0u);
        return v;
    }
    TempRoot root;
    Library lib;
    sim::AdapterDef fn[3], solo;
};

}  // namespace

TEST_F(BoardFixture, FunctionsOfABoardShareOneNvramFile)
{
    EXPECT_TRUE(std::filesystem::exists(sim::nvram_path(root.path, "dual")));
    EXPECT_FALSE(std::filesystem::exists(sim::nvram_path(root.path, "dual-f0")));
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(write_word(fn[0], 0x100, 0x11223344), 0u);
    for (const auto& f : fn) {
        uint32_t w = 0;
        ASSERT_EQ(read_word(f, 0x100, &w), 0u);
        EXPECT_EQ(w, 0x11223344u) << f.name;
    }
    uint32_t w = 0;
    ASSERT_EQ(read_word(solo, 0x100, &w), 0u);
    EXPECT_EQ(w, 0xFFFFFFFFu) << "another board keeps its own flash";
    // The builder's readers resolve a function to its board.
    EXPECT_EQ(sim::read_nvram(root.path, "dual-f1"), sim::read_nvram(root.path, "dual"));
}

TEST_F(BoardFixture, ClaimThroughOneFunctionExcludesTheOthers)
{
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kClaimNic>()(fn[0].api_handle), 0u);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(fn[1].api_handle), YXSIM_E_CLAIMED_ELSEWHERE) << "same session, other function";
    EXPECT_EQ(write_word(fn[1], 0x200, 1), YXSIM_E_CLAIMED_ELSEWHERE);
    EXPECT_EQ(lib.fn<ord::kReleaseNic>()(fn[1].api_handle), YXSIM_E_NOT_HOLDER);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(solo.api_handle), 0u) << "another board is free";
    EXPECT_EQ(write_word(fn[0], 0x200, 2), 0u);

    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    EXPECT_EQ(probe.status("claim " + std::to_string(fn[1].api_handle)), YXSIM_E_CLAIMED_ELSEWHERE);
    EXPECT_EQ(probe.status("write " + std::to_string(fn[2].api_handle) + " 512 00000000"), YXSIM_E_CLAIMED_ELSEWHERE);

    ASSERT_EQ(lib.fn<ord::kReleaseNic>()(fn[0].api_handle), 0u);
    EXPECT_EQ(probe.status("claim " + std::to_string(fn[1].api_handle)), 0u);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(fn[0].api_handle), YXSIM_E_CLAIMED_ELSEWHERE) << "the other process holds it";
    probe.wait();
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(fn[0].api_handle), 0u) << "the ended process's claim is gone";
}

TEST_F(BoardFixture, RegistersAreSharedPerPathAndKeptAcrossSessions)
{
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kWriteRegister>()(fn[0].api_handle, yxmapi::kRegAccessChip, 0x3808, 0x070C0000, kGuid), 0u);
    EXPECT_EQ(reg(fn[1], 0x3808), 0x070C0000u) << "same path";
    EXPECT_EQ(reg(fn[2], 0x3808), 0x070A0100u) << "the other path keeps its own shared memory";
    EXPECT_EQ(reg(solo, 0x3808), 0u);
    lib.shutdown();

    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(reg(fn[1], 0x3808), 0x070C0000u);
}

TEST_F(BoardFixture, RegisterWritesReplaceTheirLineInPlace)
{
    ASSERT_EQ(lib.init(), 0u);
    auto write = [&](uint32_t r, uint32_t v) {
        return lib.fn<ord::kWriteRegister>()(solo.api_handle, yxmapi::kRegAccessChip, r, v, kGuid);
    };
    ASSERT_EQ(write(0x10, 1), 0u);
    ASSERT_EQ(write(0x20, 2), 0u);
    const std::string file = sim::registers_path(root.path, "solo");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    for (uint32_t v = 3; v < 50; ++v) ASSERT_EQ(write(0x10, v), 0u);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "no temporary file and rename";
    EXPECT_EQ(after.st_size, before.st_size);
    lib.shutdown();
    auto stored = sim::parse_registers(sim::read_file(file).value_or(""));
    EXPECT_EQ(stored, (std::map<uint32_t, uint32_t>{{0x10, 49}, {0x20, 2}}));

    // A file in another layout (written by hand) is read, then kept in the fixed one.
    {
        std::ofstream(file) << "0x10=0x7\n# note\n0x30=0x9\n";
    }
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(reg(solo, 0x10), 7u);
    ASSERT_EQ(write(0x30, 10), 0u);
    ASSERT_EQ(write(0x40, 11), 0u);
    lib.shutdown();
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_EQ(reg(solo, 0x10), 7u);
    EXPECT_EQ(reg(solo, 0x30), 10u);
    EXPECT_EQ(reg(solo, 0x40), 11u);
}

TEST(SessionRoot, InitialisingAgainNoticesAChangedSystemRoot)
{
    TempRoot first;
    sim::AdapterDef a = sim::make_adapter(5, 1, "first");
    sim::write_adapter(first.path, a);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kClaimNic>()(a.api_handle), 0u);
    uint32_t count = 0;
    {
        TempRoot second;
        sim::AdapterDef b = sim::make_adapter(4, 2, "second");
        sim::AdapterDef c = sim::make_adapter(4, 3, "third");
        sim::write_adapter(second.path, b);
        sim::write_adapter(second.path, c);
        ASSERT_EQ(lib.init(), 0u);
        ASSERT_EQ(lib.fn<ord::kGetPhyNicCount>()(&count), 0u);
        EXPECT_EQ(count, 2u) << "the second root's adapters";
        uint32_t w;
        EXPECT_EQ(lib.fn<ord::kReadNvram>()(a.api_handle, 0, &w, 1, kGuid), YXSIM_E_BAD_HANDLE);
        lib.shutdown();
    }
    // The first root's claim ended with its session.
    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    EXPECT_EQ(probe.status("claim " + std::to_string(a.api_handle)), 0u);
}
