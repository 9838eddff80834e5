#include "core/system/background_work.h"

#include "core/system/quiet_thread.h"

#include <optional>
#include <utility>

namespace dirka {

TBackgroundWork::~TBackgroundWork()
{
    WaitQuietly();
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TBackgroundWork::Start(std::function<void()> work)
{
    Wait();
    {
        const std::lock_guard lock(m_mutex);
        m_work = std::move(work);
        m_busy = true;
    }
    if (!m_thread.joinable() && !startThread()) {
        runHere();
        return;
    }
    m_changed.notify_all();
}

void TBackgroundWork::Wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

void TBackgroundWork::WaitQuietly()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
}

bool TBackgroundWork::startThread()
{
    std::optional<std::thread> thread = StartQuietThread([this] { run(); });
    if (thread)
        m_thread = std::move(*thread);
    return thread.has_value();
}

void TBackgroundWork::runHere()
{
    std::function<void()> work = std::move(m_work);
    try {
        work();
    } catch (...) {
        m_error = std::current_exception();
    }
    m_busy = false;
}

void TBackgroundWork::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_busy; });
        if (!m_busy)
            return;
        std::function<void()> work = std::move(m_work);
        lock.unlock();
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        work = nullptr;
        lock.lock();
        m_error = error;
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace dirka
