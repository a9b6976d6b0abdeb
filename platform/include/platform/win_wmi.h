// WMI over the system root: the locator (CLSID_WbemLocator, served in process through
// CoCreateInstance), its services and query results.
//
// Classes live in "<system root>/wmi/<namespace, '\' as '/'>/<class>.instances" (names matched
// without case); a namespace exists when its folder does. Each "[instance]" line starts an
// instance; its properties follow as "<name>=<type>:<value>" with the types
//   sz   text (UTF-8), read as VT_BSTR
//   i4   a 32-bit number (decimal or 0x hex), read as VT_I4
//   ui1  bytes in hex, read as VT_ARRAY | VT_UI1
// A class file without "[instance]" lines is a class with no instances.
//
// WMI runs as the service "winmgmt" (platform/service_store.h): connecting starts it when it is
// stopped, and fails with the service manager's error (as an HRESULT) when it is not installed or
// cannot start.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win_com.h"

namespace win {

inline constexpr GUID CLSID_WbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
inline constexpr GUID IID_IWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

constexpr LONG WBEM_FLAG_RETURN_IMMEDIATELY = 0x10;
constexpr LONG WBEM_INFINITE = -1;
constexpr HRESULT WBEM_S_FALSE = 1;
constexpr HRESULT WBEM_E_NOT_FOUND = HRESULT(0x80041002);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = HRESULT(0x8004100E);
constexpr HRESULT WBEM_E_INVALID_CLASS = HRESULT(0x80041010);
constexpr HRESULT WBEM_E_INVALID_QUERY = HRESULT(0x80041017);
constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = HRESULT(0x80041018);

class IWbemClassObject : public IUnknown {
public:
    // The value as a VARIANT the caller clears; WBEM_E_NOT_FOUND for a property the object lacks.
    virtual HRESULT Get(const WCHAR* name, LONG flags, VARIANT* value, LONG* type, LONG* flavor) = 0;

protected:
    ~IWbemClassObject() = default;
};

class IEnumWbemClassObject : public IUnknown {
public:
    virtual HRESULT Reset() = 0;
    // S_OK when `count` objects were returned, WBEM_S_FALSE when fewer (at the end).
    virtual HRESULT Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) = 0;

protected:
    ~IEnumWbemClassObject() = default;
};

class IWbemServices : public IUnknown {
public:
    // "SELECT * FROM <class>" in "WQL" only.
    virtual HRESULT ExecQuery(const BSTR language, const BSTR query, LONG flags, void* context,
                              IEnumWbemClassObject** result) = 0;

protected:
    ~IWbemServices() = default;
};

class IWbemLocator : public IUnknown {
public:
    virtual HRESULT ConnectServer(const BSTR ns, const BSTR user, const BSTR password, const BSTR locale, LONG flags,
                                  const BSTR authority, void* context, IWbemServices** services) = 0;

protected:
    ~IWbemLocator() = default;
};

}  // namespace win

namespace platform {

// Makes a locator and asks it for `iid` (CoCreateInstance's factory of CLSID_WbemLocator).
win::HRESULT create_wbem_locator(const win::GUID& iid, void** object);

namespace wmi {
struct Property {
    std::string name;
    std::string type;  // "sz", "i4" or "ui1"
    std::string value;
};
using Instance = std::vector<Property>;
// Fixtures: writes a class file (replacing it) with these instances.
bool write_class(std::string_view ns, std::string_view class_name, const std::vector<Instance>& instances);
}  // namespace wmi

}  // namespace platform
