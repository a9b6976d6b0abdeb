#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "installer_common/CInf.h"
#include "installer_common/CRegistryKey.h"
#include "installer_common/CService.h"
#include "platform/device_store.h"
#include "platform/registry_store.h"
#include "platform/restart.h"
#include "platform/utf16.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "test_root.h"

namespace fs = std::filesystem;

namespace {

// A driver package in C:\pkg: two copy lists into system32\drivers and the Windows folder, a
// delete list and a rename list.
const char kPackageInf[] =
    "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\n"
    "[DestinationDirs]\nDefaultDestDir = 12\nTvn.App = 24, Tvn\\App\nTvn.Win = 10\n"
    "[Tvn.NT]\nCopyFiles = Tvn.Drv, Tvn.App, No.Such.List\nDelFiles = Tvn.Old\nRenFiles = Tvn.Ren\n"
    "[Tvn.Drv]\ntvnx.sys\ntvnx.dll, tvnsrc.dll\nkeep.ini,,,16\n"
    "[Tvn.App]\ntool.exe\n"
    "[Tvn.Old]\nold.sys\nmissing.sys\nlater.sys,,,1\n"
    "[Tvn.Ren]\nnew.cfg, old.cfg\n"
    "[Broken.NT]\nRenFiles = Broken.Ren\nCopyFiles = Tvn.App\n"
    "[Broken.Ren]\nonly-one.cfg\n";

struct Package : TestRoot {
    Package()
    {
        WriteAll(path("C/pkg/net.inf"), kPackageInf);
        for (const char* name : {"tvnx.sys", "tvnsrc.dll", "keep.ini", "tool.exe"})
            WriteAll(path(std::string("C/pkg/") + name), std::string("new ") + name);
        WriteAll(path("C/Windows/system32/drivers/keep.ini"), "kept");
        WriteAll(path("C/Windows/system32/drivers/old.sys"), "old");
        WriteAll(path("C/Windows/system32/drivers/later.sys"), "later");
        WriteAll(path("C/Windows/system32/drivers/old.cfg"), "cfg");
        fs::create_directories(path("C/Temp"));
        setenv("TMP", "C:\\Temp", 1);
    }
    std::string Drivers(const std::string& name) { return path("C/Windows/system32/drivers/" + name); }
};

win::HANDLE HoldOpen(const char16_t* path, win::DWORD share)
{
    return win::CreateFileW(path, win::GENERIC_READ, share, nullptr, win::OPEN_EXISTING, 0, nullptr);
}

}  // namespace

TEST(CInfInstall, DirectoryIdsAndDestinationFolders)
{
    TestRoot root;
    setenv("ProgramFiles", "D:\\Programs", 1);
    CInf inf(u"C:\\none.inf");
    struct Case {
        int id;
        const char16_t* folder;
    };
    const Case cases[] = {{10, u"C:\\Windows"},
                          {11, u"C:\\Windows\\system32"},
                          {12, u"C:\\Windows\\system32\\drivers"},
                          {17, u"C:\\Windows\\inf"},
                          {24, u"C:"},
                          {16407, u"C:\\ProgramData\\Start Menu\\Programs"},
                          {16427, u"D:\\Programs\\Common"},
                          {13, u""}};
    for (const Case& c : cases) EXPECT_EQ(inf.GetDirIdPath(c.id), c.folder) << c.id;

    WriteAll(root.path("C/pkg/net.inf"), kPackageInf);
    CInf package(u"C:\\pkg\\net.inf");
    ASSERT_EQ(package.ReadDestinationDirs(), 1);
    CStr folder;
    EXPECT_EQ(package.GetDestinationDir(u"Tvn.App", folder), 1);
    EXPECT_EQ(folder, u"C:\\Tvn\\App");
    EXPECT_EQ(package.GetDestinationDir(u"Tvn.Win", folder), 1);
    EXPECT_EQ(folder, u"C:\\Windows");
    EXPECT_EQ(package.GetDestinationDir(u"tvn.win", folder), 1);  // keys match with case: the default
    EXPECT_EQ(folder, u"C:\\Windows\\system32\\drivers");

    // A single line serves every section, named or not; without any line there is no folder.
    WriteAll(root.path("C/pkg/one.inf"), "[Version]\nSignature=\"$Windows NT$\"\n[DestinationDirs]\nA.Files = 12\n");
    CInf one(u"C:\\pkg\\one.inf");
    ASSERT_EQ(one.ReadDestinationDirs(), 1);
    EXPECT_EQ(one.GetDestinationDir(u"Other.Files", folder), 1);
    EXPECT_EQ(folder, u"C:\\Windows\\system32\\drivers");
    WriteAll(root.path("C/pkg/none.inf"), "[Version]\nSignature=\"$Windows NT$\"\n[DestinationDirs]\nA.Files = 13\n");
    CInf none(u"C:\\pkg\\none.inf");
    EXPECT_EQ(none.ReadDestinationDirs(), 0);
    EXPECT_EQ(none.GetDestinationDir(u"A.Files", folder), 0);
    EXPECT_EQ(folder, u"");
}

