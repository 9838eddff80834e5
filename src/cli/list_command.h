#pragma once

#include "cli/command_parser.h"

namespace dirka {

/// Runs a listing without a window and writes its lines to standard output.
/// Returns the exit status (exit_status.h): done, failed write, usage error or missing location,
/// unreadable folder, or stopped by SIGINT, SIGTERM or SIGHUP during the walk. Another signal
/// that ends a program ends it, once the unfinished copies of the files are removed.
int RunListCommand(const TListCommand& command);

} // namespace dirka
