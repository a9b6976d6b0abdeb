// The seven exported functions of the vendor library. Each adapter call runs one frame (see
// call_frame.h) and returns one ReturnCode; no C++ exception leaves an export.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <platform/safe_file.h>
#include <platform/utf16.h>

#include "fwupg/bkv9_helper.h"
#include "fwupg/call_frame.h"
#include "fwupg/debug_log.h"
#include "fwupg/event_log.h"
#include "fwupg/frame_work.h"
#include "fwupg/oem_interface.h"
#include "fwupg/return_codes.h"
#include "fwupg/session_state.h"
#include "fwupg/stop_signals.h"

#define OEM_EXPORT extern "C" __attribute__((visibility("default")))

using fwupg::CallFrame;

namespace {

constexpr int kXmlReadOptions = XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_NOCDATA;
static_assert(kXmlReadOptions == 0x4160);

std::string utf8(const char16_t* wide)
{
    return platform::to_utf8(platform::u16_view(wide));
}

// Runs an export's body; an exception that escapes it becomes `onException`.
template <class Body>
uint32_t guarded(const char* name, uint32_t onException, Body&& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        LogDebugMsg(DBG_DEBUG, "%s(): unexpected exception: %s", name, e.what());
    } catch (...) {
        LogDebugMsg(DBG_DEBUG, "%s(): unexpected exception.", name);
    }
    return onException;
}

// An adapter export: as `guarded`, and a call that a stop signal ended (stop_signals.h) never
// reports success, whatever its last change gave.
template <class Body>
uint32_t stoppable(const char* name, uint32_t onException, Body&& body)
{
    fwupg::ForgetStopRequest();
    const uint32_t code = guarded(name, onException, std::forward<Body>(body));
    if (!fwupg::StopRequested() || code > RET_FWUPG_SKIPPED_MISC) return code;
    LogDebugMsg(DBG_DEBUG, "%s(): stopped by signal %d; the change in progress was finished or undone and no other "
                "was started. Return Code: %d.", name, fwupg::StopSignalNumber(), RET_FWUPG_CANCELLED);
    return RET_FWUPG_CANCELLED;
}

void report_event(uint32_t code)
{
    BuildEventText(code);
    LogSystemEventMsg(kEventTypeInformation);
}

// The first element child of `parent` named `name`.
xmlNode* child_named(xmlNode* parent, const char* name)
{
    for (xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0) return n;
    return nullptr;
}

// Sets the "value" attribute of the first child element `name` of `parent`, creating the child
// when there is none.
void set_child_value(xmlNode* parent, const char* name, const char* value)
{
    xmlNode* child = child_named(parent, name);
    if (!child) child = xmlNewChild(parent, nullptr, BAD_CAST name, nullptr);
    if (child) xmlSetProp(child, BAD_CAST "value", BAD_CAST value);
}

}  // namespace

OEM_EXPORT const char* oem_text_for_error_code(uint32_t code)
{
    static const char* const kFn = "oem_text_for_error_code";
    try {
        LogDebugMsg(DBG_DEBUG, "%s(): Getting text for error code : %d ..", kFn, static_cast<int>(code));
        const char* text = ReturnCodeText(code);
        LogDebugMsg(DBG_DEBUG, "%s():  Returned Error String for given error code from this API: %s.", kFn, text);
        return text;
    } catch (...) {
        return kUnsupportedReturnCodeText;
    }
}

OEM_EXPORT uint32_t oem_get_debug_info(const char16_t* logFile)
{
    static const char* const kFn = "oem_get_debug_info";
    return guarded(kFn, RET_OPERATION_FAILED, [&]() -> uint32_t {
        std::string name;
        if (!fwupg::NarrowPath(logFile, &name) || name.empty()) return RET_OPERATION_FAILED;
        // The log is appended to, never through a link and only as a regular file (as every line is).
        const int f = platform::open_log_for_append(name);
        if (f < 0) {
            LogDebugString("%s(): %s cannot be the debug log (%s); the earlier one is kept.", kFn, name.c_str(),
                           errno == ELOOP ? "a link or not a regular file" : std::strerror(errno));
            return RET_OPERATION_FAILED;
        }
        ::close(f);
        LogDebugMsg(DBG_DEBUG, "%s(): Getting debug info.", kFn);
        if (!fwupg::GetDebugLog().SetFileName(name)) return RET_OPERATION_FAILED;
        LogDebugMsg(DBG_DEBUG, "%s():  Return Code: %d.", kFn, 0);
        return RET_SUCCESSFUL;
    });
}

