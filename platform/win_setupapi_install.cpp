#include "platform/win_setupapi_install.h"

#include <cstdlib>
#include <string>
#include <vector>

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

DWORD for_each_listed_line(HINF inf, const WCHAR* section, const WCHAR* key, DWORD (*run)(const INFCONTEXT&, HKEY),
                           HKEY relative)
{
    INFCONTEXT list;
    if (!SetupFindFirstLineW(inf, section, key, &list)) return ERROR_SUCCESS;
    do {
        const DWORD count = SetupGetFieldCount(&list);
        for (DWORD i = 1; i <= count; ++i) {
            INFCONTEXT line;
            const std::u16string name = field(list, i);
            if (!SetupFindFirstLineW(inf, name.c_str(), nullptr, &line)) continue;
            do {
                if (DWORD e = run(line, relative)) return e;
            } while (SetupFindNextLine(&line, &line));
        }
    } while (SetupFindNextMatchLineW(&list, key, &list));
    return ERROR_SUCCESS;
}

}  // namespace setup_lines

namespace {

using setup_lines::field;
using setup_lines::for_each_listed_line;
using setup_lines::int_field;
using setup_lines::root_of;

// Deletes a key with everything below it.
LSTATUS delete_tree(HKEY parent, const std::u16string& sub_key)
{
    HKEY key = nullptr;
    LSTATUS e = RegOpenKeyExW(parent, sub_key.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (e) return e;
    for (;;) {
        WCHAR name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if ((e = delete_tree(key, name)) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return e ? e : RegDeleteKeyW(parent, sub_key.c_str());
}

// The value bytes of an AddReg line; false for a type this machine does not know.
bool value_of(const INFCONTEXT& line, DWORD flags, DWORD* type, std::vector<BYTE>& data)
{
    const DWORD count = SetupGetFieldCount(&line);
    auto text_bytes = [&](const std::u16string& text) {
        const auto* p = reinterpret_cast<const BYTE*>(text.data());
        data.assign(p, p + text.size() * 2);
    };
    const DWORD kind = flags & 0xFFFF0001;
    switch (kind) {
    case 0:
    case FLG_ADDREG_TYPE_EXPAND_SZ:
        *type = kind ? REG_EXPAND_SZ : REG_SZ;
        text_bytes(field(line, 5) + u'\0');
        return true;
    case FLG_ADDREG_TYPE_MULTI_SZ: {
        *type = REG_MULTI_SZ;
        std::u16string all;
        for (DWORD i = 5; i <= count; ++i) all += field(line, i) + u'\0';
        text_bytes(all + u'\0');
        return true;
    }
    case FLG_ADDREG_TYPE_DWORD: {
        *type = REG_DWORD;
        DWORD v = 0;
        if (count >= 5 && !int_field(line, 5, &v)) return false;
        data.assign(reinterpret_cast<const BYTE*>(&v), reinterpret_cast<const BYTE*>(&v) + 4);
        return true;
    }
    case FLG_ADDREG_BINVALUETYPE:
        *type = REG_BINARY;
        data.clear();
        for (DWORD i = 5; i <= count; ++i) {
            const std::string hex = platform::to_utf8(field(line, i));
            char* end = nullptr;
            unsigned long b = std::strtoul(hex.c_str(), &end, 16);
            if (hex.empty() || *end || b > 0xFF) return false;
            data.push_back(BYTE(b));
        }
        return true;
    default:
        return false;
    }
}

DWORD add_reg_line(const INFCONTEXT& line, HKEY relative)
{
    HKEY root = root_of(field(line, 1), relative);
    if (!root) return GetLastError();
    DWORD flags = 0;
    if (SetupGetFieldCount(&line) >= 4 && !field(line, 4).empty() && !int_field(line, 4, &flags))
        return ERROR_INVALID_DATA;
    HKEY key = nullptr;
    if (LSTATUS e = RegCreateKeyExW(root, field(line, 2).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr))
        return DWORD(e);
    const std::u16string name = field(line, 3);
    DWORD result = ERROR_SUCCESS;
    if (flags & FLG_ADDREG_KEYONLY) {
    } else if (flags & FLG_ADDREG_DELVAL) {
        LSTATUS e = RegDeleteValueW(key, name.c_str());
        result = e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(e);
    } else if (!(flags & FLG_ADDREG_NOCLOBBER) ||
               RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!value_of(line, flags & ~(FLG_ADDREG_NOCLOBBER), &type, data))
            result = ERROR_INVALID_DATA;
        else
            result = DWORD(RegSetValueExW(key, name.c_str(), 0, type, data.data(), DWORD(data.size())));
    }
    RegCloseKey(key);
    return result;
}

DWORD del_reg_line(const INFCONTEXT& line, HKEY relative)
{
    HKEY root = root_of(field(line, 1), relative);
    if (!root) return GetLastError();
    const std::u16string sub_key = field(line, 2);
    LSTATUS e;
    if (SetupGetFieldCount(&line) >= 3) {
        HKEY key = nullptr;
        e = RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_SET_VALUE, &key);
        if (!e) {
            e = RegDeleteValueW(key, field(line, 3).c_str());
            RegCloseKey(key);
        }
    } else {
        e = delete_tree(root, sub_key);
    }
    return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(e);
}

bool has_line(HINF inf, const WCHAR* section, const WCHAR* key)
{
    INFCONTEXT c;
    return SetupFindFirstLineW(inf, section, key, &c);
}

}  // namespace

BOOL SetupInstallFromInfSectionW(HANDLE, HINF inf, const WCHAR* section, UINT flags, HKEY relative_key, const WCHAR*,
                                 UINT, PSP_FILE_CALLBACK_W, void*, HDEVINFO, SP_DEVINFO_DATA*)
{
    if (!section) return fail_with<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (SetupGetLineCountW(inf, section) < 0) return FALSE;  // 6 or 0xE0000101, set by the call
    struct Work {
        UINT flag;
        const char16_t* keys[2];
    };
    // The work this machine does not do, by the lines that would ask for it.
    const Work others[] = {{SPINST_LOGCONFIG, {u"LogConfig", nullptr}},
                           {SPINST_FILES, {u"CopyFiles", u"DelFiles"}},
                           {SPINST_FILES, {u"RenFiles", nullptr}},
                           {SPINST_BITREG, {u"BitReg", nullptr}},
                           {SPINST_REGSVR, {u"RegisterDlls", nullptr}},
                           {SPINST_UNREGSVR, {u"UnregisterDlls", nullptr}},
                           {SPINST_PROFILEITEMS, {u"ProfileItems", nullptr}}};
    for (const Work& w : others)
        for (const char16_t* key : w.keys)
            if ((flags & w.flag) && key && has_line(inf, section, key))
                return fail_with<BOOL>(ERROR_NOT_SUPPORTED, FALSE);
    if (DWORD e = setup_lines::install_ini_lines(inf, section, flags & SPINST_INIFILES, flags & SPINST_INI2REG,
                                                 relative_key))
        return fail_with<BOOL>(e, FALSE);
    if (flags & SPINST_REGISTRY) {
        if (DWORD e = for_each_listed_line(inf, section, u"DelReg", del_reg_line, relative_key))
            return fail_with<BOOL>(e, FALSE);
        if (DWORD e = for_each_listed_line(inf, section, u"AddReg", add_reg_line, relative_key))
            return fail_with<BOOL>(e, FALSE);
    }
    return TRUE;
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
    for (const DirId& d : kDirIds)
        if (d.id == dirid) return environment_value(d.variable).value_or(u"") + d.tail;
    return {};
}

}  // namespace platform
