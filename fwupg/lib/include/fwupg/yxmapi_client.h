// The front end's binding of the vendor management library YXMAPIa. The library is opened once
// per process, from the vendor library's own folder first and then through the loader's search
// path, and each entry point is found by ordinal through the management library's ordinal table.
// Every call returns the library's status (0 success); a library or entry point that cannot be
// found gives kYxUnavailable.
//
// The NVRAM read cache (nvm_read_cache.h) lives from a successful claim to the release: shutting
// down, initialising, claiming and resetting end it, a write mode change or PHY write empties it,
// and an NVRAM write drops the bytes it touches.
#pragma once

#include <cstdint>

#include <yxmapi/yxmapi.h>

namespace fwupg::yx {

inline constexpr uint32_t kYxUnavailable = 0xFFFFFFF0u;

// The fixed client identifier passed with every privileged call (38 characters, braced).
extern const char kClientGuid[yxmapi::kClientGuidLength + 1];

// Whether the library and the entry point of `ordinal` could be bound.
bool Available(uint32_t ordinal);

uint32_t GetVersion(uint32_t* major, uint32_t* minor, uint32_t* build);         // 1
uint32_t Initialize();                                                           // 34 (argument 0)
uint32_t Shutdown();                                                             // 3
uint32_t GetPhyNicCount(uint32_t* count);                                        // 49
uint32_t GetAllPhyNicHandles(uint32_t* handles, uint32_t count);                 // 50
uint32_t GetPhyNic(uint32_t listHandle, yxmapi::PhyNicInfo* info);               // 51 (sets the version)
uint32_t GetNicInfoEx(uint32_t listHandle, yxmapi::NicInfoEx* info);             // 77 (sets the version)
uint32_t GetServiceName(uint32_t serviceHandle, char* buf, uint32_t bufLen);     // 18
uint32_t GetFwInfo4(uint32_t listHandle, yxmapi::FwInfoType4* info);             // 104
uint32_t GetFwInfo5(uint32_t listHandle, yxmapi::FwInfoType5* info);             // 116
uint32_t GetFwInfo6(uint32_t listHandle, yxmapi::FwInfoType6* info);             // 184
uint32_t GetMfwInfo(uint32_t apiHandle, yxmapi::MfwInfo* info);                  // 185
uint32_t Claim(uint32_t apiHandle);                                              // 47
uint32_t Release(uint32_t apiHandle);                                            // 48
uint32_t Reset(uint32_t apiHandle);                                              // 33 (mode 2)
uint32_t ReadNvram(uint32_t apiHandle, uint32_t byteOffset, uint32_t* buf, uint32_t dwords);         // 68
// ReadNvram through the read cache (outside a claim of apiHandle the same as ReadNvram).
uint32_t ReadNvramCached(uint32_t apiHandle, uint32_t byteOffset, uint32_t* buf, uint32_t dwords);
uint32_t WriteNvram(uint32_t apiHandle, uint32_t byteOffset, const uint32_t* buf, uint32_t dwords);  // 67
uint32_t SetNvramWriteMode(uint32_t apiHandle, uint32_t mode);                   // 181
uint32_t WritePhyFirmware(uint32_t apiHandle, const uint8_t* image, uint32_t length);  // 131
uint32_t ReadRegister(uint32_t apiHandle, uint32_t reg, uint32_t* value);        // 71 (access 3)
uint32_t WriteRegister(uint32_t apiHandle, uint32_t reg, uint32_t value);        // 72 (access 3)

// Claims an adapter for the scope's life and releases it at its end, unless an enclosing scope
// holds the same adapter: then the inner scope neither claims nor releases, so a run of checks of
// one adapter runs under one claim and its reads share the read cache (only when something ended
// that cache, such as a reset, does the inner scope claim again, as the holder may, for a fresh
// one). The claim's status is `status()`; a failed claim is released all the same, as a plain
// caller would.
class ClaimScope {
public:
    explicit ClaimScope(uint32_t apiHandle);
    ~ClaimScope();
    ClaimScope(const ClaimScope&) = delete;
    ClaimScope& operator=(const ClaimScope&) = delete;
    uint32_t status() const { return m_status; }

private:
    uint32_t m_handle;
    uint32_t m_status = 0;
    bool m_owner = false;      // this scope claimed and releases
    bool m_outermost = false;  // and inner scopes of the handle defer to it
};

// Claims the adapter for one command line. Inside a ClaimScope of the adapter (the lines of one
// adapter's update) the line runs under the scope's claim, so no other process writes between the
// lines and the read cache carries over from one line to the next (claimed again as an inner
// ClaimScope is). `*release` says whether the line's end must release the claim (false inside the
// scope, which releases at its own end).
uint32_t ClaimLine(uint32_t apiHandle, bool* release);

}  // namespace fwupg::yx
