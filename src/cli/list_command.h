#pragma once

#include "cli/command_parser.h"

namespace dirka {

/// Runs a listing without a window and writes its lines to standard output.
/// Returns the exit status (exit_status.h): done, failed write, usage error or missing location,
/// unreadable folder, or stopped by SIGINT, SIGTERM or SIGHUP during the walk. Another signal
/// that ends a program ends it, once the unfinished copies of the files are removed.
int RunListCommand(const TListCommand& command);

/// Compares the listings of command.Location (old) and command.CompareWith (new), prints a line
/// per difference and the summary, and writes --csv and --json records of them. Returns done
/// (no difference), different, or what a listing returns on a failure or a stop.
int RunCompareCommand(const TListCommand& command);

} // namespace dirka
