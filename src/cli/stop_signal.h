#pragma once
// Ending a running command on Ctrl-C (SIGINT) or SIGTERM. The first signal sets the command's
// stop flag, which it hands to the core (a cancel or stop flag the core tests between steps),
// so the command finishes the step in progress, leaves every file whole and reports what it
// did. A second signal ends the process at once.
#include <atomic>

namespace ravir::cli {

// Installs the handlers for SIGINT and SIGTERM; the first of them sets *flag to true. One flag
// per process: a later call replaces the earlier flag. The flag must outlive the command.
void InstallStopSignals(std::atomic<bool>* flag);

// The signal that set the flag (SIGINT or SIGTERM), or 0 when none arrived.
int StopSignalNumber();

// The exit code of a command that a signal stopped: 128 + the signal number (130 for Ctrl-C),
// as a shell reports a command that the signal ended.
int StopExitCode();

}  // namespace ravir::cli
