// The machine-wide list of NVRAM backups: a run finds the backups of its adapter whatever folder
// they were taken in, never another adapter's, and an entry whose backup is gone is dropped.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "../../src/shell/backup_registry.h"
#include "shell_fixture.h"

using namespace shelltest;
namespace fs = std::filesystem;
using fwupg::shell::RegisteredBackupsOfSelectedAdapter;

namespace {

class BackupRegistryTest : public ShellTest {
protected:
    // A file `name` in another tool's folder, readable and writable by its owner alone.
    std::string PutInOtherFolder(const std::string& name)
    {
        const std::string other = root.path + "/other tool";
        fs::create_directories(other);
        const std::string path = other + "/" + name;
        std::ofstream(path) << "dump";
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
        return path;
    }
    // The files in the list's folder.
    static std::vector<std::string> Entries()
    {
        std::vector<std::string> entries;
        for (const auto& e : fs::directory_iterator(fwupg::shell::BackupRegistryFolder()))
            if (e.is_regular_file()) entries.push_back(e.path().string());
        return entries;
    }
};

}  // namespace

TEST_F(BackupRegistryTest, ARunFindsItsAdaptersBackupsFromAnyFolderAndOnlyThose)
{
    Start(5);
    const fs::path here = fs::current_path();
    const std::string other = root.path + "/other tool [1]";
    fs::create_directories(other);
    const std::string backup = other + "/NVMDump#_" + adapter.mac + ".BIN";
    std::ofstream(backup) << "dump";
    ASSERT_TRUE(fwupg::shell::RegisterBackup(backup));
    EXPECT_EQ(RegisteredBackupsOfSelectedAdapter(), std::vector<std::string>{backup});

    // A relative name is listed with the folder it was taken in.
    fs::current_path(other);
    std::ofstream("second.BIN") << "dump";
    ASSERT_TRUE(fwupg::shell::RegisterBackup("second.BIN"));
    fs::current_path(here);
    EXPECT_EQ(RegisteredBackupsOfSelectedAdapter().size(), 2u);
    fwupg::shell::UnregisterBackup(other + "/second.BIN");
    EXPECT_EQ(RegisteredBackupsOfSelectedAdapter(), std::vector<std::string>{backup});

    // A file of another kind in the list's folder is no entry.
    std::ofstream(fwupg::shell::BackupRegistryFolder() + "/0123456789abcdef0123456789abcdef") << "garbage";
    EXPECT_EQ(RegisteredBackupsOfSelectedAdapter(), std::vector<std::string>{backup});
    TearDown();

    // Another adapter does not see the backup.
    Start(sim::make_adapter(5, 2));
    EXPECT_TRUE(RegisteredBackupsOfSelectedAdapter().empty());
    TearDown();

    // Once the backup is gone its entry goes too.
    Start(5);
    fs::remove(backup);
    EXPECT_TRUE(RegisteredBackupsOfSelectedAdapter().empty());
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(fwupg::shell::BackupRegistryFolder()))
        entries += e.path().filename().string().size() == 32 && e.path().filename() != "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(entries, 0u);
}

// An entry or a backup that another user owns, or that others may change, is not used: it could have
// been planted to be programmed onto a damaged board.
TEST_F(BackupRegistryTest, EntriesAndBackupsOthersCouldHaveWrittenAreNotUsed)
{
    Start(5);
    const std::string backup = PutInOtherFolder("NVMDump#_" + adapter.mac + ".BIN");
    ASSERT_TRUE(fwupg::shell::RegisterBackup(backup));
    ASSERT_EQ(RegisteredBackupsOfSelectedAdapter(), std::vector<std::string>{backup});
    ASSERT_EQ(Entries().size(), 1u);
    const std::string entry = Entries().front();

    struct Case {
        const char* what;
        std::string path;
        bool chown;
        fs::perms add;
    };
    const std::vector<Case> cases = {
        {"entry of another owner", entry, true, fs::perms::none},
        {"entry others may write", entry, false, fs::perms::others_write},
        {"backup of another owner", backup, true, fs::perms::none},
        {"backup its group may write", backup, false, fs::perms::group_write},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::perms before = fs::status(c.path).permissions();
        if (c.chown && ::chown(c.path.c_str(), 12345, 12345) != 0) GTEST_SKIP() << "cannot give a file away here";
        fs::permissions(c.path, c.add, fs::perm_options::add);
        EXPECT_TRUE(RegisteredBackupsOfSelectedAdapter().empty());
        ASSERT_EQ(::chown(c.path.c_str(), ::geteuid(), ::getegid()), 0);
        fs::permissions(c.path, before);
        EXPECT_EQ(RegisteredBackupsOfSelectedAdapter(), std::vector<std::string>{backup});
    }
}

// A backup kept aside stays named in the list while it exists, for the console tool to name it, but
// is never offered as a leftover to use.
TEST_F(BackupRegistryTest, AKeptBackupIsNamedButNeverALeftoverToUse)
{
    Start(5);
    const std::string kept = PutInOtherFolder("NVMDump#_" + adapter.mac + ".BIN.unverified-1");
    ASSERT_TRUE(fwupg::shell::RegisterBackup(kept));
    EXPECT_TRUE(RegisteredBackupsOfSelectedAdapter().empty());
    EXPECT_EQ(Entries().size(), 1u) << "the kept file's entry stays while the file exists";
    fs::remove(kept);
    RegisteredBackupsOfSelectedAdapter();
    EXPECT_TRUE(Entries().empty()) << "and goes with it";
}
