#include "fwupg/event_log.h"

#include "fwupg/debug_log.h"
#include "fwupg/return_codes.h"
#include "platform/event_log.h"
#include "platform/utf16.h"

char16_t g_EventText[kEventTextSize];

void ClearEventText() noexcept { g_EventText[0] = u'\0'; }

std::u16string_view EventText() noexcept { return platform::u16_view(g_EventText); }

void AppendEventText(std::u16string_view text) noexcept
{
    size_t used = EventText().size();
    platform::copy_utf16(text, g_EventText + used, kEventTextSize - used);
}

void AppendEventText(std::string_view utf8) noexcept
{
    size_t used = EventText().size();
    platform::to_utf16(utf8, g_EventText + used, kEventTextSize - used);
}

void BuildEventText(uint32_t code) noexcept
{
    if (code == 0 || code == 1 || code == 0xFFFFFFFFu) {
        AppendEventText("Operation Final Status:\n");
        AppendEventText(" - The operation is successful and returned the following error code.\n");
    } else {
        AppendEventText("Subject:\n -Firmware Update Operation\n\n");
        AppendEventText("Operation Final Status:\n");
        AppendEventText(" - The operation has failed!!!\n\n");
        AppendEventText("Failure Information:\n");
        AppendEventText(" - The operation has failed with following error code !!! The reason for failure is as "
                        "follows ...\n");
    }
    AppendEventText(" ");
    AppendEventText(std::string_view(ReturnCodeText(code)));
    AppendEventText("\n");
}

void LogSystemEventMsg(uint16_t type) noexcept
{
    LogDebugMsg(DBG_DEBUG, "%s(): <%d> System event logging ...\r\n", "LogSystemEventMsg", type);
    try {
        platform::EventEntry entry;
        entry.source = kEventSourceName;
        entry.type = type;
        entry.id = kEventId;
        entry.category = kEventCategory;
        entry.text = platform::to_utf8(EventText());
        platform::event_sink().report(entry);  // a log that cannot be opened drops the event
    } catch (...) {
    }
}
