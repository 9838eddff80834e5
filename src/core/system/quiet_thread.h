#pragma once

#include <functional>
#include <optional>
#include <thread>

namespace dirka {

/// A thread that takes no signal from outside, so the thread that handles them (the stop
/// handler, the signals a file's rewriting holds back) is the only one they reach; a program
/// error of its own (SIGSEGV...) still reaches the handler that removes the unfinished copies.
/// Empty when the system gives no thread; the caller then does the work itself.
std::optional<std::thread> StartQuietThread(std::function<void()> work);

} // namespace dirka
