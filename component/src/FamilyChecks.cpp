// Each adapter family's dependency check: its driver services must exist and run, its driver file
// must be in the system's drivers folder, some families refuse NT 5.2, and one asks its own flash
// tool whether the driver and firmware set may be updated.
#include <iterator>

#include "ComponentText.h"
#include "FamilyComponents.h"
#include "installer_common/CService.h"
#include "installer_common/Log.h"
#include "platform/utf16.h"
#include "platform/win_find.h"
#include "platform/win_fs.h"
#include "platform/win_sysinfo.h"

namespace {

// The plug-in is built for x64: x64 driver files and messages.
constexpr bool kX64Build = true;

constexpr const char16_t* kSource = u"VR9TIRNComponent.cpp";

template <typename T>
T Pick(T x64, T x86)
{
    return kX64Build ? x64 : x86;
}

bool AnyRunning(std::initializer_list<const char16_t*> services)
{
    for (const char16_t* s : services)
        if (IsServiceRunning(s)) return true;
    return false;
}

// Loads the message into the caller's buffer (cut to its size) and gives false.
bool Fail(unsigned id, char16_t* message, int cch)
{
    if (message && cch > 0) LoadStringW(id, message, cch);
    return false;
}

bool Trace(const char16_t* family, bool result)
{
    LogTrace(g_pLogContext, u"component.cpp", __LINE__, u"Exit Pelar_%s::AreDependenciesMet : %s.\r\n", family,
             result ? u"True" : u"False");
    return result;
}

// The Zorevuvi driver: on NT 5.2 its driver file alone will do, then either of its services.
bool ZorevuviDriverPresent()
{
    if (IsWindowsNT52() && DriverFileExists(Pick(u"\\z57amd64.sys", u"\\z57xp32.sys"))) return true;
    return AnyRunning({Pick(u"Z57AMD64", u"Z57W2K"), Pick(u"z57nd60a", u"z57nd60x")});
}

}  // namespace

bool IsWindowsNT52()
{
    win::OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!win::GetVersionExW(&v)) return false;
    return v.dwPlatformId == win::VER_PLATFORM_WIN32_NT && v.dwMajorVersion == 5 && v.dwMinorVersion > 1;
}

bool DriverFileExists(const char16_t* name)
{
    char16_t system[win::MAX_PATH] = {};
    win::UINT n = win::GetSystemDirectoryW(system, win::MAX_PATH);
    if (n == 0 || n >= win::MAX_PATH) return false;
    std::u16string path = std::u16string(system) + u"\\drivers" + name;
    if (path.size() >= win::MAX_PATH) return false;
    win::WIN32_FIND_DATAW found{};
    win::HANDLE search = win::FindFirstFileW(path.c_str(), &found);
    if (search == win::INVALID_HANDLE_VALUE) return false;
    win::FindClose(search);
    return true;
}

bool IsServiceRunning(const char16_t* name)
{
    CService service(name);
    return service.Exists() && service.IsRunning();
}

bool ZorevuviTIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    if (ZorevuviDriverPresent()) return Trace(u"dov", true);
    return Trace(u"dov", Fail(Pick(180, 160), message, cch));
}

bool NXETIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    if (IsServiceRunning(u"zvxtnd")) return Trace(u"nxe", true);
    return Trace(u"nxe", Fail(Pick(186, 166), message, cch));
}

bool QuentaTIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    // NT 5.2 is not supported by this family at all; it fails without a message.
    if (IsWindowsNT52()) return Trace(u"quenta", false);
    if (AnyRunning({u"q1rexpress", u"qxgbn", u"qxgbt", u"qxgbi", u"qxgbs", u"q40ea", u"q40eb"}))
        return Trace(u"quenta", true);
    return Trace(u"quenta", Fail(Pick(182, 162), message, cch));
}

bool AldernKV9TIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    if (ZorevuviDriverPresent() || AnyRunning({u"a06vdrv", u"avdrv"})) return Trace(u"yxkv9", true);
    return Trace(u"yxkv9", Fail(Pick(181, 161), message, cch));
}

bool VR9PTIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    if (!IsWindowsNT52() && IsServiceRunning(u"YXNDNIC")) return Trace(u"yxr9p", true);
    return Trace(u"yxr9p", Fail(Pick(184, 164), message, cch));
}

bool YXZQTIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    if (AnyRunning({u"cvnd2", u"CVEDRV"})) return Trace(u"yxzq", true);
    return Trace(u"yxzq", Fail(Pick(185, 165), message, cch));
}

bool VR9TIRNComponent::AreDependenciesMet(char16_t* message, int cch, const char16_t*)
{
    UseLog();
#define VR9_LOG(...) LogVerbose(g_pLogContext, kSource, __LINE__, __VA_ARGS__)
    LogTrace(g_pLogContext, kSource, __LINE__, u"Enter Pelar_yxr9::AreDependenciesMet function.\r\n");
    bool nt52 = IsWindowsNT52();
    bool oldDriver = false;
    if (!nt52 && IsServiceRunning(u"MXND6ZK")) {
        oldDriver = true;
        VR9_LOG(u"Pelar_yxr9::AreDependenciesMet -- MXND6ZK service is running.  Please update driver to version "
                u"4.3.11.407 or later for successful operation.\r\n");
    }
    const char16_t* driver = nt52 ? Pick(u"\\zknd5x64.sys", u"\\zknd5x86.sys") : Pick(u"\\yxxgnd64.sys", u"\\yxxgnd32.sys");
    bool ok = true;
    if (!DriverFileExists(driver)) {
        ok = false;
        VR9_LOG(u"Pelar_yxr9::AreDependenciesMet -- driver was not found at <sysdirroot>\\drivers \r\n");
    } else {
        const char16_t* service = nt52 ? u"MXND5ZK" : u"YXNDNIC";
        if (!IsServiceRunning(service)) {
            ok = false;
            VR9_LOG(u"Pelar_yxr9::AreDependenciesMet -- driver %s doesn't exist or is not running. \r\n", service);
        }
    }
    bool result = false;
    if (!ok) {
        Fail(oldDriver ? unsigned(kStrOldDriverRuns) : Pick(183u, 163u), message, cch);
    } else {
        int code = int(do_command(std::u16string(u"ZKMxFlash.exe") + u" " + u"/yx" + u" ", true));
        if (code == 1 || code == 2) {
            VR9_LOG(u"Pelar_yxr9::Dependencies -- Driver and firmware set allowed for update.\r\n");
            if (message && cch > 0) LoadStringW(kStrDependenciesPassed, message, cch);
            result = true;
        } else if (code == 3) {
            VR9_LOG(u"Pelar_yxr9::Dependencies -- Another instance of mxflash is currently running.\r\n");
        } else {
            VR9_LOG(u"Pelar_yxr9::Dependencies -- Driver and firmware set are not allowed for update.\r\n");
            Fail(nt52 ? kStrNotAllowedNt52 : kStrNotAllowed, message, cch);
        }
    }
#undef VR9_LOG
    LogTrace(g_pLogContext, kSource, __LINE__,
             result ? u"Exit Pelar_yxr9::AreDependenciesMet: True.\r\n" : u"Exit Pelar_yxr9::AreDependenciesMet: False.\r\n");
    return result;
}
