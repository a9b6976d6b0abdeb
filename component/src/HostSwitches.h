// The host's switches, read from its whole command line: seven groups of forms, each form
// beginning with a blank and matched case-sensitively as a substring, and the file name that
// follows a discovery or upgrade switch.
#pragma once

#include <cstddef>

struct SwitchGroup {
    const char16_t* const* forms;
    size_t count;
};

extern const SwitchGroup DiscoverSwitches;
extern const SwitchGroup UpgradeSwitches;
extern const SwitchGroup DowngradeSwitches;
extern const SwitchGroup RewriteSwitches;
extern const SwitchGroup ForceSwitches;
extern const SwitchGroup VersionSwitches;
extern const SwitchGroup VerboseLogSwitches;

// Characters of a switch's file name, without the NUL.
constexpr size_t kSwitchFileChars = 259;

// The first occurrence of `form` in `line` that is not the start of a longer host switch
// (" /downgrade", " /rewrite", " /force", " /verbose_log", " /VERBOSE_LOG"), or -1.
long FindSwitchForm(const char16_t* line, const char16_t* form);
// True when a form of the group occurs in the line.
bool IsSwitchPresent(const char16_t* line, const SwitchGroup& group);
// For the first form found in test order: after it, blanks and tabs skipped, the characters up to
// the end of the line or a '/' that follows a blank or tab, at most 259, into `out` (260
// characters). False (nothing written) when no form occurs.
bool GetSwitchFileName(const char16_t* line, const SwitchGroup& group, char16_t* out);
