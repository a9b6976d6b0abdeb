// The adapter query and the modes that work from it: listing, discovery report, update from a
// report and the version check.
#pragma once

#include "fwupg/oem_interface.h"

#include <cstdint>
#include <string>

namespace tirn {

class UserInterface;

// The adapter records of one run, allocated zeroed and freed at the end.
struct AdapterList {
    VendorAdaptInfo* records = nullptr;
    uint32_t count = 0;
    AdapterList() = default;
    ~AdapterList();
    AdapterList(const AdapterList&) = delete;
    AdapterList& operator=(const AdapterList&) = delete;
};

// The library's text for a code, or "" when it has none.
std::string ErrorText(uint32_t code);
// A fixed-size wide field of a record as UTF-8, up to its NUL or its end.
template <size_t N>
std::string FieldText(const char16_t (&field)[N]);
// The firmware entries of a record that the tool looks at: the count, at most 20.
uint32_t EntryCount(const VendorAdaptInfo& record);

bool IsFirmwareOlder(const FwInfo& fw);
bool IsFirmwareNewer(const FwInfo& fw);

// Queries the count, then the records. 0 or the library's code; 14 when the records cannot be
// allocated.
uint32_t GetAdapterList(UserInterface& ui, AdapterList& list);

int ListAdapters(UserInterface& ui, AdapterList& list);
int RunDiscovery(UserInterface& ui, const std::string& reportFile);
int FlashFromDiscoveryFile(UserInterface& ui, const std::string& reportFile);
int CheckComponentVersion(UserInterface& ui, const AdapterList& list);

}  // namespace tirn

#include "platform/utf16.h"

namespace tirn {

template <size_t N>
std::string FieldText(const char16_t (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n]) ++n;
    return platform::to_utf8(std::u16string_view(field, n));
}

}  // namespace tirn
