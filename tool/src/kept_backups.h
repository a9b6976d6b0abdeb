// NVRAM backups that the library kept aside: a backup left by an earlier run that could not be
// validated is never programmed back nor deleted, but renamed "<backup>.unverified-<n>" in its own
// folder. Each run names every such file in the tool's log, those in the tool folder and those the
// library's machine-wide list of backups names in other folders, so that nobody loses sight of what
// may be the only copy of a board's contents.
#pragma once

namespace tirn {

class UserInterface;

// Logs each kept backup of the current folder by its name, then each one of another folder by its
// full path (the fingerprint files beside them are not named).
void LogKeptBackups(UserInterface& ui);

}  // namespace tirn
