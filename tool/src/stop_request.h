// Ctrl-C, SIGTERM and SIGHUP stop TIRN between changes, never inside one. During a call of the
// vendor library the library holds them until its change in progress has finished or been undone
// (and then ends that call with a failure); the signal reaches the tool's handler when the call
// returns. From then on the tool starts no further library call, says that it was stopped, and
// ends with 128 + the signal's number.
#pragma once

namespace tirn {

class UserInterface;

// Installs the handler for every stop signal the tool was not started with ignored.
void CatchStopSignals();
// The stop signal received, or 0.
int StopSignal();
// When a stop signal arrived: says so and returns the exit code for it; otherwise `result`.
int EndIfStopped(UserInterface& ui, int result);

}  // namespace tirn
