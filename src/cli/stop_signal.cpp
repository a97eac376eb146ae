#include "cli/stop_signal.h"

namespace ravir::cli {
namespace {

std::atomic<std::atomic<bool>*> g_flag{nullptr};
std::atomic<bool> g_valueOnStop{true};
std::atomic<int> g_signal{0};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
                  std::atomic<std::atomic<bool>*>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    if (std::atomic<bool>* flag = g_flag.load())
        flag->store(g_valueOnStop.load());
    // The next signal takes its default action, the end of the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGINT, &fallback, nullptr);
    sigaction(SIGTERM, &fallback, nullptr);
    sigaction(SIGHUP, &fallback, nullptr);
}

}  // namespace

StopSignals::StopSignals(std::atomic<bool>* flag, bool valueOnStop)
{
    g_signal.store(0);
    g_valueOnStop.store(valueOnStop);
    g_flag.store(flag);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a waiting system call returns with EINTR
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &old_[i]);
}

StopSignals::~StopSignals()
{
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &old_[i], nullptr);
    g_flag.store(nullptr);
}

int StopSignals::signalNumber() { return g_signal.load(); }

int StopSignals::exitCode()
{
    const int signal = g_signal.load();
    return signal > 0 ? 128 + signal : 1;
}

}  // namespace ravir::cli
