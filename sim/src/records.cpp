#include "records.h"

namespace sim {

void fill_phy_nic_info(const AdapterDef& a, yxmapi::PhyNicInfo& r)
{
    namespace p = yxmapi::phy;
    r.prepare(yxmapi::kPhyNicInfoVersion);
    r.set(p::kFamily, a.family);
    r.set(p::kApiHandle, a.api_handle);
    r.set(p::kDriverAccess, a.driver_access ? 1 : 0);
    r.set(p::kMac, a.mac);
    r.set(p::kDriverMajor, a.driver_major);
    r.set(p::kDriverMinor, a.driver_minor);
    r.set(p::kDriverBuild, a.driver_build);
    r.set(p::kVid, a.vid);
    r.set(p::kDid, a.did);
    r.set(p::kSvid, a.svid);
    r.set(p::kSsid, a.ssid);
    r.set(p::kPciFunction, a.function);
    r.set(p::kSlot, a.slot);
    r.set(p::kChipId, a.chip_id);
    r.set(p::kServiceNameHandle, a.service_handle);
}

void fill_nic_info_ex(const AdapterDef& a, yxmapi::NicInfoEx& r)
{
    namespace n = yxmapi::nic;
    r.prepare(yxmapi::kNicInfoExVersion);
    r.set(n::kBus, a.bus);
    r.set(n::kDevice, a.device);
    r.set(n::kFunction, a.nic_function.value_or(a.function));
    r.set(n::kVid, a.nic_vid.value_or(a.vid));
    r.set(n::kDid, a.nic_did.value_or(a.did));
    r.set(n::kSvid, a.nic_svid.value_or(a.svid));
    r.set(n::kSsid, a.nic_ssid.value_or(a.ssid));
    r.set(n::kCapabilities, a.capabilities);
    r.set(n::kFlashWord, a.flash_word);
    r.set(n::kPort, a.port);
    r.set(n::kModeArg, a.mode_arg);
    r.set(n::kExtPhyId1, a.ext_phy_id1);
    r.set(n::kExtPhyId2, a.ext_phy_id2);
    r.set(n::kPortCount, a.port_count);
}

template <std::size_t N>
void fill_fw_texts(const AdapterDef& a, const std::optional<DerivedFirmware>& derived, yxmapi::Record<N>& r)
{
    // A description text overrides its field (a test opted into it); every other field reports
    // what the NVRAM holds, and stays empty for an absent image or an unreadable directory.
    for (const yxmapi::TextField& f : fw_text_fields(a.family)) {
        if (f.off + f.cap > N) continue;
        if (auto it = a.fw_texts.find(f.off); it != a.fw_texts.end()) {
            r.set(f, it->second);
        } else if (derived) {
            if (auto d = derived->texts.find(f.off); d != derived->texts.end()) r.set(f, d->second);
        }
    }
}

template void fill_fw_texts(const AdapterDef&, const std::optional<DerivedFirmware>&, yxmapi::Record<632>&);
template void fill_fw_texts(const AdapterDef&, const std::optional<DerivedFirmware>&, yxmapi::Record<824>&);
template void fill_fw_texts(const AdapterDef&, const std::optional<DerivedFirmware>&, yxmapi::Record<5257>&);

void fill_mfw_info(const AdapterDef& a, const std::optional<DerivedFirmware>& derived, yxmapi::MfwInfo& r)
{
    r.prepare(yxmapi::kMfwInfoVersion);
    r.set(yxmapi::mfw::kActiveBundle, derived && derived->active_bundle ? *derived->active_bundle : a.active_bundle);
    std::string version = derived && derived->mfw_version ? *derived->mfw_version : a.mfw_version;
    if (!r.set(yxmapi::mfw::kVersion, version)) r.set(yxmapi::mfw::kVersion, a.mfw_version);
}

}  // namespace sim
