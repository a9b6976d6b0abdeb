#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testing/temp_root.h"
#include "platform/win_error.h"
#include "platform/win_library.h"
#include "platform/win_newdev.h"
#include "platform/registry_store.h"
#include "platform/utf16.h"
#include "platform/win_registry.h"
#include "platform/win_service.h"
#include "platform/win_setupapi_install.h"
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

TEST(SetupApi, SectionInstallsOfRegistryLinesAndServices)
{
    platform::testing::TempSystemRoot root;
    Write(root / "C/pkg/a.inf",
          "[Version]\nSignature=\"$Windows NT$\"\n"
          "[Main]\nAddReg=Add\nDelReg=Del\n"
          "[Add]\nHKLM,Software\\T,Bin,1,0a,FF\nHKLM,Software\\T,Exp,0x20000,%%SystemRoot%%\\x\nHKR,Sub,Rel,,r\n"
          "HKLM,Software\\T\\Empty,,0x10\n"
          "[Del]\nHKLM,Software\\Old\n"
          "[Bad]\nAddReg=BadLines\n[BadLines]\nHKLM,Software\\T,X,0x30000,1\n"
          "[Hkr]\nAddReg=HkrLines\n[HkrLines]\nHKR,,X,,1\n"
          "[Svc]\nDelService=oldsvc\nAddService=newsvc,2,NewSvc.Install\n"
          "[NewSvc.Install]\nServiceType=1\nStartType=3\nErrorControl=1\nServiceBinary=C:\\x.sys\n"
          "[NoInstall]\nAddService=svc2,2,Missing.Install\n");
    ASSERT_TRUE(platform::registry::set_string("Software\\Old\\Deep", "v", "1"));
    HINF inf = SetupOpenInfFileW(u"C:\\pkg\\a.inf", nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    HKEY relative = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Rel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &relative,
                              nullptr),
              0);
    EXPECT_TRUE(SetupInstallFromInfSectionW(nullptr, inf, u"Main", SPINST_REGISTRY, relative, nullptr, 0, nullptr,
                                            nullptr, nullptr, nullptr));
    BYTE bin[4] = {};
    DWORD size = sizeof bin, type = 0;
    HKEY t = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\T", 0, KEY_READ, &t), 0);
    ASSERT_EQ(RegQueryValueExW(t, u"Bin", nullptr, &type, bin, &size), 0);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(bin[1], 0xFF);
    ASSERT_EQ(RegQueryValueExW(t, u"Exp", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    RegCloseKey(t);
    EXPECT_TRUE(platform::registry::key_exists("Software\\Rel\\Sub"));
    EXPECT_TRUE(platform::registry::key_exists("Software\\T\\Empty"));
    EXPECT_FALSE(platform::registry::key_exists("Software\\Old"));

    struct Case {
        const char16_t* section;
        HKEY relative;
        UINT flags;
        DWORD error;
    };
    const Case cases[] = {{u"Bad", nullptr, SPINST_REGISTRY, ERROR_INVALID_DATA},
                          {u"Hkr", nullptr, SPINST_REGISTRY, ERROR_INVALID_PARAMETER},
                          {u"None", nullptr, SPINST_REGISTRY, ERROR_SECTION_NOT_FOUND}};
    for (const Case& c : cases) {
        EXPECT_FALSE(SetupInstallFromInfSectionW(nullptr, inf, c.section, c.flags, c.relative, nullptr, 0, nullptr,
                                                 nullptr, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), c.error) << platform::to_utf8(c.section);
    }

    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE old = CreateServiceW(scm, u"oldsvc", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, u"C:\\o.sys", nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(old, nullptr);
    CloseServiceHandle(old);
    EXPECT_TRUE(SetupInstallServicesFromInfSectionW(inf, u"Svc", 0));
    EXPECT_EQ(OpenServiceW(scm, u"oldsvc", SERVICE_QUERY_STATUS), nullptr);
    SC_HANDLE created = OpenServiceW(scm, u"newsvc", SERVICE_QUERY_STATUS);
    EXPECT_NE(created, nullptr);
    if (created) CloseServiceHandle(created);
    EXPECT_FALSE(SetupInstallServicesFromInfSectionW(inf, u"Svc", 0));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
    EXPECT_FALSE(SetupInstallServicesFromInfSectionW(inf, u"NoInstall", 0));
    EXPECT_EQ(GetLastError(), ERROR_SECTION_NOT_FOUND);
    CloseServiceHandle(scm);
    RegCloseKey(relative);
    SetupCloseInfFile(inf);
}
