// The machine-wide list of NVRAM backups that the library keeps under the system root: one small
// file per backup, whose two lines are the adapter's identity and the backup's full path. The
// library writes and uses it; the console tool reads it to name the backups kept aside elsewhere.
#pragma once

#include <string>

#include "platform/paths.h"
#include "platform/safe_file.h"

namespace fwupg::backup_list {

// The list's folder: "C:\ProgramData\FwUpg\Backups" of the system root.
inline std::string Folder()
{
    return platform::map_path("C:\\ProgramData\\FwUpg\\Backups");
}

// The entry's two lines: identity and full path; false when the file is not an entry.
inline bool ReadEntry(const std::string& entry, std::string* identity, std::string* path)
{
    std::string text;
    if (!platform::read_regular_file(entry, &text)) return false;
    const size_t first = text.find('\n');
    if (first == std::string::npos || text.empty() || text.back() != '\n') return false;
    *identity = text.substr(0, first);
    *path = text.substr(first + 1, text.size() - first - 2);
    return !path->empty() && path->find('\n') == std::string::npos;
}

}  // namespace fwupg::backup_list
