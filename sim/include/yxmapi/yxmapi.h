// The interface of the vendor management library YXMAPIa as the front end uses it: the versioned
// per-adapter records (fixed byte layouts, read and written through offset accessors), the
// function type of every ordinal, and the one table from ordinal to exported symbol name through
// which the front end binds the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace yxmapi {

// ---------------------------------------------------------------------------------------------
// Record fields

// A little-endian u32 at a byte offset (may be unaligned).
struct U32Field {
    std::size_t off;
};

// A narrow NUL-terminated text at a byte offset with room for `cap` bytes including the NUL.
struct TextField {
    std::size_t off;
    std::size_t cap;
};

// A record of N bytes. The caller zero-fills it and puts the version in the first u32; the
// library checks that version and writes only inside the N bytes.
template <std::size_t N>
struct Record {
    static constexpr std::size_t kSize = N;
    unsigned char bytes[N];

    uint32_t get(U32Field f) const
    {
        return uint32_t(bytes[f.off]) | uint32_t(bytes[f.off + 1]) << 8 | uint32_t(bytes[f.off + 2]) << 16 |
               uint32_t(bytes[f.off + 3]) << 24;
    }
    void set(U32Field f, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) bytes[f.off + i] = static_cast<unsigned char>(v >> (8 * i));
    }
    // The text up to its NUL, never beyond the field.
    std::string_view get(TextField f) const
    {
        const char* p = reinterpret_cast<const char*>(bytes + f.off);
        return std::string_view(p, strnlen(p, f.cap));
    }
    // Stores the text and its NUL; false (field left unchanged) when it does not fit.
    bool set(TextField f, std::string_view text)
    {
        if (text.size() + 1 > f.cap) return false;
        std::memcpy(bytes + f.off, text.data(), text.size());
        std::memset(bytes + f.off + text.size(), 0, f.cap - text.size());
        return true;
    }
    uint32_t version() const { return get(U32Field{0}); }
    // Zero-fills the record and sets its version word, as a caller does before a query.
    void prepare(uint32_t version)
    {
        std::memset(bytes, 0, N);
        set(U32Field{0}, version);
    }
};

template <std::size_t N>
constexpr bool fits(U32Field f) { return f.off + 4 <= N; }
template <std::size_t N>
constexpr bool fits(TextField f) { return f.cap > 0 && f.off + f.cap <= N; }

// ---------------------------------------------------------------------------------------------
// PhyNicInfo: the physical-function record (ordinal 51), 1,288 bytes, version 16.

struct PhyNicInfo : Record<1288> {};
inline constexpr uint32_t kPhyNicInfoVersion = 16;

namespace phy {
inline constexpr U32Field kVersion{0};
inline constexpr U32Field kFamily{8};        // 4 legacy, 5 57710-class (E1-E3), 6 E4
inline constexpr U32Field kApiHandle{12};    // claim, release, reset, NVRAM, registers, PHY, MFW
inline constexpr U32Field kDriverAccess{324};  // non-zero: the driver gives access to the chip
inline constexpr TextField kMac{348, 20};
inline constexpr U32Field kDriverMajor{368};
inline constexpr U32Field kDriverMinor{372};
inline constexpr U32Field kDriverBuild{708};
inline constexpr U32Field kVid{428};
inline constexpr U32Field kDid{432};
inline constexpr U32Field kSvid{436};
inline constexpr U32Field kSsid{440};
inline constexpr U32Field kPciFunction{536};
inline constexpr U32Field kSlot{540};
inline constexpr U32Field kChipId{564};
inline constexpr U32Field kServiceNameHandle{1184};
}  // namespace phy

// ---------------------------------------------------------------------------------------------
// NicInfoEx: the adapter information record (ordinal 77), 318 bytes, version 19.

struct NicInfoEx : Record<318> {};
inline constexpr uint32_t kNicInfoExVersion = 19;

namespace nic {
inline constexpr U32Field kVersion{0};
inline constexpr U32Field kBus{4};
inline constexpr U32Field kDevice{8};
inline constexpr U32Field kFunction{12};
inline constexpr U32Field kVid{16};
inline constexpr U32Field kDid{20};
inline constexpr U32Field kSvid{24};
inline constexpr U32Field kSsid{28};
inline constexpr U32Field kCapabilities{116};
inline constexpr uint32_t kCapCannotReset = 1u << 3;     // the adapter cannot be reset
inline constexpr uint32_t kCapNeedsReboot = 1u << 10;    // a legacy adapter needs a reboot after an update
inline constexpr U32Field kFlashWord{156};
inline constexpr uint32_t kFlashSizeMask = 0xFFFFF000u;  // NVRAM size in bytes
inline constexpr uint32_t kFlashBuffered = 1u;           // buffered flash
inline constexpr U32Field kPort{184};
inline constexpr U32Field kModeArg{196};
inline constexpr U32Field kExtPhyId1{266};  // unaligned
inline constexpr U32Field kExtPhyId2{270};  // unaligned
inline constexpr U32Field kPortCount{302};
}  // namespace nic

