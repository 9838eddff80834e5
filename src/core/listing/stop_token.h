#pragma once

#include <atomic>

namespace dirka {

/// Asks one listing to stop. Requesting is a single lock-free store, so the window's Stop, another
/// thread and a signal handler may all set it; the walk asks for every entry and line, so asking
/// is an inline relaxed load.
class TStopToken {
public:
    void Request() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    void Clear() noexcept { m_requested.store(false, std::memory_order_relaxed); }
    bool Requested() const noexcept { return m_requested.load(std::memory_order_relaxed); }

private:
    static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets it");
    std::atomic<bool> m_requested{false};
};

} // namespace dirka
