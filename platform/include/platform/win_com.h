// The part of COM the support library uses: per-thread initialisation with its apartment model,
// process security set once, in-process class creation from a table of classes the platform
// serves (the WMI locator), BSTR strings, VARIANT values and one-dimensional SAFEARRAYs.
// Interfaces are C++ classes with QueryInterface, AddRef and Release.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace win {

using HRESULT = int32_t;
using ULONG = uint32_t;
using VARTYPE = uint16_t;
using BSTR = WCHAR*;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002);
constexpr HRESULT E_POINTER = HRESULT(0x80004003);
constexpr HRESULT E_FAIL = HRESULT(0x80004005);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000E);
constexpr HRESULT RPC_E_CHANGED_MODE = HRESULT(0x80010106);
constexpr HRESULT RPC_E_TOO_LATE = HRESULT(0x80010119);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = HRESULT(0x800401F0);
inline constexpr HRESULT HRESULT_FROM_WIN32(DWORD code)
{
    return code == 0 ? S_OK : HRESULT(0x80070000u | (code & 0xFFFF));
}
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

constexpr DWORD RPC_C_AUTHN_LEVEL_DEFAULT = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_CALL = 3;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD RPC_C_AUTHN_WINNT = 10;
constexpr DWORD RPC_C_AUTHZ_NONE = 0;
constexpr DWORD EOAC_NONE = 0;

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Per thread: the first call picks the apartment model (S_OK), later calls with the same model
// give S_FALSE, another model RPC_E_CHANGED_MODE. Each successful call needs one CoUninitialize.
HRESULT CoInitializeEx(void* reserved, DWORD model);
void CoUninitialize();
// Once per process: S_OK the first time, RPC_E_TOO_LATE afterwards; CO_E_NOTINITIALIZED on a
// thread without COM.
HRESULT CoInitializeSecurity(void* descriptor, LONG auth_services, void* services, void* reserved1,
                             DWORD authn_level, DWORD imp_level, void* auth_list, DWORD capabilities,
                             void* reserved3);
HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, DWORD context, const GUID& iid, void** object);
HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authn_service, DWORD authz_service, WCHAR* principal,
                          DWORD authn_level, DWORD imp_level, void* auth_info, DWORD capabilities);

// Strings with their length in bytes before the text.
BSTR SysAllocString(const WCHAR* text);
BSTR SysAllocStringLen(const WCHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_ARRAY = 0x2000;

struct SAFEARRAY;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
        SAFEARRAY* parray;
        int64_t llVal;
    };
};
static_assert(sizeof(VARIANT) == 16);

void VariantInit(VARIANT* value);
HRESULT VariantClear(VARIANT* value);

// Vectors of bytes only, the one kind of array the system reads.
SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lower_bound, ULONG count);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* index, void* element);
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* index, void* element);
HRESULT SafeArrayDestroy(SAFEARRAY* array);

}  // namespace win
