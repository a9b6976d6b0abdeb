// The cache of the firmware files of one exported call: what it keeps and when it stops serving.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "fwupg/file_cache.h"
#include "platform/testing/temp_root.h"

namespace {

using Bytes = std::vector<uint8_t>;

void write_file(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

struct OpenCache {
    OpenCache() { fwupg::OpenFileCache(); }
    ~OpenCache() { fwupg::CloseFileCache(); }
};

// Reads served from what a whole read kept: a shorter read gets the first bytes, a longer one the
// file's size. Only a read of the whole file, of the file as it still is, is kept; a file changed
// on disk or forgotten by its writer is no longer served.
TEST(FileCache, ServesWholeReadsOfTheFileAsItStillIs)
{
    platform::testing::TempDir dir;
    const std::string path = dir / "image.bin";
    const Bytes data = {1, 2, 3, 4, 5};
    write_file(path, data);
    OpenCache cache;
    Bytes out(8, 0);
    uint32_t count = 0;
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 8, &count));

    auto identity = fwupg::IdentifyFile(path);
    ASSERT_TRUE(identity);
    fwupg::KeepFileRead(path, *identity, data.data(), 4);  // part of the file
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 8, &count));
    fwupg::KeepFileRead(path, *identity, data.data(), 5);
    ASSERT_TRUE(fwupg::ReadCachedFile(path, out.data(), 8, &count));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), data);
    ASSERT_TRUE(fwupg::ReadCachedFile(path, out.data(), 2, &count));
    EXPECT_EQ(count, 2u);

    fwupg::ForgetCachedFile(path);
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 8, &count));

    fwupg::KeepFileRead(path, *identity, data.data(), 5);
    write_file(path, {9, 9, 9, 9, 9, 9});
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 8, &count)) << "a changed file was served";

    // Bytes read while the file had another identity are not kept.
    fwupg::KeepFileRead(path, *identity, data.data(), 5);
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 8, &count));
}

TEST(FileCache, KeepsNothingWhileClosed)
{
    platform::testing::TempDir dir;
    const std::string path = dir / "image.bin";
    const Bytes data = {1, 2, 3};
    write_file(path, data);
    auto identity = fwupg::IdentifyFile(path);
    ASSERT_TRUE(identity);
    fwupg::KeepFileRead(path, *identity, data.data(), 3);
    Bytes out(3);
    uint32_t count = 0;
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 3, &count));
    {
        OpenCache cache;
        fwupg::KeepFileRead(path, *identity, data.data(), 3);
        EXPECT_TRUE(fwupg::ReadCachedFile(path, out.data(), 3, &count));
    }
    EXPECT_FALSE(fwupg::ReadCachedFile(path, out.data(), 3, &count)) << "the call's end empties the cache";
}

}  // namespace
