// The registry calls of the original system over the registry store (platform/registry_store.h).
// Open keys are entries of the handle table; the predefined roots are their usual constants. Only
// the local machine can be connected to (platform/system_conf.h): any other name gives 53.
// Access is checked as asked: a handle reads, writes or enumerates only with the rights it was
// opened with, and a key whose access list denies deletion cannot be opened for it.
#pragma once

#include "platform/win_security.h"
#include "platform/win_types.h"

namespace win {

using HKEY = HANDLE;
using LSTATUS = LONG;
using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(uintptr_t{0x80000003});
inline HKEY const HKEY_CURRENT_CONFIG = reinterpret_cast<HKEY>(uintptr_t{0x80000005});

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Results are Windows error codes: 2 missing key or value, 5 access denied, 6 bad handle,
// 87 bad argument or path, 53 unreachable machine, 234 buffer too small (the size needed is
// stored), 259 no more sub-keys, 1018 the key was deleted meanwhile, 1021 a stable key under a
// volatile one.
LSTATUS RegConnectRegistryW(const WCHAR* machine, HKEY root, HKEY* result);
LSTATUS RegOpenKeyExW(HKEY key, const WCHAR* sub_key, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegCreateKeyExW(HKEY key, const WCHAR* sub_key, DWORD reserved, WCHAR* class_name, DWORD options,
                        REGSAM access, void* security, HKEY* result, DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegQueryValueExW(HKEY key, const WCHAR* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegSetValueExW(HKEY key, const WCHAR* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS RegDeleteValueW(HKEY key, const WCHAR* name);
// `name_size`: the buffer's characters with the NUL on entry, the name's without it on return.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, WCHAR* name, DWORD* name_size, DWORD* reserved, WCHAR* class_name,
                      DWORD* class_size, FILETIME* last_write);
// Refused with 5 while the key has sub-keys or its access list denies deletion.
LSTATUS RegDeleteKeyW(HKEY key, const WCHAR* sub_key);
// A self-relative descriptor with the key's DACL; 122 with the size needed when it does not fit.
LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, DWORD* size);
// Needs WRITE_DAC. The key denies deletion from then on exactly when the new DACL does.
LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor);

}  // namespace win
