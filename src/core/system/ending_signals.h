#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>

// The catchable signals whose default action ends the program, in two kinds: those sent from
// outside (kill, a timer, a terminal, a resource limit), which one thread at a time may hold
// back, and those a program error raises in the thread that made it, which no thread can
// usefully hold back (the system then ends the program at once, past every handler).
namespace dirka {

/// Adds SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF,
/// SIGXCPU, SIGXFSZ, SIGPIPE, SIGPOLL, SIGSTKFLT, SIGPWR, SIGABRT and the real-time signals.
void AddOutsideEndingSignals(sigset_t& set);

inline constexpr int ProgramErrorSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

/// Holds the signals from outside back on this thread for its lifetime; they come after.
class TOutsideSignalsHeld {
public:
    TOutsideSignalsHeld();
    ~TOutsideSignalsHeld();
    TOutsideSignalsHeld(const TOutsideSignalsHeld&) = delete;
    TOutsideSignalsHeld& operator=(const TOutsideSignalsHeld&) = delete;

private:
    sigset_t m_before;
};

} // namespace dirka

#endif
