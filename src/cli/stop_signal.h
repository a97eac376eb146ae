#pragma once
// Ending a running command on Ctrl-C (SIGINT), SIGTERM or SIGHUP. While a StopSignals object
// lives, the first of these signals stores the stop value into the command's flag, which the
// command hands to the core (a stop or running flag the core tests between steps), so the
// command finishes the step in progress, leaves every file whole and reports what it did. The
// handlers do not restart interrupted system calls, so a waiting read or copy returns at once.
// A second signal ends the process by its default action. The previous handlers come back when
// the object goes.
#include <atomic>
#include <csignal>

namespace ravir::cli {

class StopSignals {
public:
    // `valueOnStop` is what the first signal stores: true for a stop flag, false for a running
    // flag. The flag must outlive the object.
    explicit StopSignals(std::atomic<bool>* flag, bool valueOnStop = true);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that stopped the command (SIGINT, SIGTERM or SIGHUP), or 0 when none arrived.
    static int signalNumber();

    // The exit code of a command that a signal stopped: 128 + the signal number (130 for
    // Ctrl-C), as a shell reports a command that the signal ended; 1 when no signal arrived.
    static int exitCode();

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction old_[std::size(kSignals)] {};
};

}  // namespace ravir::cli
