// The machine-wide list of NVRAM backups. A backup lives in the folder of the run that took it (the
// console tool's folder, the plug-in's component folder, another copy of the tool); while it exists
// it is also named in one folder of the system root, so that the next change of its adapter finds
// it whatever folder that change runs in.
//
// One small file per backup, named by a hash of the backup's full path and holding the adapter's
// identity (MAC address and device id, as the fingerprint file writes them) and that path. Each file
// is written whole (a new file, then renamed), so two runs never lose each other's entries.
#pragma once

#include <string>
#include <vector>

namespace fwupg::shell {

// The folder of the list: "C:\ProgramData\FwUpg\Backups" of the system root.
std::string BackupRegistryFolder();
// The backup's full path (the current folder put in front of a relative name).
std::string BackupFullPath(const std::string& backup);
// Names the backup at `backup` as one of the selected adapter's. False (nothing else changes)
// when the entry cannot be written; the backup itself stays as it is.
bool RegisterBackup(const std::string& backup);
// Drops the entry of the backup at `backup`, if there is one.
void UnregisterBackup(const std::string& backup);
// A backup kept aside as "<backup>.unverified-<n>": it stays named in the list while it exists, so
// that the console tool can name it, but it is never a leftover to use.
bool IsSetAside(const std::string& backup);
// The full paths of the backups registered for the selected adapter that still exist as regular
// files and are not kept aside, in the list's order. Entries whose backup is gone are dropped on
// the way.
std::vector<std::string> RegisteredBackupsOfSelectedAdapter();

}  // namespace fwupg::shell
