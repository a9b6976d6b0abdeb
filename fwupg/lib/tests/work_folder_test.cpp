// The call's work folder: locked while its run lives, and the folders of ended runs removed by the
// next call - only real folders of our own name pattern whose lock is free, never through a link.
#include "fwupg/work_folder.h"
#include "platform/testing/temp_root.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using platform::testing::TempDir;

namespace {

// Runs the test in a tool folder of its own, with a temporary folder of its own.
class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(tool.path().c_str()), 0);
        if (const char* t = std::getenv("TMPDIR")) oldTmp = t;
        setenv("TMPDIR", tmp.path().c_str(), 1);
    }
    void TearDown() override
    {
        fwupg::EndCallWorkFolder();
        if (oldTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp.c_str(), 1);
        ASSERT_EQ(chdir(previous), 0);
    }
    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    TempDir tool, tmp, outside;
    char previous[4096] = {};
    std::string oldTmp;
};

// A lock file `path` held as a live run holds it; closed when the object ends.
struct HeldLock {
    explicit HeldLock(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_CREAT, 0600))
    {
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    }
    ~HeldLock() { close(fd); }
    int fd;
};

TEST_F(WorkFolder, EndedRunsFoldersAreRemovedOthersLeftAlone)
{
    // Ended runs: a free lock, no lock at all (a run that died before it locked), a lock file only
    // under its side name; each with work files, one a link to a file outside that must survive.
    for (const char* name : {"FwUpgWork.Ended1", "FwUpgWork.NoLck2", "FwUpgWork.SideN3"})
        fs::create_directories(tool / name + "/job.abcdef");
    Touch(tool / "FwUpgWork.Ended1/run.lock");
    Touch(tool / "FwUpgWork.SideN3/run.lock.new");
    Touch(tool / "FwUpgWork.Ended1/job.abcdef/MBA1.bin");
    Touch(outside / "kept");
    fs::create_symlink(outside / "kept", tool / "FwUpgWork.NoLck2/job.abcdef/link");
    fs::create_directories(tmp / "FwUpgWork.InTmp4");
    Touch(tmp / "FwUpgWork.InTmp4/run.lock");

    // Left alone: a live run's folder, a link at a work folder's name (to a folder outside, whose
    // files stay), names outside the pattern, and a plain file of the pattern.
    fs::create_directories(tool / "FwUpgWork.Alive5");
    HeldLock alive(tool / "FwUpgWork.Alive5/run.lock");
    fs::create_directories(outside / "victim");
    Touch(outside / "victim/run.lock");
    fs::create_directory_symlink(outside / "victim", tool / "FwUpgWork.Link66");
    for (const char* name : {"FwUpgWork.TooLong7", "FwUpgWork.ab-cd8", "FwUpgWorkXabcdef"})
        fs::create_directories(tool / name);
    Touch(tool / "FwUpgWork.File99");

    ASSERT_TRUE(fwupg::BeginCallWorkFolder());

    for (const char* gone : {"FwUpgWork.Ended1", "FwUpgWork.NoLck2", "FwUpgWork.SideN3"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(tool / gone))) << gone;
    EXPECT_FALSE(fs::exists(tmp / "FwUpgWork.InTmp4"));
    EXPECT_TRUE(fs::exists(outside / "kept"));
    for (const char* kept : {"FwUpgWork.Alive5", "FwUpgWork.TooLong7", "FwUpgWork.ab-cd8", "FwUpgWorkXabcdef",
                             "FwUpgWork.File99"})
        EXPECT_TRUE(fs::exists(tool / kept)) << kept;
    EXPECT_TRUE(fs::is_symlink(tool / "FwUpgWork.Link66"));
    EXPECT_TRUE(fs::exists(outside / "victim/run.lock"));
}

TEST_F(WorkFolder, TheCallsFolderIsLockedWhileItLivesAndGoneAfter)
{
    ASSERT_TRUE(fwupg::BeginCallWorkFolder());
    std::vector<fs::path> own;
    for (const auto& e : fs::directory_iterator(tool.path()))
        if (e.path().filename().string().rfind("FwUpgWork.", 0) == 0) own.push_back(e.path());
    ASSERT_EQ(own.size(), 1u);
    const int fd = open((own[0] / "run.lock").c_str(), O_RDWR | O_NOFOLLOW);
    ASSERT_GE(fd, 0);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0) << "another run must see this run's folder as alive";

    // A second call in the same process (the next export) leaves no folder of the first behind.
    fwupg::EndCallWorkFolder();
    close(fd);
    EXPECT_FALSE(fs::exists(own[0]));
}

}  // namespace
