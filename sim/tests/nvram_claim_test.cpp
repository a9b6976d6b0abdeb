// NVRAM reads and writes, persistence across sessions and processes, and claims between
// processes.
#include <numeric>

#include "sim_test_support.h"

using namespace simtest;

namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

struct NvramFixture : ::testing::Test {
    void SetUp() override
    {
        adapter = sim::make_adapter(5, 1);
        adapter.flash_word = 0x00020000;  // 128 KiB
        sim::write_adapter(root.path, adapter);
        image = pattern(adapter.nvram_size(), 3);
        sim::set_nvram(root.path, adapter.name, image);
    }
    TempRoot root;
    sim::AdapterDef adapter;
    std::vector<uint8_t> image;
};

}  // namespace

TEST_F(NvramFixture, ReadsMoveRawBytesAndWholeNvramInOneCall)
{
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t size = adapter.nvram_size();
    std::vector<uint32_t> all(size / 4);
    ASSERT_EQ(lib.fn<ord::kReadNvram>()(adapter.api_handle, 0, all.data(), size / 4, kGuid), 0u);
    EXPECT_EQ(std::memcmp(all.data(), image.data(), size), 0);

    // Exact byte offsets, aligned or not; the buffer holds the bytes as stored.
    for (uint32_t off : {4u, 5u, 0x1FFFu, size - 8}) {
        uint32_t two[2];
        ASSERT_EQ(lib.fn<ord::kReadNvram>()(adapter.api_handle, off, two, 2, kGuid), 0u) << off;
        EXPECT_EQ(std::memcmp(two, image.data() + off, 8), 0) << off;
    }
    EXPECT_EQ(lib.counters().nvramBytesRead, size + 4 * 8ull);
}

TEST_F(NvramFixture, RangesBeyondTheNvramFailWithoutTouchingTheBuffer)
{
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    uint32_t size = adapter.nvram_size();
    struct Case {
        uint32_t offset, dwords;
    } cases[] = {{size, 1}, {size - 4, 2}, {size - 3, 1}, {0, size / 4 + 1}, {0xFFFFFFFC, 2}, {4, 0x40000000}};
    for (const Case& c : cases) {
        uint32_t buf[2] = {0x11111111, 0x22222222};
        EXPECT_NE(lib.fn<ord::kReadNvram>()(adapter.api_handle, c.offset, buf, c.dwords, kGuid), 0u) << c.offset << "+" << c.dwords;
        EXPECT_EQ(buf[0], 0x11111111u);
        EXPECT_NE(lib.fn<ord::kWriteNvram>()(adapter.api_handle, c.offset, buf, c.dwords, kGuid), 0u) << c.offset << "+" << c.dwords;
    }
    EXPECT_EQ(sim::read_nvram(root.path, adapter.name), image);
    // Calls that reach the chip need the client GUID.
    uint32_t word;
    EXPECT_NE(lib.fn<ord::kReadNvram>()(adapter.api_handle, 0, &word, 1, nullptr), 0u);
    EXPECT_NE(lib.fn<ord::kReadNvram>()(adapter.api_handle, 0, &word, 1, "{short}"), 0u);
}

