// The exported interface of LibALDN_ZkFwUpg: the oem_ functions and the records they fill.
// Included by the library and by the console tool; the one definition of these records.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// One firmware component of an adapter (2,588 bytes).
struct FwInfo {
    char16_t typeName[256];    // firmware type name
    char16_t fileName[1024];   // image file name (bare name inside the firmware folder)
    uint32_t curMajor;         // active version
    uint32_t curMinor;
    uint32_t curBuild;
    uint32_t availMajor;       // version of the image in the folder
    uint32_t availMinor;
    uint32_t availBuild;
    uint8_t reserved[4];
};

constexpr unsigned kMaxFwInfo = 20;

// The per-adapter record filled by oem_get_adapter_info (54,432 bytes).
struct VendorAdaptInfo {
    char16_t productName[1024];
    char16_t deviceId[256];
    uint32_t vid;
    uint32_t did;
    uint32_t svid;
    uint32_t ssid;
    uint32_t segment;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
    char16_t slot[16];
    char16_t mac[20];
    uint32_t fwCount;          // at most kMaxFwInfo
    FwInfo fw[kMaxFwInfo];
    uint32_t flags;            // bit 0: adapter not supported; the library leaves it 0
};

// Result codes of the oem_ functions.
enum ReturnCode : uint32_t {
    RET_SUCCESSFUL = 0,
    RET_REBOOT_REQUIRED = 1,
    RET_FW_ALREADY_INSTALLED = 2,
    RET_FWUPG_SKIPPED_MISC = 3,
    RET_DEVICE_ACCESS_FAILED = 4,
    RET_FWUPG_CANCELLED = 5,
    RET_DEPENDENCY_FAILURE = 6,
    RET_OPERATION_FAILED = 7,
    RET_FW_FILE_NOT_FOUND = 8,
    RET_FW_FILE_ACCESS_FAILED = 9,
    RET_DISCOV_FILE_NOT_FOUND = 10,
    RET_DISCOV_FILE_ACCESS_FAILED = 11,
    RET_DISCOV_FILE_CREATE_FAILED = 12,
    RET_VPD_CORRUPTION_DETECTED = 13,
    RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED = 14,
    RET_YXMAPI_INIT_FAILED = 101,
    RET_DISCOVER_DEVICE_FAILED = 102,
    RET_FW_IMAGE_INVALID = 103,
    RET_DEVICE_NOT_SUPPORTED = 104,
    RET_INITIALIZE_FAILED = 105,
    RET_FLASH_WITH_FILE_FAILED = 106,
    RET_XML_SYNTAX_ERROR = 107,
    RET_DIRECTORY_NOT_FOUND = 108,
    RET_INVALID_DUMP_FILE = 109,
    RET_RESTORE_FAILED = 110,
    RET_SHA256_AUTH_FAILED_ON_NVM_DUMP = 111,
};

// With records == nullptr only *count is set. With records, *count on entry is the capacity of
// the array; no more records than that are written, and *count is set to the number written.
uint32_t oem_get_adapter_info(VendorAdaptInfo* records, uint32_t* count, const char16_t* fwFolder);
uint32_t oem_do_discovery_with_files(const char16_t* reportFile, const char16_t* fwFolder);
uint32_t oem_do_flash_with_file(const char16_t* reportFile, const char16_t* fwFolder);
uint32_t oem_do_full_flash_PCI(const char16_t* imageFile, uint32_t force, uint32_t segment,
                               uint32_t bus, uint32_t device, uint32_t function);
const char* oem_text_for_error_code(uint32_t code);
uint32_t oem_get_debug_info(const char16_t* logFile);
uint32_t oem_get_full_flash_dump_PCI(const char16_t* dumpFile, const char16_t* fwType, uint32_t segment,
                                     uint32_t bus, uint32_t device, uint32_t function);

// Function-pointer types, for callers that bind the library at run time.
typedef uint32_t (*oem_get_adapter_info_fn)(VendorAdaptInfo*, uint32_t*, const char16_t*);
typedef uint32_t (*oem_do_discovery_with_files_fn)(const char16_t*, const char16_t*);
typedef uint32_t (*oem_do_flash_with_file_fn)(const char16_t*, const char16_t*);
typedef uint32_t (*oem_do_full_flash_PCI_fn)(const char16_t*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
typedef const char* (*oem_text_for_error_code_fn)(uint32_t);
typedef uint32_t (*oem_get_debug_info_fn)(const char16_t*);
typedef uint32_t (*oem_get_full_flash_dump_PCI_fn)(const char16_t*, const char16_t*, uint32_t, uint32_t,
                                                   uint32_t, uint32_t);

}  // extern "C"

static_assert(sizeof(char16_t) == 2);
static_assert(sizeof(FwInfo) == 2588);
static_assert(offsetof(FwInfo, typeName) == 0);
static_assert(offsetof(FwInfo, fileName) == 512);
static_assert(offsetof(FwInfo, curMajor) == 2560);
static_assert(offsetof(FwInfo, availMajor) == 2572);
static_assert(offsetof(FwInfo, reserved) == 2584);
static_assert(sizeof(VendorAdaptInfo) == 54432);
static_assert(offsetof(VendorAdaptInfo, productName) == 0);
static_assert(offsetof(VendorAdaptInfo, deviceId) == 2048);
static_assert(offsetof(VendorAdaptInfo, vid) == 2560);
static_assert(offsetof(VendorAdaptInfo, did) == 2564);
static_assert(offsetof(VendorAdaptInfo, svid) == 2568);
static_assert(offsetof(VendorAdaptInfo, ssid) == 2572);
static_assert(offsetof(VendorAdaptInfo, segment) == 2576);
static_assert(offsetof(VendorAdaptInfo, bus) == 2580);
static_assert(offsetof(VendorAdaptInfo, device) == 2584);
static_assert(offsetof(VendorAdaptInfo, function) == 2588);
static_assert(offsetof(VendorAdaptInfo, slot) == 2592);
static_assert(offsetof(VendorAdaptInfo, mac) == 2624);
static_assert(offsetof(VendorAdaptInfo, fwCount) == 2664);
static_assert(offsetof(VendorAdaptInfo, fw) == 2668);
static_assert(offsetof(VendorAdaptInfo, flags) == 54428);
