// The event-log record of a firmware operation: several writers gather its text in g_EventText,
// which is then reported to the system event log as one event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Capacity of g_EventText in UTF-16 units, terminator included.
constexpr size_t kEventTextSize = 3120;

// The text of the current operation, always terminated. Appends stop at the capacity.
extern char16_t g_EventText[kEventTextSize];

// The source every event of the library is reported under.
inline constexpr char kEventSourceName[] = "LibALDN_ZkFwUpg.dll";
constexpr uint32_t kEventId = 1;
constexpr uint16_t kEventCategory = 0;

// Event types used by the library.
constexpr uint16_t kEventTypeSuccess = 0;      // immediate notice after a successful upgrade
constexpr uint16_t kEventTypeInformation = 4;  // final result of an operation

void ClearEventText() noexcept;
// Append to g_EventText; what does not fit is cut (never inside a character).
void AppendEventText(std::u16string_view text) noexcept;
void AppendEventText(std::string_view utf8) noexcept;
std::u16string_view EventText() noexcept;

// Appends the final-status lines for a result code: a success heading for 0, 1 and 0xFFFFFFFF,
// a failure subject and heading for every other code, then " <code text>\n".
void BuildEventText(uint32_t code) noexcept;

// Reports g_EventText (unchanged) as one event of `type` under kEventSourceName, id 1, category 0.
// An event log that cannot be opened loses the event silently.
void LogSystemEventMsg(uint16_t type) noexcept;
