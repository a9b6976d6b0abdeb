// Run-time binding of the vendor firmware library: the folder search, binding by name on first
// use, and one forwarder per library function the tool calls.
#pragma once

#include "fwupg/oem_interface.h"

#include <string>

namespace tirn {

class UserInterface;

// Searches the current folder for "*.so" files in sorted order, opens each as "./name" and
// keeps the first that exports oem_get_adapter_info (the others that opened stay open).
// 0 when a library is (or already was) kept, 13 when none was found. A logger given once is
// kept for later searches.
uint32_t LoadVendorLibrary(UserInterface* logger);

// Looks `name` up in the library (searching for one first when none is loaded) and stores it in
// `slot`; logs the first lookup. True when the slot now holds the function.
bool BindVendorFunction(const char* name, void** slot);

// The bare file name of the kept library; empty before a successful search.
const std::string& VendorLibraryName();

// "<folder of the running program>/FW".
std::string GetFirmwareFolder();

// Forwarders: the library's function, bound on first use; 13 when it cannot be bound
// (oem_text_for_error_code: no text; oem_get_debug_info: 0).
uint32_t oem_get_adapter_info(VendorAdaptInfo* records, uint32_t* count, const char16_t* fwFolder);
uint32_t oem_do_discovery_with_files(const char16_t* reportFile, const char16_t* fwFolder);
uint32_t oem_do_flash_with_file(const char16_t* reportFile, const char16_t* fwFolder);
uint32_t oem_do_full_flash_PCI(const char16_t* imageFile, uint32_t force, uint32_t segment, uint32_t bus,
                               uint32_t device, uint32_t function);
const char* oem_text_for_error_code(uint32_t code);
uint32_t oem_get_debug_info(const char16_t* logFile);

}  // namespace tirn
