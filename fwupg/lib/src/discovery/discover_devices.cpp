// Adapter discovery: every physical function the management library lists, kept when its family
// is supported, the OEM table serves its board and (while the firmware data file is loaded) the
// data file lists its model; filed into the usable and all-adapters lists. Function 0 of a board
// that is left out for want of a fitting image, or of a data-file entry, goes into the left-out
// list, so that an update from a report can tell "not on this machine" from "not usable here".
// The debug log names every adapter left out and why.
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "fwupg/adapter_tables.h"
#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/frame_work.h"
#include "fwupg/leftover_backup.h"
#include "fwupg/nic_fw_data.h"
#include "fwupg/session_state.h"
#include "fwupg/yxmapi_client.h"
#include "platform/utf16.h"

bool DiscoverDevices(const char* folderText)
{
    static const char* const kFn = "DiscoverDevices";
    const std::string folder = folderText ? folderText : "";
    g_Devices.clear();
    g_AllDevices.clear();
    g_LeftOutDevices.clear();
    LogDebugMsg(DBG_DEBUG, "%s(): Discovering devices.. Path:%s", kFn, folder.c_str());

    uint32_t count = 0;
    if (fwupg::yx::GetPhyNicCount(&count) != 0) return false;
    std::vector<uint32_t> handles;
    try {
        handles.assign(count, 0);
    } catch (const std::bad_alloc&) {
        LogDebugMsg(DBG_DEBUG, "%s(): Failed to malloc pHandlesList!!!\r\n", kFn);
        return false;
    }
    if (const uint32_t status = fwupg::yx::GetAllPhyNicHandles(handles.data(), count); status != 0) {
        LogDebugMsg(DBG_DEBUG,
                    "%s(): YXmapiGetAllPhyNicHandles() call in BmHostImp::refresh() failed return code = %lu\r\n", kFn,
                    static_cast<unsigned long>(status));
        return true;
    }
    for (uint32_t handle : handles) {
        yxmapi::PhyNicInfo phy;
        phy.prepare(yxmapi::kPhyNicInfoVersion);
        if (const uint32_t status = fwupg::yx::GetPhyNic(handle, &phy); status != 0) {
            LogDebugMsg(DBG_DEBUG, "%s(): YXmapiGetPhyNic() call in DiscoverDevices() failed return code = %lu\r\n",
                        kFn, static_cast<unsigned long>(status));
            continue;
        }
        const uint32_t family = phy.get(yxmapi::phy::kFamily);
        if (family != yxmapi::kFamilyLegacy && family != yxmapi::kFamily57710 && family != yxmapi::kFamilyE4) {
            LogDebugMsg(DBG_DEBUG, "%s(): adapter %u left out: family %u is not supported.", kFn, handle, family);
            continue;
        }
        yxmapi::NicInfoEx nic;
        nic.prepare(yxmapi::kNicInfoExVersion);
        if (const uint32_t status = fwupg::yx::GetNicInfoEx(handle, &nic); status != 0) {
            LogDebugMsg(DBG_DEBUG,
                        "%s(): YXmapiGetZIZUNicInfoEx() call in DiscoverDevices() failed return code = %lu\r\n", kFn,
                        static_cast<unsigned long>(status));
            continue;
        }
        namespace n = yxmapi::nic;
        if (!fwupg::FindOemAdapter(nic.get(n::kVid), nic.get(n::kSvid), nic.get(n::kSsid))) {
            const std::u16string ids =
                fwupg::FourIdForm(nic.get(n::kVid), nic.get(n::kDid), nic.get(n::kSvid), nic.get(n::kSsid));
            LogDebugMsg(DBG_DEBUG, "%s(): adapter %s at %02X:%02X.%u left out: no board of the OEM table.", kFn,
                        platform::to_utf8(ids).c_str(), nic.get(n::kBus), nic.get(n::kDevice), nic.get(n::kFunction));
            continue;
        }
        const bool listedInDataFile = !g_bNicFwDataLoaded || fwupg::FindNicFwData(nic.get(n::kDid), nic.get(n::kSsid));

        // One claim over all image checks of the adapter: they read the same directory again and
        // again, which the read cache then serves from the first read.
        const fwupg::yx::ClaimScope claim(phy.get(yxmapi::phy::kApiHandle));
        // After a power cut the update's backup may be programmed back by the next update: the
        // adapter is then listed and checked as that backup holds it.
        std::optional<fwupg::LeftoverBackupView> view;
        if (!g_bDumpMode) view.emplace(phy, nic);
        Device device(handle, phy, nic, folder);
        const bool valid = listedInDataFile && (g_bDumpMode || device.IsValidDeviceForMBIorPHYImgFile(folder));
        view.reset();
        if (!valid) {
            LogDebugMsg(DBG_DEBUG, "%s(): adapter %s at %02X:%02X.%u left out: %s.", kFn,
                        platform::to_utf8(device.m_ID).c_str(), device.Bus(), device.DeviceNumber(), device.Function(),
                        listedInDataFile ? "no MBI or PHY image of the folder fits it (the checks above say why)"
                                         : "the firmware data file does not list its model");
            if (device.Function() == 0) g_LeftOutDevices.push_back(device);
        }
        if (device.Function() == 0 && valid) {
            LogDebugMsg(DBG_DEBUG, "%s(): Pushing valid device into devices Vector \n", kFn);
            g_Devices.push_back(device);
        }
        if (valid) {
            LogDebugMsg(DBG_DEBUG, "%s(): Pushing valid device into all devices Vector \n", kFn);
            g_AllDevices.push_back(device);
        }
    }
    return true;
}

size_t UsableDeviceCount()
{
    return g_Devices.size();
}

void FillVendorAdaptInfo(size_t index, VendorAdaptInfo* out)
{
    if (index < g_Devices.size() && out) g_Devices[index].fillVendorAdaptInfo(out);
}

bool AnyUsableDeviceNeedsReboot()
{
    bool reboot = false;
    for (const Device& device : g_Devices) reboot = device.IsRebootRequiredForFwupg() || reboot;
    return reboot;
}