TEST(CInfInstall, CopyDeleteAndRenameLists)
{
    Package p;
    CInf inf(u"C:\\pkg\\net.inf");
    EXPECT_EQ(inf.ProcessCopyFiles(u"Tvn.NT"), 1);
    EXPECT_EQ(inf.ProcessDelFiles(u"Tvn.NT"), 1);
    EXPECT_EQ(inf.ProcessRenFiles(u"Tvn.NT"), 1);
    EXPECT_EQ(ReadAll(p.Drivers("tvnx.sys")), "new tvnx.sys");
    EXPECT_EQ(ReadAll(p.Drivers("tvnx.dll")), "new tvnsrc.dll");  // from its source name
    EXPECT_EQ(ReadAll(p.Drivers("keep.ini")), "kept");            // flag 16 keeps what is there
    EXPECT_EQ(ReadAll(p.path("C/Tvn/App/tool.exe")), "new tool.exe");  // folders made on the way
    EXPECT_FALSE(Exists(p.Drivers("old.sys")));
    EXPECT_EQ(ReadAll(p.Drivers("new.cfg")), "cfg");
    EXPECT_FALSE(Exists(p.Drivers("old.cfg")));
    // Flag 1 deletes at the restart only.
    EXPECT_EQ(ReadAll(p.Drivers("later.sys")), "later");
    EXPECT_EQ(inf.GetRebootFlag(), 1);
    EXPECT_EQ(platform::restart_machine(), 0);
    EXPECT_FALSE(Exists(p.Drivers("later.sys")));

    // A rename line with one field fails its list; the copy lists still run.
    fs::remove_all(p.path("C/Tvn"));
    EXPECT_EQ(inf.ProcessRenFiles(u"Broken.NT"), 0);
    EXPECT_EQ(inf.ProcessCopyFiles(u"Broken.NT"), 1);
    EXPECT_TRUE(Exists(p.path("C/Tvn/App/tool.exe")));

    // A missing source fails the line and stops its list.
    fs::remove(p.path("C/pkg/tvnx.sys"));
    fs::remove(p.Drivers("tvnx.dll"));
    EXPECT_EQ(inf.CopyFileSection(u"Tvn.Drv"), 0);
    EXPECT_FALSE(Exists(p.Drivers("tvnx.dll")));
}

TEST(CInfInstall, FilesInUseAreReplacedAtTheRestart)
{
    Package p;
    WriteAll(p.Drivers("tvnx.sys"), "running driver");
    WriteAll(p.Drivers("old.cfg"), "cfg");
    // The running driver is open without write or delete sharing, as a loaded driver is.
    win::HANDLE driver = HoldOpen(u"C:\\Windows\\system32\\drivers\\tvnx.sys", win::FILE_SHARE_READ);
    win::HANDLE old = HoldOpen(u"C:\\Windows\\system32\\drivers\\old.sys", win::FILE_SHARE_READ);
    ASSERT_NE(driver, win::INVALID_HANDLE_VALUE);
    ASSERT_NE(old, win::INVALID_HANDLE_VALUE);
    CInf inf(u"C:\\pkg\\net.inf");
    EXPECT_EQ(inf.GetRebootFlag(), 0);
    ASSERT_EQ(inf.ReadDestinationDirs(), 1);
    EXPECT_EQ(inf.CopyFileSection(u"Tvn.Drv"), 1);
    EXPECT_EQ(inf.DeleteFileSection(u"Tvn.Old"), 1);
    EXPECT_EQ(inf.GetRebootFlag(), 1);
    EXPECT_EQ(ReadAll(p.Drivers("tvnx.sys")), "running driver");
    EXPECT_EQ(ReadAll(p.Drivers("tvnx.dll")), "new tvnsrc.dll");
    EXPECT_TRUE(Exists(p.Drivers("old.sys")));
    // The new driver waits in TMP under its own name.
    std::vector<std::string> waiting;
    for (const auto& e : fs::directory_iterator(p.path("C/Temp"))) waiting.push_back(e.path().filename().string());
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].substr(0, 4), "tvnx");
    EXPECT_EQ(waiting[0].substr(waiting[0].size() - 4), ".sys");

    win::CloseHandle(driver);
    win::CloseHandle(old);
    EXPECT_EQ(platform::restart_machine(), 0);
    EXPECT_EQ(ReadAll(p.Drivers("tvnx.sys")), "new tvnx.sys");
    EXPECT_FALSE(Exists(p.Drivers("old.sys")));
    EXPECT_TRUE(fs::is_empty(p.path("C/Temp")));
}

