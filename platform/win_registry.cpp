#include "platform/win_registry.h"

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/system_conf.h"
#include "platform/utf16.h"
#include "platform/win_error.h"
#include "platform/win_handle.h"

namespace win {
namespace {

namespace reg = platform::registry;

constexpr size_t kMaxKeyNameChars = 255;
constexpr REGSAM kIgnoredAccess = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

struct KeyObject : platform::HandleObject {
    reg::Root root = reg::Root::LocalMachine;
    std::string path;
    REGSAM access = 0;
};

std::optional<reg::Root> predefined(HKEY key)
{
    switch (reinterpret_cast<uintptr_t>(key)) {
    case 0x80000000: return reg::Root::ClassesRoot;
    case 0x80000001: return reg::Root::CurrentUser;
    case 0x80000002: return reg::Root::LocalMachine;
    case 0x80000003: return reg::Root::Users;
    case 0x80000005: return reg::Root::CurrentConfig;
    default: return std::nullopt;
    }
}

// The key a handle names; nothing for a handle that names none.
std::optional<KeyObject> resolve(HKEY key)
{
    if (auto root = predefined(key)) {
        KeyObject k;
        k.root = *root;
        k.access = KEY_ALL_ACCESS;
        return k;
    }
    auto object = platform::lookup_handle_as<KeyObject>(key);
    if (!object) return std::nullopt;
    return *object;
}

// base's path joined with sub (may be null or empty); nothing for a malformed path.
std::optional<std::string> join_path(const KeyObject& base, const WCHAR* sub)
{
    std::string s = platform::to_utf8(platform::u16_view(sub));
    if (!s.empty() && s.back() == '\\') s.pop_back();
    auto names = reg::split_path(s);
    if (!names) return std::nullopt;
    for (const std::string& n : *names)
        if (platform::to_utf16(n).size() > kMaxKeyNameChars) return std::nullopt;
    if (s.empty()) return base.path;
    return base.path.empty() ? s : base.path + "\\" + s;
}

HKEY register_key(reg::Root root, std::string path, REGSAM access)
{
    auto object = std::make_shared<KeyObject>();
    object->root = root;
    object->path = std::move(path);
    object->access = access & ~kIgnoredAccess;
    return platform::register_handle(std::move(object));
}

std::string value_name(const WCHAR* name) { return platform::to_utf8(platform::u16_view(name)); }

// The descriptor a key's access list gives: the self-relative header, then an ACL that allows
// everyone all access and, for a protected key, first denies everyone deletion.
std::vector<uint8_t> key_descriptor(bool is_protected)
{
    static const uint8_t kEveryone[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    auto ace = [](std::vector<uint8_t>& out, BYTE type, DWORD mask) {
        const WORD size = 20;
        out.push_back(type);
        out.push_back(0);
        out.push_back(uint8_t(size));
        out.push_back(uint8_t(size >> 8));
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(mask >> (8 * i)));
        out.insert(out.end(), kEveryone, kEveryone + sizeof kEveryone);
    };
    std::vector<uint8_t> aces;
    if (is_protected) ace(aces, ACCESS_DENIED_ACE_TYPE, DELETE);
    ace(aces, ACCESS_ALLOWED_ACE_TYPE, KEY_ALL_ACCESS);

    std::vector<uint8_t> out(20, 0);
    out[0] = SECURITY_DESCRIPTOR_REVISION;
    const WORD control = SE_SELF_RELATIVE | SE_DACL_PRESENT;
    std::memcpy(out.data() + 2, &control, 2);
    const DWORD dacl_offset = 20;
    std::memcpy(out.data() + 16, &dacl_offset, 4);
    ACL acl{2, 0, WORD(sizeof(ACL) + aces.size()), WORD(is_protected ? 2 : 1), 0};
    out.resize(out.size() + sizeof acl);
    std::memcpy(out.data() + 20, &acl, sizeof acl);
    out.insert(out.end(), aces.begin(), aces.end());
    return out;
}

// Edits the stored key a handle names under the registry's lock: 1018 when the key is gone,
// the edit's own refusal, or 29 when the change could not be written.
LSTATUS change_key(const KeyObject& k, const std::function<LSTATUS(reg::Key&)>& edit)
{
    LSTATUS status = ERROR_SUCCESS;
    const bool written = reg::update_hive(k.root, [&](reg::Hive& hive) {
        reg::Key* stored = hive.find(k.path);
        status = stored ? edit(*stored) : LSTATUS(ERROR_KEY_DELETED);
        return status == ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    return written ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace

LSTATUS RegConnectRegistryW(const WCHAR* machine, HKEY root, HKEY* result)
{
    if (!result) return ERROR_INVALID_PARAMETER;
    auto r = predefined(root);
    if (!r) return ERROR_INVALID_HANDLE;
    if (!platform::is_local_machine(platform::u16_view(machine))) return ERROR_BAD_NETPATH;
    *result = register_key(*r, "", KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY key, const WCHAR* sub_key, DWORD, REGSAM access, HKEY* result)
{
    if (!result) return ERROR_INVALID_PARAMETER;
    auto base = resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = join_path(*base, sub_key);
    if (!path) return ERROR_INVALID_PARAMETER;
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    reg::view_hive(base->root, [&](const reg::Hive& hive) {
        const reg::Key* k = hive.find(*path);
        if (!k) return;
        if (k->is_protected && (access & DELETE)) {
            status = ERROR_ACCESS_DENIED;
            return;
        }
        *result = register_key(base->root, k->path, access);
        status = ERROR_SUCCESS;
    });
    return status;
}

LSTATUS RegCreateKeyExW(HKEY key, const WCHAR* sub_key, DWORD, WCHAR*, DWORD options, REGSAM access, void*,
                        HKEY* result, DWORD* disposition)
{
    if (!result) return ERROR_INVALID_PARAMETER;
    auto base = resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = join_path(*base, sub_key);
    if (!path) return ERROR_INVALID_PARAMETER;
    if (!(base->access & KEY_CREATE_SUB_KEY) && !path->empty() && *path != base->path) return ERROR_ACCESS_DENIED;
    const bool want_volatile = (options & REG_OPTION_VOLATILE) != 0;
    LSTATUS status = ERROR_SUCCESS;
    bool created = false;
    std::string stored_path;
    const bool written = reg::update_hive(base->root, [&](reg::Hive& hive) {
        if (!hive.find(base->path)) {
            status = ERROR_KEY_DELETED;
            return false;
        }
        if (const reg::Key* existing = hive.find(*path)) {
            if (existing->is_protected && (access & DELETE)) {
                status = ERROR_ACCESS_DENIED;
                return false;
            }
            stored_path = existing->path;
            return false;  // nothing to write
        }
        // A stable key cannot live below a volatile one.
        auto names = *reg::split_path(*path);
        std::string p;
        for (const std::string& n : names) {
            p += (p.empty() ? "" : "\\") + n;
            const reg::Key* k = hive.find(p);
            if (k && k->is_volatile && !want_volatile) {
                status = ERROR_CHILD_MUST_BE_VOLATILE;
                return false;
            }
        }
        stored_path = hive.create(*path, want_volatile).path;
        created = true;
        return true;
    });
    if (status != ERROR_SUCCESS) return status;
    if (created && !written) return ERROR_WRITE_FAULT;
    *result = register_key(base->root, stored_path, access);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (predefined(key)) return ERROR_SUCCESS;
    if (!platform::lookup_handle_as<KeyObject>(key)) return ERROR_INVALID_HANDLE;
    CloseHandle(key);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, const WCHAR* name, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    auto k = resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    LSTATUS status = ERROR_SUCCESS;
    reg::view_hive(k->root, [&](const reg::Hive& hive) {
        const reg::Key* stored = hive.find(k->path);
        const reg::Value* v = stored ? stored->find_value(value_name(name)) : nullptr;
        if (!v) {
            status = stored ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
            return;
        }
        if (type) *type = v->type;
        const DWORD needed = static_cast<DWORD>(v->data.size());
        if (data && *size < needed) {
            *size = needed;
            status = ERROR_MORE_DATA;
            return;
        }
        if (data && needed) std::memcpy(data, v->data.data(), needed);
        if (size) *size = needed;
    });
    return status;
}

LSTATUS RegSetValueExW(HKEY key, const WCHAR* name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    auto k = resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (size && !data) return ERROR_INVALID_PARAMETER;
    const std::string n = value_name(name);
    if (n.find_first_of("\r\n") != std::string::npos) return ERROR_INVALID_PARAMETER;
    return change_key(*k, [&](reg::Key& stored) {
        stored.set_value(reg::Value{n, type, std::vector<uint8_t>(data, data + size)});
        return LSTATUS(ERROR_SUCCESS);
    });
}

LSTATUS RegDeleteValueW(HKEY key, const WCHAR* name)
{
    auto k = resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!(k->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return change_key(*k, [&](reg::Key& stored) {
        return LSTATUS(stored.erase_value(value_name(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, WCHAR* name, DWORD* name_size, DWORD*, WCHAR*, DWORD* class_size,
                      FILETIME* last_write)
{
    auto k = resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!name || !name_size) return ERROR_INVALID_PARAMETER;
    if (!(k->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    std::optional<std::vector<std::string>> listed;
    reg::view_hive(k->root, [&](const reg::Hive& hive) {
        if (hive.find(k->path)) listed = hive.subkeys(k->path);
    });
    if (!listed) return ERROR_KEY_DELETED;
    const std::vector<std::string>& subkeys = *listed;
    if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::u16string wide = platform::to_utf16(subkeys[index]);
    if (wide.size() + 1 > *name_size) return ERROR_MORE_DATA;
    std::memcpy(name, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    *name_size = static_cast<DWORD>(wide.size());
    if (class_size) *class_size = 0;
    if (last_write) *last_write = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyW(HKEY key, const WCHAR* sub_key)
{
    auto base = resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = join_path(*base, sub_key);
    if (!path) return ERROR_INVALID_PARAMETER;
    LSTATUS status = ERROR_SUCCESS;
    const bool written = reg::update_hive(base->root, [&](reg::Hive& hive) {
        const reg::Key* k = hive.find(*path);
        if (!k)
            status = ERROR_FILE_NOT_FOUND;
        else if (path->empty() || k->is_protected || !hive.subkeys(*path).empty())
            status = ERROR_ACCESS_DENIED;
        if (status != ERROR_SUCCESS) return false;
        hive.erase(*path);
        return true;
    });
    if (status != ERROR_SUCCESS) return status;
    return written ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, DWORD* size)
{
    auto k = resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!size) return ERROR_INVALID_PARAMETER;
    if (!(k->access & READ_CONTROL)) return ERROR_ACCESS_DENIED;
    const reg::Hive hive = reg::read_hive(k->root);
    const reg::Key* stored = hive.find(k->path);
    if (!stored) return ERROR_KEY_DELETED;
    std::vector<uint8_t> sd = key_descriptor(stored->is_protected);
    if (!(info & DACL_SECURITY_INFORMATION)) {
        sd.resize(20);
        const WORD control = SE_SELF_RELATIVE;
        std::memcpy(sd.data() + 2, &control, 2);
        std::memset(sd.data() + 16, 0, 4);
    }
    if (!descriptor || *size < sd.size()) {
        *size = static_cast<DWORD>(sd.size());
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(descriptor, sd.data(), sd.size());
    *size = static_cast<DWORD>(sd.size());
    return ERROR_SUCCESS;
}

LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor)
{
    auto k = resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!(k->access & WRITE_DAC)) return ERROR_ACCESS_DENIED;
    bool present = false;
    const ACL* dacl = nullptr;
    if (!platform::descriptor_dacl(descriptor, &present, &dacl)) return ERROR_INVALID_SECURITY_DESCR;
    if (!(info & DACL_SECURITY_INFORMATION)) return ERROR_SUCCESS;
    const bool denies_delete = present && platform::acl_denies_everyone(dacl, DELETE);
    return change_key(*k, [&](reg::Key& stored) {
        stored.is_protected = denies_delete;
        return LSTATUS(ERROR_SUCCESS);
    });
}

}  // namespace win