OEM_EXPORT uint32_t oem_get_adapter_info(VendorAdaptInfo* records, uint32_t* count, const char16_t* fwFolder)
{
    static const char* const kFn = "oem_get_adapter_info";
    return stoppable(kFn, RET_OPERATION_FAILED, [&]() -> uint32_t {
        fwupg::DebugSwitch();
        const std::string shown = utf8(fwFolder);
        LogDebugMsg(DBG_DEBUG, "%s(): Getting adapter info.. : PATH is %s", kFn, shown.c_str());
        LogDebugMsg(DBG_DEBUG, "%s(): Getting adapter info.. : PATH is %s", kFn, shown.c_str());
        LogDebugMsg(DBG_DEBUG, "%s():  firmware file path: %s", kFn, shown.c_str());
        std::string folder;
        if (!fwupg::NormalisePath(fwFolder, &folder) || !fwupg::IsDirectoryPath(folder)) {
            LogDebugMsg(DBG_DEBUG, "oem_get_adapter_info(): here Invalid File Path %s.", folder.c_str());
            return RET_DIRECTORY_NOT_FOUND;
        }
        if (!count) return RET_OPERATION_FAILED;
        if (!IsNicFwDataLoaded()) {
            uint32_t data = do_discover_with_zkfwdata(folder.c_str());
            LogDebugMsg(DBG_DEBUG, "%s(): do_discover_with_zkfwdata() returned %u.", kFn, data);
        }
        CallFrame frame;
        if (frame.InitManagementLibrary() != 0) {
            LogDebugMsg(DBG_DEBUG, "%s(): YXmapiInitializeEx() failed.", kFn);
            return RET_YXMAPI_INIT_FAILED;
        }
        fwupg::_Tcl_Init(kFn);
        uint32_t code = RET_SUCCESSFUL;
        if (DiscoverDevices(folder.c_str())) {
            LogDebugMsg(DBG_DEBUG, "%s(): discover device success.", kFn);
            const size_t usable = UsableDeviceCount();
            if (records) {
                // The caller's count is the capacity of its array: never write past it.
                const size_t capacity = *count;
                const size_t n = usable < capacity ? usable : capacity;
                for (size_t i = 0; i < n; ++i) FillVendorAdaptInfo(i, &records[i]);
                *count = static_cast<uint32_t>(n);
            } else {
                *count = static_cast<uint32_t>(usable);
            }
        } else {
            LogDebugMsg(DBG_DEBUG, "%s(): discover device failed.", kFn);
            code = RET_DISCOVER_DEVICE_FAILED;
        }
        LogDebugMsg(DBG_DEBUG, "%s():  Return Code: %d.", kFn, static_cast<int>(code));
        if (UsableDeviceCount() == 0) {
            LogDebugMsg(DBG_DEBUG,
                        "%s(): No ZK Supported Adapters found on the server!!! Please Make sure that copy MBI File in "
                        "the given directory or devices are up and running",
                        kFn);
            code = RET_DISCOVER_DEVICE_FAILED;
        }
        return code;
    });
}

