// The private work folder of an exported call: the files a call writes for itself alone (the images
// unpacked from a firmware package) go into a folder made for the call with a name nobody could
// have chosen beforehand, private to the user, and removed with everything in it at the call's
// end. No other run, and no file planted in the tool's folder, can replace a file in it.
#pragma once

#include <string>

namespace fwupg {

// Makes the call's work folder inside the current folder, or inside the system's temporary folder
// when the current folder cannot take one, and locks it for as long as the process lives (a lock
// file inside it, flock). False (logged) when neither can; the call's jobs that need work files
// then fail with their own message.
//
// Then removes, in both places, the work folders of runs that have ended without removing their
// own (a killed run, a power loss): folders of this name pattern, ours, not links, whose lock is
// free. A folder of a run that still lives keeps its lock and is left alone.
bool BeginCallWorkFolder();
// Removes the call's work folder and everything left in it.
void EndCallWorkFolder();

// A new private folder for one job's files, made inside the call's work folder; outside an
// exported call inside the current folder, or the system's temporary folder when the current
// folder cannot take one. Empty (logged) when none can be made. The job removes it
// (platform::remove_private_folder).
std::string MakeJobFolder();

}  // namespace fwupg
