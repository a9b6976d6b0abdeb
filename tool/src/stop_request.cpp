#include "stop_request.h"

#include "user_interface.h"

#include <signal.h>

namespace tirn {

namespace {

volatile sig_atomic_t g_stopSignal = 0;

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a stop signal";
    }
}

void OnStop(int signal)
{
    if (g_stopSignal == 0) g_stopSignal = signal;
}

}  // namespace

void CatchStopSignals()
{
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now {};
        if (sigaction(s, nullptr, &now) != 0) continue;
        if (!(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN) continue;  // e.g. SIGHUP under nohup
        struct sigaction on {};
        on.sa_handler = OnStop;
        sigemptyset(&on.sa_mask);
        on.sa_flags = 0;  // no SA_RESTART: a prompt waiting for input returns at once
        sigaction(s, &on, nullptr);
    }
}

int StopSignal()
{
    return g_stopSignal;
}

int EndIfStopped(UserInterface& ui, int result)
{
    const int signal = g_stopSignal;
    if (signal == 0) return result;
    ui.Print(kLevelNormal,
             "TIRN was stopped (%s): the change in progress was finished or undone, no other was started, "
             "and the run ends here.\n",
             SignalName(signal));
    return 128 + signal;
}

}  // namespace tirn
