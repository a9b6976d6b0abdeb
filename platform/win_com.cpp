#include "platform/win_com.h"

#include "platform/win_wmi.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace win {

struct SAFEARRAY {
    VARTYPE type;
    LONG lower;
    std::vector<uint8_t> bytes;
};

namespace {

struct ThreadCom {
    int count = 0;
    DWORD model = 0;
};
thread_local ThreadCom t_com;

std::mutex g_lock;
bool g_security_set = false;

// The classes the platform serves in process.
struct ClassEntry {
    const GUID& clsid;
    HRESULT (*factory)(const GUID& iid, void** object);
};
const ClassEntry kClasses[] = {
    {CLSID_WbemLocator, platform::create_wbem_locator},
};

}  // namespace

HRESULT CoInitializeEx(void*, DWORD model)
{
    model &= COINIT_APARTMENTTHREADED;
    if (t_com.count > 0) {
        if (t_com.model != model) return RPC_E_CHANGED_MODE;
        ++t_com.count;
        return S_FALSE;
    }
    t_com.count = 1;
    t_com.model = model;
    return S_OK;
}

void CoUninitialize()
{
    if (t_com.count > 0) --t_com.count;
}

HRESULT CoInitializeSecurity(void*, LONG, void*, void*, DWORD, DWORD, void*, DWORD, void*)
{
    if (t_com.count == 0) return CO_E_NOTINITIALIZED;
    std::lock_guard<std::mutex> g(g_lock);
    if (g_security_set) return RPC_E_TOO_LATE;
    g_security_set = true;
    return S_OK;
}

HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, DWORD context, const GUID& iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (t_com.count == 0) return CO_E_NOTINITIALIZED;
    if (outer || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    for (const ClassEntry& c : kClasses)
        if (c.clsid == clsid) return c.factory(iid, object);
    return REGDB_E_CLASSNOTREG;
}

HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD, DWORD, WCHAR*, DWORD, DWORD, void*, DWORD)
{
    // Every object is in process: there is no proxy whose security could be set, and nothing fails.
    return proxy ? S_OK : E_INVALIDARG;
}

BSTR SysAllocStringLen(const WCHAR* text, UINT length)
{
    auto* block = static_cast<uint8_t*>(::operator new(sizeof(uint32_t) + (size_t(length) + 1) * sizeof(WCHAR)));
    const uint32_t bytes = length * sizeof(WCHAR);
    std::memcpy(block, &bytes, sizeof bytes);
    auto* out = reinterpret_cast<WCHAR*>(block + sizeof(uint32_t));
    if (text) std::memcpy(out, text, bytes);
    else std::memset(out, 0, bytes);
    out[length] = 0;
    return out;
}

BSTR SysAllocString(const WCHAR* text)
{
    if (!text) return nullptr;
    return SysAllocStringLen(text, UINT(std::char_traits<WCHAR>::length(text)));
}

void SysFreeString(BSTR text)
{
    if (text) ::operator delete(reinterpret_cast<uint8_t*>(text) - sizeof(uint32_t));
}

UINT SysStringLen(BSTR text)
{
    if (!text) return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<uint8_t*>(text) - sizeof(uint32_t), sizeof bytes);
    return bytes / sizeof(WCHAR);
}

void VariantInit(VARIANT* value)
{
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (!value) return E_INVALIDARG;
    if (value->vt == VT_BSTR) SysFreeString(value->bstrVal);
    else if (value->vt & VT_ARRAY) SafeArrayDestroy(value->parray);
    VariantInit(value);
    return S_OK;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lower_bound, ULONG count)
{
    if (type != VT_UI1) return nullptr;
    return new SAFEARRAY{type, lower_bound, std::vector<uint8_t>(count)};
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound)
{
    if (!array || !bound || dimension != 1) return E_INVALIDARG;
    *bound = array->lower;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound)
{
    if (!array || !bound || dimension != 1) return E_INVALIDARG;
    *bound = array->lower + LONG(array->bytes.size()) - 1;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* index, void* element)
{
    if (!array || !index || !element) return E_INVALIDARG;
    const int64_t at = int64_t(*index) - array->lower;
    if (at < 0 || at >= int64_t(array->bytes.size())) return HRESULT(0x8002000B);  // DISP_E_BADINDEX
    *static_cast<uint8_t*>(element) = array->bytes[size_t(at)];
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* index, void* element)
{
    if (!array || !index || !element) return E_INVALIDARG;
    const int64_t at = int64_t(*index) - array->lower;
    if (at < 0 || at >= int64_t(array->bytes.size())) return HRESULT(0x8002000B);
    array->bytes[size_t(at)] = *static_cast<const uint8_t*>(element);
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
    delete array;
    return S_OK;
}

}  // namespace win