// ---------------------------------------------------------------------------------------------
// Firmware information records (ordinals 104, 116, 184 by list handle; 185 by API handle).

struct FwInfoType4 : Record<632> {};  // legacy family
inline constexpr uint32_t kFwInfoType4Version = 10;
namespace fw4 {
inline constexpr TextField kBootcode{4, 64};
inline constexpr TextField kUmp{68, 32};
inline constexpr TextField kIpmi{100, 32};
inline constexpr TextField kIscsi{132, 320};  // may carry "ipv6" / "ipv4_ipv6"
inline constexpr TextField kNcsi{452, 36};
inline constexpr TextField kPxe{488, 120};
inline constexpr TextField kCcm{608, 24};
inline constexpr TextField kTexts[] = {kBootcode, kUmp, kIpmi, kIscsi, kNcsi, kPxe, kCcm};
}  // namespace fw4

struct FwInfoType5 : Record<824> {};  // 57710-class
inline constexpr uint32_t kFwInfoType5Version = 11;
namespace fw5 {
// Sub-component version texts, by their byte offsets.
inline constexpr TextField kText4{4, 80};
inline constexpr TextField kText84{84, 80};
inline constexpr TextField kText164{164, 320};
inline constexpr TextField kPhy{484, 32};
inline constexpr TextField kText516{516, 68};
inline constexpr TextField kMba{584, 48};
inline constexpr TextField kText632{632, 48};
inline constexpr TextField kText680{680, 84};
inline constexpr TextField kText764{764, 36};
inline constexpr U32Field kMbiPacked{800};  // byte 3 major, 2 minor, 1 build; 0 = no MBI
inline constexpr TextField kTexts[] = {kText4,  kText84,  kText164, kPhy,    kText516,
                                       kMba,    kText632, kText680, kText764};
}  // namespace fw5

struct FwInfoType6 : Record<5257> {};  // E4
inline constexpr uint32_t kFwInfoType6Version = 1;
namespace fw6 {
inline constexpr TextField kMba{20, 5221};
inline constexpr TextField kMbi{5241, 16};
inline constexpr TextField kTexts[] = {kMba, kMbi};
}  // namespace fw6

struct MfwInfo : Record<48> {};  // E4 management firmware
inline constexpr uint32_t kMfwInfoVersion = 3;
namespace mfw {
inline constexpr U32Field kActiveBundle{4};
inline constexpr TextField kVersion{8, 32};  // "a.b.c.d"
}  // namespace mfw

static_assert(sizeof(PhyNicInfo) == 1288 && sizeof(NicInfoEx) == 318 && sizeof(FwInfoType4) == 632 &&
              sizeof(FwInfoType5) == 824 && sizeof(FwInfoType6) == 5257 && sizeof(MfwInfo) == 48);
static_assert(fits<1288>(phy::kServiceNameHandle) && fits<1288>(phy::kDriverBuild) && fits<1288>(phy::kMac) &&
              phy::kMac.off == 348 && phy::kChipId.off == 564 && phy::kSlot.off == 540);
static_assert(fits<318>(nic::kPortCount) && fits<318>(nic::kExtPhyId2) && nic::kFlashWord.off == 156 &&
              nic::kPort.off == 184 && nic::kExtPhyId1.off + 4 == nic::kExtPhyId2.off);
static_assert(fw4::kCcm.off + fw4::kCcm.cap == 632 && fw4::kIscsi.off + fw4::kIscsi.cap == fw4::kNcsi.off &&
              fw4::kPxe.off == 488);
static_assert(fw5::kText764.off + fw5::kText764.cap == fw5::kMbiPacked.off && fits<824>(fw5::kMbiPacked) &&
              fw5::kMba.off == 584 && fw5::kPhy.off == 484);
static_assert(fw6::kMbi.off + fw6::kMbi.cap == 5257 && fw6::kMba.off + fw6::kMba.cap == fw6::kMbi.off);
static_assert(fits<48>(mfw::kVersion));

// Adapter families as PhyNicInfo reports them.
enum Family : uint32_t { kFamilyLegacy = 4, kFamily57710 = 5, kFamilyE4 = 6 };

// Register access type of ordinals 71 and 72.
inline constexpr uint32_t kRegAccessChip = 3;
// NVRAM write modes of ordinal 181.
inline constexpr uint32_t kWriteModeMfw = 1;
inline constexpr uint32_t kWriteModeImage = 2;
// Reset mode of ordinal 33.
inline constexpr uint32_t kResetMode = 2;
// Length of the braced client GUID text passed with NVRAM, register and PHY calls.
inline constexpr std::size_t kClientGuidLength = 38;

}  // namespace yxmapi

