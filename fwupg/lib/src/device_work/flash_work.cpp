// The per-adapter work of the flash and dump exports: flash by PCI address, flash the items of a
// discovery report, board options after a flash from a report, dump by PCI address.
#include <string>
#include <vector>

#include "fwupg/debug_log.h"
#include "fwupg/device.h"
#include "fwupg/device_work.h"
#include "fwupg/discovery_report.h"
#include "fwupg/frame_work.h"
#include "fwupg/fw_utils.h"
#include "fwupg/oem_interface.h"
#include "fwupg/yxmapi_client.h"
#include "platform/utf16.h"

namespace {

Device* FindAtPci(std::vector<Device>& list, uint32_t bus, uint32_t device, uint32_t function)
{
    for (Device& d : list)
        if (d.IsDevice(bus, device, function))
            return &d;
    return nullptr;
}

// Finds the item's image file in the folder's listing, which must name it exactly and hold it as a
// regular file. 0 with `match` set, or the item's result (the listing's own failure, or 8); a
// folder that cannot be listed, or a failure of a named file, marks the item failed.
uint32_t FindItemFile(const fwupg::ReportItem& item, const std::string& folder, ReportFlashState* state,
                      std::string* match)
{
    static const char* const kFn = "oem_do_flash_with_file";
    const std::string& wanted = item.file;
    std::vector<std::string> files;
    if (const uint32_t listed = fwupg::EnumFiles(folder, &files); listed != 0) {
        LogDebugMsg(DBG_DEBUG, "%s(): the folder %s cannot be listed for [%s].", kFn, folder.c_str(), wanted.c_str());
        state->itemFailed = true;
        state->resultByte = RET_FLASH_WITH_FILE_FAILED;
        return listed;
    }
    std::string name;
    for (const std::string& f : files) {
        name.clear();
        fwupg::ExtractFilename(f, &name);
        if (name == wanted) {
            *match = f;
            break;
        }
    }
    if (match->empty()) {
        LogDebugMsg(DBG_DEBUG, "%s(): LINE No: %d ,Image File [%s] not found !!!", kFn, __LINE__, wanted.c_str());
        LogDebugMsg(DBG_DEBUG, "%s(): LINE No: %d ,Image File [%s] not found !!!", kFn, __LINE__, name.c_str());
        if (!wanted.empty()) {
            state->itemFailed = true;
            state->resultByte = RET_FLASH_WITH_FILE_FAILED;
        }
        return RET_FW_FILE_NOT_FOUND;
    }
    state->deferred = true;
    if (!fwupg::IsRegularFile(*match)) {
        LogDebugMsg(DBG_DEBUG, "%s(): Image File [%s] not found !!!", kFn, match->c_str());
        state->itemFailed = true;
        state->resultByte = RET_FLASH_WITH_FILE_FAILED;
        return RET_FW_FILE_NOT_FOUND;
    }
    return 0;
}

// One "fw_item" of a report for a usable adapter: its result code. The image file is flashed
// only as a firmware item of the item's own type.
uint32_t FlashItem(const Device& device, const fwupg::ReportItem& item, const std::string& folder,
                   ReportFlashState* state)
{
    std::string file;
    if (const uint32_t missing = FindItemFile(item, folder, state, &file); missing != 0)
        return missing;
    const uint32_t result = fwupg::device::Upgrade(device, file, true, item.type);
    if (result == RET_REBOOT_REQUIRED) {
        state->resultByte = RET_REBOOT_REQUIRED;  // the final code still says 106 after a failed item
    } else if (result != RET_SUCCESSFUL) {
        state->itemFailed = true;
        state->resultByte = RET_FLASH_WITH_FILE_FAILED;
    }
    return result;
}

// One "fw_item" of a report for an adapter that is on this machine but that discovery left out:
// no image of the folder fits it. Nothing is written to it; the item fails with 8 when its file is
// not in the folder, with 103 when the file fails the checks for the adapter (the debug log says
// which check refused it), and with 106 when the file would fit but the board it belongs to is
// not usable here (its package is missing or bad), so the item was not flashed.
uint32_t RefuseItem(const Device& device, const fwupg::ReportItem& item, const std::string& folder,
                    ReportFlashState* state)
{
    static const char* const kFn = "oem_do_flash_with_file";
    std::string file;
    if (const uint32_t missing = FindItemFile(item, folder, state, &file); missing != 0)
        return missing;
    const int type = FwTypeOfName(item.type);
    // Run for its log: the check names what it found wrong with the file.
    const bool fits = type >= 0 && device.IsCompatible(file, type);
    LogDebugMsg(DBG_DEBUG, "%s(): %s item of left-out adapter %s: %s %s; nothing is written to it.", kFn,
                item.type.c_str(), platform::to_utf8(device.m_ID).c_str(), file.c_str(),
                type < 0 ? "is for an unknown firmware type" : fits ? "fits, but the adapter is not usable here"
                                                                    : "fails the checks for this adapter");
    state->itemFailed = true;
    state->resultByte = RET_FLASH_WITH_FILE_FAILED;
    return fits ? RET_FLASH_WITH_FILE_FAILED : RET_FW_IMAGE_INVALID;
}

}  // namespace