OEM_EXPORT uint32_t oem_do_discovery_with_files(const char16_t* reportFile, const char16_t* fwFolder)
{
    static const char* const kFn = "oem_do_discovery_with_files";
    return stoppable(kFn, RET_OPERATION_FAILED, [&]() -> uint32_t {
        fwupg::DebugSwitch();
        LogDebugMsg(DBG_DEBUG, "%s(): Discovering devices and its firmwares.", kFn);
        LogDebugMsg(DBG_DEBUG, "oem_do_discovery_with_files():  path %s. discovery:%s", utf8(fwFolder).c_str(),
                    utf8(reportFile).c_str());
        std::string folder, report;
        if (!fwupg::NormalisePath(fwFolder, &folder) || !fwupg::IsDirectoryPath(folder)) {
            LogDebugMsg(DBG_DEBUG, "oem_do_discovery_with_files(): invalid path %s.", folder.c_str());
            return RET_DIRECTORY_NOT_FOUND;
        }
        if (!fwupg::NarrowPath(reportFile, &report)) return RET_DISCOV_FILE_CREATE_FAILED;
        uint32_t data = do_discover_with_zkfwdata(folder.c_str());
        if (data == RET_XML_SYNTAX_ERROR) {
            LogDebugMsg(DBG_DEBUG, "%s(): Invalid NICFWData.xml file: %s !!!", kFn, folder.c_str());
            return RET_XML_SYNTAX_ERROR;
        }
        if (data != 0)
            LogDebugMsg(DBG_DEBUG, "%s(): Problem in parsing the NICFwData.xml at: %s !!!", kFn, folder.c_str());
        else
            LogDebugMsg(DBG_DEBUG, "%s(): Found and Parsed the NICFWData.xml...", kFn);
        CallFrame frame;
        if (frame.InitManagementLibrary() != 0) {
            LogDebugMsg(DBG_DEBUG, "oem_do_discovery_with_files(): YXmapiInitializeEx() failed !!!");
            return RET_YXMAPI_INIT_FAILED;
        }
        fwupg::_Tcl_Init(kFn);
        uint32_t code = RET_SUCCESSFUL;
        if (!DiscoverDevices(folder.c_str())) {
            LogDebugMsg(DBG_DEBUG, "oem_do_discovery_with_files(): discover device failed !!!");
            code = RET_DISCOVER_DEVICE_FAILED;
        } else if (!WriteDiscoveryXml(report.c_str(), AnyUsableDeviceNeedsReboot())) {
            LogDebugMsg(DBG_DEBUG, "oem_do_discovery_with_files(): create XML failed !!!");
            code = RET_DISCOV_FILE_CREATE_FAILED;
        }
        if (UsableDeviceCount() == 0) {
            LogDebugMsg(DBG_DEBUG,
                        "%s(): No ZK Supported Adapters found on the server!!! Please Make sure that copy MBI File in "
                        "the given directory or devices are up and running",
                        kFn);
            code = RET_DISCOV_FILE_CREATE_FAILED;
        }
        return code;
    });
}

OEM_EXPORT uint32_t oem_do_full_flash_PCI(const char16_t* imageFile, uint32_t force, uint32_t segment, uint32_t bus,
                                          uint32_t device, uint32_t function)
{
    static const char* const kFn = "oem_do_full_flash_PCI";
    return stoppable(kFn, RET_OPERATION_FAILED, [&]() -> uint32_t {
        fwupg::DebugSwitch();
        LogDebugMsg(DBG_DEBUG, "%s(): Flashing Firmwares on device using PCI Info - Bus:%d, Device:%d, Function:%d .",
                    kFn, static_cast<int>(bus), static_cast<int>(device), static_cast<int>(function));
        uint32_t code = RET_FWUPG_SKIPPED_MISC;
        CallFrame frame;
        const uint32_t init = frame.InitManagementLibrary();
        std::string image;
        if (!fwupg::NormalisePath(imageFile, &image) || !fwupg::IsRegularFilePath(image)) {
            LogDebugMsg(DBG_DEBUG, "%s(): Invalid firmware_file Path !!! : %s ", kFn, image.c_str());
            report_event(RET_FW_FILE_NOT_FOUND);
            return RET_FW_FILE_NOT_FOUND;
        }
        if (init != 0) {
            LogDebugMsg(DBG_DEBUG, "oem_do_full_flash_PCI(): YXmapiInitializeEx() failed!!!");
            report_event(RET_YXMAPI_INIT_FAILED);
            return RET_YXMAPI_INIT_FAILED;
        }
        fwupg::_Tcl_Init(kFn);
        const std::string folder = fwupg::FolderOfPath(image);
        LogDebugMsg(DBG_DEBUG, "%s():  Formatted path %s. npos : %d newPath:%s", kFn, image.c_str(),
                    image.rfind('/') == std::string::npos ? -1 : static_cast<int>(image.rfind('/')), folder.c_str());
        if (!DiscoverDevices(folder.c_str())) {
            LogDebugMsg(DBG_DEBUG, "%s(): discover device failed.", kFn);
            code = RET_DISCOVER_DEVICE_FAILED;
        } else if (segment == 0) {
            code = FlashDeviceAtPci(image.c_str(), force != 0, bus, device, function);
        }
        LogDebugMsg(DBG_DEBUG, "%s():  Return Code: %d.", kFn, static_cast<int>(code));
        report_event(code);
        return code;
    });
}

