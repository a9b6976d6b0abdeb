#include "platform/win_setupapi_install.h"

#include <functional>
#include <string>

#include "platform/debug_channel.h"
#include "platform/registry_store.h"
#include "platform/utf16.h"
#include "platform/win_env.h"
#include "platform/win_error.h"
#include "platform/win_service.h"
#include "setupapi_lines.h"

namespace win {

namespace setup_lines {

std::u16string field(const INFCONTEXT& context, DWORD index)
{
    DWORD needed = 0;
    if (!SetupGetStringFieldW(&context, index, nullptr, 0, &needed) || needed == 0) return {};
    std::u16string text(needed, u'\0');
    if (!SetupGetStringFieldW(&context, index, text.data(), needed, nullptr)) return {};
    text.resize(needed - 1);
    return text;
}

bool int_field(const INFCONTEXT& context, DWORD index, DWORD* value)
{
    INT v = 0;
    if (!SetupGetIntField(&context, index, &v)) return false;
    *value = DWORD(v);
    return true;
}

bool same(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'a' && a[i] <= u'z' ? char16_t(a[i] - 32) : a[i];
        char16_t y = b[i] >= u'a' && b[i] <= u'z' ? char16_t(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

HKEY root_of(const std::u16string& name, HKEY relative)
{
    struct Root {
        const char16_t* short_name;
        const char16_t* long_name;
        HKEY key;
    };
    const Root roots[] = {{u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                          {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                          {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                          {u"HKU", u"HKEY_USERS", HKEY_USERS}};
    for (const Root& r : roots)
        if (same(name, r.short_name) || same(name, r.long_name)) return r.key;
    if (same(name, u"HKR")) return relative ? relative : fail_with<HKEY>(ERROR_INVALID_PARAMETER, nullptr);
    return fail_with<HKEY>(ERROR_INVALID_DATA, nullptr);
}

DWORD for_each_listed_section(HINF inf, const WCHAR* section, const WCHAR* key,
                              const std::function<DWORD(const std::u16string&)>& run)
{
    INFCONTEXT list;
    if (!SetupFindFirstLineW(inf, section, key, &list)) return ERROR_SUCCESS;
    do {
        const DWORD count = SetupGetFieldCount(&list);
        for (DWORD i = 1; i <= count; ++i)
            if (DWORD e = run(field(list, i))) return e;
    } while (SetupFindNextMatchLineW(&list, key, &list));
    return ERROR_SUCCESS;
}

DWORD for_each_listed_line(HINF inf, const WCHAR* section, const WCHAR* key, DWORD (*run)(const INFCONTEXT&, HKEY),
                           HKEY relative)
{
    return for_each_listed_section(inf, section, key, [&](const std::u16string& name) -> DWORD {
        INFCONTEXT line;
        if (!SetupFindFirstLineW(inf, name.c_str(), nullptr, &line)) return ERROR_SUCCESS;
        do {
            if (DWORD e = run(line, relative)) return e;
        } while (SetupFindNextLine(&line, &line));
        return ERROR_SUCCESS;
    });
}

}  // namespace setup_lines

namespace {

using setup_lines::field;
using setup_lines::for_each_listed_line;
using setup_lines::int_field;
using setup_lines::root_of;

bool has_line(HINF inf, const WCHAR* section, const WCHAR* key)
{
    INFCONTEXT c;
    return SetupFindFirstLineW(inf, section, key, &c);
}

}  // namespace

BOOL SetupInstallFromInfSectionW(HANDLE, HINF inf, const WCHAR* section, UINT flags, HKEY relative_key, const WCHAR*,
                                 UINT, PSP_FILE_CALLBACK_W, void*, HDEVINFO, SP_DEVINFO_DATA* device)
{
    if (!section) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (SetupGetLineCountW(inf, section) < 0) return FALSE;  // 6 or 0xE0000101, set by the call
    struct Work {
        UINT flag;
        const char16_t* keys[2];
    };
    // The work this machine does not do, by the lines that would ask for it.
    const Work others[] = {{SPINST_FILES, {u"CopyFiles", u"DelFiles"}},
                           {SPINST_FILES, {u"RenFiles", nullptr}},
                           {SPINST_BITREG, {u"BitReg", nullptr}},
                           {SPINST_REGSVR, {u"RegisterDlls", nullptr}},
                           {SPINST_UNREGSVR, {u"UnregisterDlls", nullptr}}};
    for (const Work& w : others)
        for (const char16_t* key : w.keys)
            if ((flags & w.flag) && key && has_line(inf, section, key))
                return fail_with<BOOL>(ERROR_NOT_SUPPORTED, FALSE);
    // Log configurations are a device's: without one they are passed over, as the system does.
    if ((flags & SPINST_LOGCONFIG) && device && has_line(inf, section, u"LogConfig")) {
        platform::debug_channel().output("LogConfig of [" + platform::to_utf8(section) +
                                         "] is not installed: this machine's devices have no resources to configure\n");
        return fail_with<BOOL>(ERROR_NOT_SUPPORTED, FALSE);
    }
    if (flags & SPINST_PROFILEITEMS)
        if (DWORD e = setup_lines::check_profile_items(inf, section)) return fail_with<BOOL>(e, FALSE);

    // The registry is written once, when the section's lines have run (or stopped).
    platform::registry::Batch registry;
    DWORD e = setup_lines::install_ini_lines(inf, section, flags & SPINST_INIFILES, flags & SPINST_INI2REG, relative_key);
    if (!e && (flags & SPINST_REGISTRY)) e = setup_lines::install_registry_lines(inf, section, relative_key);
    if (!e && (flags & SPINST_PROFILEITEMS)) e = setup_lines::install_profile_items(inf, section);
    if (!registry.finish() && !e) e = ERROR_WRITE_FAULT;
    return e ? fail_with<BOOL>(e, FALSE) : TRUE;
}

BOOL SetupInstallServicesFromInfSectionW(HINF inf, const WCHAR* section, DWORD)
{
    if (!section) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (SetupGetLineCountW(inf, section) < 0) return FALSE;
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!scm) return FALSE;
    DWORD error = ERROR_SUCCESS;
    INFCONTEXT line;
    for (BOOL more = SetupFindFirstLineW(inf, section, u"DelService", &line); more && !error;
         more = SetupFindNextMatchLineW(&line, u"DelService", &line)) {
        SC_HANDLE service = OpenServiceW(scm, field(line, 1).c_str(), SERVICE_ALL_ACCESS);
        if (!service) continue;  // nothing to delete
        if (!DeleteService(service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) error = GetLastError();
        CloseServiceHandle(service);
    }
    for (BOOL more = SetupFindFirstLineW(inf, section, u"AddService", &line); more && !error;
         more = SetupFindNextMatchLineW(&line, u"AddService", &line)) {
        const std::u16string name = field(line, 1);
        const std::u16string install = field(line, 3);
        INFCONTEXT key;
        auto text = [&](const char16_t* k) {
            return SetupFindFirstLineW(inf, install.c_str(), k, &key) ? field(key, 1) : std::u16string();
        };
        auto number = [&](const char16_t* k, DWORD fallback) {
            DWORD v = fallback;
            if (SetupFindFirstLineW(inf, install.c_str(), k, &key)) int_field(key, 1, &v);
            return v;
        };
        if (name.empty() || SetupGetLineCountW(inf, install.c_str()) < 0) {
            error = ERROR_SECTION_NOT_FOUND;
            break;
        }
        const std::u16string display = text(u"DisplayName");
        const std::u16string binary = text(u"ServiceBinary");
        const std::u16string group = text(u"LoadOrderGroup");
        SC_HANDLE service = CreateServiceW(scm, name.c_str(), display.empty() ? nullptr : display.c_str(), SERVICE_ALL_ACCESS,
                                           number(u"ServiceType", SERVICE_KERNEL_DRIVER),
                                           number(u"StartType", SERVICE_DEMAND_START),
                                           number(u"ErrorControl", SERVICE_ERROR_NORMAL), binary.c_str(),
                                           group.empty() ? nullptr : group.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (!service)
            error = GetLastError();
        else
            CloseServiceHandle(service);
    }
    CloseServiceHandle(scm);
    return error ? fail_with<BOOL>(error, FALSE) : TRUE;
}

}  // namespace win

namespace platform {

std::u16string setup_dirid_folder(int dirid)
{
    struct DirId {
        int id;
        const char16_t* variable;
        const char16_t* tail;
    };
    static const DirId kDirIds[] = {
        {10, u"SystemRoot", u""},
        {11, u"SystemRoot", u"\\system32"},
        {12, u"SystemRoot", u"\\system32\\drivers"},
        {17, u"SystemRoot", u"\\inf"},
        {18, u"SystemRoot", u"\\help"},
        {20, u"SystemRoot", u"\\fonts"},
        {24, u"SystemDrive", u""},
        {50, u"SystemRoot", u"\\system"},
        {16406, u"ALLUSERSPROFILE", u""},
        {16407, u"ALLUSERSPROFILE", u"\\Start Menu\\Programs"},
        {16408, u"ALLUSERSPROFILE", u"\\Start Menu\\Programs\\Startup"},
        {16409, u"ALLUSERSPROFILE", u"\\Desktop"},
        {16415, u"ALLUSERSPROFILE", u"\\Favorites"},
        {16419, u"ALLUSERSPROFILE", u"\\Application Data"},
        {16422, u"ProgramFiles", u""},
        {16427, u"ProgramFiles", u"\\Common"},
    };
    for (const DirId& d : kDirIds) {
        if (d.id != dirid) continue;
        const std::u16string base = environment_value(d.variable).value_or(u"");
        // Only a folder of a drive of the machine: a value that names none (a host path, or
        // nothing) would lead the files of whoever asks off the machine.
        const bool on_drive = base.size() >= 2 && base[1] == u':' &&
                              ((base[0] >= u'A' && base[0] <= u'Z') || (base[0] >= u'a' && base[0] <= u'z'));
        return on_drive ? base + d.tail : std::u16string();
    }
    return {};
}

}  // namespace platform
