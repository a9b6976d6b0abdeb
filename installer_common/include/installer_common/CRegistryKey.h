// One registry key, named by root, machine and sub-key path. Every value operation opens the key,
// does one thing and closes it again, so an object can live long without holding a handle.
// Results are 1 for success and 0 for failure; nothing is logged.
#pragma once

#include <cstdint>

#include "installer_common/CStr.h"
#include "platform/win_registry.h"

class CRegistryKey {
public:
    // HKEY_LOCAL_MACHINE of the local machine unless a root or machine is given; nothing opens yet.
    explicit CRegistryKey(const char16_t* subKey);
    CRegistryKey(const char16_t* machine, const char16_t* subKey);
    CRegistryKey(win::HKEY root, const char16_t* subKey);
    CRegistryKey(win::HKEY root, const char16_t* machine, const char16_t* subKey);
    virtual ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // The access later opens ask for (KEY_ALL_ACCESS until changed).
    virtual void SetAccess(win::DWORD mask);
    // Connects to the machine's root and opens the sub-key; 0 for an empty sub-key path.
    virtual int Open();
    // The same, creating the key and its missing parents (always with KEY_ALL_ACCESS).
    virtual int Create();
    virtual int CreateVolatile();
    virtual void Close();
    virtual int Exists();
    virtual win::HKEY GetKey() const;
    virtual const CStr& GetSubKey() const;

    // Typed readers: 1 only when the value was read whole and has that type; `out` is untouched
    // otherwise.
    virtual int QueryDWORD(const char16_t* name, win::DWORD* out);
    virtual int QueryString(const char16_t* name, CStr& out);  // at most 259 characters
    virtual int QueryBinary(const char16_t* name, void* buffer, win::DWORD size);
    virtual int QueryValue(const char16_t* name, void* buffer, win::DWORD size);
    // Bytes of the value in the key open now (the key is not opened for it); 0 when that fails.
    virtual win::DWORD QueryValueSize(const char16_t* name);

    // Writers create the key when needed.
    virtual int SetDWORD(const char16_t* name, win::DWORD value);
    // REG_SZ and REG_EXPAND_SZ: the text with its terminator; REG_MULTI_SZ: the strings up to the
    // empty one, with the closing empty string; REG_DWORD 4 bytes, REG_QWORD 8; any other type is
    // taken as a text.
    virtual int SetValue(const char16_t* name, const char16_t* data, win::DWORD type);
    virtual int DeleteValue(const char16_t* name);
    // Deletes the key with all its sub-keys; 1 when it is gone (also when it never existed). A key
    // whose access list refuses deletion is given a null access list and deleted once more.
    virtual int DeleteTree();
    // Gives `subKey` of `root` on this object's machine a null access list (everyone, all access).
    virtual int GrantAccess(win::HKEY root, const char16_t* subKey);

private:
    int OpenWith(bool create, win::DWORD options);
    int DeleteTreeOnce(bool mayGrant);
    // Reads a value into `buffer` (at most `size` bytes); 1 with its type and size when it fit.
    int ReadValue(const char16_t* name, void* buffer, win::DWORD* size, win::DWORD* type);

    win::HKEY m_root;
    win::HKEY m_key = nullptr;
    win::HKEY m_connected = nullptr;
    CStr m_machine;
    CStr m_subKey;
    win::DWORD m_access = win::KEY_ALL_ACCESS;
};
