#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testing/temp_root.h"
#include "platform/win_error.h"
#include "platform/win_library.h"
#include "platform/win_newdev.h"
#include "platform/win_sysinfo.h"

using namespace win;

namespace {
void Write(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}
}  // namespace

TEST(WinModules, LoadFilesOfTheSystemDrive)
{
    platform::testing::TempSystemRoot root;
    Write(root / "C/Windows/system32/newdev.dll", "[stand-in module]\nexports=UpdateDriverForPlugAndPlayDevicesW\n");
    Write(root / "C/Windows/system32/old.dll", "[stand-in module]\nexports=SomethingElse;\n");
    Write(root / "C/Windows/system32/junk.dll", "MZ not a module of this machine");

    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\system32\\none.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\system32"), nullptr);  // a folder
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\system32\\junk.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);

    HMODULE newdev = LoadLibraryW(u"C:\\WINDOWS\\System32\\NEWDEV.DLL");
    ASSERT_NE(newdev, nullptr);
    EXPECT_EQ(GetModuleHandleA("newdev.dll"), newdev);
    EXPECT_EQ(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW"),
              reinterpret_cast<FARPROC>(&UpdateDriverForPlugAndPlayDevicesW));
    EXPECT_EQ(GetProcAddress(newdev, "updatedriverforplugandplaydevicesw"), nullptr);  // names keep their case
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    // A module without the export; one that names a function nobody serves has it neither.
    HMODULE old = LoadLibraryW(u"C:\\Windows\\system32\\old.dll");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(GetProcAddress(old, "UpdateDriverForPlugAndPlayDevicesW"), nullptr);
    EXPECT_EQ(GetProcAddress(old, "SomethingElse"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    // Loads are counted; after the last FreeLibrary the handle is dead.
    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\system32\\newdev.dll"), newdev);
    EXPECT_TRUE(FreeLibrary(newdev));
    EXPECT_NE(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW"), nullptr);
    EXPECT_TRUE(FreeLibrary(newdev));
    EXPECT_EQ(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FreeLibrary(newdev));
    EXPECT_EQ(GetModuleHandleA("newdev.dll"), nullptr);
    EXPECT_TRUE(FreeLibrary(old));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&root)));
}

TEST(WinModules, SharedObjectsAndTheSystemModules)
{
    // A shared object loads by its Linux path and gives its own symbols.
    HMODULE libm = LoadLibraryW(u"/lib/x86_64-linux-gnu/libm.so.6");
    ASSERT_NE(libm, nullptr);
    EXPECT_NE(GetProcAddress(libm, "cos"), nullptr);
    EXPECT_EQ(GetProcAddress(libm, "no_such_symbol"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(libm));

    HMODULE ntdll = GetModuleHandleA("NTDLL.DLL");
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    ASSERT_NE(ntdll, nullptr);
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(GetProcAddress(ntdll, "VerSetConditionMask"), reinterpret_cast<FARPROC>(&VerSetConditionMask));
    EXPECT_EQ(GetProcAddress(kernel, "VerifyVersionInfoA"), reinterpret_cast<FARPROC>(&VerifyVersionInfoA));
    EXPECT_FALSE(FreeLibrary(kernel));  // never unloaded

    UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(GetErrorMode(), SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(before), SEM_FAILCRITICALERRORS);
}

TEST(WinVersion, VerifyVersionInfoComparesWithTheMachine)
{
    platform::testing::TempSystemRoot root;
    Write(root / "system.conf", "OsMajorVersion=6\nOsMinorVersion=1\nOsSuiteMask=0x110\n");
    struct Case {
        DWORD type;
        BYTE condition;
        DWORD major;
        WORD suites;
        BOOL expected;
    };
    const Case cases[] = {
        {VER_MAJORVERSION, VER_EQUAL, 6, 0, TRUE},
        {VER_MAJORVERSION, VER_GREATER_EQUAL, 5, 0, TRUE},
        {VER_MAJORVERSION, VER_GREATER, 6, 0, FALSE},
        {VER_MAJORVERSION, VER_LESS, 10, 0, TRUE},
        {VER_SUITENAME, VER_AND, 0, 0x10, TRUE},
        {VER_SUITENAME, VER_AND, 0, 0x12, FALSE},  // all bits asked
        {VER_SUITENAME, VER_OR, 0, 0x12, TRUE},    // any bit
        {VER_SUITENAME, VER_OR, 0, 0x2, FALSE},
    };
    for (const auto& c : cases) {
        OSVERSIONINFOEXA info{};
        info.dwOSVersionInfoSize = sizeof info;
        info.dwMajorVersion = c.major;
        info.wSuiteMask = c.suites;
        EXPECT_EQ(VerifyVersionInfoA(&info, c.type, VerSetConditionMask(0, c.type, c.condition)), c.expected)
            << c.type << " " << int(c.condition) << " " << c.major << " " << c.suites;
        if (!c.expected) {
            EXPECT_EQ(GetLastError(), ERROR_OLD_WIN_VERSION);
        }
    }
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info - 1;
    EXPECT_FALSE(VerifyVersionInfoA(&info, VER_MAJORVERSION, VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // Conditions of two fields live side by side in one mask.
    uint64_t mask = VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL), VER_SUITENAME, VER_AND);
    EXPECT_EQ(mask, (uint64_t(VER_EQUAL) << 3) | (uint64_t(VER_AND) << 18));
}
