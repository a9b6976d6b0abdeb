#include "fwupg/stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace fwupg {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_holds = 0;
sigset_t g_watched;     // the stop signals the caller does not ignore
sigset_t g_callerMask;  // the mask before the outermost hold
int g_stopSignal = 0;   // latched: a stop seen stays seen until the next call begins

// Latches the first watched stop signal that is pending.
void LookForStop()
{
    sigset_t pending;
    if (g_stopSignal != 0 || sigpending(&pending) != 0) return;
    for (int s : kStopSignals) {
        if (sigismember(&g_watched, s) == 1 && sigismember(&pending, s) == 1) {
            g_stopSignal = s;
            return;
        }
    }
}

bool Ignored(int signal)
{
    struct sigaction now {};
    if (sigaction(signal, nullptr, &now) != 0) return false;
    return !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN;
}

}  // namespace

void HoldStopSignals()
{
    if (g_holds++ > 0) return;
    g_stopSignal = 0;
    sigemptyset(&g_watched);
    for (int s : kStopSignals)
        if (!Ignored(s)) sigaddset(&g_watched, s);
    pthread_sigmask(SIG_BLOCK, &g_watched, &g_callerMask);
}

void ReleaseStopSignals()
{
    if (g_holds == 0 || --g_holds > 0) return;
    LookForStop();  // the call's record keeps a signal that came in its last moments
    pthread_sigmask(SIG_SETMASK, &g_callerMask, nullptr);
}

bool StopRequested()
{
    if (g_holds > 0) LookForStop();
    return g_stopSignal != 0;
}

int StopSignalNumber()
{
    return g_stopSignal;
}

void ForgetStopRequest()
{
    if (g_holds == 0) g_stopSignal = 0;
}

}  // namespace fwupg
