// The selected adapter: the two management-library records of the adapter that the next command
// line, compatibility check or facts publication works on. Callers copy an adapter's records in
// before they run a command for it.
#pragma once

#include <yxmapi/yxmapi.h>

extern yxmapi::PhyNicInfo g_CurPhyNic;
extern yxmapi::NicInfoEx g_CurNicInfo;

namespace fwupg {

// Copies an adapter's records into the selection.
void SelectNic(const yxmapi::PhyNicInfo& phy, const yxmapi::NicInfoEx& info);

// Fields of the selection that the front end reads.
inline uint32_t SelectedFamily() { return g_CurPhyNic.get(yxmapi::phy::kFamily); }
inline uint32_t SelectedApiHandle() { return g_CurPhyNic.get(yxmapi::phy::kApiHandle); }
inline bool SelectedHasDriverAccess() { return g_CurPhyNic.get(yxmapi::phy::kDriverAccess) != 0; }
inline uint32_t SelectedChipId() { return g_CurPhyNic.get(yxmapi::phy::kChipId); }

}  // namespace fwupg
