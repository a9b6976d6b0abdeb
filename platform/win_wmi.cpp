#include "platform/win_wmi.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/kv_text.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/service_store.h"
#include "platform/state_file.h"
#include "platform/system_conf.h"
#include "platform/utf16.h"

namespace {

using namespace win;
namespace wmi = platform::wmi;

using Instances = std::vector<wmi::Instance>;

// Reference counting and QueryInterface for one interface (and IUnknown).
template <typename Interface>
class ComObject : public Interface {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == iid_) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    explicit ComObject(const GUID& iid) : iid_(iid) {}
    virtual ~ComObject() = default;

private:
    GUID iid_;
    std::atomic<ULONG> refs_{1};
};

constexpr GUID kIidObject = {0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
constexpr GUID kIidEnum = {0x027947E1, 0xD731, 0x11CE, {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
constexpr GUID kIidServices = {0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};

std::optional<std::vector<uint8_t>> parse_hex(std::string_view hex)
{
    if (hex.size() % 2) return std::nullopt;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        auto v = platform::parse_u32("0x" + std::string(hex.substr(i, 2)));
        if (!v) return std::nullopt;
        out.push_back(uint8_t(*v));
    }
    return out;
}

class ClassObject : public ComObject<IWbemClassObject> {
public:
    explicit ClassObject(std::shared_ptr<const wmi::Instance> instance)
        : ComObject(kIidObject), instance_(std::move(instance))
    {
    }

    HRESULT Get(const WCHAR* name, LONG, VARIANT* value, LONG* type, LONG* flavor) override
    {
        if (!name || !value) return E_INVALIDARG;
        const std::string wanted = platform::to_utf8(platform::u16_view(name));
        for (const wmi::Property& p : *instance_) {
            if (!platform::iequals(p.name, wanted)) continue;
            VariantInit(value);
            if (p.type == "sz") {
                value->vt = VT_BSTR;
                value->bstrVal = SysAllocString(platform::to_utf16(p.value).c_str());
            } else if (p.type == "i4") {
                char* end = nullptr;
                const long long v = std::strtoll(p.value.c_str(), &end, 0);
                if (p.value.empty() || *end) return WBEM_E_NOT_FOUND;  // a damaged value reads as missing
                value->vt = VT_I4;
                value->lVal = LONG(v);
            } else if (p.type == "ui1") {
                auto bytes = parse_hex(p.value);
                if (!bytes) return WBEM_E_NOT_FOUND;
                SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(bytes->size()));
                for (LONG i = 0; i < LONG(bytes->size()); ++i) SafeArrayPutElement(array, &i, &(*bytes)[size_t(i)]);
                value->vt = VT_ARRAY | VT_UI1;
                value->parray = array;
            } else {
                value->vt = VT_NULL;
            }
            if (type) *type = value->vt;
            if (flavor) *flavor = 0;
            return S_OK;
        }
        return WBEM_E_NOT_FOUND;
    }

private:
    std::shared_ptr<const wmi::Instance> instance_;
};

class Enumerator : public ComObject<IEnumWbemClassObject> {
public:
    explicit Enumerator(Instances instances) : ComObject(kIidEnum)
    {
        for (auto& i : instances) instances_.push_back(std::make_shared<const wmi::Instance>(std::move(i)));
    }
    HRESULT Reset() override
    {
        next_ = 0;
        return S_OK;
    }
    HRESULT Next(LONG, ULONG count, IWbemClassObject** objects, ULONG* returned) override
    {
        if (!objects || !returned) return E_INVALIDARG;
        ULONG n = 0;
        while (n < count && next_ < instances_.size()) objects[n++] = new ClassObject(instances_[next_++]);
        *returned = n;
        return n == count ? S_OK : WBEM_S_FALSE;
    }

private:
    std::vector<std::shared_ptr<const wmi::Instance>> instances_;
    size_t next_ = 0;
};

std::optional<Instances> parse_instances(std::string_view text)
{
    Instances out;
    for (const platform::KvLine& l : platform::parse_kv(text)) {
        if (!l.ok) {
            if (l.key == "[instance]") out.emplace_back();
            continue;
        }
        const size_t colon = l.value.find(':');
        if (out.empty() || colon == std::string::npos) continue;
        out.back().push_back({l.key, l.value.substr(0, colon), l.value.substr(colon + 1)});
    }
    return out;
}

std::string class_path(const std::string& ns_folder, std::string_view class_name)
{
    return platform::resolve_case_insensitive(ns_folder + "/" + std::string(class_name) + ".instances");
}

class Services : public ComObject<IWbemServices> {
public:
    explicit Services(std::string folder) : ComObject(kIidServices), folder_(std::move(folder)) {}

    HRESULT ExecQuery(const BSTR language, const BSTR query, LONG, void*, IEnumWbemClassObject** result) override
    {
        if (!result) return E_POINTER;
        *result = nullptr;
        if (!platform::iequals(platform::to_utf8(platform::u16_view(language)), "WQL")) return WBEM_E_INVALID_QUERY_TYPE;
        // SELECT * FROM <class>
        std::vector<std::string> words;
        const std::string q = platform::to_utf8(platform::u16_view(query));
        size_t at = 0;
        while (at < q.size()) {
            const size_t start = q.find_first_not_of(" \t\r\n", at);
            if (start == std::string::npos) break;
            const size_t end = q.find_first_of(" \t\r\n", start);
            words.push_back(q.substr(start, end == std::string::npos ? std::string::npos : end - start));
            at = end == std::string::npos ? q.size() : end;
        }
        if (words.size() != 4 || !platform::iequals(words[0], "SELECT") || words[1] != "*" ||
            !platform::iequals(words[2], "FROM") || words[3].find_first_of("/\\.") != std::string::npos)
            return WBEM_E_INVALID_QUERY;
        auto text = platform::read_file(class_path(folder_, words[3]));
        if (!text) return WBEM_E_INVALID_CLASS;
        *result = new Enumerator(*parse_instances(*text));
        return S_OK;
    }

private:
    std::string folder_;
};

// Connecting needs the WMI service; a stopped one is started as the service manager would.
HRESULT ensure_wmi_running()
{
    constexpr const char* kService = "winmgmt";
    if (!platform::services::find(kService)) return HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST);
    DWORD error = ERROR_SUCCESS;
    platform::services::update(kService, [&](platform::services::Service& s) {
        if (s.state != platform::services::State::Stopped) return false;
        if (platform::registry::get_dword(platform::services::services_key(s.name), "Start") == 4u)
            error = ERROR_SERVICE_DISABLED;
        else if (s.on_start.rfind("fail:", 0) == 0)
            error = DWORD(std::strtoul(s.on_start.c_str() + 5, nullptr, 0));
        else
            s.state = platform::services::State::Running;
        return error == ERROR_SUCCESS;
    });
    return HRESULT_FROM_WIN32(error);
}