// ---------------------------------------------------------------------------------------------
// Function types of the ordinals. Every function returns a status, 0 for success.

extern "C" {
typedef uint32_t (*YXmapiGetVersionFn)(uint32_t* major, uint32_t* minor, uint32_t* build);          // 1
typedef uint32_t (*YXmapiShutdownFn)();                                                            // 3
typedef uint32_t (*YXmapiGetServiceNameFn)(uint32_t serviceHandle, char* buf, uint32_t bufLen);    // 18
typedef uint32_t (*YXmapiResetNicFn)(uint32_t apiHandle, uint32_t mode);                           // 33
typedef uint32_t (*YXmapiInitializeExFn)(uint32_t flags);                                          // 34
typedef uint32_t (*YXmapiClaimNicFn)(uint32_t apiHandle);                                          // 47
typedef uint32_t (*YXmapiReleaseNicFn)(uint32_t apiHandle);                                        // 48
typedef uint32_t (*YXmapiGetPhyNicCountFn)(uint32_t* count);                                       // 49
typedef uint32_t (*YXmapiGetAllPhyNicHandlesFn)(uint32_t* handles, uint32_t count);                // 50
typedef uint32_t (*YXmapiGetPhyNicFn)(uint32_t listHandle, yxmapi::PhyNicInfo* info);              // 51
typedef uint32_t (*YXmapiWriteNvramFn)(uint32_t apiHandle, uint32_t byteOffset, const uint32_t* buf,
                                       uint32_t dwordCount, const char* guid);                     // 67
typedef uint32_t (*YXmapiReadNvramFn)(uint32_t apiHandle, uint32_t byteOffset, uint32_t* buf,
                                      uint32_t dwordCount, const char* guid);                      // 68
typedef uint32_t (*YXmapiReadRegisterFn)(uint32_t apiHandle, uint32_t access, uint32_t reg, uint32_t* out,
                                         const char* guid);                                        // 71
typedef uint32_t (*YXmapiWriteRegisterFn)(uint32_t apiHandle, uint32_t access, uint32_t reg, uint32_t value,
                                          const char* guid);                                       // 72
typedef uint32_t (*YXmapiGetZIZUNicInfoExFn)(uint32_t listHandle, yxmapi::NicInfoEx* info);        // 77
typedef uint32_t (*YXmapiGetFwInfoType4Fn)(uint32_t listHandle, yxmapi::FwInfoType4* info);        // 104
typedef uint32_t (*YXmapiGetFwInfoType5Fn)(uint32_t listHandle, yxmapi::FwInfoType5* info);        // 116
typedef uint32_t (*YXmapiWritePhyFirmwareFn)(uint32_t apiHandle, const uint8_t* image, uint32_t length,
                                             const char* guid);                                    // 131
typedef uint32_t (*YXmapiSetNvramWriteModeFn)(uint32_t apiHandle, uint32_t mode, const char* guid);  // 181
typedef uint32_t (*YXmapiGetFwInfoType6Fn)(uint32_t listHandle, yxmapi::FwInfoType6* info);        // 184
typedef uint32_t (*YXmapiGetMfwInfoFn)(uint32_t apiHandle, yxmapi::MfwInfo* info);                 // 185
}

