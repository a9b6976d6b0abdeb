// The plug-in's texts: its log prefix and its string table in six languages.
#pragma once

#include <cstddef>

inline constexpr const char16_t* kLogPrefix = u"[Pelar]";

// String ids.
enum StringId {
    // Install-state texts the component appends.
    kStrStateOlder = 1,
    kStrStateSame = 2,
    kStrStateNewer = 3,
    kStrStateDiscovery = 4,
    kStrStateUpdate = 5,
    // Dependency messages.
    kStrOldDriverRuns = 19,
    kStrDependenciesPassed = 21,
    kStrNotAllowedNt52 = 24,
    kStrNotAllowed = 25,
    kStrNoDiscoveryFile = 6,
    kStrDiscoveryDone = 7,
    kStrNoUpdateFile = 9,
    kStrUpdateFileError = 10,
    kStrUpdateFromFileDone = 11,
    kStrVersionReportDone = 12,
    kStrEepromRebootNeeded = 22,
    kStrUnsupportedHost = 23,
    // Blocks of seven, one text per update tool (the tool's string offset).
    kStrBlockDiscoveryError = 80,
    kStrBlockUpToDate = 130,
    kStrBlockInstallError = 140,
    kStrBlockInstallDone = 150,
};

// Loads text `id` in the user's language (the machine's locale; English when the table has no
// text in it) into `out`, cut to `cch` - 1 characters and terminated. The characters written;
// 0 for an unknown id or no room.
int LoadStringW(unsigned id, char16_t* out, int cch);
// The same for a given language id (1033, 7, 10, 1040, 1041, 2060, or any locale of them).
int LoadStringForLanguage(unsigned id, unsigned languageId, char16_t* out, int cch);
