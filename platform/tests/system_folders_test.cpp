#include "platform/system_folders.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool is_dir(const std::string& p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TEST(SystemFolders, LogRootIsMadeOnTheSystemDriveOfTheRoot)
{
    char t[] = "/tmp/sysfoldXXXXXX";
    std::string root = mkdtemp(t);
    setenv("FWUPG_SYSTEM_ROOT", root.c_str(), 1);
    EXPECT_EQ(platform::log_root(false), root + "/C/tvnsystem/log");
    EXPECT_FALSE(is_dir(root + "/C/tvnsystem/log"));
    EXPECT_EQ(platform::log_root(true), root + "/C/tvnsystem/log");
    EXPECT_TRUE(is_dir(root + "/C/tvnsystem/log"));
    std::system(("rm -rf '" + root + "'").c_str());
}

TEST(SystemFolders, ExistingFoldersAreFoundWithoutRegardToCase)
{
    char t[] = "/tmp/sysfoldXXXXXX";
    std::string root = mkdtemp(t);
    setenv("FWUPG_SYSTEM_ROOT", root.c_str(), 1);
    ASSERT_EQ(mkdir((root + "/c").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/c/TVNSystem").c_str(), 0755), 0);
    EXPECT_EQ(platform::log_root(true), root + "/c/TVNSystem/log");
    EXPECT_TRUE(is_dir(root + "/c/TVNSystem/log"));
    EXPECT_FALSE(is_dir(root + "/C"));
    std::system(("rm -rf '" + root + "'").c_str());
}

TEST(SystemFolders, ProgramFolderHoldsTheRunningProgram)
{
    std::string exe = platform::program_path();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.substr(0, platform::program_folder().size() + 1), platform::program_folder() + "/");
    EXPECT_EQ(exe.find('/', platform::program_folder().size() + 1), std::string::npos);
}
