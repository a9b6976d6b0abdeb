// The registry lines of an install section: DelReg and AddReg (their rules are in
// platform/win_setupapi_install.h).
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_setupapi_install.h"
#include "setupapi_lines.h"

namespace win::setup_lines {
namespace {

// The fields an AddReg and a DelReg line share: "root, sub-key, value name, flags".
struct RegLine {
    HKEY root = nullptr;
    std::u16string sub_key, name;
    DWORD flags = 0;
};

// 0, or the error of a root it does not know (13, or 87 for HKR without a relative key) or of
// flags that are there and no number (13).
DWORD read_line(const INFCONTEXT& line, HKEY relative, RegLine* out)
{
    out->root = root_of(field(line, 1), relative);
    if (!out->root) return GetLastError();
    if (SetupGetFieldCount(&line) >= 4 && !field(line, 4).empty() && !int_field(line, 4, &out->flags))
        return ERROR_INVALID_DATA;
    out->sub_key = field(line, 2);
    out->name = field(line, 3);
    return ERROR_SUCCESS;
}

// Deletes a key with everything below it. A key that is not there is nothing to delete; a line
// without a sub-key would delete the whole root (or the caller's key), which no line may do.
DWORD delete_tree(HKEY root, const std::u16string& sub_key)
{
    if (sub_key.empty()) return ERROR_INVALID_DATA;
    HKEY key = nullptr;
    LSTATUS e = RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (e) return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(e);
    for (;;) {
        WCHAR name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if ((e = LSTATUS(delete_tree(key, name))) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return e ? DWORD(e) : DWORD(RegDeleteKeyW(root, sub_key.c_str()));
}

// Deletes one value; a value or key that is not there is nothing to delete.
DWORD delete_value(HKEY root, const std::u16string& sub_key, const std::u16string& name)
{
    HKEY key = nullptr;
    LSTATUS e = RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_SET_VALUE, &key);
    if (!e) {
        e = RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
    }
    return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(e);
}

// A value as stored; false when the key has none of that name.
bool stored_value(HKEY key, const std::u16string& name, DWORD* type, std::vector<BYTE>& data)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
    data.resize(size);
    if (RegQueryValueExW(key, name.c_str(), nullptr, type, data.data(), &size) != ERROR_SUCCESS) return false;
    data.resize(size);
    return true;
}

// The strings of multi-string bytes, up to the empty one that ends them (an odd last byte and
// an unterminated last string count as written).
std::vector<std::u16string> strings_of(const std::vector<BYTE>& data)
{
    std::vector<std::u16string> out;
    std::u16string current;
    const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
    for (char16_t c : platform::from_utf16le(bytes)) {
        if (c) {
            current += c;
            continue;
        }
        if (current.empty()) return out;
        out.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty()) out.push_back(std::move(current));
    return out;
}

// The bytes of a text value, as the registry stores them.
std::vector<BYTE> text_bytes(std::u16string_view text)
{
    const std::string bytes = platform::to_utf16le(text);
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

// Each string ended by a NUL, the list by another.
std::vector<BYTE> multi_string_bytes(const std::vector<std::u16string>& strings)
{
    std::u16string all;
    for (const std::u16string& s : strings) all += s + u'\0';
    return text_bytes(all + u'\0');
}

bool holds(const std::vector<std::u16string>& strings, const std::u16string& s)
{
    for (const std::u16string& t : strings)
        if (same(t, s)) return true;
    return false;
}

// The value bytes of an AddReg line; false for a type this machine does not know or a value that
// does not read as its type.
bool value_of(const INFCONTEXT& line, DWORD flags, DWORD* type, std::vector<BYTE>& data)
{
    const DWORD count = SetupGetFieldCount(&line);
    const DWORD kind = flags & FLG_ADDREG_TYPE_MASK;
    switch (kind) {
    case 0:
    case FLG_ADDREG_TYPE_EXPAND_SZ:
        *type = kind ? REG_EXPAND_SZ : REG_SZ;
        data = text_bytes(field(line, 5) + u'\0');
        return true;
    case FLG_ADDREG_TYPE_MULTI_SZ: {
        *type = REG_MULTI_SZ;
        std::vector<std::u16string> strings;
        for (DWORD i = 5; i <= count; ++i) strings.push_back(field(line, i));
        data = multi_string_bytes(strings);
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

// The strings of an append line added to those stored, each only when no string equal to it
// without case is there yet; false when a value of another type is stored under the name.
bool appended(HKEY key, const std::u16string& name, const std::vector<BYTE>& given, std::vector<BYTE>& data)
{
    DWORD type = 0;
    std::vector<BYTE> stored;
    std::vector<std::u16string> strings;
    if (stored_value(key, name, &type, stored)) {
        if (type != REG_MULTI_SZ) return false;
        strings = strings_of(stored);
    }
    for (const std::u16string& s : strings_of(given))
        if (!holds(strings, s)) strings.push_back(s);
    data = multi_string_bytes(strings);
    return true;
}

DWORD add_reg_line(const INFCONTEXT& line, HKEY relative)
{
    RegLine r;
    if (DWORD e = read_line(line, relative, &r)) return e;
    const auto& [root, sub_key, name, flags] = r;
    if (flags & FLG_ADDREG_DELVAL) return name.empty() ? delete_tree(root, sub_key) : delete_value(root, sub_key, name);
    const bool key_only = flags & (FLG_ADDREG_KEYONLY | FLG_ADDREG_KEYONLY_COMMON);
    const bool append = flags & FLG_ADDREG_APPEND;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!key_only) {
        // value_of reads the type bits alone, so the other bits (the 32- and 64-bit views among
        // them, one registry here) change nothing about the value.
        if ((append && (flags & FLG_ADDREG_TYPE_MASK) != FLG_ADDREG_TYPE_MULTI_SZ) ||
            !value_of(line, flags, &type, data))
            return ERROR_INVALID_DATA;
    }
    HKEY key = nullptr;
    if (flags & FLG_ADDREG_OVERWRITEONLY && !key_only) {
        // Only a value that is there already is reset: a missing key is not made for it.
        LSTATUS e = RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
        if (e) return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(e);
    } else if (LSTATUS e = RegCreateKeyExW(root, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr)) {
        return DWORD(e);
    }
    DWORD result = ERROR_SUCCESS;
    const bool exists = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (key_only || (flags & FLG_ADDREG_NOCLOBBER && exists) || (flags & FLG_ADDREG_OVERWRITEONLY && !exists)) {
        // nothing to write
    } else {
        std::vector<BYTE> merged;
        if (append && !appended(key, name, data, merged))
            result = ERROR_INVALID_DATA;
        else if (append)
            data = std::move(merged);
        if (!result) result = DWORD(RegSetValueExW(key, name.c_str(), 0, type, data.data(), DWORD(data.size())));
    }
    RegCloseKey(key);
    return result;
}

// Removes from a stored multi-string every string equal to `text` without regard to case. A
// missing key or value, or a value that is no multi-string, holds no such string.
DWORD delete_strings(HKEY root, const std::u16string& sub_key, const std::u16string& name, const std::u16string& text)
{
    if (text.empty()) return ERROR_INVALID_DATA;
    HKEY key = nullptr;
    LSTATUS e = RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (e) return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(e);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (stored_value(key, name, &type, data) && type == REG_MULTI_SZ) {
        std::vector<std::u16string> kept;
        for (std::u16string& s : strings_of(data))
            if (!same(s, text)) kept.push_back(std::move(s));
        const std::vector<BYTE> now = multi_string_bytes(kept);
        if (now != data) e = RegSetValueExW(key, name.c_str(), 0, REG_MULTI_SZ, now.data(), DWORD(now.size()));
    }
    RegCloseKey(key);
    return DWORD(e);
}

DWORD del_reg_line(const INFCONTEXT& line, HKEY relative)
{
    RegLine r;
    if (DWORD e = read_line(line, relative, &r)) return e;
    const auto& [root, sub_key, name, flags] = r;
    if (name.empty() || flags & FLG_DELREG_KEYONLY_COMMON) return delete_tree(root, sub_key);
    if ((flags & FLG_DELREG_MULTI_SZ_DELSTRING) == FLG_DELREG_MULTI_SZ_DELSTRING)
        return delete_strings(root, sub_key, name, field(line, 5));
    return delete_value(root, sub_key, name);
}

}  // namespace

DWORD install_registry_lines(HINF inf, const WCHAR* section, HKEY relative)
{
    if (DWORD e = for_each_listed_line(inf, section, u"DelReg", del_reg_line, relative)) return e;
    return for_each_listed_line(inf, section, u"AddReg", add_reg_line, relative);
}

}  // namespace win::setup_lines