uint32_t FlashDeviceAtPci(const char* imageFile, bool force, uint32_t bus, uint32_t device, uint32_t function)
{
    Device* d = FindAtPci(g_AllDevices, bus, device, function);
    if (!d)
        return RET_FWUPG_SKIPPED_MISC;
    const fwupg::yx::ClaimScope claim(d->ApiHandle());  // the check and the update's lines
    if (!d->IsCompatible(imageFile)) {
        LogDebugMsg(DBG_DEBUG, "%s(): The given firmware image file is invalid for this NIC!!!",
                    "oem_do_full_flash_PCI");
        return RET_FW_IMAGE_INVALID;
    }
    return fwupg::device::Upgrade(*d, imageFile, force);
}

void FlashReportDevice(xmlNode* deviceEntry, const char* folder, ReportFlashState* state)
{
    static const char* const kFn = "oem_do_flash_with_file";
    LogDebugMsg(DBG_DEBUG, "%s(): sDevice=%s", kFn, GetChildValue(deviceEntry, "device_id").c_str());
    Device* device = fwupg::FindReportDevice(deviceEntry, g_Devices);
    if (!device) {
        // On this machine but not usable here: every item it asks for fails and says why. Not on
        // this machine at all (a report made elsewhere): its items are left as they are.
        if (Device* leftOut = fwupg::FindReportDevice(deviceEntry, g_LeftOutDevices)) {
            LogDebugMsg(DBG_DEBUG, "%s(): %s is on this machine but no image of the folder fits it.", kFn,
                        platform::to_utf8(leftOut->m_ID).c_str());
            fwupg::ApplyReportItems(deviceEntry, [&](const fwupg::ReportItem& item) {
                return RefuseItem(*leftOut, item, folder, state);
            });
        }
        return;
    }
    // The adapter's items run as one command line each; one claim over all of them keeps another
    // process from writing between them, so the lines share the read cache (what the backup and
    // earlier lines read is not read again).
    const fwupg::yx::ClaimScope claim(device->ApiHandle());
    fwupg::ApplyReportItems(deviceEntry, [&](const fwupg::ReportItem& item) {
        return FlashItem(*device, item, folder, state);
    });
}

void SetOptionsForVindoAdapters()
{
    for (const Device& d : g_AllDevices)
        fwupg::device::SetOptionsForVindoAdapter(d);
}

uint32_t DumpDeviceAtPci(const char* dumpFile, uint32_t bus, uint32_t device, uint32_t function)
{
    Device* d = FindAtPci(g_Devices, bus, device, function);
    if (!d)
        return RET_OPERATION_FAILED;
    return fwupg::device::DumpNVM(*d, dumpFile);
}
