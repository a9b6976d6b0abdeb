// Image and dump files through Tcl channels, and the virtual NVRAM buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fwupg/file_cache.h"
#include "fwupg/nvm_legacy/file_io.h"
#include "fwupg/nvm_legacy/virt_nvm.h"
#include "legacy_fake_host.h"

using namespace testkit::legacy;
namespace fs = std::filesystem;

namespace {
struct TempDir {
    fs::path path;
    TempDir()
    {
        char tmpl[] = "/tmp/legacy_io_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

void write_file(const fs::path& p, const bytes& b)
{
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
}  // namespace

TEST(FileIo, NamesAreTakenLiterally)
{
    adapter a;
    FakeHost host(a);
    TempDir dir;
    // Blanks, brackets, dollar signs and backslashes run nothing and stay one name.
    for (const char* name : {"plain.bin", "a b.bin", "[exit 3].bin", "$x.bin", "back\\slash {x}.bin"}) {
        const std::string path = (dir.path / name).string();
        const bytes data = {1, 2, 3, 0, 0xFF, 10, 13};
        uint32_t written = 0;
        ASSERT_EQ(0, nvm_file_write(host.ops(), path.c_str(), data.data(), uint32_t(data.size()), &written)) << name;
        EXPECT_EQ(7u, written);
        int32_t size = -1;
        ASSERT_EQ(0, nvm_file_size(path.c_str(), &size)) << name;
        EXPECT_EQ(7, size);
        bytes back(16, 0xAA);
        uint32_t got = 0;
        ASSERT_EQ(0, nvm_file_read(host.ops(), path.c_str(), back.data(), 16, &got)) << name;
        EXPECT_EQ(7u, got);
        EXPECT_EQ(data, bytes(back.begin(), back.begin() + 7));
    }
    EXPECT_EQ(5, std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()));
}

TEST(FileIo, RefusalsAndMissingFiles)
{
    adapter a;
    FakeHost host(a);
    TempDir dir;
    const std::string path = (dir.path / "exists.bin").string();
    write_file(path, {9, 9, 9});
    const bytes data = {1, 2};
    EXPECT_EQ(1, nvm_file_write(host.ops(), path.c_str(), data.data(), 2, nullptr));
    EXPECT_EQ(3u, fs::file_size(path)) << "an existing file is never overwritten";

    int32_t size = 1234;
    const std::string missing = (dir.path / "missing.bin").string();
    EXPECT_NE(0, nvm_file_size(missing.c_str(), &size));
    EXPECT_EQ(1234, size);
    EXPECT_EQ(1, nvm_file_size(path.c_str(), nullptr));
    uint8_t buf[4];
    EXPECT_EQ(1, nvm_file_read(host.ops(), missing.c_str(), buf, 4, nullptr));
}

// While an exported call runs (its file cache open), a whole file read through the engine is kept
// and later reads of it come from the cache; a partial read keeps nothing, a file the engine
// writes under a name drops what was kept for it, and with the cache closed nothing is kept.
TEST(FileIo, WholeFilesReadDuringACallAreKeptForTheCall)
{
    adapter a;
    FakeHost host(a);
    TempDir dir;
    const std::string path = (dir.path / "image.bin").string();
    const bytes data = {1, 2, 3, 4, 5, 6};
    write_file(path, data);
    bytes back(8, 0);
    uint32_t got = 0;

    fwupg::OpenFileCache();
    ASSERT_EQ(0, nvm_file_read(host.ops(), path.c_str(), back.data(), 4, &got));
    EXPECT_EQ(nullptr, fwupg::FindCachedFile(path)) << "a partial read was kept";
    ASSERT_EQ(0, nvm_file_read(host.ops(), path.c_str(), back.data(), 8, &got));
    const fwupg::CachedFile* kept = fwupg::FindCachedFile(path);
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ(bytes(kept->buffer->begin(), kept->buffer->begin() + 6), data);
    back.assign(8, 0);
    ASSERT_EQ(0, nvm_file_read(host.ops(), path.c_str(), back.data(), 3, &got));
    EXPECT_EQ(3u, got);
    EXPECT_EQ(bytes(data.begin(), data.begin() + 3), bytes(back.begin(), back.begin() + 3));

    const std::string dump = (dir.path / "dump.bin").string();
    write_file(dump, data);
    ASSERT_EQ(0, nvm_file_read(host.ops(), dump.c_str(), back.data(), 8, &got));
    ASSERT_NE(nullptr, fwupg::FindCachedFile(dump));
    fs::remove(dump);
    const bytes other = {7, 7};
    ASSERT_EQ(0, nvm_file_write(host.ops(), dump.c_str(), other.data(), 2, nullptr));
    EXPECT_EQ(nullptr, fwupg::FindCachedFile(dump));
    ASSERT_EQ(0, nvm_file_read(host.ops(), dump.c_str(), back.data(), 8, &got));
    EXPECT_EQ(2u, got);
    EXPECT_EQ(other, bytes(back.begin(), back.begin() + 2));

    fwupg::CloseFileCache();
    ASSERT_EQ(0, nvm_file_read(host.ops(), path.c_str(), back.data(), 8, &got));
    EXPECT_EQ(nullptr, fwupg::FindCachedFile(path));
}

TEST(VirtualNvram, LoadRoundsUpAndCommandsDropIt)
{
    adapter a;
    FakeHost host(a);
    TempDir dir;
    const std::string path = (dir.path / "image.bin").string();
    write_file(path, bytes(10, 0x42));
    ASSERT_EQ(0, virt_nvm_load(host.ops(), path.c_str()));
    ASSERT_NE(nullptr, g_virt_nvm.data);
    EXPECT_EQ(12u, g_virt_nvm.size);
    EXPECT_EQ(0x42, g_virt_nvm.data[9]);
    EXPECT_EQ(0, g_virt_nvm.data[10]);
    EXPECT_EQ(0, toe_nvm_check_dev(0));
    EXPECT_EQ(nullptr, g_virt_nvm.data);

    EXPECT_EQ(1, virt_nvm_load(host.ops(), virt_nvm_file_name));
    EXPECT_EQ("error: virtnvm file does not exist.", host.result());
    EXPECT_EQ(13u, host.last_error);
}
