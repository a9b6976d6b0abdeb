// The system root and the paths of the machine it stands for.
//
// FWUPG_SYSTEM_ROOT names the folder that stands for the machine: every platform service and the
// simulated management library read and write only below it. Windows-style paths ("C:\x\y") map
// to "<root>/C/x/y"; components are matched without regard to case, as on the original system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The system root: $FWUPG_SYSTEM_ROOT, or "/" when it is unset or empty. Never ends in '/'
// unless it is "/" itself.
std::string system_root();

// "<root>/<relative>" (relative uses '/' separators).
std::string root_path(std::string_view relative);

// Replaces every '\' by '/'.
std::string normalize_slashes(std::string_view path);

// A Linux path split at its last '/': the folder that holds the name ("." for a bare name, "/"
// for a name in the top folder) and the name itself.
struct FolderAndName {
    std::string folder;
    std::string name;
};
FolderAndName split_folder(std::string_view path);

// Maps a path as the system's documents write it to a Linux path:
// - "X:\a\b" or "X:/a/b" (drive letter) → "<root>/X/a/b" (letter upper-cased); "." and ".."
//   are taken away by their text, and ".." stops at the drive's root as it does on the system
//   ("C:\a\..\..\b" is "C:\b");
// - "X:name" (drive-relative) → "name" in the current folder (see drive_full_path for the
//   machine's view of it);
// - anything else: separators normalised, otherwise unchanged.
// Existing components are then matched case-insensitively (see resolve_case_insensitive).
std::string map_path(std::string_view path);

// A drive-relative "X:name" as a full path of the machine's drive X ("X:/..."): below the
// current folder when that lies on drive X (inside "<root>/X"), otherwise below the drive's root.
// Any other path is returned as it is.
std::string drive_full_path(std::string_view path);

// Returns `path` with each existing component replaced by the entry of its folder that equals it
// without regard to ASCII case (an exact match wins; otherwise the first in sorted order). The
// components from the first one that does not exist on are kept as given.
std::string resolve_case_insensitive(const std::string& path);

// Names in a folder (without "." and ".."), sorted by byte value, so that "the first match in
// folder order" is the same on every run. Empty when the folder cannot be read.
std::vector<std::string> list_dir_sorted(const std::string& dir);

// True for a case-insensitive ASCII comparison match.
bool iequals(std::string_view a, std::string_view b);

}  // namespace platform
