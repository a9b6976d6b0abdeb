#include "installer_common/SystemUtils.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/msvc_format.h"
#include "platform/utf16.h"
#include "platform/wide_ctype.h"
#include "platform/win_console.h"
#include "platform/win_fs.h"
#include "platform/win_handle.h"
#include "platform/win_library.h"
#include "platform/win_locale.h"
#include "platform/win_module.h"
#include "platform/win_registry.h"
#include "platform/win_process.h"
#include "platform/win_service.h"
#include "platform/win_sysinfo.h"

using namespace win;

namespace {
HMODULE g_instance = nullptr;
}

void SetInstanceHandle(HMODULE module) { g_instance = module; }

int GetModuleFolder(char16_t* out, size_t size)
{
    HMODULE module = g_instance ? g_instance : platform::module_of(reinterpret_cast<const void*>(&GetModuleFolder));
    char16_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    // Cut at the last separator: a backslash in the system's own paths, a slash in Linux ones.
    const char16_t* back = FindLastChar(path, u'\\');
    const char16_t* slash = FindLastChar(path, u'/');
    const char16_t* cut = back > slash ? back : slash;
    if (cut) path[cut - path] = 0;
    if (out && size > 0) platform::copy_utf16(platform::u16_view(path), out, size);
    return 1;
}

const char16_t* FindLastChar(const char16_t* text, char16_t c)
{
    if (!text) return nullptr;
    const char16_t* last = nullptr;
    for (const char16_t* p = text; *p; ++p)
        if (*p == c) last = p;
    return last;
}

void CopyString(char16_t* out, const char16_t* text)
{
    if (out) platform::copy_utf16(platform::u16_view(text), out, 255);
}

int FileExists(const char16_t* path)
{
    if (!path || !*path) return 0;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t GetFreeDiskSpace(const char16_t* folder)
{
    std::u16string root;
    if (folder) {
        root = std::u16string(folder) + u"\\";
    } else {
        char16_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        root = std::u16string(platform::u16_view(system).substr(0, 3));
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return 0;
    return available.QuadPart;
}

CStr BuildHardwareId(const char16_t* id)
{
    std::u16string s(platform::u16_view(id));
    auto part = [&](size_t at) { return s.substr(at, 4); };
    switch (s.size()) {
    case 7:
        return CStr(platform::format_msvc(u"*%s", s.c_str()));
    case 8:
        return CStr(platform::format_msvc(u"PCI\\VEN_%s&DEV_%s", part(0).c_str(), part(4).c_str()));
    case 16:
        return CStr(platform::format_msvc(u"PCI\\VEN_%s&DEV_%s&SUBSYS_%s%s", part(0).c_str(), part(4).c_str(),
                                          part(12).c_str(), part(8).c_str()));
    default:
        return CStr();
    }
}

int FindSubstringNoCase(const char16_t* text, const char16_t* part)
{
    size_t tl = platform::u16_length(text), pl = platform::u16_length(part);
    if (pl == 0 || pl > tl) return -1;
    for (size_t i = 0; i + pl <= tl; ++i)
        if (platform::wide_nicmp(text + i, part, pl) == 0) return int(i);
    return -1;
}

char16_t* TrimBlanks(char16_t* text)
{
    if (!text) return text;
    std::u16string s(platform::u16_view(text));
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t' || s.back() == u'\n' || s.back() == u'\r')) s.pop_back();
    platform::copy_utf16(s, text, 255);
    return text;
}

void OpenConsoleOutput()
{
    AllocConsole();
    SetConsoleScreenBufferSize(GetStdHandle(STD_OUTPUT_HANDLE), COORD{80, 500});
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::ios::sync_with_stdio(true);
}

void GetSystemLanguageCode(char16_t* out)
{
    if (!out) return;
    struct Known {
        const char16_t* language;
        const char16_t* code;
    };
    static const Known kKnown[] = {{u"French", u"fr"}, {u"Spanish", u"es"}, {u"German", u"de"},
                                   {u"Italian", u"it"}, {u"Japanese", u"ja"}};
    char16_t language[64] = {};
    const char16_t* code = u"en";
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SENGLANGUAGE, language, 64) > 0)
        for (const auto& k : kKnown)
            if (platform::wide_icmp(language, k.language) == 0) code = k.code;
    platform::copy_utf16(platform::u16_view(code), out, 3);
}