TEST(CInfInstall, TemporaryCopiesAndFolderTrees)
{
    Package p;
    CInf inf(u"C:\\pkg\\net.inf");
    CStr temp;
    ASSERT_EQ(inf.CopyOneFile(u"C:\\pkg\\tvnx.sys", temp), 1);
    EXPECT_EQ(temp.substr(0, 12), u"C:\\Temp\\tvnx");
    CStr second;
    ASSERT_EQ(inf.CopyOneFile(u"C:\\pkg\\tvnx.sys", second), 1);
    EXPECT_NE(second, temp);
    // Without a TMP folder the copy lies beside the source.
    setenv("TMP", "C:\\NoSuchFolder", 1);
    ASSERT_EQ(inf.CopyOneFile(u"C:\\pkg\\tool.exe", temp), 1);
    EXPECT_EQ(temp.substr(0, 11), u"C:\\pkg\\tool");
    EXPECT_EQ(ReadAll(p.path("C/pkg/" + platform::to_utf8(temp.substr(7)))), "new tool.exe");
    EXPECT_EQ(inf.CopyOneFile(u"C:\\pkg\\none.exe", temp), 0);

    EXPECT_EQ(inf.CreateDirectoryTree(u"C:\\a\\b\\c\\"), 1);
    EXPECT_TRUE(fs::is_directory(p.path("C/a/b/c")));
    EXPECT_EQ(inf.CreateDirectoryTree(u"C:\\a\\b"), 1);  // already there
    EXPECT_EQ(inf.CreateParentFolder(u"C:\\x\\y\\file.txt"), 1);
    EXPECT_TRUE(fs::is_directory(p.path("C/x/y")));
    WriteAll(p.path("C/file"), "");
    EXPECT_EQ(inf.CreateDirectoryTree(u"C:\\file\\sub"), 0);  // a file in the way
}

TEST(CInfInstall, FileQueueCallbackTexts)
{
    TestRoot root;
    CInf inf(u"C:\\none.inf");
    win::FILEPATHS_W paths{u"C:\\t\\a.sys", u"D:\\s\\a.sys", 5, 0};
    const auto p = reinterpret_cast<uintptr_t>(&paths);
    EXPECT_EQ(CInf::FileQueueCallback(&inf, win::SPFILENOTIFY_COPYERROR, p, 0), win::FILEOP_SKIP);
    EXPECT_EQ(CInf::FileQueueCallback(&inf, win::SPFILENOTIFY_DELETEERROR, p, 0), win::FILEOP_SKIP);
    EXPECT_EQ(CInf::GetFileErrors(), (std::vector<std::u16string>{u"File Copy Error: D:\\s\\a.sys --> C:\\t\\a.sys",
                                                                  u"File Delete Error: C:\\t\\a.sys"}));
    EXPECT_EQ(CInf::GetFileErrorFlag(), 1);
    EXPECT_EQ(CInf::FileQueueCallback(&inf, win::SPFILENOTIFY_FILEOPDELAYED, p, 0), win::FILEOP_DOIT);
    EXPECT_EQ(inf.GetRebootFlag(), 1);
    EXPECT_EQ(CInf::FileQueueCallback(&inf, 0x99, p, 0), win::FILEOP_DOIT);

    CInf next(u"C:\\none.inf");  // a new object resets the flag
    EXPECT_EQ(CInf::GetFileErrorFlag(), 0);
    EXPECT_EQ(CInf::FileQueueCallback(&next, win::SPFILENOTIFY_NEEDMEDIA, 0, 0), win::FILEOP_DOIT);
    EXPECT_EQ(CInf::GetFileErrorFlag(), 0);
    EXPECT_EQ(CInf::FileQueueCallback(&next, win::SPFILENOTIFY_NEEDMEDIA, 0, 0), win::FILEOP_SKIP);
    EXPECT_EQ(CInf::GetFileErrorFlag(), 1);
}

