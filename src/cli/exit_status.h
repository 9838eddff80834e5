#pragma once

// The exit statuses of the program, named once for main(), the command line and its tests.
namespace dirka {

inline constexpr int ExitDone = 0;
/// A requested file could not be written, or memory ran out.
inline constexpr int ExitFailed = 1;
/// A usage error, a location that does not exist, or no display for the window.
inline constexpr int ExitUsage = 2;
/// Done, but some folder could not be read (a comparison too: its differences may be wrong).
inline constexpr int ExitUnreadable = 3;
/// A comparison found differences (ExitDone: none). Apart from 1, which a failed write takes,
/// so a script tells "changed" from "could not finish".
inline constexpr int ExitDifferent = 4;
/// The start-up self-test failed (EX_SOFTWARE).
inline constexpr int ExitSelfTestFailed = 70;

/// Stopped by a signal during the walk: 128 + the signal, as a shell reports a killed program.
/// Any other signal that ends the program (SIGQUIT, SIGUSR1, SIGALRM, SIGSEGV...) ends it as
/// the signal does, once the unfinished copies are removed, so the shell reports
/// ExitSignalBase + the signal (131, 138, 142...) with no status of the program's own.
inline constexpr int ExitSignalBase = 128;
inline constexpr int ExitHangUp = ExitSignalBase + 1;      // SIGHUP
inline constexpr int ExitInterrupted = ExitSignalBase + 2; // SIGINT
inline constexpr int ExitTerminated = ExitSignalBase + 15; // SIGTERM

} // namespace dirka
