// GUIDs in their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace platform {

// Upper-case hex digits, with braces.
std::string format_guid(const win::GUID& guid);
// With or without braces, digits in either case; nothing for any other text.
std::optional<win::GUID> parse_guid(std::string_view text);

}  // namespace platform
