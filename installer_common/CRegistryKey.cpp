#include "installer_common/CRegistryKey.h"

#include <cstring>
#include <vector>

#include "platform/utf16.h"

using namespace win;

namespace {
constexpr DWORD kNameChars = 260;
constexpr DWORD kStringChars = 260;
}  // namespace

CRegistryKey::CRegistryKey(const char16_t* subKey) : CRegistryKey(HKEY_LOCAL_MACHINE, nullptr, subKey) {}

CRegistryKey::CRegistryKey(const char16_t* machine, const char16_t* subKey)
    : CRegistryKey(HKEY_LOCAL_MACHINE, machine, subKey)
{
}

CRegistryKey::CRegistryKey(HKEY root, const char16_t* subKey) : CRegistryKey(root, nullptr, subKey) {}

CRegistryKey::CRegistryKey(HKEY root, const char16_t* machine, const char16_t* subKey)
    : m_root(root), m_machine(machine), m_subKey(subKey)
{
}

CRegistryKey::~CRegistryKey() { Close(); }

void CRegistryKey::SetAccess(DWORD mask) { m_access = mask; }

int CRegistryKey::OpenWith(bool create, DWORD options)
{
    Close();
    if (m_subKey.empty()) return 0;
    if (RegConnectRegistryW(m_machine.empty() ? nullptr : m_machine.c_str(), m_root, &m_connected) != ERROR_SUCCESS) {
        m_connected = nullptr;
        return 0;
    }
    const LSTATUS status = create ? RegCreateKeyExW(m_connected, m_subKey.c_str(), 0, nullptr, options,
                                                    KEY_ALL_ACCESS, nullptr, &m_key, nullptr)
                                  : RegOpenKeyExW(m_connected, m_subKey.c_str(), 0, m_access, &m_key);
    if (status != ERROR_SUCCESS) {
        m_key = nullptr;
        Close();
        return 0;
    }
    return 1;
}

int CRegistryKey::Open() { return OpenWith(false, 0); }
int CRegistryKey::Create() { return OpenWith(true, REG_OPTION_NON_VOLATILE); }
int CRegistryKey::CreateVolatile() { return OpenWith(true, REG_OPTION_VOLATILE); }

void CRegistryKey::Close()
{
    if (m_key) RegCloseKey(m_key);
    if (m_connected) RegCloseKey(m_connected);
    m_key = nullptr;
    m_connected = nullptr;
}

int CRegistryKey::Exists()
{
    if (!Open()) return 0;
    Close();
    return 1;
}

HKEY CRegistryKey::GetKey() const { return m_key; }
const CStr& CRegistryKey::GetSubKey() const { return m_subKey; }

int CRegistryKey::ReadValue(const char16_t* name, void* buffer, DWORD* size, DWORD* type)
{
    if (!Open()) return 0;
    const LSTATUS status = RegQueryValueExW(m_key, name, nullptr, type, static_cast<BYTE*>(buffer), size);
    Close();
    return status == ERROR_SUCCESS;
}

int CRegistryKey::QueryDWORD(const char16_t* name, DWORD* out)
{
    DWORD value = 0, size = sizeof value, type = REG_NONE;
    if (!ReadValue(name, &value, &size, &type) || type != REG_DWORD || size != sizeof value) return 0;
    if (out) *out = value;
    return 1;
}

int CRegistryKey::QueryString(const char16_t* name, CStr& out)
{
    char16_t buffer[kStringChars] = {};
    DWORD size = sizeof buffer, type = REG_NONE;
    if (!ReadValue(name, buffer, &size, &type) || type != REG_SZ) return 0;
    // The stored data need not end in a NUL: the text ends at the bytes read or at its first NUL.
    const size_t chars = size / sizeof(char16_t);
    out = CStr(std::u16string_view(buffer, std::char_traits<char16_t>::length(buffer) < chars
                                               ? std::char_traits<char16_t>::length(buffer)
                                               : chars));
    return 1;
}

int CRegistryKey::QueryBinary(const char16_t* name, void* buffer, DWORD size)
{
    DWORD type = REG_NONE;
    return ReadValue(name, buffer, &size, &type) && type == REG_BINARY;
}

int CRegistryKey::QueryValue(const char16_t* name, void* buffer, DWORD size)
{
    DWORD type = REG_NONE;
    return ReadValue(name, buffer, &size, &type);
}

