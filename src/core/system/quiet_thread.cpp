#include "core/system/quiet_thread.h"

#include <QtGlobal>

#include <system_error>
#include <utility>

#ifdef Q_OS_UNIX
#include "core/system/ending_signals.h"

#include <csignal>
#include <pthread.h>
#endif

namespace dirka {

std::optional<std::thread> StartQuietThread(std::function<void()> work)
{
#ifdef Q_OS_UNIX
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    // A program error in the thread must reach the handler that removes the unfinished copies:
    // held back, it would end the program past every handler.
    for (const int signal : ProgramErrorSignals)
        sigdelset(&all, signal);
    pthread_sigmask(SIG_SETMASK, &all, &before); // the new thread starts with this mask
#endif
    std::optional<std::thread> thread;
    try {
        thread.emplace(std::move(work));
    } catch (const std::system_error&) {
        thread.reset();
    }
#ifdef Q_OS_UNIX
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif
    return thread;
}

} // namespace dirka
