#include "platform/version_note.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(VersionNote, ReadsOwnRecord)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    auto note = platform::read_version_note(self);
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->version[0], 1);
    EXPECT_EQ(note->version[1], 2);
    EXPECT_EQ(note->version[2], 3);
    EXPECT_EQ(note->version[3], 10);
    EXPECT_EQ(note->strings["ProductName"], "platform tests");
    EXPECT_EQ(note->strings["FileDescription"], "a=b");
}

TEST(VersionNote, NoRecordOrBadFile)
{
    EXPECT_FALSE(platform::read_version_note("/nonexistent/file").has_value());
    EXPECT_FALSE(platform::read_version_note("/bin/sh").has_value());  // an ELF file without a record
    char path[] = "/tmp/vnoteXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    // An ELF header whose section table points far past the end of the file.
    std::string junk("\x7f" "ELF\x02\x01", 6);
    junk.resize(64, '\xff');
    ASSERT_EQ(write(fd, junk.data(), junk.size()), ssize_t(junk.size()));
    close(fd);
    EXPECT_FALSE(platform::read_version_note(path).has_value());
    unlink(path);
}
