// The exported entry points of YXMAPIa, one per ordinal, plus the journal queries. Every call is
// served under the process-wide state's mutex, checked (initialisation, handle, record version,
// arguments, claim of another session), subject to injected faults, and journalled with its status.
// No exception leaves these functions.
#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <unistd.h>

#include "platform/paths.h"

#include "e4_firmware.h"
#include "kv_text.h"
#include "phy_firmware.h"
#include "records.h"
#include "sim_state.h"
#include "yxmapi/sim_control.h"
#include "yxmapi/yxmapi.h"

#define YX_EXPORT extern "C" __attribute__((visibility("default")))

namespace sim {
namespace {

namespace ord = yxmapi::ord;

// Shared memory of E1-E3 chips: the register holding its base, and the MFW version word in it.
constexpr uint32_t kShmemBaseRegister = 0xA2B4;
constexpr uint32_t kShmemMfwVersion = 8;

// The version this library reports unless the control file names another.
constexpr uint32_t kVersion[3] = {7, 10, 3};

// A journal entry of a call; the fields the ordinal does not take stay 0.
YxSimCall call(uint32_t ordinal, uint32_t handle = 0, uint32_t offset = 0, uint32_t count = 0, uint32_t mode = 0,
               uint32_t reg = 0, uint32_t value = 0)
{
    YxSimCall c{};
    c.ordinal = ordinal, c.handle = handle, c.offset = offset, c.count = count, c.mode = mode, c.reg = reg;
    c.value = value;
    return c;
}

template <class Body>
uint32_t serve(YxSimCall call, Body body) noexcept
{
    try {
        SimState& s = SimState::instance();
        std::lock_guard<std::mutex> guard(s.mutex);
        call.pid = static_cast<uint32_t>(::getpid());
        call.status = body(s, call);
        s.record(call);
        return call.status;
    } catch (...) {
        return YXSIM_E_IO;
    }
}

// The adapter of a handle, with the fault injected into this call when a rule matches.
struct Entry {
    uint32_t status = YXSIM_OK;
    SimAdapter* adapter = nullptr;
    std::optional<FaultRule> fault;  // a cut, flip or lost write that the NVRAM call carries out
};

Entry enter(SimState& s, uint32_t ordinal, HandleSpace space, uint32_t handle,
            std::optional<SimState::NvramSpan> span = std::nullopt)
{
    if (!s.initialized()) return {YXSIM_E_NOT_INITIALIZED, nullptr, std::nullopt};
    SimAdapter* a = s.find(space, handle);
    if (!a) return {YXSIM_E_BAD_HANDLE, nullptr, std::nullopt};
    auto fault = s.injected_fault(ordinal, a, span);
    if (fault && !fault->acted_by_call()) return {fault->status, a, std::nullopt};
    return {YXSIM_OK, a, fault};
}

SimState::NvramSpan span_of(uint32_t offset, uint32_t dwords) { return {offset, offset + 4ull * dwords}; }

// A call without an adapter: initialisation and injected faults.
uint32_t enter_global(SimState& s, uint32_t ordinal)
{
    if (!s.initialized()) return YXSIM_E_NOT_INITIALIZED;
    auto fault = s.injected_fault(ordinal, {});
    return fault ? fault->status : YXSIM_OK;
}

bool valid_guid(const char* guid)
{
    return guid && strnlen(guid, yxmapi::kClientGuidLength + 1) == yxmapi::kClientGuidLength && guid[0] == '{' &&
           guid[yxmapi::kClientGuidLength - 1] == '}';
}

// Checks shared by the calls that reach the chip.
uint32_t chip_access(const SimAdapter& a, const char* guid)
{
    if (!valid_guid(guid)) return YXSIM_E_BAD_ARGUMENT;
    if (!a.desc.driver_access) return YXSIM_E_NO_DRIVER_ACCESS;
    return YXSIM_OK;
}

// NVRAM range check: offset plus the byte count must stay inside the NVRAM.
uint32_t nvram_range(const SimAdapter& a, uint32_t offset, uint32_t dwords, const void* buf)
{
    if (!buf && dwords) return YXSIM_E_BAD_ARGUMENT;
    if (uint64_t(offset) + 4ull * dwords > a.desc.nvram_size()) return YXSIM_E_OUT_OF_RANGE;
    if (a.nvram_fd() < 0) return YXSIM_E_IO;
    return YXSIM_OK;
}

// A cut on flash that erases a sector before programming it: the sector holding `at` was erased
// whole and programmed only up to `at`, so the rest of it reads 0xFF.
void erase_rest_of_sector(const SimAdapter& a, uint64_t at, uint32_t sector)
{
    uint64_t end = std::min<uint64_t>((at / sector + 1) * sector, a.desc.nvram_size());
    if (at % sector == 0 || at >= end) return;  // the cut fell on a sector boundary
    std::vector<uint8_t> erased(end - at, 0xFF);
    pwrite_all(a.nvram_fd(), erased.data(), erased.size(), at);
}

// The versions the adapter's NVRAM gives, when the family's NVRAM can be read for them.
std::optional<DerivedFirmware> derived_firmware(SimState& s, const SimAdapter& a)
{
    if (a.desc.family == yxmapi::kFamilyE4) return e4_firmware(s, a);
    if (!firmware_derivable(a.desc.family) || a.nvram_fd() < 0) return std::nullopt;
    std::vector<uint8_t> nvram(a.desc.nvram_size());
    if (!pread_all(a.nvram_fd(), nvram.data(), nvram.size(), 0)) return std::nullopt;
    return derive_firmware_from_nvram(a.desc.family, nvram);
}

// A reset of an E1-E3 board starts the MFW that its NVRAM now lists: every path's shared memory
// (base in register 0xA2B4) gets that MFW's version word at +8, 0 when none can run.
void restart_mfw(SimState& s, const SimAdapter& reset)
{
    auto derived = derived_firmware(s, reset);
    const uint32_t word = derived && derived->mfw_word ? *derived->mfw_word : 0;
    for (SimAdapter& a : s.adapters()) {
        if (a.desc.board_name() != reset.desc.board_name()) continue;
        if (uint32_t base = a.read_register(kShmemBaseRegister)) s.store_register(a, base + kShmemMfwVersion, word);
    }
}

// Ordinals 104, 116, 184: the firmware record of the adapter's family, by list handle.
template <class RecordT>
uint32_t firmware_query(uint32_t ordinal, uint32_t family, uint32_t version, uint32_t handle, RecordT* out)
{
    return serve(call(ordinal, handle), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ordinal, HandleSpace::List, handle);
        if (e.status) return e.status;
        if (!out) return YXSIM_E_BAD_ARGUMENT;
        if (out->version() != version) return YXSIM_E_BAD_VERSION;
        if (e.adapter->desc.family != family) return YXSIM_E_WRONG_FAMILY;
        RecordT r;
        r.prepare(version);
        auto derived = derived_firmware(s, *e.adapter);
        fill_fw_texts(e.adapter->desc, derived, r);
        if constexpr (sizeof(RecordT) == sizeof(yxmapi::FwInfoType5)) {
            // The PHY reports the firmware last written to it; the description's text is only
            // what it ran when it left the factory.
            if (auto phy = stored_phy_version(s.root(), e.adapter->desc.board_name())) r.set(yxmapi::fw5::kPhy, *phy);
            // The override, else the word the NVRAM keeps; 0 without one.
            uint32_t mbi = e.adapter->desc.mbi_packed.value_or(derived && derived->mbi_packed ? *derived->mbi_packed : 0);
            r.set(yxmapi::fw5::kMbiPacked, mbi);
        }
        std::memcpy(out->bytes, r.bytes, sizeof r.bytes);
        return YXSIM_OK;
    });
}

}  // namespace
}  // namespace sim

