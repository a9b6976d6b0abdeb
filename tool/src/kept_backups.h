// NVRAM backups that the library kept aside in the tool folder: a backup left by an earlier run
// that could not be validated is never programmed back nor deleted, but renamed
// "<backup>.unverified-<n>". Each run names every such file in the tool's log, so that nobody
// loses sight of what may be the only copy of a board's contents.
#pragma once

namespace tirn {

class UserInterface;

// Logs each kept backup in the current folder (the fingerprint files beside them are not named).
void LogKeptBackups(UserInterface& ui);

}  // namespace tirn