OEM_EXPORT uint32_t oem_do_flash_with_file(const char16_t* reportFile, const char16_t* fwFolder)
{
    static const char* const kFn = "oem_do_flash_with_file";
    return stoppable(kFn, RET_OPERATION_FAILED, [&]() -> uint32_t {
        fwupg::DebugSwitch();
        LogDebugMsg(DBG_DEBUG, "%s(): API Entry Point.", kFn);
        ReportFlashState state;
        g_bLogEvents = 1;
        std::string folder, report;
        if (!fwupg::NormalisePath(fwFolder, &folder) || !fwupg::IsDirectoryPath(folder)) {
            LogDebugMsg(DBG_DEBUG, "oem_do_flash_with_file(): invalid path %s .", folder.c_str());
            report_event(RET_DIRECTORY_NOT_FOUND);
            return RET_DIRECTORY_NOT_FOUND;
        }
        const bool narrowed = fwupg::NarrowPath(reportFile, &report);
        LogDebugMsg(DBG_DEBUG, "%s(): discoveryFileStr  = %s,discovery_file= %s", kFn, report.c_str(),
                    utf8(reportFile).c_str());
        if (!narrowed || !fwupg::IsRegularFilePath(report)) {
            LogDebugMsg(DBG_DEBUG, "%s(): Invalid discovery_file Path : %s !!!", kFn, report.c_str());
            report_event(RET_DISCOV_FILE_NOT_FOUND);
            return RET_DISCOV_FILE_NOT_FOUND;
        }
        CallFrame frame;
        if (frame.InitManagementLibrary() != 0) {
            LogDebugMsg(DBG_DEBUG, "%s(): YXmapiInitializeEx() failed.", kFn);
            report_event(RET_YXMAPI_INIT_FAILED);
            return RET_YXMAPI_INIT_FAILED;
        }
        fwupg::_Tcl_Init(kFn);
        if (!DiscoverDevices(folder.c_str())) {
            LogDebugMsg(DBG_DEBUG, "%s(): discover device failed.", kFn);
            frame.Teardown();
            report_event(RET_DISCOVER_DEVICE_FAILED);
            return RET_DISCOVER_DEVICE_FAILED;
        }
        LogDebugMsg(DBG_DEBUG, "%s(): Parsing discovery.xml file and doing upgrade.", kFn);
        xmlDoc* doc = xmlReadFile(report.c_str(), nullptr, kXmlReadOptions);
        auto refuse = [&](const char* why, const char* detail) -> uint32_t {
            LogDebugMsg(DBG_DEBUG, why, kFn, detail);
            if (doc) xmlFreeDoc(doc);
            frame.Teardown();
            report_event(RET_DISCOV_FILE_ACCESS_FAILED);
            return RET_DISCOV_FILE_ACCESS_FAILED;
        };
        if (!doc) return refuse("%s(): xmlReadMemory() failed in ParseXmlFile().%s", "");
        xmlNode* root = xmlDocGetRootElement(doc);
        if (!root) return refuse("%s(): xmlDocGetRootElement() failed in ParseXmlFile().%s", "");
        if (std::strcmp(reinterpret_cast<const char*>(root->name), "zk_rom_discovery") != 0)
            return refuse("%s(): unknown root element [%s].", reinterpret_cast<const char*>(root->name));
        xmlNode* devices = child_named(root, "devices");
        if (!devices) return refuse("%s(): no devices node found.%s", "");
        for (xmlNode* dev = devices->children; dev; dev = dev->next)
            if (dev->type == XML_ELEMENT_NODE) FlashReportDevice(dev, folder.c_str(), &state);
        if (state.resultByte == RET_REBOOT_REQUIRED) SetOptionsForVindoAdapters();
        set_child_value(root, "takes_effect", state.deferred ? "deferred" : "immediate");
        // The report is the caller's record of what was done: when it cannot be saved the run has
        // not succeeded, whatever its items did.
        const bool saved = SaveReport(report.c_str(), doc);
        xmlFreeDoc(doc);
        const uint32_t code = !saved            ? uint32_t{RET_DISCOV_FILE_ACCESS_FAILED}
                              : state.itemFailed ? uint32_t{RET_FLASH_WITH_FILE_FAILED}
                                                 : uint32_t{state.resultByte};
        LogDebugMsg(DBG_DEBUG, "%s():  Final Return Code for this API: %d.", kFn, static_cast<int>(code));
        frame.Teardown();
        ClearEventText();
        AppendEventText(std::string_view("Subject:\n -Firmware Update Operation on one or more NICs\n\n"));
        report_event(code);
        return code;
    });
}