DWORD CRegistryKey::QueryValueSize(const char16_t* name)
{
    DWORD size = 0;
    if (!m_key || RegQueryValueExW(m_key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return 0;
    return size;
}

int CRegistryKey::SetDWORD(const char16_t* name, DWORD value)
{
    if (!Create()) return 0;
    const LSTATUS status =
        RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    Close();
    return status == ERROR_SUCCESS;
}

int CRegistryKey::SetValue(const char16_t* name, const char16_t* data, DWORD type)
{
    if (!data) return 0;
    DWORD size = 0;
    switch (type) {
    case REG_DWORD:
        size = 4;
        break;
    case REG_QWORD:
        size = 8;
        break;
    case REG_MULTI_SZ: {
        // Every string with its NUL, then the closing empty string, so that a reader finds the end.
        const char16_t* p = data;
        while (*p) p += platform::u16_length(p) + 1;
        size = static_cast<DWORD>((p - data + 1) * sizeof(char16_t));
        break;
    }
    default:
        size = static_cast<DWORD>((platform::u16_length(data) + 1) * sizeof(char16_t));
        break;
    }
    if (!Create()) return 0;
    const LSTATUS status = RegSetValueExW(m_key, name, 0, type, reinterpret_cast<const BYTE*>(data), size);
    Close();
    return status == ERROR_SUCCESS;
}

int CRegistryKey::DeleteValue(const char16_t* name)
{
    if (!Open()) return 0;
    const LSTATUS status = RegDeleteValueW(m_key, name);
    Close();
    return status == ERROR_SUCCESS;
}

int CRegistryKey::DeleteTree() { return DeleteTreeOnce(true); }

int CRegistryKey::DeleteTreeOnce(bool mayGrant)
{
    // Existence and the sub-key walk need only read access: a key that refuses deletion still
    // exists, and must not be reported as deleted.
    const DWORD access = m_access;
    m_access = KEY_READ;
    const int opened = Open();
    m_access = access;
    if (!opened) {
        HKEY probe = nullptr;
        HKEY connected = nullptr;
        if (RegConnectRegistryW(m_machine.empty() ? nullptr : m_machine.c_str(), m_root, &connected) != ERROR_SUCCESS)
            return 0;
        const LSTATUS status = RegOpenKeyExW(connected, m_subKey.c_str(), 0, KEY_READ, &probe);
        if (status == ERROR_SUCCESS) RegCloseKey(probe);
        RegCloseKey(connected);
        return status == ERROR_FILE_NOT_FOUND ? 1 : 0;  // nothing to delete
    }
    while (true) {
        char16_t name[kNameChars] = {};
        DWORD chars = kNameChars;
        const LSTATUS status = RegEnumKeyExW(m_key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            Close();
            return 0;
        }
        CStr child = m_subKey;
        child += u"\\";
        child += name;
        CRegistryKey sub(m_root, m_machine.c_str(), child.c_str());
        // The walk always reads the first sub-key: one that cannot be deleted would come back for
        // ever, so it ends the walk with a failure.
        if (!sub.DeleteTreeOnce(mayGrant)) {
            Close();
            return 0;
        }
    }
    const LSTATUS status = RegDeleteKeyW(m_connected, m_subKey.c_str());
    Close();
    if (status == ERROR_ACCESS_DENIED && mayGrant) {
        if (!GrantAccess(m_root, m_subKey.c_str())) return 0;
        CRegistryKey again(m_root, m_machine.c_str(), m_subKey.c_str());
        return again.DeleteTreeOnce(false);
    }
    return status == ERROR_SUCCESS;
}

int CRegistryKey::GrantAccess(HKEY root, const char16_t* subKey)
{
    HKEY connected = nullptr, key = nullptr;
    if (RegConnectRegistryW(m_machine.empty() ? nullptr : m_machine.c_str(), root, &connected) != ERROR_SUCCESS)
        return 0;
    int result = 0;
    if (RegOpenKeyExW(connected, subKey, 0, KEY_READ | WRITE_DAC, &key) == ERROR_SUCCESS) {
        // The current DACL is read (its size, then the descriptor) before it is replaced.
        DWORD size = 0;
        if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size) == ERROR_INSUFFICIENT_BUFFER) {
            std::vector<uint8_t> current(size);
            SECURITY_DESCRIPTOR sd{};
            if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, current.data(), &size) == ERROR_SUCCESS &&
                InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE) && IsValidSecurityDescriptor(&sd) &&
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS)
                result = 1;
        }
        RegCloseKey(key);
    }
    RegCloseKey(connected);
    return result;
}
