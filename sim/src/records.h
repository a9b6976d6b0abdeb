// Filling the management library's records from an adapter's description.
#pragma once

#include "fw_from_nvram.h"
#include "sim_state.h"
#include "yxmapi/yxmapi.h"

namespace sim {

void fill_phy_nic_info(const AdapterDef& a, yxmapi::PhyNicInfo& r);
void fill_nic_info_ex(const AdapterDef& a, yxmapi::NicInfoEx& r);
// Firmware texts of the family's record: the description's, replaced by those the NVRAM gives.
template <std::size_t N>
void fill_fw_texts(const AdapterDef& a, const std::optional<DerivedFirmware>& derived, yxmapi::Record<N>& r);
void fill_mfw_info(const AdapterDef& a, const std::optional<DerivedFirmware>& derived, yxmapi::MfwInfo& r);

}  // namespace sim