class Locator : public ComObject<IWbemLocator> {
public:
    Locator() : ComObject(IID_IWbemLocator) {}

    HRESULT ConnectServer(const BSTR ns, const BSTR, const BSTR, const BSTR, LONG, const BSTR, void*,
                          IWbemServices** services) override
    {
        if (!services) return E_POINTER;
        *services = nullptr;
        std::string path = platform::to_utf8(platform::u16_view(ns));
        for (char& c : path)
            if (c == '/') c = '\\';
        // "\\machine\namespace": only this machine answers.
        if (path.rfind("\\\\", 0) == 0) {
            const size_t end = path.find('\\', 2);
            const std::string machine = path.substr(2, end == std::string::npos ? std::string::npos : end - 2);
            if (machine != "." && !platform::is_local_machine(platform::to_utf16(machine)))
                return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
            path = end == std::string::npos ? "" : path.substr(end + 1);
        }
        if (path.empty() || path.find("..") != std::string::npos) return WBEM_E_INVALID_NAMESPACE;
        if (HRESULT hr = ensure_wmi_running(); FAILED(hr)) return hr;
        const std::string folder = platform::resolve_case_insensitive(platform::root_path("wmi/" + platform::normalize_slashes(path)));
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) return WBEM_E_INVALID_NAMESPACE;
        *services = new Services(folder);
        return S_OK;
    }
};

}  // namespace

namespace platform {

win::HRESULT create_wbem_locator(const win::GUID& iid, void** object)
{
    auto* locator = new Locator;
    const win::HRESULT hr = locator->QueryInterface(iid, object);
    locator->Release();
    return hr;
}

bool wmi::write_class(std::string_view ns, std::string_view class_name, const std::vector<Instance>& instances)
{
    std::string text;
    for (const Instance& instance : instances) {
        text += "[instance]\n";
        for (const Property& p : instance) text += p.name + "=" + p.type + ":" + p.value + "\n";
    }
    std::string folder = normalize_slashes(ns);
    return replace_file(root_path("wmi/" + folder + "/" + std::string(class_name) + ".instances"), text);
}

}  // namespace platform
