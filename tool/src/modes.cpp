#include "modes.h"

#include "user_interface.h"
#include "vendor_library.h"

#include "platform/paths.h"

#include <cstdint>
#include <cstdlib>
#include <sys/stat.h>
#include <tuple>

namespace tirn {

namespace {

// Whether the file the library was asked to write exists. The library maps the name it is given
// (C:\x\y into the system root, backslashes to slashes) before it writes, so the name is
// looked up the same way.
bool file_exists(const std::string& path)
{
    struct stat st;
    return stat(platform::map_path(path).c_str(), &st) == 0;
}

auto current(const FwInfo& fw) { return std::tie(fw.curMajor, fw.curMinor, fw.curBuild); }
auto available(const FwInfo& fw) { return std::tie(fw.availMajor, fw.availMinor, fw.availBuild); }

}  // namespace

AdapterList::~AdapterList() { std::free(records); }

std::string ErrorText(uint32_t code)
{
    const char* text = tirn::oem_text_for_error_code(code);
    return text ? text : "";
}

uint32_t EntryCount(const VendorAdaptInfo& record) { return record.fwCount > kMaxFwInfo ? kMaxFwInfo : record.fwCount; }

bool IsFirmwareOlder(const FwInfo& fw) { return current(fw) < available(fw); }
bool IsFirmwareNewer(const FwInfo& fw) { return current(fw) > available(fw); }

uint32_t GetAdapterList(UserInterface& ui, AdapterList& list)
{
    std::string folder = GetFirmwareFolder();
    std::u16string folder16 = platform::to_utf16(folder);
    ui.Log(kLevelNormal, "Looking for FW in %s\n", folder.c_str());
    uint32_t count = 0;
    uint32_t rc = tirn::oem_get_adapter_info(nullptr, &count, folder16.c_str());
    if (rc != 0) {
        ui.Print(kLevelNormal, "No supported adapters found!\n");
        // A missing firmware folder is the one cause the user can mend at once: name it.
        if (rc == RET_DIRECTORY_NOT_FOUND) {
            if (folder.find('\\') != std::string::npos)
                ui.Print(kLevelNormal,
                         "Firmware folder %s not found: the library reads each backslash in its path as a folder "
                         "separator.\n",
                         folder.c_str());
            else
                ui.Print(kLevelNormal, "Firmware folder %s not found.\n", folder.c_str());
        }
        return rc;
    }
    ui.Print(kLevelNormal, "Found %u adapters\n", count);
    // At least one record, so that the second call always gets an array, never "no array".
    size_t slots = count ? count : 1;
    void* records = slots <= SIZE_MAX / sizeof(VendorAdaptInfo) ? std::calloc(slots, sizeof(VendorAdaptInfo)) : nullptr;
    if (!records) {
        ui.Log(kLevelNormal, "Unable to allocate memory for adapter information.\n");
        return 14;
    }
    list.records = static_cast<VendorAdaptInfo*>(records);
    // The count goes in as the array's capacity; a library never fills more than that.
    uint32_t capacity = count;
    rc = tirn::oem_get_adapter_info(list.records, &count, folder16.c_str());
    list.count = count > capacity ? capacity : count;
    return rc;
}

int ListAdapters(UserInterface& ui, AdapterList& list)
{
    for (uint32_t i = 0; i < list.count; ++i) {
        VendorAdaptInfo& a = list.records[i];
        ui.Print(kLevelNormal, "NIC %d: %s at %s\n", static_cast<int>(i), FieldText(a.productName).c_str(),
                 FieldText(a.deviceId).c_str());
        if (!(a.flags & 1)) ui.Print(kLevelNormal, "Nic is flagged as supported.\n");
        ui.Print(kLevelNormal, "\tPCI-ID: %04x-%04x-%04x-%04x\n", a.vid, a.did, a.svid, a.ssid);
        ui.Print(kLevelNormal, "\tSlot Number: %s\n", FieldText(a.slot).c_str());
        ui.Print(kLevelNormal, "\tSegment: %04x\n", a.segment);
        ui.Print(kLevelNormal, "\tBus:device.function: %02u:%02u.%02u\n", a.bus, a.device, a.function);
        ui.Print(kLevelNormal, "\tMAC address: %-12s\n", FieldText(a.mac).c_str());
        ui.Log(kLevelNormal, "\tFirmware types: %u\n", a.fwCount);
        ui.Print(kLevelNormal, "Firmware inventory:\n");
        ui.Print(kLevelNormal, "\tFirmware type\tCurrent version\tAvailable version\n");
        a.fwCount = EntryCount(a);
        for (uint32_t k = 0; k < a.fwCount; ++k) {
            const FwInfo& fw = a.fw[k];
            const char* format = (fw.curBuild > 0xFFFF || fw.availBuild > 0xFFFF) ? "\t%s\t\t%u.%u.%x\t\t%u.%u.%x\r\n"
                                                                                   : "\t%s\t\t%u.%u.%u\t\t%u.%u.%u\r\n";
            ui.Print(kLevelNormal, format, FieldText(fw.typeName).c_str(), fw.curMajor, fw.curMinor, fw.curBuild,
                     fw.availMajor, fw.availMinor, fw.availBuild);
            ui.Log(kLevelNormal, "\tFile name: %s\n", FieldText(fw.fileName).c_str());
        }
        ui.Print(kLevelNormal, "\n");
    }
    return 0;
}

int RunDiscovery(UserInterface& ui, const std::string& reportFile)
{
    uint32_t rc = tirn::oem_do_discovery_with_files(platform::to_utf16(reportFile).c_str(),
                                              platform::to_utf16(GetFirmwareFolder()).c_str());
    if (rc != 0 || !file_exists(reportFile)) {
        if (rc > 100) ui.Print(kLevelNormal, "Library response: %s\n", ErrorText(rc).c_str());
        return 0;
    }
    ui.Print(kLevelNormal, "Discovery report written to %s.\nLibrary result: %d\n", reportFile.c_str(),
             static_cast<int>(rc));
    return 1;
}

int FlashFromDiscoveryFile(UserInterface& ui, const std::string& reportFile)
{
    uint32_t rc = tirn::oem_do_flash_with_file(platform::to_utf16(reportFile).c_str(),
                                         platform::to_utf16(GetFirmwareFolder()).c_str());
    ui.Print(kLevelNormal, "Flashing from discovery report at %s.\nLibrary result: %d\n", reportFile.c_str(),
             static_cast<int>(rc));
    if (rc > 100) ui.Print(kLevelNormal, "Library response: %s\n", ErrorText(rc).c_str());
    return (rc == 1 || rc == 2) ? 2 : 0;
}

int CheckComponentVersion(UserInterface& ui, const AdapterList& list)
{
    int result = 5;
    for (uint32_t i = 0; i < list.count && result != 4; ++i) {
        const VendorAdaptInfo& a = list.records[i];
        for (uint32_t k = 0; k < EntryCount(a); ++k) {
            if (IsFirmwareOlder(a.fw[k])) {
                result = 4;
                break;
            }
            if (IsFirmwareNewer(a.fw[k])) {
                result = 6;
                break;  // the rest of this adapter is not examined
            }
        }
    }
    ui.Log(kLevelNormal, "Component version check returning %d\n", result);
    return result;
}

}  // namespace tirn
