#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace dirka {

/// Runs one piece of work at a time on a quiet thread of its own (quiet_thread.h), started
/// with the first; without a thread the work runs on the caller's. An exception from the work
/// is passed on by the next Wait.
class TBackgroundWork {
public:
    TBackgroundWork() = default;
    TBackgroundWork(const TBackgroundWork&) = delete;
    TBackgroundWork& operator=(const TBackgroundWork&) = delete;
    /// Waits for the work under way (quietly) and ends the thread.
    ~TBackgroundWork();

    /// Starts work once the work before is done.
    void Start(std::function<void()> work);
    /// Waits for the work under way and passes its exception on.
    void Wait();
    /// Wait without passing an exception on, for a result that is let go.
    void WaitQuietly();

private:
    bool startThread();
    void runHere();
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_work;
    bool m_busy = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace dirka
