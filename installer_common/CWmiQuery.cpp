#include "installer_common/CWmiQuery.h"

#include <cstring>

#include "installer_common/SystemUtils.h"
#include "platform/msvc_format.h"
#include "platform/utf16.h"

using namespace win;

namespace {
constexpr char16_t kComErrorText[] = u"An error occurred initializing the COM environment.";
constexpr size_t kOutputBytes = CWmiQuery::kValueChars * sizeof(char16_t);
}  // namespace

CWmiQuery::CWmiQuery()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        SetComError();
        return;
    }
    m_comInitialized = true;
    const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    // Security that the process has set already is fine.
    if (FAILED(security) && security != RPC_E_TOO_LATE) {
        Shutdown();
        SetComError();
        return;
    }
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&m_locator)))) {
        m_locator = nullptr;
        Shutdown();
        SetComError();
    }
}

CWmiQuery::~CWmiQuery()
{
    ReleaseEnumerator();
    Shutdown();
}

void CWmiQuery::SetComError()
{
    m_error = kComError;
    platform::copy_utf16(kComErrorText, m_errorText, std::size(m_errorText));
}

void CWmiQuery::Shutdown()
{
    if (m_services) m_services->Release();
    if (m_locator) m_locator->Release();
    m_services = nullptr;
    m_locator = nullptr;
    // COM is left once, however many failure paths pass here: a second call would end the
    // caller's own use of COM on this thread.
    if (m_comInitialized) CoUninitialize();
    m_comInitialized = false;
}

int CWmiQuery::Connect(const char16_t* ns)
{
    if (!m_locator) return 0;
    // A connection made before (another question on the same object) goes first: its result and
    // its services object would otherwise stay referenced for ever.
    ReleaseEnumerator();
    if (m_services) m_services->Release();
    m_services = nullptr;
    BSTR name = SysAllocString(ns);
    const HRESULT hr = m_locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &m_services);
    SysFreeString(name);
    if (FAILED(hr)) {
        m_services = nullptr;
        Shutdown();
        SetComError();
        return 0;
    }
    if (FAILED(CoSetProxyBlanket(m_services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
        Shutdown();
        SetComError();
        return 0;
    }
    return 1;
}

int CWmiQuery::ExecQuery(const char16_t* className)
{
    if (!m_services || !className) return 0;
    ReleaseEnumerator();
    const std::u16string text = platform::format_msvc(u"SELECT * FROM %s", className).substr(0, 255);
    BSTR language = SysAllocString(u"WQL");
    BSTR query = SysAllocString(text.c_str());
    const HRESULT hr = m_services->ExecQuery(language, query, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &m_enum);
    SysFreeString(language);
    SysFreeString(query);
    if (hr != S_OK) {
        m_enum = nullptr;
        return 0;
    }
    return 1;
}

int CWmiQuery::GetProperty(const char16_t* name, void* output)
{
    if (!m_enum) return 0;
    m_enum->Reset();
    ULONG count = 0;
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        m_enum->Next(WBEM_INFINITE, 1, &object, &returned);
        if (returned == 0) break;
        object->Release();
        ++count;
    }
    m_enum->Reset();
    for (ULONG i = 0; i < count; ++i) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        m_enum->Next(WBEM_INFINITE, 1, &object, &returned);
        if (returned == 0) break;
        VARIANT value;
        VariantInit(&value);
        const HRESULT hr = object->Get(name, 0, &value, nullptr, nullptr);
        object->Release();
        if (FAILED(hr)) {
            ReleaseEnumerator();
            return 0;
        }
        if (output) {
            if (value.vt == VT_BSTR) {
                platform::copy_utf16(platform::u16_view(value.bstrVal), static_cast<char16_t*>(output), kValueChars);
            } else if (value.vt == VT_I4) {
                const int n = value.lVal;
                std::memcpy(output, &n, sizeof n);
            } else if (value.vt == (VT_ARRAY | VT_UI1)) {
                LONG lower = 0, upper = -1;
                SafeArrayGetLBound(value.parray, 1, &lower);
                SafeArrayGetUBound(value.parray, 1, &upper);
                // Bounded by the output buffer: the array's length comes from outside.
                for (LONG at = lower; at <= upper && size_t(at - lower) < kOutputBytes; ++at)
                    SafeArrayGetElement(value.parray, &at, static_cast<uint8_t*>(output) + (at - lower));
            }
        }
        VariantClear(&value);
    }
    return 1;
}

void CWmiQuery::ReleaseEnumerator()
{
    if (m_enum) m_enum->Release();
    m_enum = nullptr;
}

CSystemModel::CSystemModel() = default;

int CSystemModel::IsModel(const char16_t* model)
{
    if (!model || !Connect(u"ROOT\\CIMV2") || !ExecQuery(u"Win32_ComputerSystem") || !GetProperty(u"Model", m_value))
        return 0;
    char16_t value[255] = {}, wanted[255] = {};
    CopyString(value, m_value);
    CopyString(wanted, model);
    TrimBlanks(value);
    TrimBlanks(wanted);
    return CStr(value).Compare(wanted) == 0 ? 1 : 0;
}
