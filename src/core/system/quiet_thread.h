#pragma once

#include <functional>
#include <optional>
#include <thread>

namespace dirka {

/// A thread that takes no signal, so the thread that handles them (the stop handler, the
/// signals a file's rewriting holds back) is the only one they reach. Empty when the system
/// gives no thread; the caller then does the work itself.
std::optional<std::thread> StartQuietThread(std::function<void()> work);

} // namespace dirka
