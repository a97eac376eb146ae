#include "cli/stop_signal.h"

#include <csignal>

namespace ravir::cli {
namespace {

std::atomic<std::atomic<bool>*> g_flag{nullptr};
std::atomic<int> g_signal{0};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    if (std::atomic<bool>* flag = g_flag.load())
        flag->store(true);
    // The next SIGINT or SIGTERM takes its default action, the end of the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGINT, &fallback, nullptr);
    sigaction(SIGTERM, &fallback, nullptr);
}

}  // namespace

void InstallStopSignals(std::atomic<bool>* flag)
{
    g_flag.store(flag);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // interrupted system calls go on
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int StopSignalNumber() { return g_signal.load(); }

int StopExitCode()
{
    const int signal = g_signal.load();
    return signal > 0 ? 128 + signal : 1;
}

}  // namespace ravir::cli