namespace yxmapi {

// ---------------------------------------------------------------------------------------------
// The ordinals, named after their exported symbols.
namespace ord {
inline constexpr uint32_t kGetVersion = 1;
inline constexpr uint32_t kShutdown = 3;
inline constexpr uint32_t kGetServiceName = 18;
inline constexpr uint32_t kResetNic = 33;
inline constexpr uint32_t kInitializeEx = 34;
inline constexpr uint32_t kClaimNic = 47;
inline constexpr uint32_t kReleaseNic = 48;
inline constexpr uint32_t kGetPhyNicCount = 49;
inline constexpr uint32_t kGetAllPhyNicHandles = 50;
inline constexpr uint32_t kGetPhyNic = 51;
inline constexpr uint32_t kWriteNvram = 67;
inline constexpr uint32_t kReadNvram = 68;
inline constexpr uint32_t kReadRegister = 71;
inline constexpr uint32_t kWriteRegister = 72;
inline constexpr uint32_t kGetZIZUNicInfoEx = 77;
inline constexpr uint32_t kGetFwInfoType4 = 104;
inline constexpr uint32_t kGetFwInfoType5 = 116;
inline constexpr uint32_t kWritePhyFirmware = 131;
inline constexpr uint32_t kSetNvramWriteMode = 181;
inline constexpr uint32_t kGetFwInfoType6 = 184;
inline constexpr uint32_t kGetMfwInfo = 185;
}  // namespace ord

// The one table from ordinal to exported symbol name. The front end binds every entry point
// through it (`symbol_for_ordinal`) and gets the matching function type from `OrdinalFn<N>`.

struct OrdinalBinding {
    uint32_t ordinal;
    const char* symbol;
};

inline constexpr OrdinalBinding kOrdinalTable[] = {
    {ord::kGetVersion, "YXmapiGetVersion"},
    {ord::kShutdown, "YXmapiShutdown"},
    {ord::kGetServiceName, "YXmapiGetServiceName"},
    {ord::kResetNic, "YXmapiResetNic"},
    {ord::kInitializeEx, "YXmapiInitializeEx"},
    {ord::kClaimNic, "YXmapiClaimNic"},
    {ord::kReleaseNic, "YXmapiReleaseNic"},
    {ord::kGetPhyNicCount, "YXmapiGetPhyNicCount"},
    {ord::kGetAllPhyNicHandles, "YXmapiGetAllPhyNicHandles"},
    {ord::kGetPhyNic, "YXmapiGetPhyNic"},
    {ord::kWriteNvram, "YXmapiWriteNvram"},
    {ord::kReadNvram, "YXmapiReadNvram"},
    {ord::kReadRegister, "YXmapiReadRegister"},
    {ord::kWriteRegister, "YXmapiWriteRegister"},
    {ord::kGetZIZUNicInfoEx, "YXmapiGetZIZUNicInfoEx"},
    {ord::kGetFwInfoType4, "YXmapiGetFwInfoType4"},
    {ord::kGetFwInfoType5, "YXmapiGetFwInfoType5"},
    {ord::kWritePhyFirmware, "YXmapiWritePhyFirmware"},
    {ord::kSetNvramWriteMode, "YXmapiSetNvramWriteMode"},
    {ord::kGetFwInfoType6, "YXmapiGetFwInfoType6"},
    {ord::kGetMfwInfo, "YXmapiGetMfwInfo"},
};

// The exported name of an ordinal, or null for an ordinal the library does not serve.
constexpr const char* symbol_for_ordinal(uint32_t ordinal)
{
    for (const auto& b : kOrdinalTable)
        if (b.ordinal == ordinal) return b.symbol;
    return nullptr;
}

template <uint32_t Ordinal>
struct OrdinalFn;
template <> struct OrdinalFn<ord::kGetVersion> { using type = YXmapiGetVersionFn; };
template <> struct OrdinalFn<ord::kShutdown> { using type = YXmapiShutdownFn; };
template <> struct OrdinalFn<ord::kGetServiceName> { using type = YXmapiGetServiceNameFn; };
template <> struct OrdinalFn<ord::kResetNic> { using type = YXmapiResetNicFn; };
template <> struct OrdinalFn<ord::kInitializeEx> { using type = YXmapiInitializeExFn; };
template <> struct OrdinalFn<ord::kClaimNic> { using type = YXmapiClaimNicFn; };
template <> struct OrdinalFn<ord::kReleaseNic> { using type = YXmapiReleaseNicFn; };
template <> struct OrdinalFn<ord::kGetPhyNicCount> { using type = YXmapiGetPhyNicCountFn; };
template <> struct OrdinalFn<ord::kGetAllPhyNicHandles> { using type = YXmapiGetAllPhyNicHandlesFn; };
template <> struct OrdinalFn<ord::kGetPhyNic> { using type = YXmapiGetPhyNicFn; };
template <> struct OrdinalFn<ord::kWriteNvram> { using type = YXmapiWriteNvramFn; };
template <> struct OrdinalFn<ord::kReadNvram> { using type = YXmapiReadNvramFn; };
template <> struct OrdinalFn<ord::kReadRegister> { using type = YXmapiReadRegisterFn; };
template <> struct OrdinalFn<ord::kWriteRegister> { using type = YXmapiWriteRegisterFn; };
template <> struct OrdinalFn<ord::kGetZIZUNicInfoEx> { using type = YXmapiGetZIZUNicInfoExFn; };
template <> struct OrdinalFn<ord::kGetFwInfoType4> { using type = YXmapiGetFwInfoType4Fn; };
template <> struct OrdinalFn<ord::kGetFwInfoType5> { using type = YXmapiGetFwInfoType5Fn; };
template <> struct OrdinalFn<ord::kWritePhyFirmware> { using type = YXmapiWritePhyFirmwareFn; };
template <> struct OrdinalFn<ord::kSetNvramWriteMode> { using type = YXmapiSetNvramWriteModeFn; };
template <> struct OrdinalFn<ord::kGetFwInfoType6> { using type = YXmapiGetFwInfoType6Fn; };
template <> struct OrdinalFn<ord::kGetMfwInfo> { using type = YXmapiGetMfwInfoFn; };

// File name of the library (opened from the vendor library's own folder first).
inline constexpr const char* kLibraryFileName = "YXMAPIa.so";

}  // namespace yxmapi