namespace {

// A network driver with its registry lines, service and software settings.
const char kDriverInf[] =
    "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\n"
    "Provider=%Tvn%\nDriverVer=03/14/2024,7.2.0.0\n"
    "[DestinationDirs]\nDefaultDestDir=12\n"
    "[Manufacturer]\n%Tvn%=Tvn\n"
    "[Tvn]\n%Nic%=Tvn.NT,PCI\\VEN_14E4&DEV_1639\n"
    "[Tvn.NT]\nCopyFiles=Tvn.Drv\nAddReg=Tvn.Reg\n"
    "[Tvn.NT.Services]\nAddService=tvnx,2,Tvn.Service\n"
    "[Tvn.Service]\nServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=C:\\Windows\\system32\\drivers\\tvnx.sys\n"
    "DisplayName=%Nic%\n"
    "[Tvn.Drv]\ntvnx.sys\n"
    "[Tvn.Reg]\nHKLM,Software\\Tvn,Version,,7.2\nHKLM,Software\\Tvn,Count,0x10001,5\n"
    "HKLM,Software\\Tvn,List,0x10000,a,b\nHKLM,Software\\Tvn,Keep,2,new\nHKLM,Software\\Tvn,Old,4\n"
    "[Tvn.NT.SoftwareSettings]\nAddReg=Tvn.Soft\n"
    "[Tvn.Soft]\nHKR,,Speed,,auto\n"
    "[Strings]\nTvn=\"Tvn Networks\"\nNic=\"Tvn NetXtreme II\"\n";

struct DriverPackage : TestRoot {
    DriverPackage()
    {
        WriteAll(path("C/pkg/net.inf"), kDriverInf);
        WriteAll(path("C/pkg/tvnx.sys"), "new driver");
        platform::registry::set_string("Software\\Tvn", "Keep", "old");
        platform::registry::set_string("Software\\Tvn", "Old", "gone soon");
    }
    std::vector<std::string> RootDevices()
    {
        std::vector<std::string> ids;
        for (const auto& d : platform::devices::list())
            if (d.instance_id.rfind("ROOT\\", 0) == 0) ids.push_back(d.instance_id);
        return ids;
    }
};

std::u16string RegText(const char16_t* key, const char16_t* name)
{
    CRegistryKey k(key);
    CStr out(u"<none>");
    k.QueryString(name, out);
    return out;
}

}  // namespace

TEST(CInfInstall, InstallWritesFilesRegistryServicesAndTheDeviceNode)
{
    DriverPackage p;
    CInf inf(u"C:\\pkg\\net.inf");
    int reboot = 7;
    ASSERT_EQ(inf.Install(&reboot), 1);
    EXPECT_EQ(reboot, 0);
    EXPECT_EQ(ReadAll(p.path("C/Windows/system32/drivers/tvnx.sys")), "new driver");

    EXPECT_EQ(RegText(u"Software\\Tvn", u"Version"), u"7.2");
    EXPECT_EQ(RegText(u"Software\\Tvn", u"Keep"), u"old");  // no-clobber
    EXPECT_EQ(RegText(u"Software\\Tvn", u"Old"), u"<none>");  // deleted value
    EXPECT_EQ(platform::registry::get_dword("Software\\Tvn", "Count"), 5u);
    CRegistryKey list(u"Software\\Tvn");
    char16_t multi[8] = {};
    ASSERT_EQ(list.QueryValue(u"List", multi, sizeof multi), 1);
    EXPECT_EQ(std::u16string(multi, 5), std::u16string(u"a\0b\0", 5));
    EXPECT_EQ(RegText(u"System\\CurrentControlSet\\Services\\tvnx\\Device0", u"Speed"), u"auto");

    CService service(u"tvnx");
    EXPECT_EQ(service.Exists(), 1);
    // The service's device node, with the INF's driver installed on it.
    EXPECT_EQ(p.RootDevices(), std::vector<std::string>{"ROOT\\LEGACY_TVNX\\0000"});
    const auto node = platform::devices::list().back();
    ASSERT_TRUE(node.driver);
    EXPECT_EQ(node.driver->section, "Tvn.NT");
    EXPECT_EQ(node.driver->version, platform::devices::parse_version("7.2.0.0"));
    EXPECT_EQ(node.class_guid, "{4D36E972-E325-11CE-BFC1-08002BE10318}");
    EXPECT_TRUE(platform::registry::key_exists("System\\CurrentControlSet\\Enum\\Root\\LEGACY_TVNX\\0000"));

    // Again: the service exists and the node is there, so both are left as they are.
    CInf again(u"C:\\pkg\\net.inf");
    EXPECT_EQ(again.Install(nullptr), 1);
    EXPECT_EQ(p.RootDevices(), std::vector<std::string>{"ROOT\\LEGACY_TVNX\\0000"});

    // With the root-device flag the node is named after the service alone; a node made that way
    // has no hardware id to update the driver for, which the install reports.
    CInf root(u"C:\\pkg\\net.inf");
    root.m_rootDevice = 1;
    EXPECT_EQ(root.Install(nullptr), 0);
    EXPECT_EQ(p.RootDevices(), (std::vector<std::string>{"ROOT\\LEGACY_TVNX\\0000", "ROOT\\TVNX\\0000"}));
}

