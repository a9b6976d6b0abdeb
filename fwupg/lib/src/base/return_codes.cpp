#include "fwupg/return_codes.h"

#include "fwupg/oem_interface.h"

// Every text begins with a blank and ends with CR LF; wording (spelling included) is what callers
// and their logs have always shown.
const ReturnCodeTextRow g_ReturnCodeTexts[27] = {
    {RET_SUCCESSFUL, " 0 - RET_SUCCESSFUL : The discovery or operation is successful.\r\n"},
    {RET_REBOOT_REQUIRED, " 1 - RET_REBOOT_REQUIRED : The operation is successful and reboot is required for effective changes.\r\n"},
    {RET_FW_ALREADY_INSTALLED, " 2 - RET_FW_ALREADY_INSTALLED : The firmware has already installed on NIC device.\r\n"},
    {RET_FWUPG_SKIPPED_MISC, " 3 - RET_FWUPG_SKIPPED_MISC : The operation has skipped due to some reasons.\r\n"},
    {RET_DEVICE_ACCESS_FAILED, " 4 - RET_DEVICE_ACCESS_FAILED : The access of NIC device has failed.\r\n"},
    {RET_FWUPG_CANCELLED, " 5 - RET_FWUPG_CANCELLED : The upgrade of firmware has cancelled.\r\n"},
    {RET_DEPENDENCY_FAILURE, " 6 - RET_DEPENDENCY_FAILURE : The dependency failure has occurred.\r\n"},
    {RET_OPERATION_FAILED, " 7 - RET_OPERATION_FAILED : The operation has failed.\r\n"},
    {RET_FW_FILE_NOT_FOUND, " 8 - RET_FW_FILE_NOT_FOUND : The firmware file is not found at given location.\r\n"},
    {RET_FW_FILE_ACCESS_FAILED, " 9 - RET_FW_FILE_ACCESS_FAILED : The access of firmware file is failed.\r\n"},
    {RET_DISCOV_FILE_NOT_FOUND, " 10 - RET_DISCOV_FILE_NOT_FOUND : The discovery file is not found at given location.\r\n"},
    {RET_DISCOV_FILE_ACCESS_FAILED, " 11 - RET_DISCOV_FILE_ACCESS_FAILED : The access of discovery file is failed.\r\n"},
    {RET_DISCOV_FILE_CREATE_FAILED, " 12 - RET_DISCOV_FILE_CREATE_FAILED : The creation of discovery file with supported NIC(s) has failed.\r\n"},
    {RET_VPD_CORRUPTION_DETECTED, " 13 - RET_VPD_CORRUPTION_DETECTED : The firmware upgrade has cancelled because an uncorrectable VPD corruption was detected.\r\n"},
    {RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED, " 14 - RET_FWUPG_FALIED_RESTORED_REBOOT_REQUIRED : The firmware upgrade failed but the original firmware has been restored which requires a reboot.\r\n"},
    {RET_YXMAPI_INIT_FAILED, " 101 - RET_YXMAPI_INIT_FAILED : The initialization of YXMAPI is failed.\r\n"},
    {RET_DISCOVER_DEVICE_FAILED, " 102 - RET_DISCOVER_DEVICE_FAILED : The device discovery has failed.\r\n"},
    {RET_FW_IMAGE_INVALID, " 103 - RET_FW_IMAGE_INVALID : The firmware image file is invalid.\r\n"},
    {RET_DEVICE_NOT_SUPPORTED, " 104 - RET_DEVICE_NOT_SUPPORTED : The NIC device is not supported.\r\n"},
    {RET_INITIALIZE_FAILED, " 105 - RET_INITIALIZE_FAILED : The initialization is failed.\r\n"},
    {RET_FLASH_WITH_FILE_FAILED, " 106 - RET_FLASH_WITH_FILE_FAILED : The flash with file has failed.\r\n"},
    {RET_XML_SYNTAX_ERROR, " 107 - RET_XML_SYNTAX_ERROR : The given NICFWData.xml is invalid and it contains xml-syntax error(s)\r\n"},
    {RET_DIRECTORY_NOT_FOUND, " 108 - RET_DIRECTORY_NOT_FOUND : The given directory is invalid and not found \r\n"},
    {RET_INVALID_DUMP_FILE, " 109 - RET_INVALID_DUMP_FILE : The dump file is not valid for this device\r\n"},
    {RET_RESTORE_FAILED, " 110 - RET_RESTORE_FAILED : The firmware upgrade failed and also restore operation failed on this NIC\r\n"},
    {RET_SHA256_AUTH_FAILED_ON_NVM_DUMP, " 111 - RET_SHA256_AUTH_FAILED_ON_NVM_DUMP : The SHA-256 hash authentication is failed against dump\r\n"},
    {kReturnCodeTableEnd, nullptr},
};

const char kUnsupportedReturnCodeText[] = "Not Supported Return Code Value\r\n";

const char* ReturnCodeText(uint32_t code)
{
    for (const ReturnCodeTextRow* row = g_ReturnCodeTexts; row->code != kReturnCodeTableEnd && row->text; ++row) {
        if (row->code == code) return row->text;
    }
    return kUnsupportedReturnCodeText;
}
