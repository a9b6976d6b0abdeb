// The machine's restart as far as files go: the file operations programs asked to be delayed
// until the next restart (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT) are kept, in order, in the
// registry value "PendingFileRenameOperations" of HKLM\SYSTEM\CurrentControlSet\Control\Session
// Manager, as pairs of texts: the source ("\??\" + path), then the target ("!\??\" + path when it
// may replace a file, "\??\" + path when not, empty for a delete).
#pragma once

#include <optional>
#include <string_view>

namespace platform {

// Adds one operation to the list; false with the last error set when the registry refuses it.
bool schedule_at_restart(std::u16string_view source, std::optional<std::u16string_view> target, bool replace);

// What the machine does when it starts again: volatile registry keys vanish, and the listed
// operations are carried out in order (a move without replace leaves an existing target alone)
// and the list cleared. Returns how many of them failed.
int restart_machine();

}  // namespace platform