TEST_F(NvramFixture, WritesPersistAcrossSessionsAndProcesses)
{
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    const uint8_t data[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04};
    uint32_t words[2];
    std::memcpy(words, data, 8);
    ASSERT_EQ(lib.fn<ord::kWriteNvram>()(adapter.api_handle, 0x102, words, 2, kGuid), 0u);
    lib.shutdown();

    std::copy(std::begin(data), std::end(data), image.begin() + 0x102);
    EXPECT_EQ(sim::read_nvram(root.path, adapter.name), image);

    ASSERT_EQ(lib.init(), 0u);
    uint32_t back[2] = {};
    ASSERT_EQ(lib.fn<ord::kReadNvram>()(adapter.api_handle, 0x102, back, 2, kGuid), 0u);
    EXPECT_EQ(std::memcmp(back, data, 8), 0);
    lib.shutdown();

    // Another process sees the write and its own write is seen here.
    Probe probe;
    ASSERT_EQ(probe.status("init"), 0u);
    EXPECT_EQ(probe.run("read " + std::to_string(adapter.api_handle) + " 0x102 2"),
              "status=0x00000000 data=deadbeef01020304");
    EXPECT_EQ(probe.status("write " + std::to_string(adapter.api_handle) + " 0x2000 a1b2c3d4"), 0u);
    EXPECT_EQ(probe.status("shutdown"), 0u);
    probe.wait();
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kReadNvram>()(adapter.api_handle, 0x2000, back, 1, kGuid), 0u);
    EXPECT_EQ(back[0], 0xD4C3B2A1u);  // raw bytes a1 b2 c3 d4 read into a little-endian word
    lib.shutdown();
}

TEST_F(NvramFixture, ClaimIsExclusiveBetweenProcessesAndIdempotentForItsHolder)
{
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    Probe other;
    ASSERT_EQ(other.status("init"), 0u);
    std::string h = std::to_string(adapter.api_handle);

    ASSERT_EQ(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u) << "the holder's re-claim succeeds";
    EXPECT_NE(other.status("claim " + h), 0u);
    EXPECT_NE(other.status("release " + h), 0u) << "a non-holder cannot release";
    // While the claim is held elsewhere, writes and resets are refused; reads are not.
    EXPECT_NE(other.status("write " + h + " 0 00000000"), 0u);
    EXPECT_NE(other.status("reset " + h), 0u);
    EXPECT_EQ(other.run("read " + h + " 0 1").substr(0, 17), "status=0x00000000");

    ASSERT_EQ(lib.fn<ord::kReleaseNic>()(adapter.api_handle), 0u);
    EXPECT_NE(lib.fn<ord::kReleaseNic>()(adapter.api_handle), 0u) << "released twice";
    EXPECT_EQ(other.status("claim " + h), 0u);
    EXPECT_EQ(other.status("claim " + h), 0u);
    EXPECT_NE(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    uint32_t zero = 0;
    EXPECT_NE(lib.fn<ord::kWriteNvram>()(adapter.api_handle, 0, &zero, 1, kGuid), 0u);
    EXPECT_EQ(sim::read_nvram(root.path, adapter.name), image);

    // Shutdown of the holding session ends its claims.
    EXPECT_EQ(other.status("shutdown"), 0u);
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    ASSERT_EQ(other.status("init"), 0u);
    EXPECT_NE(other.status("claim " + h), 0u);
    lib.shutdown();
    EXPECT_EQ(other.status("claim " + h), 0u);
}

TEST_F(NvramFixture, ClaimOfAProcessThatDiesIsDropped)
{
    std::string h = std::to_string(adapter.api_handle);
    Probe holder;
    ASSERT_EQ(holder.status("init"), 0u);
    ASSERT_EQ(holder.status("claim " + h), 0u);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    EXPECT_NE(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    holder.kill_now();
    EXPECT_EQ(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    lib.shutdown();
}

TEST_F(NvramFixture, ShutdownReleasesEveryClaimOfTheSession)
{
    sim::AdapterDef second = sim::make_adapter(6, 2);
    sim::write_adapter(root.path, second);
    Library lib;
    ASSERT_EQ(lib.init(), 0u);
    ASSERT_EQ(lib.fn<ord::kClaimNic>()(adapter.api_handle), 0u);
    ASSERT_EQ(lib.fn<ord::kClaimNic>()(second.api_handle), 0u);
    Probe other;
    ASSERT_EQ(other.status("init"), 0u);
    EXPECT_NE(other.status("claim " + std::to_string(second.api_handle)), 0u);
    lib.shutdown();
    EXPECT_EQ(other.status("claim " + std::to_string(adapter.api_handle)), 0u);
    EXPECT_EQ(other.status("claim " + std::to_string(second.api_handle)), 0u);
}
