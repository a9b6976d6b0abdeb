#include "fwupg/yxmapi_client.h"

#include <dlfcn.h>

#include <string>

#include "fwupg/nvm_read_cache.h"

namespace fwupg::yx {

const char kClientGuid[yxmapi::kClientGuidLength + 1] = "{6B1C3E52-0A4D-4F7E-9C21-5D8E3A7B94F0}";
static_assert(sizeof(kClientGuid) == 39);

namespace {

// The folder of the object this code lives in (the vendor library, or a test program).
std::string own_folder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&own_folder), &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void* open_library()
{
    static void* handle = [] {
        void* h = nullptr;
        std::string folder = own_folder();
        if (!folder.empty()) h = dlopen((folder + "/" + yxmapi::kLibraryFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) h = dlopen(yxmapi::kLibraryFileName, RTLD_NOW | RTLD_LOCAL);
        return h;
    }();
    return handle;
}

template <uint32_t Ordinal>
typename yxmapi::OrdinalFn<Ordinal>::type entry()
{
    static void* symbol = [] {
        void* lib = open_library();
        const char* name = yxmapi::symbol_for_ordinal(Ordinal);
        return lib && name ? dlsym(lib, name) : nullptr;
    }();
    return reinterpret_cast<typename yxmapi::OrdinalFn<Ordinal>::type>(symbol);
}

template <uint32_t Ordinal, class... Args>
uint32_t call(Args... args)
{
    auto fn = entry<Ordinal>();
    return fn ? fn(args...) : kYxUnavailable;
}

}  // namespace

bool Available(uint32_t ordinal)
{
    void* lib = open_library();
    const char* name = yxmapi::symbol_for_ordinal(ordinal);
    return lib && name && dlsym(lib, name);
}

uint32_t GetVersion(uint32_t* major, uint32_t* minor, uint32_t* build) { return call<1>(major, minor, build); }

uint32_t Initialize()
{
    g_NvmReadCache.End();
    return call<34>(uint32_t{0});
}

uint32_t Shutdown()
{
    g_NvmReadCache.End();
    return call<3>();
}

uint32_t GetPhyNicCount(uint32_t* count) { return call<49>(count); }
uint32_t GetAllPhyNicHandles(uint32_t* handles, uint32_t count) { return call<50>(handles, count); }

uint32_t GetPhyNic(uint32_t listHandle, yxmapi::PhyNicInfo* info)
{
    info->prepare(yxmapi::kPhyNicInfoVersion);
    return call<51>(listHandle, info);
}

uint32_t GetNicInfoEx(uint32_t listHandle, yxmapi::NicInfoEx* info)
{
    info->prepare(yxmapi::kNicInfoExVersion);
    return call<77>(listHandle, info);
}

uint32_t GetServiceName(uint32_t serviceHandle, char* buf, uint32_t bufLen) { return call<18>(serviceHandle, buf, bufLen); }

uint32_t GetFwInfo4(uint32_t listHandle, yxmapi::FwInfoType4* info)
{
    info->prepare(yxmapi::kFwInfoType4Version);
    return call<104>(listHandle, info);
}

uint32_t GetFwInfo5(uint32_t listHandle, yxmapi::FwInfoType5* info)
{
    info->prepare(yxmapi::kFwInfoType5Version);
    return call<116>(listHandle, info);
}

uint32_t GetFwInfo6(uint32_t listHandle, yxmapi::FwInfoType6* info)
{
    info->prepare(yxmapi::kFwInfoType6Version);
    return call<184>(listHandle, info);
}

uint32_t GetMfwInfo(uint32_t apiHandle, yxmapi::MfwInfo* info)
{
    info->prepare(yxmapi::kMfwInfoVersion);
    return call<185>(apiHandle, info);
}

uint32_t Claim(uint32_t apiHandle)
{
    // Whatever was read before this claim may have been written over by another process since.
    g_NvmReadCache.End();
    const uint32_t status = call<47>(apiHandle);
    if (status == 0) g_NvmReadCache.Begin(apiHandle);
    return status;
}

uint32_t Release(uint32_t apiHandle)
{
    if (g_NvmReadCache.Handle() == apiHandle) g_NvmReadCache.End();
    return call<48>(apiHandle);
}

uint32_t Reset(uint32_t apiHandle)
{
    g_NvmReadCache.End();
    return call<33>(apiHandle, yxmapi::kResetMode);
}

uint32_t ReadNvram(uint32_t apiHandle, uint32_t byteOffset, uint32_t* buf, uint32_t dwords)
{
    return call<68>(apiHandle, byteOffset, buf, dwords, kClientGuid);
}

uint32_t ReadNvramCached(uint32_t apiHandle, uint32_t byteOffset, uint32_t* buf, uint32_t dwords)
{
    return g_NvmReadCache.Read(apiHandle, byteOffset, buf, dwords, [apiHandle](uint32_t at, uint32_t* out, uint32_t n) {
        return ReadNvram(apiHandle, at, out, n);
    });
}

uint32_t WriteNvram(uint32_t apiHandle, uint32_t byteOffset, const uint32_t* buf, uint32_t dwords)
{
    g_NvmReadCache.Written(byteOffset, uint64_t{dwords} * 4);
    return call<67>(apiHandle, byteOffset, buf, dwords, kClientGuid);
}

uint32_t SetNvramWriteMode(uint32_t apiHandle, uint32_t mode)
{
    g_NvmReadCache.DropAll();
    return call<181>(apiHandle, mode, kClientGuid);
}

uint32_t WritePhyFirmware(uint32_t apiHandle, const uint8_t* image, uint32_t length)
{
    g_NvmReadCache.DropAll();
    return call<131>(apiHandle, image, length, kClientGuid);
}

uint32_t ReadRegister(uint32_t apiHandle, uint32_t reg, uint32_t* value)
{
    return call<71>(apiHandle, yxmapi::kRegAccessChip, reg, value, kClientGuid);
}

uint32_t WriteRegister(uint32_t apiHandle, uint32_t reg, uint32_t value)
{
    return call<72>(apiHandle, yxmapi::kRegAccessChip, reg, value, kClientGuid);
}

namespace {

uint32_t g_scopeHandle = NvmReadCache::kNoHandle;  // the adapter an outermost ClaimScope holds

// Inside an outer scope of the adapter, whose claim holds: the adapter is claimed again (the holder
// may) only when something ended the read cache since (a reset, a claim of another adapter), so the
// cache starts afresh.
uint32_t ClaimAgainInScope(uint32_t apiHandle)
{
    return g_NvmReadCache.Handle() == apiHandle ? 0 : Claim(apiHandle);
}

}  // namespace

ClaimScope::ClaimScope(uint32_t apiHandle) : m_handle(apiHandle)
{
    if (g_scopeHandle == apiHandle) {  // an outer scope holds it already
        m_status = ClaimAgainInScope(apiHandle);
        return;
    }
    m_status = Claim(apiHandle);
    m_owner = true;
    if (m_status == 0 && g_scopeHandle == NvmReadCache::kNoHandle) {
        g_scopeHandle = apiHandle;
        m_outermost = true;
    }
}

ClaimScope::~ClaimScope()
{
    if (!m_owner) return;
    if (m_outermost) g_scopeHandle = NvmReadCache::kNoHandle;
    Release(m_handle);
}

uint32_t ClaimLine(uint32_t apiHandle, bool* release)
{
    *release = g_scopeHandle != apiHandle;
    return *release ? Claim(apiHandle) : ClaimAgainInScope(apiHandle);
}

}  // namespace fwupg::yx
