// The machine-wide list of NVRAM backups: a run finds the backups of its adapter whatever folder
// they were taken in, never another adapter's, and an entry whose backup is gone is dropped.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../../src/shell/backup_registry.h"
#include "shell_fixture.h"

using namespace shelltest;
namespace fs = std::filesystem;
using fwupg::shell::RegisteredBackupsOfSelectedAdapter;

namespace {

class BackupRegistryTest : public ShellTest {};

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