TEST(CInfInstall, InstallSectionAndTheRebootWord)
{
    DriverPackage p;
    WriteAll(p.path("C/Windows/system32/drivers/tvnx.sys"), "running driver");
    win::HANDLE running = HoldOpen(u"C:\\Windows\\system32\\drivers\\tvnx.sys", win::FILE_SHARE_READ);
    CInf inf(u"C:\\pkg\\net.inf");
    int reboot = 0;
    EXPECT_EQ(inf.InstallSection(u"Tvn.NT", &reboot, 0), 1);
    EXPECT_EQ(reboot, 1);  // the driver is replaced at the restart
    EXPECT_EQ(CService(u"tvnx").Exists(), 1);
    EXPECT_EQ(RegText(u"System\\CurrentControlSet\\Services\\tvnx\\Device0", u"Speed"), u"auto");
    EXPECT_EQ(p.RootDevices(), std::vector<std::string>{"ROOT\\LEGACY_TVNX\\0000"});
    win::CloseHandle(running);
    platform::restart_machine();
    EXPECT_EQ(ReadAll(p.path("C/Windows/system32/drivers/tvnx.sys")), "new driver");

    // A section's INI lines change the INI files of the machine.
    WriteAll(p.path("C/pkg/ini.inf"), std::string(kDriverInf) +
                                          "[Ini.NT]\nUpdateInis=Tvn.Ini\nUpdateIniFields=Tvn.Fields\n"
                                          "[Tvn.Ini]\nwin.ini,Tvn,,x=1\n[Tvn.Fields]\nwin.ini,Tvn,x,1,2\n"
                                          "[Profile.NT]\nUpdateInis=Tvn.Ini\nProfileItems=Tvn.Item\n"
                                          "[Tvn.Item]\nName=Mine,1\nCmdLine=11,tvn.exe\n"
                                          "[Menu.NT]\nProfileItems=Tvn.Menu\n"
                                          "[Tvn.Menu]\nName=Tvn Tool\nCmdLine=11,tvn.exe\nSubDir=Tvn\n");
    WriteAll(p.path("C/Windows/win.ini"), "[Tvn]\r\nx=0\r\n");
    CInf ini(u"C:\\pkg\\ini.inf");
    EXPECT_EQ(ini.InstallSection(u"Ini.NT", &reboot, 0), 1);
    EXPECT_EQ(reboot, 0);
    EXPECT_EQ(ReadAll(p.path("C/Windows/win.ini")), "[Tvn]\r\nx=2\r\n");
    // Work this machine does not do (a current user's Start-menu item) is reported, not passed
    // over, and nothing of the section runs.
    WriteAll(p.path("C/Windows/win.ini"), "[Tvn]\r\nx=0\r\n");
    EXPECT_EQ(ini.InstallSection(u"Profile.NT", &reboot, 0), 0);
    EXPECT_EQ(ReadAll(p.path("C/Windows/win.ini")), "[Tvn]\r\nx=0\r\n");
    // An all-users Start-menu item is made.
    EXPECT_EQ(ini.InstallSection(u"Menu.NT", &reboot, 0), 1);
    EXPECT_EQ(ReadAll(p.path("C/ProgramData/Start Menu/Programs/Tvn/Tvn Tool.lnk")),
              "[Shortcut]\r\nTarget=C:\\Windows\\system32\\tvn.exe\r\n"
              "CommandLine=\"C:\\Windows\\system32\\tvn.exe\"\r\nWorkingFolder=\r\n");
    // A file error recorded during an install fails it.
    CInf errors(u"C:\\pkg\\net.inf");
    win::FILEPATHS_W paths{u"C:\\t", u"C:\\s", 5, 0};
    CInf::FileQueueCallback(&errors, win::SPFILENOTIFY_COPYERROR, reinterpret_cast<uintptr_t>(&paths), 0);
    EXPECT_EQ(errors.InstallSection(u"Tvn.NT", &reboot, 0), 0);
    CInf closed(u"C:\\pkg\\none.inf");
    EXPECT_EQ(closed.Install(&reboot), 0);
    EXPECT_EQ(closed.InstallSection(u"Tvn.NT", &reboot, 0), 0);
}