uint16_t LanguageCodeToLcid(const char16_t* code)
{
    struct Known {
        const char16_t* code;
        uint16_t lcid;
    };
    static const Known kKnown[] = {{u"fr", 2060}, {u"es", 2058}, {u"de", 2055}, {u"it", 2064}, {u"ja", 2065}};
    if (code)
        for (const auto& k : kKnown)
            if (platform::wide_icmp(code, k.code) == 0) return k.lcid;
    return 0x809;
}

int WrapText(char16_t* out, size_t capacity, const char16_t* text, size_t width, const char16_t* separator)
{
    if (!out || !text || !separator || width <= 29 || capacity < 1) return 0;
    size_t length = platform::u16_length(text);
    if (capacity * 2 < length * 3) return 0;
    std::u16string_view seps = platform::u16_view(separator);
    std::u16string result;
    std::u16string_view rest(text, length);
    while (!rest.empty()) {
        size_t cut = seps.empty() ? std::u16string_view::npos : rest.find_first_of(seps);
        std::u16string_view piece = rest.substr(0, cut);
        rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut + 1);
        if (piece.empty()) continue;
        while (piece.size() > width) {
            size_t blank = piece.substr(0, width).find_last_of(u' ');
            if (blank == std::u16string_view::npos) {
                result.append(piece.substr(0, width));
                piece.remove_prefix(width);
            } else {
                result.append(piece.substr(0, blank));
                piece.remove_prefix(blank + 1);
            }
            result.append(seps);
        }
        result.append(piece);
        result.append(seps);
    }
    // The output must hold the result and its NUL; a text that wraps into more than that fails.
    if (result.size() + 1 > capacity) return 0;
    platform::copy_utf16(result, out, capacity);
    return 1;
}

int RunProcessAndWait(const char16_t* commandLine, const char16_t* folder, int* exitCode, uint32_t timeoutMs)
{
    if (!commandLine || !folder || !exitCode) return 0;
    char16_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder);
    // The process may change its command line in place, so it gets a copy.
    std::u16string line(platform::u16_view(commandLine));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    int result = 0;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                       nullptr, *folder ? folder : nullptr, &startup, &info)) {
        DWORD code = 0;
        if (timeoutMs != 0 && WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(info.hProcess, &code))
            *exitCode = int(code);
        else
            *exitCode = -1;
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        result = 1;
    }
    SetCurrentDirectoryW(previous);
    return result;
}

int IsTerminalServicesEnabled()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 5)
        return 0;
    using SetMask = uint64_t (*)(uint64_t, DWORD, BYTE);
    using Verify = BOOL (*)(OSVERSIONINFOEXA*, DWORD, uint64_t);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    auto setMask = ntdll ? reinterpret_cast<SetMask>(GetProcAddress(ntdll, "VerSetConditionMask")) : nullptr;
    auto verify = kernel ? reinterpret_cast<Verify>(GetProcAddress(kernel, "VerifyVersionInfoA")) : nullptr;
    if (!setMask || !verify) return 0;
    OSVERSIONINFOEXA wanted{};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.wSuiteMask = VER_SUITE_TERMINAL;
    return verify(&wanted, VER_SUITENAME, setMask(0, VER_SUITENAME, VER_AND)) ? 1 : 0;
}

int ValidateProductSuite(const char* suite)
{
    if (!suite) return 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\CurrentControlSet\\Control\\ProductOptions", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0, size = 0;
    std::vector<char16_t> data;
    if (RegQueryValueExW(key, u"ProductSuite", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        // One more character than the value, so that the walk below always ends at a NUL.
        data.assign(size / sizeof(char16_t) + 2, 0);
        if (RegQueryValueExW(key, u"ProductSuite", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS)
            data.clear();
    }
    RegCloseKey(key);
    const std::u16string wanted = platform::to_utf16(suite);
    for (const char16_t* p = data.data(); !data.empty() && *p; p += platform::u16_length(p) + 1)
        if (wanted == p) return 1;
    return 0;
}

int IsWinPE()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

int IsWmiServiceRunning(const char16_t* machine)
{
    SC_HANDLE scm = OpenSCManagerW(machine, u"ServicesActive", SC_MANAGER_CONNECT);
    if (!scm) return 0;
    int running = 0;
    if (SC_HANDLE service = OpenServiceW(scm, u"winmgmt", SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status{};
        running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(scm);
    return running;
}