using namespace sim;

YX_EXPORT uint32_t YXmapiGetVersion(uint32_t* major, uint32_t* minor, uint32_t* build)
{
    return serve(call(ord::kGetVersion), [&](SimState& s, YxSimCall&) -> uint32_t {
        if (!s.initialized()) s.load_control();
        if (auto fault = s.injected_fault(ord::kGetVersion, {})) return fault->status;
        if (!major || !minor || !build) return YXSIM_E_BAD_ARGUMENT;
        const Control& c = s.control();
        *major = c.version_major.value_or(kVersion[0]);
        *minor = c.version_minor.value_or(kVersion[1]);
        *build = c.version_build.value_or(kVersion[2]);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiInitializeEx(uint32_t flags)
{
    return serve(call(ord::kInitializeEx, 0, 0, 0, flags), [&](SimState& s, YxSimCall&) -> uint32_t {
        bool was = s.initialized();
        s.initialize();
        if (auto fault = s.injected_fault(ord::kInitializeEx, {})) {
            if (!was) s.shutdown();
            return fault->status;
        }
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiShutdown()
{
    return serve(call(ord::kShutdown), [&](SimState& s, YxSimCall&) -> uint32_t {
        uint32_t status = enter_global(s, ord::kShutdown);
        if (s.initialized()) s.shutdown();  // an injected failure still ends the session's claims
        return status;
    });
}

YX_EXPORT uint32_t YXmapiGetPhyNicCount(uint32_t* count)
{
    return serve(call(ord::kGetPhyNicCount), [&](SimState& s, YxSimCall& c) -> uint32_t {
        if (uint32_t st = enter_global(s, ord::kGetPhyNicCount)) return st;
        if (!count) return YXSIM_E_BAD_ARGUMENT;
        *count = c.value = static_cast<uint32_t>(s.adapters().size());
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiGetAllPhyNicHandles(uint32_t* handles, uint32_t count)
{
    return serve(call(ord::kGetAllPhyNicHandles, 0, 0, count), [&](SimState& s, YxSimCall&) -> uint32_t {
        if (uint32_t st = enter_global(s, ord::kGetAllPhyNicHandles)) return st;
        auto& adapters = s.adapters();
        if (!handles && count) return YXSIM_E_BAD_ARGUMENT;
        if (count < adapters.size()) return YXSIM_E_BUFFER_TOO_SMALL;
        for (size_t i = 0; i < adapters.size(); ++i) handles[i] = adapters[i].desc.list_handle;
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiGetPhyNic(uint32_t handle, yxmapi::PhyNicInfo* info)
{
    return serve(call(ord::kGetPhyNic, handle), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kGetPhyNic, HandleSpace::List, handle);
        if (e.status) return e.status;
        if (!info) return YXSIM_E_BAD_ARGUMENT;
        if (info->version() != yxmapi::kPhyNicInfoVersion) return YXSIM_E_BAD_VERSION;
        yxmapi::PhyNicInfo r;
        fill_phy_nic_info(e.adapter->desc, r);
        std::memcpy(info->bytes, r.bytes, sizeof r.bytes);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiGetZIZUNicInfoEx(uint32_t handle, yxmapi::NicInfoEx* info)
{
    return serve(call(ord::kGetZIZUNicInfoEx, handle), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kGetZIZUNicInfoEx, HandleSpace::List, handle);
        if (e.status) return e.status;
        if (!info) return YXSIM_E_BAD_ARGUMENT;
        if (info->version() != yxmapi::kNicInfoExVersion) return YXSIM_E_BAD_VERSION;
        yxmapi::NicInfoEx r;
        fill_nic_info_ex(e.adapter->desc, r);
        std::memcpy(info->bytes, r.bytes, sizeof r.bytes);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiGetServiceName(uint32_t handle, char* buf, uint32_t bufLen)
{
    return serve(call(ord::kGetServiceName, handle, 0, bufLen), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kGetServiceName, HandleSpace::Service, handle);
        if (e.status) return e.status;
        if (!buf || bufLen == 0) return YXSIM_E_BAD_ARGUMENT;
        const std::string& name = e.adapter->desc.service_name;
        if (name.empty()) return YXSIM_E_NOT_FOUND;
        if (name.size() + 1 > bufLen) return YXSIM_E_BUFFER_TOO_SMALL;
        std::memcpy(buf, name.c_str(), name.size() + 1);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiGetFwInfoType4(uint32_t handle, yxmapi::FwInfoType4* info)
{
    return firmware_query(ord::kGetFwInfoType4, yxmapi::kFamilyLegacy, yxmapi::kFwInfoType4Version, handle, info);
}

YX_EXPORT uint32_t YXmapiGetFwInfoType5(uint32_t handle, yxmapi::FwInfoType5* info)
{
    return firmware_query(ord::kGetFwInfoType5, yxmapi::kFamily57710, yxmapi::kFwInfoType5Version, handle, info);
}

YX_EXPORT uint32_t YXmapiGetFwInfoType6(uint32_t handle, yxmapi::FwInfoType6* info)
{
    return firmware_query(ord::kGetFwInfoType6, yxmapi::kFamilyE4, yxmapi::kFwInfoType6Version, handle, info);
}

YX_EXPORT uint32_t YXmapiGetMfwInfo(uint32_t handle, yxmapi::MfwInfo* info)
{
    return serve(call(ord::kGetMfwInfo, handle), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kGetMfwInfo, HandleSpace::Api, handle);
        if (e.status) return e.status;
        if (!info) return YXSIM_E_BAD_ARGUMENT;
        if (info->version() != yxmapi::kMfwInfoVersion) return YXSIM_E_BAD_VERSION;
        if (e.adapter->desc.family != yxmapi::kFamilyE4) return YXSIM_E_WRONG_FAMILY;
        auto derived = derived_firmware(s, *e.adapter);
        if (e.adapter->desc.mfw_version.empty() && !(derived && derived->mfw_version)) return YXSIM_E_NOT_FOUND;
        yxmapi::MfwInfo r;
        fill_mfw_info(e.adapter->desc, derived, r);
        std::memcpy(info->bytes, r.bytes, sizeof r.bytes);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiClaimNic(uint32_t handle)
{
    return serve(call(ord::kClaimNic, handle), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kClaimNic, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        SimBoard& b = *a.board;
        if (a.claimed()) return YXSIM_OK;  // the holder may claim again
        if (b.claimed) return YXSIM_E_CLAIMED_ELSEWHERE;  // through another function of the board
        if (b.lock_fd < 0) return YXSIM_E_IO;
        int rc;
        do rc = ::flock(b.lock_fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) return errno == EWOULDBLOCK ? YXSIM_E_CLAIMED_ELSEWHERE : YXSIM_E_IO;
        b.claimed = true;
        b.holder = a.desc.api_handle;
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiReleaseNic(uint32_t handle)
{
    return serve(call(ord::kReleaseNic, handle), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kReleaseNic, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (!a.claimed()) return YXSIM_E_NOT_HOLDER;
        ::flock(a.board->lock_fd, LOCK_UN);
        a.board->claimed = false;
        a.board->holder = 0;
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiResetNic(uint32_t handle, uint32_t mode)
{
    return serve(call(ord::kResetNic, handle, 0, 0, mode), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kResetNic, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (mode != yxmapi::kResetMode) return YXSIM_E_BAD_ARGUMENT;
        if (!a.desc.driver_access) return YXSIM_E_NO_DRIVER_ACCESS;
        if (a.desc.capabilities & yxmapi::nic::kCapCannotReset) return YXSIM_E_NOT_SUPPORTED;
        WriteGate gate(a);
        if (!gate.open()) return YXSIM_E_CLAIMED_ELSEWHERE;
        ++s.counters().resets;
        e4_reset(s, a);  // an E4 adapter starts the bank its directory names
        if (a.desc.family == yxmapi::kFamily57710) restart_mfw(s, a);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiReadNvram(uint32_t handle, uint32_t offset, uint32_t* buf, uint32_t dwords, const char* guid)
{
    return serve(call(ord::kReadNvram, handle, offset, dwords), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kReadNvram, HandleSpace::Api, handle, span_of(offset, dwords));
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (uint32_t st = chip_access(a, guid)) return st;
        if (uint32_t st = nvram_range(a, offset, dwords, buf)) return st;
        size_t bytes = 4ull * dwords;
        if (!pread_all(a.nvram_fd(), buf, bytes, offset)) return YXSIM_E_IO;
        s.counters().nvramBytesRead += bytes;
        if (e.fault && e.fault->flip && dwords) buf[0] ^= *e.fault->flip;  // a silent read fault
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiWriteNvram(uint32_t handle, uint32_t offset, const uint32_t* buf, uint32_t dwords,
                                    const char* guid)
{
    return serve(call(ord::kWriteNvram, handle, offset, dwords), [&](SimState& s, YxSimCall& c) -> uint32_t {
        Entry e = enter(s, ord::kWriteNvram, HandleSpace::Api, handle, span_of(offset, dwords));
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (uint32_t st = chip_access(a, guid)) return st;
        if (uint32_t st = nvram_range(a, offset, dwords, buf)) return st;
        if (dwords) std::memcpy(&c.value, buf, 4);
        WriteGate gate(a);
        if (!gate.open()) return YXSIM_E_CLAIMED_ELSEWHERE;
        size_t bytes = 4ull * dwords;
        if (e.fault && e.fault->lost) return YXSIM_OK;  // reported stored, but nothing sticks
        if (e4_channel_takes(a, offset))
            return e4_channel_write(s, a, reinterpret_cast<const uint8_t*>(buf), bytes, e.fault);
        if (e.fault) bytes = std::min<size_t>(bytes, *e.fault->cut_after);
        if (!pwrite_all(a.nvram_fd(), buf, bytes, offset)) return YXSIM_E_IO;
        s.counters().nvramBytesWritten += bytes;
        if (e.fault) {
            if (e.fault->erase_sector) erase_rest_of_sector(a, offset + bytes, *e.fault->erase_sector);
            if (e.fault->exit_after_cut) ::_exit(75);
            return e.fault->status;
        }
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiSetNvramWriteMode(uint32_t handle, uint32_t mode, const char* guid)
{
    return serve(call(ord::kSetNvramWriteMode, handle, 0, 0, mode), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kSetNvramWriteMode, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (uint32_t st = chip_access(a, guid)) return st;
        if (a.desc.family != yxmapi::kFamilyE4) return YXSIM_E_WRONG_FAMILY;
        if (mode != yxmapi::kWriteModeMfw && mode != yxmapi::kWriteModeImage) return YXSIM_E_BAD_ARGUMENT;
        WriteGate gate(a);
        if (!gate.open()) return YXSIM_E_CLAIMED_ELSEWHERE;
        a.write_mode = mode;
        a.e4_header.clear();
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiWritePhyFirmware(uint32_t handle, const uint8_t* image, uint32_t length, const char* guid)
{
    return serve(call(ord::kWritePhyFirmware, handle, 0, length), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kWritePhyFirmware, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (uint32_t st = chip_access(a, guid)) return st;
        if (!image || length == 0) return YXSIM_E_BAD_ARGUMENT;
        WriteGate gate(a);
        if (!gate.open()) return YXSIM_E_CLAIMED_ELSEWHERE;
        if (e.fault) {
            // A cut download: the PHY commits an image only once it has all of it, so the old
            // firmware stays whatever part of the new one had arrived.
            if (e.fault->exit_after_cut) ::_exit(75);
            return e.fault->status;
        }
        if (!phy_accepts({image, length})) return YXSIM_E_BAD_ARGUMENT;
        write_file_atomic(phy_image_path(s.root(), a.desc.board_name()),
                          std::string_view(reinterpret_cast<const char*>(image), length));
        ++s.counters().phyWrites;
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiReadRegister(uint32_t handle, uint32_t access, uint32_t reg, uint32_t* out, const char* guid)
{
    return serve(call(ord::kReadRegister, handle, 0, 0, access, reg), [&](SimState& s, YxSimCall& c) -> uint32_t {
        Entry e = enter(s, ord::kReadRegister, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (uint32_t st = chip_access(a, guid)) return st;
        if (access != yxmapi::kRegAccessChip || !out) return YXSIM_E_BAD_ARGUMENT;
        *out = c.value = a.read_register(reg);
        return YXSIM_OK;
    });
}

YX_EXPORT uint32_t YXmapiWriteRegister(uint32_t handle, uint32_t access, uint32_t reg, uint32_t value, const char* guid)
{
    return serve(call(ord::kWriteRegister, handle, 0, 0, access, reg, value), [&](SimState& s, YxSimCall&) -> uint32_t {
        Entry e = enter(s, ord::kWriteRegister, HandleSpace::Api, handle);
        if (e.status) return e.status;
        SimAdapter& a = *e.adapter;
        if (uint32_t st = chip_access(a, guid)) return st;
        if (access != yxmapi::kRegAccessChip) return YXSIM_E_BAD_ARGUMENT;
        WriteGate gate(a);
        if (!gate.open()) return YXSIM_E_CLAIMED_ELSEWHERE;
        return s.store_register(a, reg, value) ? YXSIM_OK : YXSIM_E_IO;
    });
}

// ---------------------------------------------------------------------------------------------
// Journal and counters.

YX_EXPORT uint32_t yxsim_journal_size(void)
{
    SimState& s = SimState::instance();
    std::lock_guard<std::mutex> guard(s.mutex);
    return static_cast<uint32_t>(s.journal().size());
}

YX_EXPORT uint32_t yxsim_journal_read(uint32_t first, YxSimCall* out, uint32_t max)
{
    SimState& s = SimState::instance();
    std::lock_guard<std::mutex> guard(s.mutex);
    uint32_t n = 0;
    for (size_t i = first; out && i < s.journal().size() && n < max; ++i) out[n++] = s.journal()[i];
    return n;
}

YX_EXPORT void yxsim_reset_journal(void)
{
    SimState& s = SimState::instance();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.reset_journal();
}

YX_EXPORT void yxsim_get_counters(YxSimCounters* out)
{
    SimState& s = SimState::instance();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (out) *out = s.counters();
}
