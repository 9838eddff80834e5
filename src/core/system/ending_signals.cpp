#include "core/system/ending_signals.h"

#ifdef Q_OS_UNIX
#include <pthread.h>

namespace dirka {

void AddOutsideEndingSignals(sigset_t& set)
{
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM,
                             SIGPROF, SIGXCPU, SIGXFSZ, SIGPIPE, SIGABRT})
        sigaddset(&set, signal);
#ifdef SIGPOLL
    sigaddset(&set, SIGPOLL);
#endif
#ifdef SIGSTKFLT
    sigaddset(&set, SIGSTKFLT);
#endif
#ifdef SIGPWR
    sigaddset(&set, SIGPWR);
#endif
#ifdef SIGRTMIN
    // Those the C library keeps for itself lie below SIGRTMIN.
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        sigaddset(&set, signal);
#endif
}

TOutsideSignalsHeld::TOutsideSignalsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    AddOutsideEndingSignals(held);
    pthread_sigmask(SIG_BLOCK, &held, &m_before);
}

TOutsideSignalsHeld::~TOutsideSignalsHeld()
{
    pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

} // namespace dirka

#endif
