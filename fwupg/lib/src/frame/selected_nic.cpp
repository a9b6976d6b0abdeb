#include "fwupg/selected_nic.h"

yxmapi::PhyNicInfo g_CurPhyNic = {};
yxmapi::NicInfoEx g_CurNicInfo = {};

namespace fwupg {

void SelectNic(const yxmapi::PhyNicInfo& phy, const yxmapi::NicInfoEx& info)
{
    g_CurPhyNic = phy;
    g_CurNicInfo = info;
}

}  // namespace fwupg
