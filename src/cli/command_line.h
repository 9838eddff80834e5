#pragma once

#include <optional>

namespace dirka {

/// Runs the headless modes (--help, --version, --list ...) when the arguments ask for one and
/// returns their exit status; returns nothing when the desktop program should start.
std::optional<int> RunCommandLine(int argc, char** argv);

} // namespace dirka
