// Stopping a run never cuts a change in half. While an exported call works, SIGINT, SIGTERM and
// SIGHUP are held (blocked for the calling thread). The call looks for one that is pending before
// it starts each command line on an adapter; once one is, it starts no more of them, lets the
// change in progress finish or be undone, removes its work files and backups, and ends with a
// failure. When the outermost call ends the signal mask is put back, so the held signal then
// reaches what the caller set for it: the caller's handler, or the default, which ends the process
// only now that nothing is half done.
//
// A signal the caller ignores (SIG_IGN, e.g. SIGHUP under nohup) is not a stop request.
#pragma once

namespace fwupg {

// Starts holding the stop signals (calls nest; the outermost one begins a new call's record).
void HoldStopSignals();
// Ends the hold begun by the matching HoldStopSignals; the outermost one restores the mask.
void ReleaseStopSignals();

// True once a held stop signal has been seen pending during the current call (or the last one,
// once it ended): the call then starts no further change.
bool StopRequested();
// The signal that stopped the current or last call, or 0.
int StopSignalNumber();
// Forgets the last call's stop (an export that ends before its frame begins must not report it).
void ForgetStopRequest();

}  // namespace fwupg
