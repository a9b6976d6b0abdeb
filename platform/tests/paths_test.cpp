#include "platform/paths.h"
#include "platform/testing/temp_root.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

class PathsTest : public ::testing::Test {
protected:
    void touch(const std::string& rel) { std::ofstream(root + "/" + rel) << "x"; }
    platform::testing::TempSystemRoot temp_root;
    const std::string root = temp_root.path();
};

TEST_F(PathsTest, DriveLetterPathsMapUnderRootIgnoringCase)
{
    fs::create_directories(root + "/C/Program Files/Vendor");
    touch("C/Program Files/Vendor/Tool.EXE");
    EXPECT_EQ(platform::map_path("c:\\PROGRAM FILES\\vendor\\tool.exe"), root + "/C/Program Files/Vendor/Tool.EXE");
    // Components that do not exist yet are kept as written.
    EXPECT_EQ(platform::map_path("C:\\program files\\New\\a.log"), root + "/C/Program Files/New/a.log");
    EXPECT_EQ(platform::map_path("C:ZKFwUpgDbgLog.log"), "ZKFwUpgDbgLog.log");
    // ".." is taken away by its text and stops at the drive's root, as on the system.
    EXPECT_EQ(platform::map_path("C:\\..\\x\\..\\..\\.\\program files\\vendor\\..\\vendor\\TOOL.exe"),
              root + "/C/Program Files/Vendor/Tool.EXE");
    EXPECT_EQ(platform::map_path("D:\\a\\..\\.."), root + "/D");
    // The machine's view of a drive-relative name: the drive's root unless the current folder is
    // on that drive.
    EXPECT_EQ(platform::drive_full_path("c:x\\y.ini"), "C:/x/y.ini");
    EXPECT_EQ(platform::drive_full_path("C:\\x"), "C:\\x");
    const fs::path before = fs::current_path();
    fs::current_path(root + "/C/Program Files");
    EXPECT_EQ(platform::drive_full_path("C:..\\y.ini"), "C:/Program Files/../y.ini");
    fs::current_path(before);
    EXPECT_EQ(platform::normalize_slashes("a\\b\\c"), "a/b/c");
}

TEST(Paths, SplitFolderGivesTheFolderThatHoldsTheName)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {{"/r/C/a.ini", "/r/C", "a.ini"}, {"/a.ini", "/", "a.ini"}, {"a.ini", ".", "a.ini"},
                          {"x/y/", "x/y", ""}};
    for (const Case& c : cases) {
        const platform::FolderAndName split = platform::split_folder(c.path);
        EXPECT_EQ(split.folder, c.folder) << c.path;
        EXPECT_EQ(split.name, c.name) << c.path;
    }
}

TEST_F(PathsTest, ListingIsSortedAndExactNameWins)
{
    for (const char* n : {"b.bin", "A.BIN", "c.txt", "a.bin"}) touch(n);
    fs::create_directory(root + "/e.bin");
    auto names = platform::list_dir_sorted(root);
    std::vector<std::string> want{"A.BIN", "a.bin", "b.bin", "c.txt", "e.bin"};
    EXPECT_EQ(names, want);
    EXPECT_EQ(platform::resolve_case_insensitive(root + "/a.bin"), root + "/a.bin");
    EXPECT_EQ(platform::resolve_case_insensitive(root + "/B.Bin"), root + "/b.bin");
    EXPECT_TRUE(platform::list_dir_sorted(root + "/missing").empty());
}

TEST_F(PathsTest, RootFallsBackToSlash)
{
    setenv("FWUPG_SYSTEM_ROOT", "", 1);
    EXPECT_EQ(platform::system_root(), "/");
    EXPECT_EQ(platform::root_path("events.log"), "/events.log");
    setenv("FWUPG_SYSTEM_ROOT", "/x/y//", 1);
    EXPECT_EQ(platform::root_path("/adapters"), "/x/y/adapters");
}