OEM_EXPORT uint32_t oem_get_full_flash_dump_PCI(const char16_t* dumpFile, const char16_t* fwType, uint32_t segment,
                                                uint32_t bus, uint32_t device, uint32_t function)
{
    static const char* const kFn = "oem_get_full_flash_dump_PCI";
    return stoppable(kFn, RET_OPERATION_FAILED, [&]() -> uint32_t {
        fwupg::DebugSwitch();
        LogDebugMsg(DBG_DEBUG, "%s(): Taking dump on device using PCI Info - Bus:%d, Device:%d, Function:%d .", kFn,
                    static_cast<int>(bus), static_cast<int>(device), static_cast<int>(function));
        uint32_t code = RET_OPERATION_FAILED;
        CallFrame frame;
        const uint32_t init = frame.InitManagementLibrary();
        std::string dump;
        const bool pathOk = fwupg::NormalisePath(dumpFile, &dump);
        const std::string type = utf8(fwType);
        if (strcasecmp(type.c_str(), "NVM") != 0) {
            LogDebugMsg(DBG_DEBUG, "%s(): fw_type %s is not supported. it supports only NVM dump.\n", kFn, type.c_str());
            return RET_OPERATION_FAILED;
        }
        if (init != 0) {
            LogDebugMsg(DBG_DEBUG, "%s(): YXmapiInitializeEx() failed!!!", kFn);
            return RET_YXMAPI_INIT_FAILED;
        }
        const std::string folder = fwupg::FolderOfPath(dump);
        if (!pathOk || !fwupg::IsDirectoryPath(folder)) {
            LogDebugMsg(DBG_DEBUG, "%s(): Invalid file Path !!! : %s ", kFn, dump.c_str());
            return RET_DIRECTORY_NOT_FOUND;
        }
        // An old file of that name is replaced; a link or anything else is left and refused.
        if (!platform::remove_regular_file(dump)) {
            LogDebugMsg(DBG_DEBUG, "%s(): %s cannot be replaced (a link, or not a regular file).", kFn, dump.c_str());
            return RET_FW_FILE_NOT_FOUND;
        }
        fwupg::_Tcl_Init(kFn);
        g_bDumpMode = 1;
        if (!DiscoverDevices(folder.c_str())) {
            LogDebugMsg(DBG_DEBUG, "%s(): discover device failed.", kFn);
            code = RET_DISCOVER_DEVICE_FAILED;
        } else if (segment == 0) {
            code = DumpDeviceAtPci(dump.c_str(), bus, device, function);
        }
        LogDebugMsg(DBG_DEBUG, "%s():  Return Code: %d.", kFn, static_cast<int>(code));
        frame.Teardown();
        g_bDumpMode = 0;
        return code;
    });
}

// The management library's version is checked once, when the library is loaded.
__attribute__((constructor)) static void check_api_version_at_load()
{
    try {
        CheckApiVersion();
    } catch (...) {
    }
}
